// Option parsing and validation of kemro-grid: value lists and ranges, the
// command line, the grid they span, and the executable's refusals (messages
// that quote what was typed, the plot file that is standard output, the
// correlation file read as CSV).
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/program_process.hpp"
#include "tools/grid/options.hpp"

namespace {

using namespace kemro::grid;
using kemro::testing::make_temp_dir;
using kemro::testing::read_file;
using kemro::testing::run_program;
using kemro::testing::write_file;

std::vector<std::int32_t> counts(std::string_view text) {
  std::vector<std::int32_t> values;
  std::string error;
  EXPECT_TRUE(parse_count_list(text, values, error)) << text << ": " << error;
  return values;
}

std::vector<double> reals(std::string_view text) {
  std::vector<double> values;
  std::string error;
  EXPECT_TRUE(parse_real_list(text, values, error)) << text << ": " << error;
  return values;
}

TEST(GridValueLists, ValuesListsAndInclusiveRanges) {
  using V = std::vector<std::int32_t>;
  EXPECT_EQ(counts("100"), V{100});
  EXPECT_EQ(counts("50,100,200"), (V{50, 100, 200}));
  EXPECT_EQ(counts("50:200:50"), (V{50, 100, 150, 200}));
  EXPECT_EQ(counts("1:10:4"), (V{1, 5, 9}));  // the stop is included only when reached
  EXPECT_EQ(counts("5:5:1"), V{5});
  EXPECT_EQ(counts("1,3:5:1,9"), (V{1, 3, 4, 5, 9}));
  EXPECT_EQ(counts("-3"), V{-3});  // a negative count is refused by validation, not here

  EXPECT_EQ(reals("0,0.5,1"), (std::vector<double>{0.0, 0.5, 1.0}));
  EXPECT_EQ(reals("-1:1:0.5"), (std::vector<double>{-1.0, -0.5, 0.0, 0.5, 1.0}));
  // Decimal steps land on the decimal values and reach the stop.
  const std::vector<double> tenths = reals("0:1:0.1");
  ASSERT_EQ(tenths.size(), 11u);
  EXPECT_EQ(tenths[3], 0.3);
  EXPECT_EQ(tenths[7], 0.7);
  EXPECT_EQ(tenths.back(), 1.0);
  EXPECT_EQ(reals("0.2:0.3:0.05"), (std::vector<double>{0.2, 0.25, 0.3}));
  // Exponent notation is stepped in doubles with a little slack at the stop.
  EXPECT_EQ(reals("1e-1:3e-1:1e-1").size(), 3u);
}

TEST(GridValueLists, MalformedValuesAreRefusedWithAReason) {
  struct Case {
    const char* text;
    bool real;
    const char* reason;
  };
  const Case cases[] = {
      {"", false, "empty"},
      {"abc", false, "not a whole number"},
      {"12x", false, "not a whole number"},
      {"0.5", false, "not a whole number"},
      {"1,,2", false, "empty list item"},
      {"1,", false, "empty list item"},
      {"3000000000", false, "out of range"},
      {"1:0:1", false, "empty"},
      {"0:10:0", false, "must be positive"},
      {"0:10:-2", false, "must be positive"},
      {"1:2", true, "start:stop:step"},  // reals need a step; counts step by 1
      {"1:2:3:4", false, "start:stop:step"},
      {"0:1000000:1", false, "more than 10000"},
      {"0.5.1", true, "not a number"},
      {"1e999", true, "not a finite number"},
      {"inf", true, "not a finite number"},
      {"nan", true, "not a finite number"},
      {" 1", true, "not a number"},
      {"1:0:0.1", true, "empty"},
      {"0:1:0", true, "must be positive"},
      {"0:1:-0.1", true, "must be positive"},
      {"0:1:0.0000000000001", true, "more than 10000"},
      {"1e-400", true, "'1e-400' underflows"},
      {"-1e400", true, "'-1e400' is not a finite number: it overflows the largest double"},
      {"0:1e-400:1", true, "'1e-400' underflows"},
      {"1:+2", false, "not a whole number"},
  };
  for (const Case& c : cases) {
    std::string error;
    std::vector<std::int32_t> ints;
    std::vector<double> doubles;
    const bool ok =
        c.real ? parse_real_list(c.text, doubles, error) : parse_count_list(c.text, ints, error);
    EXPECT_FALSE(ok) << c.text;
    EXPECT_NE(error.find(c.reason), std::string::npos) << c.text << ": " << error;
  }
}

TEST(GridValueLists, RangesStepExactlyAndCountRangesMayOmitTheStep) {
  struct Case {
    const char* text;
    std::vector<double> values;
  };
  const Case reals[] = {
      // A step too large for the exact decimal stepping: the start alone, not an overflow.
      {"0:1:100000000000000000000000", {0.0}},
      {"0:1:1e23", {0.0}},
      {"1e-310", {1e-310}},  // subnormal, but representable
      {"0:0.3:0.1", {0.0, 0.1, 0.2, 0.3}},
  };
  for (const Case& c : reals) {
    std::vector<double> values;
    std::string error;
    EXPECT_TRUE(parse_real_list(c.text, values, error)) << c.text << ": " << error;
    EXPECT_EQ(values, c.values) << c.text;
  }
  std::vector<std::int32_t> counts;
  std::string error;
  ASSERT_TRUE(parse_count_list("50:53,60", counts, error)) << error;
  EXPECT_EQ(counts, (std::vector<std::int32_t>{50, 51, 52, 53, 60}));
}

ParsedOptions parse(std::vector<std::string_view> args) {
  return parse_options(args);
}

TEST(GridCommandLine, ValuesThatLookLikeOptionsAndMessagesQuoteWhatWasTyped) {
  // A title that reads like --solve is a title: no solve is set up.
  const ParsedOptions titled = parse({"--applicants", "100", "--majority", "80", "--hires", "20",
                                      "--d", "0", "--plot", "p.svg", "--title", "--solve=d"});
  ASSERT_TRUE(titled.ok()) << titled.error;
  EXPECT_EQ(titled.options.solve, "");
  EXPECT_EQ(titled.options.plot.title, "--solve=d");
  struct Case {
    std::vector<std::string_view> args;
    const char* error;
  } cases[] = {
      {{"--applicants", "100", "--minority-share", "1.1", "--hires", "2", "--d", "0"},
       "--minority-share: '1.1' is not between 0 and 1 (exclusive)"},
      {{"--applicants", "100", "--majority", "8", "--selection-ratio", "0.1,0.5:1.5:0.3", "--d",
        "0"},
       "--selection-ratio: range '0.5:1.5:0.3' reaches 1.1, not between 0 and 1 (exclusive)"},
      {{"--applicants", "100:200", "--minority-share", "0.2", "--selection-ratio", "0.1", "--d",
        "-1:1", "--solve", "d", "--target", "expected_AI=0.5", "--columns", "N"},
       "--solve and --columns exclude each other (a solve's records have their own columns)"},
      {{"--applicants", "100", "--majority", "80", "--hires", "20", "--predictor-d", "1,0.2",
        "--intercorrelations", "missing.csv"},
       "--intercorrelations: cannot read missing.csv: No such file or directory"},
  };
  for (const Case& c : cases) EXPECT_EQ(parse(c.args).error, c.error);
}

TEST(GridCommandLine, ReadsEveryOptionInBothSpellings) {
  const ParsedOptions p =
      parse({"--applicants", "50:150:50", "--majority=40", "--hires", "10", "--d", "-0.5", "--json",
             "--distribution", "--plot=a.svg", "--jobs", "3"});
  ASSERT_TRUE(p.ok()) << p.error;
  EXPECT_EQ(p.options.applicants, (std::vector<std::int32_t>{50, 100, 150}));
  EXPECT_EQ(p.options.majority, std::vector<std::int32_t>{40});
  EXPECT_EQ(p.options.d, std::vector<double>{-0.5});  // a negative value after its option
  EXPECT_EQ(p.options.format, Format::Json);
  EXPECT_TRUE(p.options.distribution);
  EXPECT_EQ(p.options.plot_file, "a.svg");
  EXPECT_EQ(p.options.jobs, 3u);

  const ParsedOptions shares =
      parse({"--applicants=100", "--minority-share=0.2", "--selection-ratio=0.1", "--d=0"});
  ASSERT_TRUE(shares.ok()) << shares.error;
  EXPECT_EQ(shares.options.minority_share, std::vector<double>{0.2});
  EXPECT_EQ(shares.options.format, Format::Text);
}

TEST(GridCommandLine, RefusesIncompleteOrContradictoryCommandLines) {
  const std::vector<std::string_view> base = {"--applicants", "100", "--majority", "80",
                                              "--hires",      "20",  "--d",        "0"};
  const auto with = [&](std::vector<std::string_view> extra) {
    std::vector<std::string_view> args = base;
    args.insert(args.end(), extra.begin(), extra.end());
    return parse(args).error;
  };
  EXPECT_EQ(with({}), "");
  EXPECT_NE(with({"--csv", "--json"}).find("exclude"), std::string::npos);
  EXPECT_NE(with({"--minority-share", "0.2"}).find("exclude"), std::string::npos);
  EXPECT_NE(with({"--selection-ratio", "0.2"}).find("exclude"), std::string::npos);
  EXPECT_NE(with({"--d", "1"}).find("more than once"), std::string::npos);
  EXPECT_NE(with({"--colour"}).find("unknown option '--colour'"), std::string::npos);
  EXPECT_NE(with({"extra"}).find("unexpected argument"), std::string::npos);
  EXPECT_NE(with({"--plot"}).find("needs a value"), std::string::npos);
  EXPECT_NE(with({"--csv=yes"}).find("takes no value"), std::string::npos);
  EXPECT_NE(with({"--jobs", "0"}).find("between 1 and 256"), std::string::npos);
  EXPECT_NE(with({"--jobs", "257"}).find("between 1 and 256"), std::string::npos);
  EXPECT_NE(parse({"--applicants", "100", "--hires", "2", "--d", "0"}).error.find("--majority"),
            std::string::npos);
  EXPECT_NE(parse({"--applicants", "100", "--majority", "2", "--hires", "2"}).error.find("--d"),
            std::string::npos);
  EXPECT_NE(parse({"--applicants", "100", "--minority-share", "1", "--hires", "2", "--d", "0"})
                .error.find("between 0 and 1"),
            std::string::npos);
  EXPECT_NE(parse({"--applicants", "100", "--majority", "2", "--selection-ratio", "0", "--d", "0"})
                .error.find("between 0 and 1"),
            std::string::npos);
  // Help and version win over anything else on the line.
  EXPECT_TRUE(parse({"--bogus", "--help"}).options.help);
  EXPECT_TRUE(parse({"--bogus", "--help"}).ok());
  EXPECT_TRUE(parse({"--version"}).options.version);
}

GridOutcome grid_of(std::vector<std::string_view> args) {
  const ParsedOptions p = parse(args);
  EXPECT_TRUE(p.ok()) << p.error;
  return build_grid(p.options);
}

TEST(GridScenarios, ProductInOrderWithTheEffectSizeFastest) {
  const GridOutcome g =
      grid_of({"--applicants", "50,100", "--majority", "40,45", "--hires", "10", "--d", "0,1"});
  ASSERT_TRUE(g.ok()) << g.error;
  ASSERT_EQ(g.grid.scenarios.size(), 8u);
  const Scenario& third = g.grid.scenarios[2];
  EXPECT_EQ(third.N, 50);
  EXPECT_EQ(third.N1, 45);
  EXPECT_EQ(third.N2, 5);
  EXPECT_EQ(third.d, 0.0);
  EXPECT_EQ(g.grid.scenarios[3].d, 1.0);
  EXPECT_EQ(g.grid.scenarios[4].N, 100);
  EXPECT_EQ(g.grid.scenarios[7].at, (std::array<std::size_t, DIMENSIONS>{1, 1, 0, 1, 0, 0}));
  EXPECT_EQ(g.grid.axes[MAJORITY].option, "--majority");
}

TEST(GridScenarios, SharesAreRoundedHalvesAwayFromZero) {
  const GridOutcome g = grid_of({"--applicants", "50,10,500", "--minority-share", "0.25",
                                 "--selection-ratio", "0.15", "--d", "0"});
  ASSERT_TRUE(g.ok()) << g.error;
  const auto& s = g.grid.scenarios;
  EXPECT_EQ(s[0].N2, 13);  // 12.5
  EXPECT_EQ(s[0].N1, 37);
  EXPECT_EQ(s[0].K, 8);   // 7.5
  EXPECT_EQ(s[1].N2, 3);  // 2.5
  EXPECT_EQ(s[1].K, 2);   // 1.5
  EXPECT_EQ(s[2].N2, 125);
  EXPECT_EQ(s[2].K, 75);
  EXPECT_EQ(g.grid.axes[MAJORITY].symbol, "N2/N");
}

TEST(GridScenarios, EveryScenarioIsValidatedAndTheFirstBadOneNamed) {
  const auto error = [](std::vector<std::string_view> args) { return grid_of(args).error; };
  EXPECT_EQ(error({"--applicants", "2", "--majority", "1", "--hires", "1", "--d", "0"}), "");
  EXPECT_NE(error({"--applicants", "100", "--majority", "100", "--hires", "20", "--d", "0"})
                .find("N1 = 100 is not between 1 and N - 1 = 99"),
            std::string::npos);
  EXPECT_NE(
      error({"--applicants", "100", "--majority", "0", "--hires", "20", "--d", "0"}).find("N1 = 0"),
      std::string::npos);
  EXPECT_NE(error({"--applicants", "100", "--majority", "80", "--hires", "0:100:50", "--d", "0"})
                .find("K = 0 is not"),
            std::string::npos);
  EXPECT_NE(error({"--applicants", "100", "--majority", "80", "--hires", "50:100:50", "--d", "0"})
                .find("scenario N = 100, N1 = 80, K = 100, d = 0: K = 100 is not"),
            std::string::npos);
  EXPECT_NE(
      error({"--applicants", "1", "--majority", "1", "--hires", "1", "--d", "0"}).find("below 2"),
      std::string::npos);
  EXPECT_NE(
      error({"--applicants", "-5", "--majority", "1", "--hires", "1", "--d", "0"}).find("below 2"),
      std::string::npos);
  // A share so small that it rounds to no minority applicant at all.
  EXPECT_NE(error({"--applicants", "3", "--minority-share", "0.1", "--hires", "1", "--d", "0"})
                .find("N1 = N - round(N2/N * N) = 3 is not"),
            std::string::npos);
  EXPECT_NE(error({"--applicants", "400000", "--majority", "200000", "--hires", "200000", "--d",
                   "0", "--engine", "nested"})
                .find("needs 200001 entries"),
            std::string::npos);
  EXPECT_NE(
      error({"--applicants", "1:1000:1", "--majority", "1", "--hires", "1", "--d", "0:1:0.005"})
          .find("more than 100000"),
      std::string::npos);
}

class GridExecutable : public ::testing::Test {
 protected:
  void SetUp() override { dir = make_temp_dir(); }
  void TearDown() override { std::filesystem::remove_all(dir); }
  kemro::testing::ProcessRun run(const std::vector<std::string>& args) {
    return run_program(KEMRO_GRID_EXE, args, dir);
  }
  std::filesystem::path dir;
};

TEST_F(GridExecutable, BadOptionsGiveStatusTwoAMessageAndNoOutput) {
  const std::vector<std::vector<std::string>> bad = {
      {},
      {"--applicants", "100"},
      {"--applicants", "100", "--majority", "80", "--hires", "20", "--d", "x"},
      {"--applicants", "100", "--majority", "80", "--hires", "20", "--d", "0", "--frobnicate"},
      // The first scenario is fine, the last is not: nothing is computed at all.
      {"--applicants", "100", "--majority", "80", "--hires", "20:100:40", "--d", "0"},
  };
  for (const auto& args : bad) {
    const auto r = run(args);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err.rfind("kemro-grid: ", 0), 0u) << r.err;
    EXPECT_NE(r.err.find("--help"), std::string::npos) << r.err;
  }
}

