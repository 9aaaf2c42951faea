#include "driver/dialog.hpp"

#include <cerrno>
#include <cstring>

#include "report/record_writer.hpp"

namespace kemro {

void Dialog::prompt(std::string_view text) {
  write_list(console, text);
  std::fflush(console);
}

int Dialog::input_failure() {
  std::fflush(console);
  std::fputs(input_diagnostic(reader.error()).c_str(), errors);
  if (!close_report()) return EXIT_FILE_ERROR;
  return EXIT_INPUT_ERROR;
}

int Dialog::fail(int status, const std::string& message) {
  std::fflush(console);
  std::fprintf(errors, "KEMRO: %s\n", message.c_str());
  close_report();
  return status;
}

bool Dialog::close_report() {
  if (report.file == nullptr) return true;
  std::FILE* file = report.file;
  report.file = nullptr;
  report.unit = 0;
  const bool write_failed = std::ferror(file) != 0 || std::fflush(file) != 0;
  const int saved_errno = errno;
  const bool close_failed = std::fclose(file) != 0;
  if (write_failed || close_failed) {
    std::fflush(console);
    std::fprintf(errors, "KEMRO: error writing the report file \"%s\": %s\n", report.name.c_str(),
                 std::strerror(write_failed ? saved_errno : errno));
    return false;
  }
  return true;
}

}  // namespace kemro
