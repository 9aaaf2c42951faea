// End-to-end runs of build/kemro with piped answers: the dialog, the report
// file with its overwrite guard, the header records, the exit prompt and the
// ways a run ends early.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <string>

#include "tests/support/kemro_process.hpp"
#include "tests/support/report_compare.hpp"

namespace kemro::testing {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;

// A problem whose computation is trivial (K = N: one outcome, nothing to integrate).
const std::string TRIVIAL = "10\n6\n10\n0.5\n";

class DialogTest : public ::testing::Test {
 protected:
  void SetUp() override { dir = make_temp_dir(); }
  void TearDown() override { fs::remove_all(dir); }

  ProcessRun run(const std::string& input) { return run_kemro_process(input, dir); }
  std::string file(const std::string& name) { return read_file(dir / name); }

  fs::path dir;
};

TEST_F(DialogTest, ConsoleShowsStampPromptsTraceAndExitPrompt) {
  const ProcessRun r = run("report.txt\n" + TRIVIAL + "y\n");
  ASSERT_EQ(r.status, 0) << r.err;
  const auto out = split_lines(r.out);
  ASSERT_GE(out.size(), 10u);
  // Day/month/year and time, blank-padded fields, no leading zeros.
  EXPECT_TRUE(std::regex_match(
      out[0],
      std::regex(
          R"(Program execution starts on [ 1-3][0-9]/[ 1][0-9]/[0-9]{4} at [ 12][0-9]:[ 1-5][0-9]:[ 1-5][0-9])")))
      << out[0];
  EXPECT_EQ(out[1], "  Filename to write output of the program? ");
  EXPECT_EQ(out[2], " Total number of applicants?");
  EXPECT_EQ(out[3], " Number of applicants from the majority group?");
  EXPECT_EQ(out[4], " Required number of new employees?");
  EXPECT_EQ(out[5], " Effect size predictor composite?");
  EXPECT_EQ(out[6], "");
  EXPECT_EQ(out[7], "");
  EXPECT_EQ(out[8], "SOME OUTPUT TO SEE THE NUMBER CRUNCHING AT WORK");
  EXPECT_EQ(out[9], "");
  EXPECT_EQ(out[10], "Computation of the probabilities Pij as documented in the");
  EXPECT_EQ(out[16], "                      I      J      Pij");
  EXPECT_EQ(out.back(), " Ready to exit (Answer with y or n)?");
  EXPECT_EQ(r.err, "");
}

TEST_F(DialogTest, SingleOutcomeRunWritesTheCompleteReport) {
  const ProcessRun r = run("report.txt\n" + TRIVIAL + "y\n");
  ASSERT_EQ(r.status, 0) << r.err;
  expect_same_report(file("report.txt"), expected_report("k_equals_n.txt"));
}

TEST_F(DialogTest, ProblemSpecificationShowsTheDerivedMinorityCount) {
  const ProcessRun r = run("problem.txt\n10\n12\n10\n-1.25\ny\n");
  ASSERT_EQ(r.status, 0) << r.err;
  const auto lines = split_lines(file("problem.txt"));
  ASSERT_GE(lines.size(), 22u);
  EXPECT_EQ(lines[13], "");
  EXPECT_EQ(lines[14], "PROBLEM SPECIFICATION");
  EXPECT_EQ(lines[15], "");
  EXPECT_EQ(lines[16], "Total number of applicants:     10");
  EXPECT_EQ(lines[17], "Number of majority group applicants:     12");
  EXPECT_EQ(lines[18], "Number of minority group applicants:     -2");
  EXPECT_EQ(lines[19], "Required number of new employees:     10");
  EXPECT_EQ(lines[20], "Effect size predictor (composite): -1.250000");
  EXPECT_EQ(lines[21], "");
}

TEST_F(DialogTest, CpuTimeLineEndsTheReport) {
  const ProcessRun r = run("cpu.txt\n" + TRIVIAL + "y\n");
  ASSERT_EQ(r.status, 0);
  const auto lines = split_lines(file("cpu.txt"));
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines[lines.size() - 2], "");
  EXPECT_TRUE(
      std::regex_match(lines.back(), std::regex(R"(CPU TIME IN SECONDS  {8}[0-9]\.[0-9]{2})")))
      << lines.back();
}

TEST_F(DialogTest, LongNameIsCutToFourteenCharacters) {
  const ProcessRun r = run("abcdefghijklmnopqrst.txt\n" + TRIVIAL + "y\n");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(fs::exists(dir / "abcdefghijklmn"));
  EXPECT_FALSE(fs::exists(dir / "abcdefghijklmnopqrst.txt"));
}

TEST_F(DialogTest, ExistingFileIsOverwrittenAfterYesOrUpperCaseYes) {
  for (const std::string answer : {"y", "Y", "yes please"}) {
    write_file(dir / "out.txt", "old content that must disappear\n");
    const ProcessRun r = run("out.txt\n" + answer + "\n" + TRIVIAL + "y\n");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(split_lines(r.out)[2], " File out.txt        found - write over it  (y/n) ?");
    expect_same_report(file("out.txt"), expected_report("k_equals_n.txt"));
    EXPECT_EQ(r.err, "");
  }
}

TEST_F(DialogTest, DeclinedOverwriteLeavesTheFileAndSendsTheReportToStandardError) {
  const std::string old = "precious\r\nbytes\0here"s;
  for (const std::string answer : {"n", "N", "", " y", "x"}) {
    write_file(dir / "out.txt", old);
    const ProcessRun r = run("out.txt\n" + answer + "\n" + TRIVIAL + "y\n");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(file("out.txt"), old) << "answer '" << answer << "'";
    expect_same_report(r.err, expected_report("k_equals_n.txt"));
  }
}

