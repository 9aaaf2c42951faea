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
  const ProcessRun r = run("problem.txt\n10\n4\n10\n-1.25\ny\n");
  ASSERT_EQ(r.status, 0) << r.err;
  const auto lines = split_lines(file("problem.txt"));
  ASSERT_GE(lines.size(), 22u);
  EXPECT_EQ(lines[13], "");
  EXPECT_EQ(lines[14], "PROBLEM SPECIFICATION");
  EXPECT_EQ(lines[15], "");
  EXPECT_EQ(lines[16], "Total number of applicants:     10");
  EXPECT_EQ(lines[17], "Number of majority group applicants:      4");
  EXPECT_EQ(lines[18], "Number of minority group applicants:      6");
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

TEST_F(DialogTest, LongNamesAndPathsAreTakenWhole) {
  fs::create_directories(dir / "x" / "inter");
  for (const std::string name :
       {"newhaven_lieutenant_top10_with_notes.txt", "x/inter/report.txt"}) {
    const ProcessRun r = run(name + "\n" + TRIVIAL + "y\n");
    ASSERT_EQ(r.status, 0) << r.err;
    expect_same_report(file(name), expected_report("k_equals_n.txt"));
    // Asked for again, the question shows the whole name.
    const ProcessRun again = run(name + "\nn\n" + TRIVIAL + "y\n");
    EXPECT_EQ(split_lines(again.out).at(2), " File " + name + " found - write over it  (y/n) ?");
  }
  EXPECT_FALSE(fs::exists(dir / "newhaven_lieut"));
  EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 2);
}

TEST_F(DialogTest, NameLongerThanTheSystemAllowsEndsTheRunBeforeTheQuestions) {
  const ProcessRun r = run(std::string(5000, 'q') + "\n" + TRIVIAL + "y\n");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err,
            "KEMRO: cannot open the report file: its name has 5000 bytes, more than the "
            "system's 4095\n");
  EXPECT_EQ(r.out.find("Total number of applicants?"), std::string::npos);
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
        InputErrorCase{"r.txt\n10\n6\n5\n0.5\n", "list in: end of file", "list io"},
        // Typing slips: a number followed by what cannot continue it, or by a second value.
        InputErrorCase{"r.txt\n1OO\n",
                       R"(invalid integer: "1OO" is not a number ("OO" follows "1"))", "list io"},
        InputErrorCase{"r.txt\n100\n62abc\n",
                       R"(invalid integer: "62abc" is not a number ("abc" follows "62"))",
                       "list io"},
        InputErrorCase{"r.txt\n100\n80\n20\n0,5\n",
                       R"(invalid number: "0,5" holds a second value, "5"; the decimal separator)"
                       " is the point: 0.5",
                       "list io"},
        InputErrorCase{
            "r.txt\n12 13\n",
            R"(invalid integer: "12 13" holds a second value, "13"; answer with one number)",
            "list io"},
        InputErrorCase{"r.txt\n100\n80\n20\n 0.5e1x \n",
                       R"(invalid number: "0.5e1x" is not a number ("x" follows "0.5e1"))",
                       "list io"},
        InputErrorCase{"r.txt\n100\n80\n20\n1\x1b[2J\n",
                       R"(invalid number: "1\x1b[2J" is not a number ("\x1b[2J" follows "1"))",
                       "list io"}));

// What may follow a value: blanks, commas (one trailing comma is a common
// slip) and a slash, after which the line is not read.
TEST_F(DialogTest, TrailingCommasBlanksAndASlashAreHarmless) {
  const ProcessRun r = run("t.txt\n10,\n6 ,\n10 ,, \n0.5/ 7\ny\n");
  ASSERT_EQ(r.status, 0) << r.err;
  expect_same_report(file("t.txt"), expected_report("k_equals_n.txt"));
}

struct RangeCase {
  const char* answers;
  const char* message;
};

class CountOutOfRange : public DialogTest, public ::testing::WithParamInterface<RangeCase> {};

