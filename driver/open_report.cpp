// OPEN: asks for the report file, guards an existing file with the overwrite
// question and connects the report channel to the file. A plain file (new,
// or an old one to replace) is written through a temporary file in the same
// folder that takes the name only when the report is complete; anything
// else (a device, a pipe, a linked file) is written in place.
#include "driver/open_report.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <string>

#include "driver/temporary_guard.hpp"
#include "report/catalogue.hpp"

namespace kemro {

namespace {

// Permission bits a new file asks for; the process's file mode mask removes some.
constexpr mode_t NEW_FILE_MODE = 0666;
// The permission bits an old file hands on to the report that replaces it.
constexpr mode_t PERMISSION_BITS = 0777;
// Longest name the system accepts for a path, its terminating NUL excluded.
constexpr std::size_t LONGEST_NAME = PATH_MAX - 1;

// The name used for the file system: the answer without trailing blanks.
std::string trimmed_name(const std::string& field) {
  const auto end = field.find_last_not_of(' ');
  return end == std::string::npos ? std::string() : field.substr(0, end + 1);
}

// Existence only: no check of the file's type or permissions.
bool file_exists(const std::string& name) {
  if (name.find('\0') != std::string::npos) return false;  // no such name can exist
  struct stat info;
  return ::stat(name.c_str(), &info) == 0;
}

// The folder that holds `name`.
std::string folder_of(const std::string& name) {
  const auto slash = name.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : name.substr(0, slash);
}

// The permission bits a new file gets from the file mode mask.
mode_t new_file_mode() {
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return NEW_FILE_MODE & ~mask;
}

// Whether the report may go through a temporary file, and with which
// permission bits: for a new name, and for an old plain file with one link
// (renaming over a device, a symbolic link or a hard-linked file would
// replace something other than the file the user named).
bool replaceable(const std::string& name, mode_t& mode, bool& old_file) {
  old_file = false;
  // No plain file can take these names; opening them in place gives the reason.
  if (name.empty() || name.back() == '/') return false;
  struct stat info;
  if (::lstat(name.c_str(), &info) != 0) {
    mode = new_file_mode();
    return errno == ENOENT;
  }
  old_file = true;
  mode = info.st_mode & PERMISSION_BITS;
  return S_ISREG(info.st_mode) && info.st_nlink == 1;
}

// A new temporary file beside `name` with the given permission bits, or
// nullptr (the folder cannot take it; the caller then writes in place).
std::FILE* open_temporary(const std::string& name, mode_t mode, std::string& temporary) {
  std::string pattern = folder_of(name) + "/.kemro-report-XXXXXX";
  const int fd = ::mkostemp(pattern.data(), O_CLOEXEC);
  if (fd < 0) return nullptr;
  std::FILE* file = ::fchmod(fd, mode) == 0 ? ::fdopen(fd, "w") : nullptr;
  if (file == nullptr) {
    ::close(fd);
    ::unlink(pattern.c_str());
    return nullptr;
  }
  temporary = pattern;
  guard_temporary(temporary.c_str());
  return file;
}

OpenResult open_for_writing(Dialog& dialog) {
  const std::string& name = dialog.report.name;
  // A NUL byte would silently cut the name short and open another file.
  if (name.find('\0') != std::string::npos) {
    dialog.fail(EXIT_FILE_ERROR, "cannot open the report file: its name contains a NUL byte");
    return OpenResult::OpenFailed;
  }
  mode_t mode = 0;
  bool old_file = false;
  std::FILE* file = nullptr;
  if (replaceable(name, mode, old_file)) {
    file = open_temporary(name, mode, dialog.report.temporary);
    dialog.report.replaces_old = old_file;
  }
  if (file == nullptr) file = std::fopen(name.c_str(), "we");
  if (file == nullptr) {
    const int error = errno;
    dialog.fail(EXIT_FILE_ERROR,
                "cannot open the report file \"" + name + "\": " + std::strerror(error));
    return OpenResult::OpenFailed;
  }
  dialog.report.file = file;
  dialog.report.unit = 1;
  return OpenResult::Ready;
}

}  // namespace

OpenResult OPEN(Dialog& dialog) {
  dialog.prompt(records::FILENAME_PROMPT);
  std::string field;
  if (dialog.reader.read_line(field, "(A)") == ReadResult::Failed) {
    return OpenResult::InputFailed;
  }
  dialog.report.name = trimmed_name(field);
  if (dialog.report.name.size() > LONGEST_NAME) {
    dialog.fail(EXIT_FILE_ERROR, "cannot open the report file: its name has " +
                                     std::to_string(dialog.report.name.size()) +
                                     " bytes, more than the system's " +
                                     std::to_string(LONGEST_NAME));
    return OpenResult::OpenFailed;
  }
  if (file_exists(dialog.report.name)) {
    // Short names show in a 14-character field, as they always have.
    std::string shown = dialog.report.name;
    if (shown.size() < REPORT_NAME_FIELD) shown.resize(REPORT_NAME_FIELD, ' ');
    write(dialog.console, records::OVERWRITE_QUESTION,
          {records::OVERWRITE_FILE, std::string_view(shown), records::OVERWRITE_FOUND,
           records::OVERWRITE_YN});
    std::fflush(dialog.console);
    std::string answer;
    if (dialog.reader.read_text(answer, 1, "(A1)") == ReadResult::Failed) {
      return OpenResult::InputFailed;
    }
    // Anything but Y or y keeps the report on standard error and the file untouched.
    if (answer[0] != 'Y' && answer[0] != 'y') return OpenResult::Ready;
  }
  return open_for_writing(dialog);
}

}  // namespace kemro
