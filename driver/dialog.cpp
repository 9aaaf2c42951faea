// The dialog's shared operations: prompts, diagnostics, and the report
// file's writes, flush and close with the first error kept for the diagnostic.
#include "driver/dialog.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "driver/temporary_guard.hpp"
#include "report/catalogue.hpp"

namespace kemro {

namespace {

// Asks the system to put the folder entry of a renamed file on the disk, so
// that the renamed report survives a stop of the machine; best effort, as
// some file systems cannot synchronise folders.
void sync_folder_of(const std::string& name) {
  const auto slash = name.find_last_of('/');
  const std::string folder =
      slash == std::string::npos ? "." : (slash == 0 ? "/" : name.substr(0, slash));
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

}  // namespace

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

void Dialog::remember_report_error(int error_number) {
  // A failure without an errno still counts as one.
  if (report.error == 0) report.error = error_number != 0 ? error_number : EIO;
  announce_report_error();
}

void Dialog::announce_report_error() {
  if (report.error == 0 || report.announced) return;
  report.announced = true;
  std::fflush(console);
  // A replacing report is still in its temporary file, which is removed.
  const char* old_kept =
      !report.temporary.empty() && report.replaces_old ? "; the old file is unchanged" : "";
  std::fprintf(errors, "KEMRO: error writing the report file \"%s\": %s%s\n", report.name.c_str(),
               std::strerror(report.error), old_kept);
  std::fflush(errors);
}

void Dialog::write_report(Layout layout, std::initializer_list<Item> items) {
  std::FILE* stream = report_stream();
  // The stream drops what it could not write, so a later flush succeeds and
  // the errno is only known here.
  if (!write(stream, layout, items) && stream == report.file) remember_report_error(errno);
}

void Dialog::flush_report() {
  std::FILE* stream = report_stream();
  if (std::fflush(stream) != 0 && stream == report.file) remember_report_error(errno);
  if (report.file == nullptr) return;
  // Pipes, terminals and devices cannot be synchronised (EINVAL, EROFS);
  // what they took is as far as it can go.
  if (::fsync(::fileno(report.file)) != 0 && errno != EINVAL && errno != EROFS) {
    remember_report_error(errno);
  }
}

bool Dialog::report_intact() {
  if (report.file != nullptr && std::fflush(report.file) != 0) remember_report_error(errno);
  return report.error == 0;
}

bool Dialog::publish_report() {
  if (report.error == 0 && !report.temporary.empty()) {
    if (std::rename(report.temporary.c_str(), report.name.c_str()) == 0) {
      report.temporary.clear();
      guard_temporary(nullptr);
      sync_folder_of(report.name);
    } else {
      remember_report_error(errno);
    }
  }
  return report.error == 0;
}

bool Dialog::close_report() {
  if (report.file == nullptr) return true;
  std::FILE* file = report.file;
  report.file = nullptr;
  report.unit = 0;
  if (std::fflush(file) != 0 || std::ferror(file) != 0) remember_report_error(errno);
  if (std::fclose(file) != 0) remember_report_error(errno);
  if (!report.temporary.empty()) {
    const bool keep_partial = report.error != 0 && !report.replaces_old;
    if (!keep_partial || std::rename(report.temporary.c_str(), report.name.c_str()) != 0) {
      std::remove(report.temporary.c_str());
    }
    report.temporary.clear();
    guard_temporary(nullptr);
  }
  return report.error == 0;
}

}  // namespace kemro
