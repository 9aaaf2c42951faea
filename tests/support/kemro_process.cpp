#include "tests/support/kemro_process.hpp"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

namespace kemro::testing {

std::filesystem::path make_temp_dir() {
  std::random_device seed;
  std::mt19937_64 random(seed());
  for (int attempt = 0; attempt < 100; ++attempt) {
    auto dir = std::filesystem::temp_directory_path() /
               ("kemro-test-" + std::to_string(::getpid()) + "-" + std::to_string(random()));
    if (std::filesystem::create_directory(dir)) return dir;
  }
  throw std::runtime_error("cannot create a temporary folder");
}

std::string read_file(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void write_file(const std::filesystem::path& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary);
  out << text;
}

std::vector<std::string> split_lines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t end = text.find('\n', start);
    if (end == std::string::npos) {
      lines.push_back(text.substr(start));
      break;
    }
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

ProcessRun run_process(const std::string& program, const std::vector<std::string>& args,
                       const std::string& input, const std::filesystem::path& dir, unsigned seconds,
                       const ProcessOptions& options) {
  const auto io = make_temp_dir();
  write_file(io / "stdin", input);
  const std::string in_path = io / "stdin";
  const std::string out_path = io / "stdout";
  const std::string err_path = io / "stderr";
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);

  const pid_t child = ::fork();
  if (child < 0) throw std::runtime_error("fork failed");
  if (child == 0) {
    const int in = ::open(in_path.c_str(), O_RDONLY);
    const int out = ::open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err = ::open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (in < 0 || out < 0 || err < 0 || ::chdir(dir.c_str()) != 0) ::_exit(125);
    ::dup2(in, 0);
    ::dup2(out, 1);
    ::dup2(err, 2);
    rlimit cpu{seconds, seconds};
    ::setrlimit(RLIMIT_CPU, &cpu);
    if (options.file_size_limit != 0) {
      // The write beyond the limit then fails with EFBIG instead of a signal.
      ::signal(SIGXFSZ, SIG_IGN);
      rlimit size{options.file_size_limit, options.file_size_limit};
      ::setrlimit(RLIMIT_FSIZE, &size);
    }
    if (options.close_standard_output) ::close(1);
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

ProcessRun run_kemro_process(const std::string& input, const std::filesystem::path& dir,
                             unsigned seconds, const ProcessOptions& options) {
  return run_process(KEMRO_EXE, {}, input, dir, seconds, options);
}

}  // namespace kemro::testing
