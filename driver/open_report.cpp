#include "driver/open_report.hpp"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "report/catalogue.hpp"

namespace kemro {

namespace {

// The name used for the file system: the 14-character field without trailing blanks.
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

OpenResult open_for_writing(Dialog& dialog) {
  const std::string& name = dialog.report.name;
  // A NUL byte would silently cut the name short and open another file.
  if (name.find('\0') != std::string::npos) {
    dialog.fail(EXIT_FILE_ERROR, "cannot open the report file: its name contains a NUL byte");
    return OpenResult::OpenFailed;
  }
  std::FILE* file = std::fopen(name.c_str(), "w");
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
  if (dialog.reader.read_text(field, REPORT_NAME_LENGTH, "(A)") == ReadResult::Failed) {
    return OpenResult::InputFailed;
  }
  dialog.report.name = trimmed_name(field);
  if (file_exists(dialog.report.name)) {
    write(dialog.console, records::OVERWRITE_QUESTION,
          {records::OVERWRITE_FILE, std::string_view(field), records::OVERWRITE_FOUND,
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
