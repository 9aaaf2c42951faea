// Option values shared by the tools: whole numbers and reals, one value, a
// comma list, or a range start:stop:step whose stop is included when reached
// (for whole numbers also start:stop, stepping by 1); list items may
// themselves be ranges. Parsing never computes anything.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kemro::cli {

// Most values one option may expand to.
inline constexpr std::size_t MAX_VALUES_PER_OPTION = 10000;

// One whole number within 32 bits; "'x' is not a whole number" or "'x' is out of range".
bool parse_int64(std::string_view text, std::int64_t& value, std::string& error);

// One finite real; "'x' is not a number", "'x' is not a finite number" (inf,
// nan), or that it underflows or overflows the range of doubles.
bool parse_real(std::string_view text, double& value, std::string& error);

// A count list or a real list as described above. On failure the list is
// left unspecified and `error` says why. Real ranges of plain decimals are
// stepped in exact decimal arithmetic (0:1:0.1 gives 0.3, not 0.30000000000000004).
bool parse_count_list(std::string_view text, std::vector<std::int32_t>& values, std::string& error);
bool parse_real_list(std::string_view text, std::vector<double>& values, std::string& error);

// The parts of `text` between separators (an empty text gives one empty part).
std::vector<std::string_view> split(std::string_view text, char separator);

}  // namespace kemro::cli
