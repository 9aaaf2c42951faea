// Runs the built kemro executable with piped answers, for end-to-end tests.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace kemro::testing {

struct ProcessRun {
  int status = -1;  // exit status, or 128 + signal number
  std::string out;  // standard output: dialog and trace
  std::string err;  // standard error: diagnostics (and a declined report)
};

// A fresh empty folder under the system's temporary directory.
std::filesystem::path make_temp_dir();

// Conditions a child runs under besides its input.
struct ProcessOptions {
  // Largest file the child may write, in bytes (0: no limit); a write beyond
  // fails with EFBIG, as on a full disk.
  unsigned long file_size_limit = 0;
  bool close_standard_output = false;  // the child starts with descriptor 1 closed
};

// Runs `program` with `args` in `dir` with `input` as standard input. The
// child is killed after `seconds` of wall or processor time.
ProcessRun run_process(const std::string& program, const std::vector<std::string>& args,
                       const std::string& input, const std::filesystem::path& dir,
                       unsigned seconds = 120, const ProcessOptions& options = {});

// Runs build/kemro in `dir` with `input` as standard input. The child is
// killed after `seconds` of wall or processor time.
ProcessRun run_kemro_process(const std::string& input, const std::filesystem::path& dir,
                             unsigned seconds = 120, const ProcessOptions& options = {});

std::string read_file(const std::filesystem::path& path);
void write_file(const std::filesystem::path& path, const std::string& text);

// Splits text into lines without their line ends.
std::vector<std::string> split_lines(const std::string& text);

}  // namespace kemro::testing