TEST_P(CountOutOfRange, EndsTheRunBeforeComputingWithoutLeavingAFile) {
  const ProcessRun r = run(std::string("r.txt\n") + GetParam().answers + "0.5\ny\n");
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err, std::string("KEMRO: ") + GetParam().message + "\n");
  EXPECT_EQ(r.out.find("SOME OUTPUT"), std::string::npos);
  EXPECT_TRUE(fs::is_empty(dir));
}

INSTANTIATE_TEST_SUITE_P(
    Answers, CountOutOfRange,
    ::testing::Values(
        RangeCase{"1\n", "the total number of applicants, 1, must be at least 2"},
        RangeCase{"-10\n", "the total number of applicants, -10, must be at least 2"},
        RangeCase{"100\n0\n",
                  "the number of majority group applicants, 0, must be from 1 to 99 (N - 1)"},
        RangeCase{"100\n100\n",
                  "the number of majority group applicants, 100, must be from 1 to 99 (N - 1)"},
        RangeCase{
            "2147483647\n-1\n",
            "the number of majority group applicants, -1, must be from 1 to 2147483646 (N - 1)"},
        RangeCase{"100\n80\n0\n",
                  "the required number of new employees, 0, must be from 1 to 100 (N)"},
        RangeCase{"100\n80\n101\n",
                  "the required number of new employees, 101, must be from 1 to 100 (N)"},
        RangeCase{"10\n5\n-2147483648\n",
                  "the required number of new employees, -2147483648,"
                  " must be from 1 to 10 (N)"}));

TEST_F(DialogTest, ConfirmedOverwriteKeepsTheOldFileUntilTheReportIsWritten) {
  for (const std::string rest : {"abc\n", "100\n100\n", "10\n6\n"}) {
    write_file(dir / "old.txt", "old\n");
    const ProcessRun r = run("old.txt\nY\n" + rest);
    EXPECT_EQ(r.status, 2) << rest;
    EXPECT_EQ(file("old.txt"), "old\n") << rest;
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1) << rest;
  }
  // Confirmed and complete: the new report under the old name, with the old permissions.
  fs::permissions(dir / "old.txt", fs::perms::owner_read | fs::perms::owner_write);
  const ProcessRun r = run("old.txt\nY\n" + TRIVIAL + "y\n");
  ASSERT_EQ(r.status, 0) << r.err;
  expect_same_report(file("old.txt"), expected_report("k_equals_n.txt"));
  EXPECT_EQ(fs::status(dir / "old.txt").permissions(),
            fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);
}

TEST_F(DialogTest, ClosedStandardOutputNeverBecomesTheReport) {
  const ProcessRun r =
      run_kemro_process("r.txt\n" + TRIVIAL + "y\n", dir, 120, ProcessOptions{0, true});
  ASSERT_EQ(r.status, 0) << r.err;
  expect_same_report(file("r.txt"), expected_report("k_equals_n.txt"));
}

TEST_F(DialogTest, HelpAndVersionAnswerAndAnyOtherArgumentIsRefused) {
  const ProcessRun help = run_process(KEMRO_EXE, {"--help"}, "", dir);
  EXPECT_EQ(help.status, 0);
  EXPECT_EQ(help.out.rfind("Usage: kemro [--help | --version]\n", 0), 0u) << help.out;
  EXPECT_EQ(help.err, "");
  const ProcessRun version = run_process(KEMRO_EXE, {"--version"}, "", dir);
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out, std::string("kemro ") + KEMRO_VERSION + "\n");
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"-h"}, {"report.txt"}, {"--help", "x"}}) {
    const ProcessRun r = run_process(KEMRO_EXE, args, "r.txt\n" + TRIVIAL + "y\n", dir);
    EXPECT_EQ(r.status, 2) << args.back();
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(split_lines(r.err).at(0), "kemro: unknown argument \"" + args.back() + "\"");
    EXPECT_NE(r.err.find("Usage: kemro"), std::string::npos);
  }
  EXPECT_TRUE(fs::is_empty(dir));
}

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
