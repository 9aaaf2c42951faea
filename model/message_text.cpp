// Numbers and typed text as messages show them (message_text.hpp).
#include "model/message_text.hpp"

#include <charconv>
#include <cmath>
#include <system_error>

namespace kemro::message {

namespace {

// Room for the longest shortest round trip of a double: sign, 17 digits, a
// point and an exponent of "e-308".
constexpr std::size_t NUMBER_ROOM = 32;

}  // namespace

std::string number_text(double value) {
  if (std::isnan(value)) return "nan";
  if (std::isinf(value)) return value > 0 ? "inf" : "-inf";
  char text[NUMBER_ROOM];
  const auto [end, ec] = std::to_chars(text, text + sizeof text, value);
  return ec == std::errc{} ? std::string(text, end) : std::string{};
}

std::string quoted(std::string_view text) {
  std::string q(1, '\'');
  q.append(text);
  q.push_back('\'');
  return q;
}

}  // namespace kemro::message