TEST_F(GridExecutable, HelpDocumentsEveryOptionAndVersionAnswers) {
  const auto help = run({"--help"});
  EXPECT_EQ(help.status, 0);
  for (const char* option :
       {"--applicants", "--majority", "--minority-share", "--hires", "--selection-ratio", "--d",
        "--csv", "--json", "--distribution", "--plot", "--jobs", "--help", "--version"}) {
    EXPECT_NE(help.out.find(option), std::string::npos) << option;
  }
  EXPECT_NE(help.out.find("not one conditional on a defined ratio"), std::string::npos);
  // Every row of the option table, in whichever section it is listed.
  GridOptions unused;
  for (std::string_view option : kemro::cli::option_names(option_table(unused))) {
    EXPECT_NE(help.out.find("\n  " + std::string(option) + " "), std::string::npos) << option;
  }
  const auto version = run({"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out.rfind("kemro-grid ", 0), 0u);
}

TEST_F(GridExecutable, UnwritablePlotFileGivesStatusOneAndTheSystemsReason) {
  const auto r = run({"--applicants", "10", "--majority", "8", "--hires", "2", "--d", "0", "--plot",
                      (dir / "missing" / "p.svg").string()});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("cannot write " + (dir / "missing" / "p.svg").string() +
                       ": No such file or directory"),
            std::string::npos)
      << r.err;
}

TEST_F(GridExecutable, PlotFileThatIsStandardOutputIsRefusedBeforeAnythingIsWritten) {
  // As with `--plot same.svg > same.svg`: the plot would be renamed over the records.
  const std::string same = (dir / "same.svg").string();
  const std::string command = std::string(KEMRO_GRID_EXE) +
                              " --applicants 10 --majority 8 --hires 2 --d 0 --csv --plot " + same +
                              " > " + same + " 2> " + (dir / "err").string();
  EXPECT_EQ(WEXITSTATUS(std::system(command.c_str())), 2);
  EXPECT_NE(read_file(dir / "err").find("is the file standard output goes to"), std::string::npos);
}

TEST_F(GridExecutable, IntercorrelationFileIsReadLikeAnyCsvFile) {
  // A byte-order mark and CR LF line ends, as spreadsheets save them.
  write_file(dir / "r.csv",
             "\xEF\xBB\xBF"
             "1,0.3\r\n0.3,1\r\n");
  const auto from_file = run({"--applicants", "100", "--majority", "80", "--hires", "20",
                              "--predictor-d", "1,0.23", "--intercorrelations", "r.csv", "--csv"});
  const auto from_list = run({"--applicants", "100", "--majority", "80", "--hires", "20",
                              "--predictor-d", "1,0.23", "--intercorrelations", "0.3", "--csv"});
  EXPECT_EQ(from_file.status, 0) << from_file.err;
  EXPECT_EQ(from_file.out, from_list.out);
  // A control sequence in a cell is echoed escaped, never raw.
  write_file(dir / "bad.csv", "1,0.3\n0.3,x\x1b[2J\n");
  const auto bad = run({"--applicants", "100", "--majority", "80", "--hires", "20", "--predictor-d",
                        "1,0.23", "--intercorrelations", "bad.csv"});
  EXPECT_EQ(bad.status, 2);
  EXPECT_NE(bad.err.find("'x\\x1B[2J' is not a number"), std::string::npos) << bad.err;
}

}  // namespace
