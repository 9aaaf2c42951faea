// The four-fifths rule on one outcome, decided in whole numbers so that every
// front end (kemro-grid's summaries and plots, kemro-observed) counts a ratio
// of exactly 0.8 the same way.
#pragma once

#include <cstdint>

namespace kemro {

// AI = (NY/N2) / (NX/N1) < 4/5, decided in integers (5 NY N1 < 4 NX N2) so that
// an AI of exactly 0.8 never counts as below it through rounding. False when
// NX = 0 (no majority hire: the ratio is undefined). Needs N1 + N2 < 2^31.
bool below_four_fifths(std::int32_t NY, std::int32_t NX, std::int32_t N1, std::int32_t N2);

}  // namespace kemro
