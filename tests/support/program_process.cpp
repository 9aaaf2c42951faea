// Running a built program with its standard streams on files or on a pseudo-terminal.
#include "tests/support/program_process.hpp"

#include <pty.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>

namespace kemro::testing {

ProcessRun run_program(const std::string& program, const std::vector<std::string>& args,
                       const std::filesystem::path& dir, unsigned seconds) {
  return run_process(program, args, "", dir, seconds);
}

ProcessRun run_on_terminal(const std::string& program, const std::vector<std::string>& args,
                           const std::filesystem::path& dir, unsigned seconds) {
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  termios raw{};
  ::cfmakeraw(&raw);  // no "\n" -> "\r\n", no echo: the bytes as the program wrote them
  winsize size{24, 120, 0, 0};
  int master = -1;
  const pid_t child = ::forkpty(&master, nullptr, &raw, &size);
  if (child < 0) throw std::runtime_error("forkpty failed");
  if (child == 0) {
    if (::chdir(dir.c_str()) != 0) ::_exit(125);
    rlimit cpu{seconds, seconds};
    ::setrlimit(RLIMIT_CPU, &cpu);
    ::alarm(seconds);
    ::execv(program.c_str(), argv.data());
    ::_exit(126);
  }
  ProcessRun run;
  char buffer[4096];
  for (;;) {
    const ssize_t got = ::read(master, buffer, sizeof buffer);
    if (got > 0) {
      run.out.append(buffer, static_cast<std::size_t>(got));
    } else if (got < 0 && errno == EINTR) {
      continue;
    } else {
      break;  // EIO once the child and its descendants have closed the terminal
    }
  }
  ::close(master);
  int wait_status = 0;
  while (::waitpid(child, &wait_status, 0) < 0) {
  }
  run.status = WIFEXITED(wait_status) ? WEXITSTATUS(wait_status) : 128 + WTERMSIG(wait_status);
  return run;
}

}  // namespace kemro::testing
