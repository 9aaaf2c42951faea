#include "tests/support/program_process.hpp"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <stdexcept>

namespace kemro::testing {

ProcessRun run_program(const std::string& program, const std::vector<std::string>& args,
                       const std::filesystem::path& dir, unsigned seconds) {
  const auto io = make_temp_dir();
  const std::string out_path = io / "stdout";
  const std::string err_path = io / "stderr";
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);

  const pid_t child = ::fork();
  if (child < 0) throw std::runtime_error("fork failed");
  if (child == 0) {
    const int in = ::open("/dev/null", O_RDONLY);
    const int out = ::open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err = ::open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (in < 0 || out < 0 || err < 0 || ::chdir(dir.c_str()) != 0) ::_exit(125);
    ::dup2(in, 0);
    ::dup2(out, 1);
    ::dup2(err, 2);
    rlimit cpu{seconds, seconds};
    ::setrlimit(RLIMIT_CPU, &cpu);
    ::alarm(seconds);
    ::execv(program.c_str(), argv.data());
    ::_exit(126);
  }
  int wait_status = 0;
  while (::waitpid(child, &wait_status, 0) < 0) {
  }
  ProcessRun run;
  run.status = WIFEXITED(wait_status) ? WEXITSTATUS(wait_status) : 128 + WTERMSIG(wait_status);
  run.out = read_file(out_path);
  run.err = read_file(err_path);
  std::filesystem::remove_all(io);
  return run;
}

}  // namespace kemro::testing
