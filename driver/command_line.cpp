// kemro's command line: --help, --version and the standard descriptors.
#include "driver/command_line.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <string_view>

#include "driver/dialog.hpp"
#include "report/answer_reader.hpp"

namespace kemro {

namespace {

constexpr int LAST_STANDARD_DESCRIPTOR = 2;

constexpr std::string_view USAGE =
    "Usage: kemro [--help | --version]\n"
    "Computes the exact sampling distribution of the adverse impact ratio for one\n"
    "selection. Asks on standard output for the report file, the number of\n"
    "applicants N, the number from the majority group N1 (1 to N - 1), the number\n"
    "of hires K (1 to N) and the effect size d, reads the answers from standard\n"
    "input and writes the report to the file; standard output shows a trace.\n"
    "Exit status: 0 done; 1 the report file cannot be opened or written; 2 an\n"
    "answer cannot be read or is out of range, or an unknown argument.\n";

// Writes the whole text; false when the stream fails.
bool put(std::FILE* stream, std::string_view text) {
  return std::fwrite(text.data(), 1, text.size(), stream) == text.size() &&
         std::fflush(stream) == 0;
}

}  // namespace

bool connect_closed_standard_descriptors() {
  for (int fd = 0; fd <= LAST_STANDARD_DESCRIPTOR; ++fd) {
    if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    // The lowest free descriptor is the closed one, so /dev/null lands on it.
    const int opened = ::open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
    if (opened < 0) return false;
    if (opened != fd) {
      const bool moved = ::dup2(opened, fd) == fd;
      ::close(opened);
      if (!moved) return false;
    }
  }
  return true;
}

int answer_arguments(int argc, const char* const* argv, std::FILE* out, std::FILE* errors) {
  const std::string_view argument = argv[1];
  if (argc == 2 && argument == "--help") return put(out, USAGE) ? EXIT_OK : EXIT_FILE_ERROR;
  if (argc == 2 && argument == "--version") {
    return put(out, "kemro " KEMRO_VERSION "\n") ? EXIT_OK : EXIT_FILE_ERROR;
  }
  const std::string_view unknown =
      argument == "--help" || argument == "--version" ? argv[2] : argument;
  std::fprintf(errors, "kemro: unknown argument %s\n", quoted(unknown).c_str());
  put(errors, USAGE);
  return EXIT_INPUT_ERROR;
}

}  // namespace kemro
