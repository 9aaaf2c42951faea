// The summaries drawn from a built sampling distribution table: the expected
// selection rates, the expected AI over the entries with a defined ratio, and
// the percentiles of AI.
#pragma once

#include <array>
#include <cstdint>

#include "distribution/table.hpp"

namespace kemro {

// The percentile levels in percent, in report order.
inline constexpr std::array<std::int32_t, 7> NLDAT = {5, 10, 25, 50, 75, 90, 95};

struct TableSums {
  double expected_SRA = 0.0;        // sum of PVS * SR1 over all entries
  double expected_SRI = 0.0;        // sum of PVS * SR2 over all entries
  double AI_numerator = 0.0;        // sum of PVS * AI over entries with a defined ratio
  double defined_ratio_mass = 0.0;  // sum of PVS over entries with NX != 0
};

// The four sums, in one pass over entries 1..M in entry order.
TableSums table_sums(const Table& table);

// Expected AI = AI numerator / defined-ratio mass; 0/0 gives NaN.
double expected_AI(const TableSums& sums);

// AI(m) of the first entry m with 100 * PVSC(m) not less than the level
// (a NaN PVSC counts as reached). When no entry reaches the level (possible
// only when the running sums fall short of 1) the value is AI(M); an empty
// table gives NaN.
double percentile(const Table& table, std::int32_t level);

// The percentiles for the levels of NLDAT, in NLDAT order.
std::array<double, NLDAT.size()> percentiles(const Table& table);

}  // namespace kemro
