// Numbers as the tools write them (numbers.hpp).
#include "report/numbers.hpp"

#include <cmath>
#include <cstdio>

#include "model/message_text.hpp"

namespace kemro::cli {

namespace {

// Room for any double in %g with 17 digits, and for %f up to 1e308 with a few decimals.
constexpr std::size_t TEXT_ROOM = 400;

}  // namespace

std::string exact_number(double value) {
  return std::isfinite(value) ? message::number_text(value) : std::string{};
}

std::string signed_number(double value) {
  if (std::isinf(value)) return value > 0 ? "Inf" : "-Inf";
  return exact_number(value);
}

std::string significant(double value, int digits) {
  char text[TEXT_ROOM];
  std::snprintf(text, sizeof text, "%.*g", digits, value);
  return text;
}

std::string short_number(double value, int digits) {
  return std::isnan(value) ? "-" : significant(value, digits);
}

std::string fixed_decimals(double value, int decimals) {
  char text[TEXT_ROOM];
  std::snprintf(text, sizeof text, "%.*f", decimals, value);
  return text;
}

}  // namespace kemro::cli
