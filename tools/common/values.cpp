#include "tools/common/values.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <system_error>

#include "tools/common/options.hpp"

namespace kemro::cli {

namespace {

// How the range of doubles is described when a typed number leaves it.
constexpr const char* SMALLEST_DOUBLE_TEXT = "about 4.9e-324";
constexpr const char* LARGEST_DOUBLE_TEXT = "about 1.8e308";

}  // namespace

std::vector<std::string_view> split(std::string_view text, char separator) {
  std::vector<std::string_view> parts;
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = text.find(separator, start);
    parts.push_back(text.substr(start, end == std::string_view::npos ? end : end - start));
    if (end == std::string_view::npos) return parts;
    start = end + 1;
  }
}

bool parse_int64(std::string_view text, std::int64_t& value, std::string& error) {
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || ec == std::errc::invalid_argument || end != text.data() + text.size()) {
    error = quoted(text) + " is not a whole number";
    return false;
  }
  if (ec == std::errc::result_out_of_range || value < std::numeric_limits<std::int32_t>::min() ||
      value > std::numeric_limits<std::int32_t>::max()) {
    error = quoted(text) + " is out of range";
    return false;
  }
  return true;
}

bool parse_real(std::string_view text, double& value, std::string& error) {
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || ec == std::errc::invalid_argument || end != text.data() + text.size()) {
    error = quoted(text) + " is not a number";
    return false;
  }
  if (ec == std::errc::result_out_of_range) {
    // from_chars leaves the value alone here; strtod says which way it left the range.
    const std::string copy(text);
    const double nearest = std::strtod(copy.c_str(), nullptr);
    error = std::abs(nearest) < std::numeric_limits<double>::min()
                ? quoted(text) + " underflows: it is nonzero but below the smallest double (" +
                      SMALLEST_DOUBLE_TEXT + "); write 0 if 0 is meant"
                : quoted(text) + " is not a finite number: it overflows the largest double (" +
                      LARGEST_DOUBLE_TEXT + ")";
    return false;
  }
  if (!std::isfinite(value)) {
    error = quoted(text) + " is not a finite number";
    return false;
  }
  return true;
}

