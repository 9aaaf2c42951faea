#include "tools/common/numbers.hpp"

#include <charconv>
#include <cmath>
#include <system_error>

namespace kemro::cli {

std::string exact_number(double value) {
  if (!std::isfinite(value)) return {};
  char text[32];
  const auto [end, ec] = std::to_chars(text, text + sizeof text, value);
  return ec == std::errc{} ? std::string(text, end) : std::string{};
}

std::string signed_number(double value) {
  if (std::isinf(value)) return value > 0 ? "Inf" : "-Inf";
  return exact_number(value);
}

}  // namespace kemro::cli
