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

}  // namespace kemro::testing
