// Runs a built executable with command-line arguments, for end-to-end tests
// of the tools that take no dialog.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/kemro_process.hpp"

namespace kemro::testing {

// Runs `program` with `args` in `dir`, standard input empty. The child is
// killed after `seconds` of wall or processor time.
ProcessRun run_program(const std::string& program, const std::vector<std::string>& args,
                       const std::filesystem::path& dir, unsigned seconds = 120);

// The same with standard input, output and error all on one new pseudo-terminal,
// as in an interactive shell: `out` holds every byte the terminal received, in
// order (its output processing is off, so line ends arrive as written), `err`
// stays empty. The child is killed after `seconds`.
ProcessRun run_on_terminal(const std::string& program, const std::vector<std::string>& args,
                           const std::filesystem::path& dir, unsigned seconds = 120);

}  // namespace kemro::testing
