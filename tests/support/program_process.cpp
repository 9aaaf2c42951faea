#include "tests/support/program_process.hpp"

namespace kemro::testing {

ProcessRun run_program(const std::string& program, const std::vector<std::string>& args,
                       const std::filesystem::path& dir, unsigned seconds) {
  return run_process(program, args, "", dir, seconds);
}

}  // namespace kemro::testing
