#include "tools/common/diagnostics.hpp"

#include <algorithm>

#include "tools/common/csv_table.hpp"

namespace kemro::cli {

namespace {

constexpr unsigned char DEL = 0x7F;
constexpr unsigned char UTF8_C1_LEAD = 0xC2;   // U+0080..U+00BF start with this byte
constexpr unsigned char LAST_C1_TRAIL = 0x9F;  // ... and U+0080..U+009F are controls

void escape_byte(unsigned char byte, std::string& out) {
  constexpr char HEX[] = "0123456789ABCDEF";
  out += "\\x";
  out += HEX[byte >> 4];
  out += HEX[byte & 0x0F];
}

// The length of the UTF-8 sequence at the start of `text`, or 0 when it is not one.
std::size_t utf8_length(std::string_view text) {
  const auto byte = static_cast<unsigned char>(text[0]);
  const std::size_t length = byte < 0x80 ? 1 : byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : 2;
  if (text.size() < length || !is_utf8(text.substr(0, length))) return 0;
  return length;
}

void print(std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), stderr);
}

}  // namespace

std::string printable(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  while (!text.empty()) {
    const auto byte = static_cast<unsigned char>(text[0]);
    const std::size_t length = utf8_length(text);
    if (byte == '\t' || byte == '\n' || byte == '\r') {
      out += byte == '\t' ? "\\t" : byte == '\n' ? "\\n" : "\\r";
    } else if (length == 0 || byte < 0x20 || byte == DEL ||
               (byte == UTF8_C1_LEAD && static_cast<unsigned char>(text[1]) <= LAST_C1_TRAIL)) {
      for (std::size_t i = 0; i < std::max<std::size_t>(length, 1); ++i) {
        escape_byte(static_cast<unsigned char>(text[i]), out);
      }
    } else {
      out.append(text.substr(0, length));
    }
    text.remove_prefix(std::max<std::size_t>(length, 1));
  }
  return out;
}

void diagnostic(std::string_view program, std::string_view message) {
  std::string line(program);
  line += ": ";
  line += printable(message);
  line += "\n";
  print(line);
}

int usage_error(std::string_view program, std::string_view message) {
  diagnostic(program, message);
  std::string hint = "Try '";
  hint += program;
  hint += " --help' for the options.\n";
  print(hint);
  return EXIT_USAGE;
}

int output_error(std::string_view program, std::string_view what) {
  diagnostic(program, "cannot write " + std::string(what));
  return EXIT_FILE_ERROR;
}

bool write_all(std::FILE* out, std::string_view text) {
  const bool written = std::fwrite(text.data(), 1, text.size(), out) == text.size();
  return std::fflush(out) == 0 && written;
}

}  // namespace kemro::cli
