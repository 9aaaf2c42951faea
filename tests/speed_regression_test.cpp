// The benchmark problems' full reports and console traces, compared with the
// files the straightforward (unoptimised) build wrote: a faster build must
// write the same report, and the same trace with every RESULT agreeing to the
// ten significant digits it is printed with.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "tests/support/kemro_process.hpp"
#include "tests/support/report_compare.hpp"

namespace kemro::testing {
namespace {

struct Problem {
  const char* name;  // tests/expected/<name>.report and .trace
  const char* answers;
  bool long_running;  // seconds in a Release build; skipped under the sanitizers
};

const Problem PROBLEMS[] = {
    {"bench_1000", "1000\n700\n100\n1.0\n", false},
    {"bench_2000", "2000\n1500\n400\n0.5\n", false},
    {"bench_10000", "10000\n8000\n1000\n0.5\n", false},
    {"bench_100000", "100000\n80000\n10000\n0.5\n", true},
};

void PrintTo(const Problem& p, std::ostream* os) {
  *os << p.name;
}

bool is_start_stamp(const std::string& line) {
  return line.rfind("Program execution starts on ", 0) == 0;
}

// A trace row's last field, RESULT, printed as 0.dddddddddd E+xx. Two rows
// agree when all before it is the same text and the RESULTs differ by at most
// one unit in their tenth significant digit.
bool same_trace_row(const std::string& got, const std::string& want) {
  const std::size_t cut = want.find_last_of(' ');
  if (cut == std::string::npos || got.size() < cut || got.compare(0, cut, want, 0, cut) != 0) {
    return false;
  }
  const std::string want_field = want.substr(cut + 1);
  const std::size_t e = want_field.find('E');
  if (e == std::string::npos) return false;
  char* end = nullptr;
  const double a = std::strtod(got.c_str() + cut, &end);
  if (end != got.c_str() + got.size()) return false;
  const double b = std::strtod(want_field.c_str(), nullptr);
  const double last_digit = std::pow(10.0, std::atoi(want_field.c_str() + e + 1) - 10);
  return std::fabs(a - b) <= 1.000001 * last_digit;
}

void expect_same_trace(const std::string& actual, const std::string& expected) {
  const auto got = split_lines(actual);
  const auto want = split_lines(expected);
  ASSERT_EQ(got.size(), want.size()) << actual;
  for (std::size_t i = 0; i < want.size(); ++i) {
    if (is_start_stamp(want[i])) {
      EXPECT_TRUE(is_start_stamp(got[i])) << "line " << i + 1 << ": " << got[i];
    } else if (got[i] != want[i]) {
      EXPECT_TRUE(same_trace_row(got[i], want[i]))
          << "line " << i + 1 << ":\n  got:      " << got[i] << "\n  expected: " << want[i];
    }
  }
}

TEST(TraceComparison, AllowsOnlyTheTenthDigitOfResultToDiffer) {
  const std::string row = "              12   7012   1989   0.00000    0.2509648001E-26";
  EXPECT_TRUE(same_trace_row("              12   7012   1989   0.00000    0.2509648002E-26", row));
  EXPECT_TRUE(same_trace_row("              12   7012   1989   0.00000    0.2509648000E-26", row));
  EXPECT_FALSE(same_trace_row("              12   7012   1989   0.00000    0.2509648003E-26", row));
  EXPECT_FALSE(same_trace_row("              12   7012   1989   0.00000    0.2509648001E-25", row));
  EXPECT_FALSE(same_trace_row("              12   7012   1989   0.00001    0.2509648001E-26", row));
  EXPECT_FALSE(
      same_trace_row("              12   7012   1989   0.00000    0.2509648001E-26x", row));
}

class BenchmarkProblem : public ::testing::TestWithParam<Problem> {};

TEST_P(BenchmarkProblem, ReportAndTraceMatchTheUnoptimisedBuild) {
  const Problem& p = GetParam();
#ifdef KEMRO_SANITIZED
  if (p.long_running) GTEST_SKIP() << "takes minutes under the sanitizers";
#endif
  const auto dir = make_temp_dir();
  const ProcessRun run = run_kemro_process(std::string("r.txt\n") + p.answers + "y\n", dir);
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "");
  const std::string name = p.name;
  expect_same_report(read_file(dir / "r.txt"), expected_report(name + ".report"));
  expect_same_trace(run.out, expected_report(name + ".trace"));
  std::filesystem::remove_all(dir);
}

INSTANTIATE_TEST_SUITE_P(Problems, BenchmarkProblem, ::testing::ValuesIn(PROBLEMS),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace kemro::testing
