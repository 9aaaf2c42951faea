// A finished report survives the end of the run at the exit prompt: kemro is
// killed (SIGKILL) or hung up (SIGHUP) while it waits for the last answer, and
// the report file must already hold the whole report. Also: a report file that
// cannot take the report ends the run with the diagnostic that names the cause,
// whether the report fails at the start or in the middle of the run, before
// the exit prompt.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <string>

#include "tests/support/kemro_process.hpp"
#include "tests/support/report_compare.hpp"

namespace kemro::testing {
namespace {

namespace fs = std::filesystem;

const std::string EXIT_PROMPT = " Ready to exit (Answer with y or n)?";
constexpr int PROMPT_WAIT_MS = 120'000;  // longest wait for the exit prompt (sanitizer build)

struct Problem {
  const char* expected;  // stored report in tests/expected/
  const char* answers;   // N, N1, K, d
};

// A report shorter than one stdio buffer (lost whole unless flushed) and a longer one.
const Problem PROBLEMS[] = {
    {"no_effect.txt", "100\n80\n20\n0\n"},
    {"bench_10000.report", "10000\n8000\n1000\n0.5\n"},
};

// Starts kemro in `dir`, answers everything but the exit prompt, waits for
// `cue` on standard output (the exit prompt unless given) and ends the program
// with `signal`. Returns the wait status.
int kill_at_exit_prompt(const fs::path& dir, const std::string& answers, int signal,
                        const std::string& cue = EXIT_PROMPT) {
  int to_child[2];
  int from_child[2];
  if (::pipe(to_child) != 0 || ::pipe(from_child) != 0) ADD_FAILURE() << "pipe failed";
  const pid_t child = ::fork();
  if (child == 0) {
    const int null = ::open("/dev/null", O_WRONLY);
    if (null < 0 || ::chdir(dir.c_str()) != 0) ::_exit(125);
    ::dup2(to_child[0], 0);
    ::dup2(from_child[1], 1);
    ::dup2(null, 2);
    ::close(to_child[1]);
    ::close(from_child[0]);
    ::execl(KEMRO_EXE, KEMRO_EXE, static_cast<char*>(nullptr));
    ::_exit(126);
  }
  ::close(to_child[0]);
  ::close(from_child[1]);
  const std::string input = "r.txt\n" + answers;
  EXPECT_EQ(::write(to_child[1], input.data(), input.size()), static_cast<ssize_t>(input.size()));
  std::string out;
  pollfd ready{from_child[0], POLLIN, 0};
  while (out.find(cue) == std::string::npos && ::poll(&ready, 1, PROMPT_WAIT_MS) > 0) {
    char chunk[4096];
    const ssize_t n = ::read(from_child[0], chunk, sizeof chunk);
    if (n <= 0) break;
    out.append(chunk, static_cast<std::size_t>(n));
  }
  EXPECT_NE(out.find(cue), std::string::npos) << "no " << cue << "; output:\n" << out;
  ::kill(child, signal);
  int status = 0;
  while (::waitpid(child, &status, 0) < 0) {
  }
  ::close(to_child[1]);
  ::close(from_child[0]);
  return status;
}

TEST(ReportDurability, KilledOrHungUpAtTheExitPromptLeavesTheWholeReport) {
  for (const int signal : {SIGKILL, SIGHUP}) {
    for (const Problem& p : PROBLEMS) {
      SCOPED_TRACE(std::string(p.expected) + " ended by " + ::strsignal(signal));
      const fs::path dir = make_temp_dir();
      const int status = kill_at_exit_prompt(dir, p.answers, signal);
      EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << "wait status " << status;
      expect_same_report(read_file(dir / "r.txt"), expected_report(p.expected));
      fs::remove_all(dir);
    }
  }
}

// Terminated or hung up while computing, a run leaves neither a report nor
// its temporary file. (SIGINT takes the same path, but a test started in the
// background may have it ignored.)
TEST(ReportDurability, StoppedWhileComputingLeavesNoFile) {
  for (const int signal : {SIGTERM, SIGHUP}) {
    SCOPED_TRACE(::strsignal(signal));
    const fs::path dir = make_temp_dir();
    const int status = kill_at_exit_prompt(dir, "20000\n10000\n10000\n0\n", signal, "SOME OUTPUT");
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << "wait status " << status;
    EXPECT_TRUE(fs::is_empty(dir));
    fs::remove_all(dir);
  }
}

TEST(ReportDurability, ReportFileThatTakesNothingIsNamedWithItsCause) {
  if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full here";
  for (const Problem& p : PROBLEMS) {
    SCOPED_TRACE(p.expected);
    const fs::path dir = make_temp_dir();
    const ProcessRun r = run_kemro_process("/dev/full\ny\n" + std::string(p.answers) + "y\n", dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err,
              "KEMRO: error writing the report file \"/dev/full\": No space left on device\n");
    // Named at once, before any work: nothing to compute for a lost report.
    EXPECT_EQ(r.out.find("SOME OUTPUT"), std::string::npos) << r.out;
    fs::remove_all(dir);
  }
}

// A file system that fills up in the middle of the report (here a file size
// limit, which fails the write the same way): the error is named when it
// happens, the run ends with status 1 before the exit prompt, a new report
// keeps what was written and an old file being replaced stays as it was.
TEST(ReportDurability, FullFileSystemEndsTheRunBeforeTheExitPrompt) {
  // Below the 2145-byte report of no_effect.txt, above its 1528-byte trace.
  constexpr unsigned long LIMIT = 2000;
  const fs::path dir = make_temp_dir();
  const std::string answers = std::string(PROBLEMS[0].answers) + "y\n";
  const ProcessRun fresh = run_kemro_process("r.txt\n" + answers, dir, 120, {LIMIT, false});
  EXPECT_EQ(fresh.status, 1);
  EXPECT_EQ(fresh.err, "KEMRO: error writing the report file \"r.txt\": File too large\n");
  EXPECT_EQ(fresh.out.find(EXIT_PROMPT), std::string::npos) << fresh.out;
  const std::string kept = read_file(dir / "r.txt");
  EXPECT_EQ(kept.size(), LIMIT);
  EXPECT_EQ(
      kept,
      read_file(fs::path(KEMRO_SOURCE_DIR) / "tests/expected/no_effect.txt").substr(0, LIMIT));

  write_file(dir / "r.txt", "old\n");
  const ProcessRun replacing = run_kemro_process("r.txt\ny\n" + answers, dir, 120, {LIMIT, false});
  EXPECT_EQ(replacing.status, 1);
  EXPECT_EQ(replacing.err,
            "KEMRO: error writing the report file \"r.txt\": File too large; the old file is "
            "unchanged\n");
  EXPECT_EQ(read_file(dir / "r.txt"), "old\n");
  EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);
  fs::remove_all(dir);
}

}  // namespace
}  // namespace kemro::testing