TEST_F(DialogTest, ExitPromptRepeatsUntilAnAnswerBeginsWithLowerCaseY) {
  for (const std::string ending : {"y", "yes", "  y", "'y'", "\"yes\""}) {
    fs::remove(dir / "e.txt");
    const ProcessRun r = run("e.txt\n" + TRIVIAL + "Y\nn\n\nno\n" + ending + "\n");
    EXPECT_EQ(r.status, 0) << ending;
    const auto out = split_lines(r.out);
    int prompts = 0;
    for (const auto& line : out) prompts += line == " Ready to exit (Answer with y or n)?";
    EXPECT_EQ(prompts, 4) << ending;  // the empty line is skipped, not an answer
  }
}

TEST_F(DialogTest, NullAnswerAsksTheQuestionAgain) {
  const ProcessRun r = run("null.txt\n,\n10\n/\n6\n10\n,\n0.5\ny\n");
  ASSERT_EQ(r.status, 0) << r.err;
  const auto out = split_lines(r.out);
  EXPECT_EQ(out[2], " Total number of applicants?");
  EXPECT_EQ(out[3], " Total number of applicants?");
  EXPECT_EQ(out[4], " Number of applicants from the majority group?");
  EXPECT_EQ(out[5], " Number of applicants from the majority group?");
  EXPECT_EQ(out[7], " Effect size predictor composite?");
  EXPECT_EQ(out[8], " Effect size predictor composite?");
  expect_same_report(file("null.txt"), expected_report("k_equals_n.txt"));
}

TEST_F(DialogTest, TooManyTableEntriesAsksForTheNumberOfHiresAgain) {
  const ProcessRun r = run("big.txt\n400000\n200000\n160000\n10\n0.5\ny\n");
  ASSERT_EQ(r.status, 0) << r.err;
  const auto out = split_lines(r.out);
  EXPECT_EQ(out[4], " Required number of new employees?");
  EXPECT_EQ(out[5],
            " The tables hold 150000 entries, but 160001 are needed for these numbers;"
            " please answer again.");
  EXPECT_EQ(out[6], " Required number of new employees?");
  EXPECT_EQ(out[7], " Effect size predictor composite?");
}

struct InputErrorCase {
  const char* answers;
  const char* first_line;
  const char* format;
};

class InputErrorTest : public DialogTest, public ::testing::WithParamInterface<InputErrorCase> {};

TEST_P(InputErrorTest, EndsTheRunWithFourDiagnosticLines) {
  const ProcessRun r = run(GetParam().answers);
  EXPECT_EQ(r.status, 2);
  const std::string expected =
      std::string(GetParam().first_line) +
      "\napparent state: unit 5 (unnamed)\nlast format: " + GetParam().format +
      "\nlately reading sequential formatted external IO\n";
  EXPECT_EQ(r.err, expected);
}

INSTANTIATE_TEST_SUITE_P(
    Answers, InputErrorTest,
    ::testing::Values(
        InputErrorCase{"r.txt\n12.0\n", "invalid integer: read unexpected character", "list io"},
        InputErrorCase{"r.txt\n10\n1e2\n", "invalid integer: read unexpected character", "list io"},
        InputErrorCase{"r.txt\nabc\n", "invalid number: incomprehensible list input", "list io"},
        InputErrorCase{"r.txt\n10\n6\n5\nx\n", "invalid number: incomprehensible list input",
                       "list io"},
        InputErrorCase{"r.txt\n10\n6\n5\n5e\n", "exponent field: incomprehensible list input",
                       "list io"},
        InputErrorCase{"r.txt\n0*5\n", "bad repetition count: incomprehensible list input",
                       "list io"},
        InputErrorCase{"r.txt\n2147483648\n", "invalid integer: integer out of range", "list io"},
        InputErrorCase{"", "fmt: end of file", "(A)"},
        InputErrorCase{"r.txt\n", "list in: end of file", "list io"},
        InputErrorCase{"r.txt\n10\n6\n5\n", "list in: end of file", "list io"},
        InputErrorCase{"r.txt\n10\n6\n5\n0.5\n", "list in: end of file", "list io"}));

TEST_F(DialogTest, InputErrorKeepsWhatTheReportAlreadyHolds) {
  const ProcessRun r = run("kept.txt\n" + TRIVIAL + "n\n");  // input ends at the exit prompt
  EXPECT_EQ(r.status, 2);
  expect_same_report(file("kept.txt"), expected_report("k_equals_n.txt"));
}

TEST_F(DialogTest, EndOfInputAtTheOverwriteQuestion) {
  write_file(dir / "there.txt", "x");
  const ProcessRun r = run("there.txt\n");
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(split_lines(r.err)[0], "fmt: end of file");
  EXPECT_EQ(split_lines(r.err)[2], "last format: (A1)");
  EXPECT_EQ(file("there.txt"), "x");
}

TEST_F(DialogTest, UnopenableReportFileEndsTheRunWithTheSystemsReason) {
  fs::create_directory(dir / "folder");
  struct Case {
    std::string answers;
    std::string reason;
  };
  for (const Case& c : {Case{"\n", "No such file or directory"},
                        Case{"missing/r.txt\n", "No such file or directory"},
                        Case{"folder\ny\n", "Is a directory"}}) {
    const ProcessRun r = run(c.answers + TRIVIAL + "y\n");
    EXPECT_EQ(r.status, 1) << c.answers;
    EXPECT_NE(r.err.find("cannot open the report file"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(c.reason), std::string::npos) << r.err;
    EXPECT_EQ(r.out.find("Total number of applicants?"), std::string::npos);
  }
}

}  // namespace
}  // namespace kemro::testing
