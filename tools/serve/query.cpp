#include "tools/serve/query.hpp"

#include "tools/common/csv_table.hpp"
#include "tools/common/options.hpp"
#include "tools/common/values.hpp"

namespace kemro::serve {

namespace {

// The value of one hexadecimal digit, or -1.
int hex_digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Why a decoded name or value cannot be taken, or an empty text. Control
// characters (tabs and line breaks included) have no place in an option value
// and would only travel into messages and the page.
std::string text_error(const std::string& text) {
  if (!cli::is_utf8(text)) return "is not UTF-8";
  for (unsigned char c : text) {
    if (c < 0x20 || c == 0x7f) return "holds a control character";
  }
  return {};
}

}  // namespace

bool percent_decode(std::string_view text, std::string& decoded) {
  decoded.clear();
  decoded.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '+') {
      decoded.push_back(' ');
    } else if (c != '%') {
      decoded.push_back(c);
    } else {
      const int high = i + 2 < text.size() ? hex_digit(text[i + 1]) : -1;
      const int low = high >= 0 ? hex_digit(text[i + 2]) : -1;
      if (low < 0) return false;
      decoded.push_back(static_cast<char>(high * 16 + low));
      i += 2;
    }
  }
  return true;
}

Query parse_query(std::string_view text) {
  Query query;
  std::size_t number = 0;
  for (std::string_view piece : cli::split(text, '&')) {
    if (piece.empty()) continue;
    if (++number > MAX_QUERY_PARAMETERS) {
      query.error = "more than " + std::to_string(MAX_QUERY_PARAMETERS) + " parameters";
      break;
    }
    const std::size_t equals = piece.find('=');
    QueryParameter p;
    if (!percent_decode(piece.substr(0, equals), p.name) ||
        (equals != std::string_view::npos && !percent_decode(piece.substr(equals + 1), p.value))) {
      query.error = "parameter " + std::to_string(number) +
                    ": a '%' is not followed by two hexadecimal digits";
      break;
    }
    if (p.name.empty()) {
      query.error = "parameter " + std::to_string(number) + " has no name";
      break;
    }
    if (std::string why = text_error(p.name); !why.empty()) {
      query.error = "the name of parameter " + std::to_string(number) + " " + why;
      break;
    }
    if (std::string why = text_error(p.value); !why.empty()) {
      query.error = "the value of " + cli::quoted(p.name) + " " + why;
      break;
    }
    query.parameters.push_back(std::move(p));
  }
  if (!query.ok()) query.parameters.clear();
  return query;
}

}  // namespace kemro::serve
