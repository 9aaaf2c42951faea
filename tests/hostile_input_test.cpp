// End-to-end runs of build/kemro with degenerate and hostile answers: empty
// groups, impossible counts, the ends of the 32-bit range, extreme effect
// sizes, odd file names, foreign line ends, NUL bytes, megabyte lines and the
// end of the input at every prompt. Every run must end by itself, quickly,
// with a status that says how it ended: 0 with a report (whatever infinities
// and not-a-numbers it has to show), or non-zero with a diagnostic on
// standard error. Under the sanitizer build these runs use the sanitized
// executable, so undefined behaviour anywhere on their path fails them.
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include "tests/support/kemro_process.hpp"
#include "tests/support/report_compare.hpp"

namespace kemro::testing {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;

// Test cases print as their names.
template <typename Case>
requires requires(const Case& c) {
  c.name;
}
void PrintTo(const Case& c, std::ostream* os) {
  *os << c.name;
}

// A run still going after this many seconds is killed and counts as hung.
constexpr unsigned TIME_LIMIT = 20;
const std::size_t MEGABYTE = std::size_t{1} << 20;

// A problem whose computation is trivial (K = N: one outcome, nothing to integrate).
const std::string TRIVIAL = "10\n6\n10\n0.5\n";
// A problem with five integrated outcomes.
const std::string SMALL = "20\n15\n5\n";

const std::string EXIT_PROMPT = " Ready to exit (Answer with y or n)?";
const std::string ROW_CAPTION = "AIvalue    Prob   CProb     N2     N1";
const std::string VALUE_CAPTION = "      SRA      SRI       AI";
const std::string PERCENTILE_CAPTION = "    P05    P10    P25    P50    P75    P90    P95";

// Lines of a report: 13 banner lines, then the PROBLEM SPECIFICATION block with its
// five value lines at 16 to 20 and an empty line at 21.
constexpr std::size_t FIRST_SPEC_LINE = 16;
constexpr std::size_t SPEC_LINES = 5;
constexpr std::size_t ABANDONED_REPORT_LINES = 24;  // header, empty line, CPU-time line

bool is_cpu_line(const std::string& line) {
  return std::regex_match(line, std::regex(R"(CPU TIME IN SECONDS [ 0-9]{8}[0-9]\.[0-9]{2})"));
}

std::vector<std::string> header_lines(const std::vector<std::string>& report) {
  if (report.size() < FIRST_SPEC_LINE + SPEC_LINES) return {};
  return {report.begin() + FIRST_SPEC_LINE, report.begin() + FIRST_SPEC_LINE + SPEC_LINES};
}

// The complete report: distribution table, exact values, population values
// and the CPU-time line last.
bool is_complete(const std::vector<std::string>& report) {
  return report.size() > ABANDONED_REPORT_LINES && report[22] == "PROGRAM OUTPUT" &&
         std::find(report.begin(), report.end(), "Population values for SRA, SRI and AI:") !=
             report.end() &&
         is_cpu_line(report.back());
}

// The report of an abandoned computation: the header and the CPU-time line only.
bool is_abandoned(const std::vector<std::string>& report) {
  return report.size() == ABANDONED_REPORT_LINES && report[21].empty() && report[22].empty() &&
         is_cpu_line(report[23]);
}

// The distribution rows: the lines between the caption and the next empty line.
std::vector<std::string> rows(const std::vector<std::string>& report) {
  auto it = std::find(report.begin(), report.end(), ROW_CAPTION);
  if (it == report.end()) return {};
  std::vector<std::string> out;
  for (++it; it != report.end() && !it->empty(); ++it) out.push_back(*it);
  return out;
}

// The line after the n-th (from 0) occurrence of `caption`, or "" when there is none.
std::string line_after(const std::vector<std::string>& report, const std::string& caption,
                       int n = 0) {
  for (std::size_t i = 0; i + 1 < report.size(); ++i) {
    if (report[i] == caption && n-- == 0) return report[i + 1];
  }
  return "";
}

std::string exact_values(const std::vector<std::string>& report) {
  return line_after(report, VALUE_CAPTION, 0);
}
std::string population_values(const std::vector<std::string>& report) {
  return line_after(report, VALUE_CAPTION, 1);
}

int count(const std::vector<std::string>& lines, const std::string& line) {
  return static_cast<int>(std::count(lines.begin(), lines.end(), line));
}

// The run ended by itself with `status`; a non-zero status comes with a
// diagnostic, a zero status with nothing on standard error but the outer
// integrator's informative messages; no sanitizer spoke.
void expect_ended_cleanly(const ProcessRun& r, int status) {
  EXPECT_LT(r.status, 128) << "killed by signal " << r.status - 128
                           << (r.status - 128 == SIGALRM ? " (hung)" : "") << "\n"
                           << r.err.substr(0, 2000);
  EXPECT_EQ(r.status, status) << r.err.substr(0, 2000);
  EXPECT_EQ(r.err.find("Sanitizer"), std::string::npos) << r.err;
  EXPECT_EQ(r.err.find("runtime error:"), std::string::npos) << r.err;
  if (status != 0) {
    EXPECT_FALSE(r.err.empty()) << "no diagnostic for status " << status;
    return;
  }
  for (const std::string& line : split_lines(r.err)) {
    EXPECT_EQ(line.rfind("DQAG: ABNORMAL RETURN", 0), 0u) << line;
  }
}

class HostileRun : public ::testing::Test {
 protected:
  void SetUp() override { dir = make_temp_dir(); }
  void TearDown() override { fs::remove_all(dir); }

