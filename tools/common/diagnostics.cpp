#include "tools/common/diagnostics.hpp"

namespace kemro::cli {

namespace {

void print(std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), stderr);
}

}  // namespace

void diagnostic(std::string_view program, std::string_view message) {
  std::string line(program);
  line += ": ";
  line += message;
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