namespace {

// Most decimals a real range is stepped with in exact decimal arithmetic.
constexpr int MAX_EXACT_DECIMALS = 12;
// Slack for a real range whose stop is reached only up to rounding.
constexpr double RANGE_SLACK = 1e-9;

// Digits after the decimal point of a plain decimal, or -1 for exponent notation.
int decimals_of(std::string_view text) {
  if (text.find_first_of("eE") != std::string_view::npos) return -1;
  const std::size_t point = text.find('.');
  return point == std::string_view::npos ? 0 : static_cast<int>(text.size() - point - 1);
}

bool check_range(double start, double stop, double step, std::string_view item,
                 std::string& error) {
  if (!(step > 0.0)) {
    error = "the step of range " + quoted(item) + " must be positive";
    return false;
  }
  if (stop < start) {
    error = "range " + quoted(item) + " is empty (its stop is below its start)";
    return false;
  }
  return true;
}

bool check_count(double count, std::string_view item, std::string& error) {
  if (count > static_cast<double>(MAX_VALUES_PER_OPTION)) {
    error = "range " + quoted(item) + " has more than " + std::to_string(MAX_VALUES_PER_OPTION) +
            " values";
    return false;
  }
  return true;
}

// A range's parts: start:stop:step, or for counts also start:stop (step 1).
bool split_range(std::string_view item, std::vector<std::string_view>& parts, bool counts,
                 std::string& error) {
  parts = split(item, ':');
  if (parts.size() == 3 || (counts && parts.size() == 2)) return true;
  error = quoted(item) + " is neither a value nor a range start:stop:step" +
          (counts ? " or start:stop" : "");
  return false;
}

bool append_count_item(std::string_view item, std::vector<std::int32_t>& values,
                       std::string& error) {
  std::int64_t value = 0;
  if (item.find(':') == std::string_view::npos) {
    if (!parse_int64(item, value, error)) return false;
    values.push_back(static_cast<std::int32_t>(value));
    return true;
  }
  std::vector<std::string_view> parts;
  std::int64_t start = 0;
  std::int64_t stop = 0;
  std::int64_t step = 1;
  if (!split_range(item, parts, true, error) || !parse_int64(parts[0], start, error) ||
      !parse_int64(parts[1], stop, error) ||
      (parts.size() == 3 && !parse_int64(parts[2], step, error)) ||
      !check_range(static_cast<double>(start), static_cast<double>(stop), static_cast<double>(step),
                   item, error)) {
    return false;
  }
  const std::int64_t count = (stop - start) / step + 1;
  if (!check_count(static_cast<double>(count), item, error)) return false;
  for (std::int64_t i = 0; i < count; ++i) {
    values.push_back(static_cast<std::int32_t>(start + i * step));
  }
  return true;
}

// A real range is stepped in exact decimal arithmetic when its three numbers
// are plain decimals, so that 0:1:0.1 gives 0.3 and not 0.30000000000000004
// and reaches its stop exactly; otherwise in doubles with a little slack.
bool append_real_range(std::string_view item, std::vector<double>& values, std::string& error) {
  std::vector<std::string_view> parts;
  double start = 0.0;
  double stop = 0.0;
  double step = 0.0;
  if (!split_range(item, parts, false, error) || !parse_real(parts[0], start, error) ||
      !parse_real(parts[1], stop, error) || !parse_real(parts[2], step, error) ||
      !check_range(start, stop, step, item, error)) {
    return false;
  }
  int decimals = 0;
  for (std::string_view part : parts) {
    const int k = decimals_of(part);
    decimals = (k < 0 || decimals < 0) ? -1 : std::max(decimals, k);
  }
  const double scale = std::pow(10.0, decimals);
  const double exact_limit = 0x1p52;
  // All three scaled numbers must be whole numbers a double and a long long hold exactly.
  const bool exact = decimals >= 0 && decimals <= MAX_EXACT_DECIMALS &&
                     std::abs(start) * scale < exact_limit &&
                     std::abs(stop) * scale < exact_limit && step * scale < exact_limit;
  if (exact) {
    const auto start_i = std::llround(start * scale);
    const auto stop_i = std::llround(stop * scale);
    const auto step_i = std::llround(step * scale);
    if (step_i <= 0) {
      error = "the step of range " + quoted(item) + " must be positive";
      return false;
    }
    const long long count = (stop_i - start_i) / step_i + 1;
    if (!check_count(static_cast<double>(count), item, error)) return false;
    for (long long i = 0; i < count; ++i) {
      values.push_back(static_cast<double>(start_i + i * step_i) / scale);
    }
    return true;
  }
  const double count = std::floor((stop - start) / step + RANGE_SLACK) + 1.0;
  if (!check_count(count, item, error)) return false;
  for (double i = 0.0; i < count; ++i) values.push_back(start + i * step);
  return true;
}

bool append_real_item(std::string_view item, std::vector<double>& values, std::string& error) {
  if (item.find(':') != std::string_view::npos) return append_real_range(item, values, error);
  double value = 0.0;
  if (!parse_real(item, value, error)) return false;
  values.push_back(value);
  return true;
}

template <typename T, typename AppendItem>
bool parse_list(std::string_view text, std::vector<T>& values, std::string& error,
                AppendItem append_item) {
  values.clear();
  if (text.empty()) {
    error = "an empty value";
    return false;
  }
  for (std::string_view item : split(text, ',')) {
    if (item.empty()) {
      error = quoted(text) + " has an empty list item";
      return false;
    }
    if (!append_item(item, values, error)) return false;
    if (values.size() > MAX_VALUES_PER_OPTION) {
      error = quoted(text) + " has more than " + std::to_string(MAX_VALUES_PER_OPTION) + " values";
      return false;
    }
  }
  return true;
}

}  // namespace

bool parse_count_list(std::string_view text, std::vector<std::int32_t>& values,
                      std::string& error) {
  return parse_list(text, values, error, append_count_item);
}

bool parse_real_list(std::string_view text, std::vector<double>& values, std::string& error) {
  return parse_list(text, values, error, append_real_item);
}

}  // namespace kemro::cli