  ProcessRun run(const std::string& input) { return run_kemro_process(input, dir, TIME_LIMIT); }
  std::vector<std::string> report(const std::string& name = "r.txt") {
    return split_lines(read_file(dir / name));
  }

  fs::path dir;
};

// ---------------------------------------------------------------------------
// The one degenerate problem the dialog accepts: everybody hired.

struct Problem {
  const char* name;
  const char* answers;  // N, N1, K and d, one per line
  std::vector<std::string> header;
  std::vector<std::string> rows;
  std::string exact;            // SRA, SRI, AI
  std::string percentiles;      // the seven percentile values
  std::string population = "";  // pattern of the population values, "" when not checked
};

std::string seven(const char* field) {
  std::string line;
  for (int i = 0; i < 7; ++i) line += field;
  return line;
}

std::vector<std::string> header(const char* N, const char* N1, const char* N2, const char* K,
                                const char* d = "  0.500000") {
  return {"Total number of applicants:"s + N, "Number of majority group applicants:"s + N1,
          "Number of minority group applicants:"s + N2, "Required number of new employees:"s + K,
          "Effect size predictor (composite):"s + d};
}

class DegenerateProblem : public HostileRun, public ::testing::WithParamInterface<Problem> {};

TEST_P(DegenerateProblem, GivesACompleteReport) {
  const Problem& p = GetParam();
  const ProcessRun r = run("r.txt\n"s + p.answers + "y\n");
  expect_ended_cleanly(r, 0);
  const auto lines = report();
  ASSERT_TRUE(is_complete(lines)) << read_file(dir / "r.txt");
  EXPECT_EQ(header_lines(lines), p.header);
  EXPECT_EQ(rows(lines), p.rows);
  EXPECT_EQ(exact_values(lines), p.exact);
  EXPECT_EQ(line_after(lines, PERCENTILE_CAPTION), p.percentiles);
  if (!p.population.empty()) {
    EXPECT_TRUE(std::regex_match(population_values(lines), std::regex(p.population)))
        << population_values(lines);
  }
  EXPECT_EQ(count(split_lines(r.out), EXIT_PROMPT), 1);
}

INSTANTIATE_TEST_SUITE_P(Answers, DegenerateProblem,
                         ::testing::Values(
                             // Everybody hired, whatever the effect size.
                             Problem{
                                 "EverybodyHired",
                                 "10\n6\n10\n-2.5\n",
                                 header("     10", "      6", "      4", "     10", " -2.500000"),
                                 {"  1.000  1.0000  1.0000      4      6"},
                                 "  1.00000  1.00000  1.00000",
                                 seven("  1.000"),
                                 "  1.00000  1.00000  1.00000"}),
                         [](const auto& info) { return std::string(info.param.name); });

// Counts without meaning (an empty group, no hires, more hires than
// applicants, the ends of the 32-bit range) end the run before anything is
// computed, with a line that names the answer and its range, and no file.
struct Impossible {
  const char* name;
  const char* answers;  // up to the refused count
  const char* message;
};

class ImpossibleProblem : public HostileRun, public ::testing::WithParamInterface<Impossible> {};

TEST_P(ImpossibleProblem, EndsTheRunBeforeAnythingIsComputed) {
  const ProcessRun r = run("r.txt\n"s + GetParam().answers + "3\n0.5\ny\n");
  expect_ended_cleanly(r, 2);
  EXPECT_EQ(r.err, "KEMRO: "s + GetParam().message + "\n");
  EXPECT_TRUE(fs::is_empty(dir));
}

INSTANTIATE_TEST_SUITE_P(
    Answers, ImpossibleProblem,
    ::testing::Values(
        Impossible{"NoApplicants", "0\n", "the total number of applicants, 0, must be at least 2"},
        Impossible{"NegativeApplicants", "-10\n",
                   "the total number of applicants, -10, must be at least 2"},
        Impossible{"SmallestCounts", "-2147483648\n",
                   "the total number of applicants, -2147483648, must be at least 2"},
        Impossible{"NoMajority", "10\n0\n",
                   "the number of majority group applicants, 0, must be from 1 to 9 (N - 1)"},
        Impossible{"NoMinority", "10\n10\n",
                   "the number of majority group applicants, 10, must be from 1 to 9 (N - 1)"},
        Impossible{"MajorityAboveTotal", "10\n12\n",
                   "the number of majority group applicants, 12, must be from 1 to 9 (N - 1)"},
        Impossible{"NegativeMajority", "10\n-5\n",
                   "the number of majority group applicants, -5, must be from 1 to 9 (N - 1)"},
        Impossible{"LargestCounts", "2147483647\n2147483647\n",
                   "the number of majority group applicants, 2147483647, must be from 1 to "
                   "2147483646 (N - 1)"},
        Impossible{"MinorityBeyond32Bits", "2147483647\n-1\n",
                   "the number of majority group applicants, -1, must be from 1 to 2147483646 "
                   "(N - 1)"},
        Impossible{"NoHires", "10\n6\n0\n",
                   "the required number of new employees, 0, must be from 1 to 10 (N)"},
        Impossible{"MoreHiresThanApplicants", "10\n6\n12\n",
                   "the required number of new employees, 12, must be from 1 to 10 (N)"},
        Impossible{"NegativeHires", "10\n6\n-3\n",
                   "the required number of new employees, -3, must be from 1 to 10 (N)"},
        Impossible{"LargestHires", "10\n5\n2147483647\n",
                   "the required number of new employees, 2147483647, must be from 1 to 10 (N)"},
        Impossible{"SmallestHires", "10\n5\n-2147483648\n",
                   "the required number of new employees, -2147483648, must be from 1 to 10 (N)"}),
    [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------
// Huge applicant pools: the order statistics are extremely narrow. Whether the
// outcome stage completes or gives up, the run ends quickly and cleanly.

struct Pool {
  const char* name;
  const char* answers;
  std::vector<std::string> header;
};

class HugePool : public HostileRun, public ::testing::WithParamInterface<Pool> {};

TEST_P(HugePool, EndsWithACompleteOrAbandonedReport) {
  const ProcessRun r = run("r.txt\n"s + GetParam().answers + "y\n");
  expect_ended_cleanly(r, 0);
  const auto lines = report();
  EXPECT_TRUE(is_complete(lines) || is_abandoned(lines)) << read_file(dir / "r.txt");
  EXPECT_EQ(header_lines(lines), GetParam().header);
  EXPECT_EQ(count(split_lines(r.out), EXIT_PROMPT), 1);
}

INSTANTIATE_TEST_SUITE_P(
    Answers, HugePool,
    ::testing::Values(Pool{"LargestPoolFewMinority", "2147483647\n2147483000\n3\n0.5\n",
                           header("*******", "*******", "    647", "      3")},
                      Pool{"LargestPoolFewMajority", "2147483647\n1000\n3\n0.5\n",
                           header("*******", "   1000", "*******", "      3")},
                      Pool{"LargestPoolEvenSplit", "2147483647\n1073741823\n3\n-1\n",
                           header("*******", "*******", "*******", "      3", " -1.000000")},
                      Pool{"LargestPoolAlmostAllHired", "2147483647\n2147483000\n2147483640\n0.5\n",
                           header("*******", "*******", "    647", "*******")},
                      Pool{"LargestPoolInfiniteEffect", "2147483647\n2147483000\n3\n1e999\n",
                           header("*******", "*******", "    647", "      3", "       Inf")},
                      Pool{"LargestPoolMinusInfiniteEffect", "2147483647\n2147483000\n3\n-1e999\n",
                           header("*******", "*******", "    647", "      3", "      -Inf")}),
    [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------
// Answers the dialog refuses: integers beyond 32 bits end the run, an N2 or a
// table beyond reach asks the question again.

struct Refused {
  const char* name;
  const char* answers;
};

class AnswerBeyondThe32BitRange : public HostileRun,
                                  public ::testing::WithParamInterface<Refused> {};

TEST_P(AnswerBeyondThe32BitRange, EndsTheRunWithADiagnostic) {
  const ProcessRun r = run("r.txt\n"s + GetParam().answers + TRIVIAL + "y\n");
  expect_ended_cleanly(r, 2);
  EXPECT_EQ(split_lines(r.err).at(0), "invalid integer: integer out of range");
  EXPECT_TRUE(fs::is_empty(dir));  // no report, not even an empty one
}

INSTANTIATE_TEST_SUITE_P(Answers, AnswerBeyondThe32BitRange,
                         ::testing::Values(Refused{"ApplicantsAboveLargest", "2147483648\n"},
                                           Refused{"ApplicantsBelowSmallest", "-2147483649\n"},
                                           Refused{"MajorityAboveLargest", "10\n2147483648\n"},
                                           Refused{"MajorityBelowSmallest", "10\n-2147483649\n"},
                                           Refused{"HiresAboveLargest", "10\n6\n2147483648\n"},
                                           Refused{"HiresBelowSmallest", "10\n6\n-2147483649\n"},
                                           Refused{"ApplicantsFarAbove",
                                                   "99999999999999999999999999999\n"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(HostileRun, ProblemBeyondTheTablesAsksForTheHiresAgain) {
  const ProcessRun r = run("r.txt\n2147483647\n1073741823\n1073741823\n3\n0.5\ny\n");
  expect_ended_cleanly(r, 0);
  const auto out = split_lines(r.out);
  ASSERT_GE(out.size(), 7u);
  EXPECT_EQ(out[5],
            " The tables hold 150000 entries, but 1073741824 are needed for these numbers;"
            " please answer again.");
  EXPECT_EQ(out[6], " Required number of new employees?");
  EXPECT_EQ(header_lines(report())[3], "Required number of new employees:      3");
}

// ---------------------------------------------------------------------------
// Extreme effect sizes: subnormal, far outside the integration range, beyond
// the F10.6 field, and infinite.

struct EffectSize {
  const char* name;
  const char* answer;
  const char* rendered;  // the F10.6 field of the PROBLEM SPECIFICATION block
};

class ExtremeEffectSize : public HostileRun, public ::testing::WithParamInterface<EffectSize> {};

TEST_P(ExtremeEffectSize, GivesACompleteReportWithConsistentRates) {
  const ProcessRun r = run("r.txt\n" + SMALL + GetParam().answer + "\ny\n");
  expect_ended_cleanly(r, 0);
  const auto lines = report();
  ASSERT_TRUE(is_complete(lines)) << read_file(dir / "r.txt");
  EXPECT_EQ(header_lines(lines).at(4), "Effect size predictor (composite):"s + GetParam().rendered);
  // NX + NY = K in every entry and the point probabilities add up to 1, so
  // N1 * SRA + N2 * SRI = K = 5, whatever the probabilities are.
  const std::string exact = exact_values(lines);
  ASSERT_EQ(exact.size(), 27u) << exact;
  const double SRA = std::stod(exact.substr(0, 9));
  const double SRI = std::stod(exact.substr(9, 9));
  EXPECT_NEAR(15 * SRA + 5 * SRI, 5.0, 20 * 5e-6) << exact;
  // Population rates are shares of the population: numbers in [0, 1].
  const std::string population = population_values(lines);
  ASSERT_EQ(population.size(), 27u) << population;
  for (int field = 0; field < 2; ++field) {
    const double rate = std::stod(population.substr(9 * field, 9));
    EXPECT_GE(rate, 0.0) << population;
    EXPECT_LE(rate, 1.0) << population;
  }
}

INSTANTIATE_TEST_SUITE_P(Answers, ExtremeEffectSize,
                         ::testing::Values(EffectSize{"Zero", "0", "  0.000000"},
                                           EffectSize{"TinyPositive", "1e-320", "  0.000000"},
                                           EffectSize{"TinyNegative", "-1e-320", "  0.000000"},
                                           EffectSize{"FarAbove", "40", " 40.000000"},
                                           EffectSize{"FarBelow", "-40", "-40.000000"},
                                           EffectSize{"HugePositive", "1e300", "**********"},
                                           EffectSize{"HugeNegative", "-1e300", "**********"},
                                           EffectSize{"Infinite", "1e999", "       Inf"},
                                           EffectSize{"MinusInfinite", "-1e999", "      -Inf"}),
                         [](const auto& info) { return std::string(info.param.name); });

// With d = 0 the distribution of minority hires is hypergeometric:
// P(S = s) = C(5, s) C(15, 5 - s) / C(20, 5) = 3003, 6825, 4550, 1050, 75, 1
// over 15504. A subnormal d changes no probability and prints as 0.000000,
// so its report is the same.
TEST_F(HostileRun, SubnormalEffectSizeGivesTheSameReportAsZero) {
  const ProcessRun zero = run("zero.txt\n" + SMALL + "0\ny\n");
  expect_ended_cleanly(zero, 0);
  const std::string expected = read_file(dir / "zero.txt");
  EXPECT_EQ(rows(split_lines(expected)),
            (std::vector<std::string>{
                "  0.000  0.1937  0.1937      0      5", "  0.750  0.4402  0.6339      1      4",
                "  2.000  0.2935  0.9274      2      3", "  4.500  0.0677  0.9951      3      2",
                " 12.000  0.0048  0.9999      4      1", " -1.000  0.0001  1.0000      5      0"}));
  for (const char* d : {"1e-320", "-1e-320", "4.9e-324"}) {
    fs::remove(dir / "tiny.txt");
    const ProcessRun tiny = run("tiny.txt\n" + SMALL + d + "\ny\n");
    expect_ended_cleanly(tiny, 0);
    expect_same_report(read_file(dir / "tiny.txt"), expected);
  }
}

// ---------------------------------------------------------------------------
// File names are taken whole, multibyte characters included.

TEST_F(HostileRun, MultibyteNameIsKeptWhole) {
  std::string name = "a";
  for (int i = 0; i < 14; ++i) name += "\xc3\xa4";  // a-umlaut in UTF-8
  const ProcessRun r = run(name + "\n" + TRIVIAL + "y\n");
  expect_ended_cleanly(r, 0);
  expect_same_report(read_file(dir / name), expected_report("k_equals_n.txt"));
  EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);

  // Asked for again, the existing file is found under the same name.
  const ProcessRun again = run(name + "\ny\n" + TRIVIAL + "y\n");
  expect_ended_cleanly(again, 0);
  EXPECT_EQ(split_lines(again.out).at(2), " File " + name + " found - write over it  (y/n) ?");
}

// ---------------------------------------------------------------------------
// Line ends and blanks: a file written on Windows gives the same run.

TEST_F(HostileRun, WindowsLineEndsGiveTheSameRun) {
  const std::string answers = "r.txt\n" + SMALL + "1.0\nn\ny\n";
  const ProcessRun unix_run = run(answers);
  expect_ended_cleanly(unix_run, 0);
  const std::string unix_report = read_file(dir / "r.txt");
  ASSERT_TRUE(is_complete(split_lines(unix_report)));
  fs::remove(dir / "r.txt");

  const ProcessRun windows_run = run(std::regex_replace(answers, std::regex("\n"), "\r\n"));
  expect_ended_cleanly(windows_run, 0);
  expect_same_report(read_file(dir / "r.txt"), unix_report);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);
  // The console too, but for the start stamp.
  auto unix_console = split_lines(unix_run.out);
  auto windows_console = split_lines(windows_run.out);
  ASSERT_FALSE(unix_console.empty());
  ASSERT_FALSE(windows_console.empty());
  unix_console.erase(unix_console.begin());
  windows_console.erase(windows_console.begin());
  EXPECT_EQ(windows_console, unix_console);

  // The overwrite answer of a Windows file.
  const ProcessRun overwrite =
      run("r.txt\r\ny\r\n" + std::regex_replace(TRIVIAL, std::regex("\n"), "\r\n") + "y\r\n");
  expect_ended_cleanly(overwrite, 0);
  expect_same_report(read_file(dir / "r.txt"), expected_report("k_equals_n.txt"));
}

TEST_F(HostileRun, TabsAroundAnswersAreBlanks) {
  const ProcessRun r = run("r.txt\n\t10\t\n6\t\t\n\t \t10\n\t0.5\t\n\ty\t\n");
  expect_ended_cleanly(r, 0);
  expect_same_report(read_file(dir / "r.txt"), expected_report("k_equals_n.txt"));
  // In the file name a tab is a character like any other.
  const ProcessRun named = run("t\t.txt\n" + TRIVIAL + "y\n");
  expect_ended_cleanly(named, 0);
  EXPECT_TRUE(fs::exists(dir / "t\t.txt"));
}

// ---------------------------------------------------------------------------
// NUL bytes, binary garbage and megabyte lines.

struct Bytes {
  std::string name;
  std::string input;
  int status;
  std::string diagnostic;   // first line on standard error when status != 0
  std::string header_line;  // a line of the PROBLEM SPECIFICATION block, "" when not checked
  int exit_prompts = 1;     // when status is 0
};

std::string repeated(char c, std::size_t n) {
  return std::string(n, c);
}

std::vector<Bytes> byte_cases() {
  const std::string invalid_number = "invalid number: incomprehensible list input";
  const std::string out_of_range = "invalid integer: integer out of range";
  std::string all_bytes;
  for (int b = 0; b < 256; ++b) all_bytes += static_cast<char>(b);
  return {
      {"NulAfterAValue",
       "r.txt\n1\0"s
       "0\n6\n10\n0.5\ny\n",
       2, R"(invalid integer: "1\x000" is not a number ("\x000" follows "1"))", ""},
      {"NulAsAnswer", "r.txt\n\0\n"s + TRIVIAL, 2, invalid_number, ""},
      {"NulInTheFileName", "r\0x.txt\n"s + TRIVIAL + "y\n", 1,
       "KEMRO: cannot open the report file: its name contains a NUL byte", ""},
      {"NulAtTheExitPrompt", "r.txt\n" + TRIVIAL + "\0\n"s + "y\n", 0, "",
       "Total number of applicants:     10", 2},
      {"EveryByteValue", all_bytes + all_bytes, 1,
       "KEMRO: cannot open the report file: its name contains a NUL byte", ""},
      {"MegabyteFileName", repeated('q', MEGABYTE) + "\n" + TRIVIAL + "y\n", 1,
       "KEMRO: cannot open the report file: its name has 1048576 bytes, more than the system's "
       "4095",
       ""},
      {"MegabyteOfBlanksBeforeAnAnswer", "r.txt\n" + repeated(' ', MEGABYTE) + TRIVIAL + "y\n", 0,
       "", "Total number of applicants:     10"},
      {"MegabyteAfterAnAnswer", "r.txt\n10 " + repeated('x', MEGABYTE) + "\n6\n10\n0.5\ny\n", 2,
       // Both quotes cut after 40 bytes.
       "invalid integer: \"10 " + repeated('x', 37) + "...\" holds a second value, \"" +
           repeated('x', 40) + "...\"; answer with one number",
       ""},
      {"MegabyteOfEmptyLines", "r.txt\n" + repeated('\n', MEGABYTE) + TRIVIAL + "y\n", 0, "",
       "Total number of applicants:     10"},
      {"MegabyteOfNulBytes", "r.txt\n" + TRIVIAL + repeated('\0', MEGABYTE) + "\ny\n", 0, "",
       "Total number of applicants:     10", 2},
      {"MegabyteOfDigits", "r.txt\n" + repeated('9', MEGABYTE) + "\n" + TRIVIAL, 2, out_of_range,
       ""},
      {"MegabyteOfZerosBeforeDigits", "r.txt\n" + repeated('0', MEGABYTE) + "10\n6\n10\n0.5\ny\n",
       0, "", "Total number of applicants:     10"},
      {"MegabyteEffectSize", "r.txt\n10\n6\n10\n" + repeated('9', MEGABYTE) + "\ny\n", 0, "",
       "Effect size predictor (composite):       Inf"},
      {"MegabyteFraction", "r.txt\n10\n6\n10\n0." + repeated('5', MEGABYTE) + "\ny\n", 0, "",
       "Effect size predictor (composite):  0.555556"},
      {"MegabyteExitAnswer", "r.txt\n" + TRIVIAL + repeated('n', MEGABYTE) + "\ny\n", 0, "",
       "Total number of applicants:     10", 2},
  };
}

class HostileBytes : public HostileRun, public ::testing::WithParamInterface<Bytes> {};

TEST_P(HostileBytes, EndAsTheirAnswersSay) {
  const Bytes& c = GetParam();
  const ProcessRun r = run(c.input);
  expect_ended_cleanly(r, c.status);
  if (c.status != 0) {
    EXPECT_EQ(split_lines(r.err).at(0), c.diagnostic);
    return;
  }
  const fs::path file = dir / "r.txt";
  const auto lines = split_lines(read_file(file));
  EXPECT_TRUE(is_complete(lines)) << file;
  if (!c.header_line.empty()) {
    EXPECT_EQ(count(header_lines(lines), c.header_line), 1) << ::testing::PrintToString(lines);
  }
  EXPECT_EQ(count(split_lines(r.out), EXIT_PROMPT), c.exit_prompts);
}

INSTANTIATE_TEST_SUITE_P(Answers, HostileBytes, ::testing::ValuesIn(byte_cases()),
                         [](const auto& info) { return info.param.name; });

// ---------------------------------------------------------------------------
// The end of the input at every prompt: a diagnostic and status 2; a report
// is left only when it was complete, and an old file stays as it was.

enum class Left { NoFile, OldFile, CompleteReport };

struct Truncated {
  const char* name;
  std::string input;
  const char* diagnostic;
  Left left;
};

class EndOfInput : public HostileRun, public ::testing::WithParamInterface<Truncated> {};

TEST_P(EndOfInput, EndsTheRunWithStatusTwo) {
  const Truncated& c = GetParam();
  write_file(dir / "old.txt", "old\n");
  const ProcessRun r = run(c.input);
  expect_ended_cleanly(r, 2);
  const auto err = split_lines(r.err);
  ASSERT_EQ(err.size(), 4u) << r.err;
  EXPECT_EQ(err[0], c.diagnostic);
  switch (c.left) {
    case Left::NoFile:
      EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);
      break;
    case Left::OldFile:
      EXPECT_EQ(read_file(dir / "old.txt"), "old\n");
      break;
    case Left::CompleteReport:
      EXPECT_TRUE(is_complete(report()));
      break;
  }
}

const char* const LIST_EOF = "list in: end of file";

INSTANTIATE_TEST_SUITE_P(
    Answers, EndOfInput,
    ::testing::Values(
        Truncated{"AtTheFileName", "", "fmt: end of file", Left::NoFile},
        Truncated{"AtTheOverwriteQuestion", "old.txt\n", "fmt: end of file", Left::OldFile},
        Truncated{"AtTheApplicants", "r.txt\n", LIST_EOF, Left::NoFile},
        Truncated{"AfterBlankLines", "r.txt\n\n \t\n\n", LIST_EOF, Left::NoFile},
        Truncated{"AtTheMajority", "r.txt\n10\n", LIST_EOF, Left::NoFile},
        Truncated{"AtTheHires", "r.txt\n10\n6\n", LIST_EOF, Left::NoFile},
        Truncated{"AfterAnUnfinishedLine", "r.txt\n10\n6", LIST_EOF, Left::NoFile},
        Truncated{"AtTheEffectSize", "r.txt\n10\n6\n10\n", LIST_EOF, Left::NoFile},
        Truncated{"AtTheExitPrompt", "r.txt\n" + TRIVIAL, LIST_EOF, Left::CompleteReport},
        Truncated{"AfterARefusedExit", "r.txt\n" + TRIVIAL + "n\nY\n", LIST_EOF,
                  Left::CompleteReport}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(HostileRun, LastAnswerWithoutALineEndStillCounts) {
  const ProcessRun r = run("r.txt\n" + TRIVIAL + "y");
  expect_ended_cleanly(r, 0);
  expect_same_report(read_file(dir / "r.txt"), expected_report("k_equals_n.txt"));
}

// ---------------------------------------------------------------------------
// A report file that takes nothing: the lost report is a failure, not a success.

TEST_F(HostileRun, ReportThatCannotBeWrittenEndsWithStatusOne) {
  if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full here";
  const ProcessRun r = run("/dev/full\ny\n" + TRIVIAL + "y\n");
  expect_ended_cleanly(r, 1);
  EXPECT_NE(r.err.find("KEMRO: error writing the report file \"/dev/full\""), std::string::npos)
      << r.err;
}

}  // namespace
}  // namespace kemro::testing
