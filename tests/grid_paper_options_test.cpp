// The options of kemro-grid for papers and long studies: --columns, the plot
// options and the composite predictor. Every bad value gives one line that
// says what is wrong, status 2, and no output or file; good ones do what
// they say end to end.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "distribution/columns.hpp"
#include "tests/support/program_process.hpp"

namespace {

namespace fs = std::filesystem;
using kemro::testing::read_file;
using kemro::testing::run_program;
using kemro::testing::split_lines;
using kemro::testing::write_file;

const std::vector<std::string> BASE = {"--applicants", "40", "--majority", "30", "--hires", "8"};

class GridPaperOptions : public ::testing::Test {
 protected:
  void SetUp() override { dir = kemro::testing::make_temp_dir(); }
  void TearDown() override { fs::remove_all(dir); }
  kemro::testing::ProcessRun run(std::vector<std::string> extra) {
    std::vector<std::string> args = BASE;
    args.insert(args.end(), extra.begin(), extra.end());
    return run_program(KEMRO_GRID_EXE, args, dir);
  }
  fs::path dir;
};

struct Bad {
  std::vector<std::string> args;
  std::string message;  // the whole first line after "kemro-grid: ", or its start
};

TEST_F(GridPaperOptions, EveryBadValueGivesOneClearLineAndStatusTwo) {
  write_file(dir / "three.csv", "1,0.3\n0.3,1\n");
  write_file(dir / "bad.csv", "1,x\nx,1\n");
  const std::string unknown_column =
      "--columns: unknown column 'P_below'; the columns are scenario, N, N1,";
  const Bad cases[] = {
      {{"--d", "0", "--columns", "P_below"}, unknown_column},
      {{"--d", "0", "--columns", "N,N"}, "--columns: column 'N' is named twice"},
      {{"--d", "0", "--columns", ""}, "--columns: unknown column ''"},
      {{"--d", "0", "--plot", "p.gif"}, "--plot: 'p.gif' does not end in .svg, .png or .pdf"},
      {{"--d", "0", "--plot", "p"}, "--plot: 'p' does not end in .svg, .png or .pdf"},
      {{"--d", "0", "--plot", ""}, "--plot: an empty file name"},
      {{"--d", "0", "--plot", "p.svg", "--x", "N"}, "--x: 'N' is not a scenario option"},
      {{"--d", "0", "--plot", "p.svg", "--x", "selection-ratio"},
       "--x selection-ratio: --selection-ratio is not given"},
      {{"--d", "0", "--x", "d"},
       "--x, --log-x, --title, --width, --height, --font-size and --no-note need --plot"},
      {{"--d", "-1,1", "--plot", "p.svg", "--x", "d", "--log-x"},
       "--log-x needs positive values on the x axis; --d has -1"},
      // Without --x the axis is the first option with several values, here d.
      {{"--d", "-0.5,0.5", "--plot", "p.svg", "--log-x"},
       "--log-x needs positive values on the x axis; --d has -0.5"},
      {{"--d", "0", "--plot", "p.svg", "--width", "191"},
       "--width: '191' is not between 192 and 10000 pixels (2 in and 104.2 in)"},
      {{"--d", "0", "--plot", "p.svg", "--height", "10001"},
       "--height: '10001' is not between 192 and 10000 pixels"},
      {{"--d", "0", "--plot", "p.svg", "--width", "wide"}, "--width: 'wide' is not a length"},
      {{"--d", "0", "--plot", "p.svg", "--font-size", "3"},
       "--font-size: '3' is not between 4 and 48 points"},
      {{"--d", "0", "--no-note"}, "--x, --log-x, --title, --width, --height, --font-size"},
      {{"--d", "0", "--plot", "p.svg", "--title", ""}, "--title: an empty value"},
      {{"--d", "0", "--predictor-d", "1,0.2", "--intercorrelations", "0.3"},
       "--d and --predictor-d exclude each other"},
      {{"--d", "0", "--weights", "1,1"}, "--weights and --intercorrelations need --predictor-d"},
      {{"--predictor-d", "1,0.2"}, "--intercorrelations is required with 2 predictors"},
      {{"--predictor-d", "1,0.2", "--intercorrelations", "0.3,0.1"},
       "--intercorrelations: 2 predictors need 1 correlations (the upper triangle), not 2"},
      {{"--predictor-d", "1,0.2", "--intercorrelations", "1.5"},
       "--intercorrelations: r(1,2) = 1.5 is outside [-1, 1]"},
      {{"--predictor-d", "1,1,1", "--intercorrelations", "0.9,0.9,-0.9"},
       "--intercorrelations: the correlations are not positive semi-definite"},
      {{"--predictor-d", "1,0.2", "--weights", "1", "--intercorrelations", "0.3"},
       "--weights: 1 weights for 2 predictors"},
      {{"--predictor-d", "1,0.2", "--weights", "1,-1", "--intercorrelations", "1"},
       "--predictor-d with --weights: these weights give the composite no variance"},
      {{"--predictor-d", "1,0.2,0.3", "--intercorrelations", "three.csv"},
       "--intercorrelations 'three.csv': 3 predictors need a 3 x 3 matrix, the file has 4 "
       "entries"},
      {{"--predictor-d", "1,0.2", "--intercorrelations", "bad.csv"},
       "--intercorrelations: 'bad.csv', line 1: 'x' is not a number"},
      {{"--predictor-d", "1,0.2", "--intercorrelations", "missing.csv"},
       "--intercorrelations: cannot read missing.csv: No such file or directory"},
      {{"--predictor-d", "x"}, "--predictor-d: 'x' is not a number"},
  };
  for (const Bad& c : cases) {
    const auto r = run(c.args);
    std::string line;
    for (const auto& a : c.args) line += a + " ";
    SCOPED_TRACE(line);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    const auto lines = split_lines(r.err);
    ASSERT_EQ(lines.size(), 2u) << r.err;  // the message and the hint to --help
    EXPECT_EQ(lines[0].rfind("kemro-grid: " + c.message, 0), 0u) << lines[0];
  }
  EXPECT_FALSE(fs::exists(dir / "p.svg"));
}

TEST_F(GridPaperOptions, ColumnsChooseTheTextTableAndLeaveCsvWhole) {
  const auto text = run({"--d", "0.5", "--columns", "AI_P50,P_below_four_fifths,status"});
  ASSERT_EQ(text.status, 0) << text.err;
  const auto lines = split_lines(text.out);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], "    P50  P(AI<0.8)    status");
  EXPECT_EQ(lines[1].size(), lines[0].size());
  EXPECT_EQ(lines[1].substr(lines[1].size() - 10), "  computed");

  const auto csv = run({"--d", "0.5", "--csv", "--columns", "N"});
  ASSERT_EQ(csv.status, 0) << csv.err;
  EXPECT_EQ(split_lines(csv.out)[0].rfind("scenario,N,N1,N2,K,d,status,P_below_four_fifths,", 0),
            0u);

  // The default table is the catalogue's default columns and fits in 100 columns.
  const auto plain = run({"--d", "0.5"});
  ASSERT_EQ(plain.status, 0) << plain.err;
  for (const std::string& l : split_lines(plain.out)) EXPECT_LE(l.size(), 100u) << l;
  for (std::size_t c : kemro::grid::default_text_columns()) {
    EXPECT_NE(plain.out.find(kemro::grid::summary_catalogue()[c].header), std::string::npos);
  }
}

TEST_F(GridPaperOptions, EveryColumnShowsTheSameValueInTextCsvAndHelp) {
  // All columns in catalogue order: the text row must round the CSV record's values.
  std::string all;
  for (const auto& c : kemro::grid::summary_catalogue()) {
    if (!all.empty()) all.push_back(',');
    all.append(c.name);
  }
  const auto text = run({"--d", "0.5", "--columns", all});
  const auto csv = run({"--d", "0.5", "--csv"});
  const auto help = run_program(KEMRO_GRID_EXE, {"--help"}, dir);
  ASSERT_EQ(text.status, 0) << text.err;
  ASSERT_EQ(csv.status, 0) << csv.err;
  std::istringstream row(split_lines(text.out).at(1));
  std::vector<std::string> fields;
  std::stringstream record(split_lines(csv.out).at(1));
  for (std::string f; std::getline(record, f, ',');) fields.push_back(f);
  const auto catalogue = kemro::grid::summary_catalogue();
  ASSERT_EQ(fields.size(), catalogue.size());
  for (std::size_t i = 0; i < catalogue.size(); ++i) {
    const auto& c = catalogue[i];
    std::string shown;
    row >> shown;
    SCOPED_TRACE(std::string(c.name) + ": text " + shown + ", CSV " + fields[i]);
    std::string listed = "\n  ";  // a line of the help's column list
    listed.append(c.name).push_back(' ');
    EXPECT_NE(help.out.find(listed), std::string::npos);
    if (c.kind == kemro::grid::ColumnKind::Exact || c.kind == kemro::grid::ColumnKind::Population ||
        c.kind == kemro::grid::ColumnKind::Percentile) {
      EXPECT_NEAR(std::stod(shown), std::stod(fields[i]), 0.5 * std::pow(10.0, -c.decimals));
    } else if (c.kind == kemro::grid::ColumnKind::Diagnostic) {  // `decimals` significant digits
      EXPECT_NEAR(std::stod(shown), std::stod(fields[i]),
                  std::abs(std::stod(fields[i])) * std::pow(10.0, 1 - c.decimals));
    } else {
      EXPECT_EQ(shown, fields[i]);
    }
  }
}

TEST_F(GridPaperOptions, ACompositeReplacesDAndIsStated) {
  // The textbook pair: d 1.0 and 0.23, r = 0.3, unit weights: 1.23 / sqrt(2.6).
  write_file(dir / "r.csv", "1, 0.3\n0.3, 1\n");
  const auto from_list = run({"--predictor-d", "1.0,0.23", "--intercorrelations", "0.3", "--csv"});
  const auto from_file =
      run({"--predictor-d", "1.0,0.23", "--intercorrelations", "r.csv", "--csv"});
  const auto direct = run({"--d", "0.762813617723632", "--csv"});
  ASSERT_EQ(from_list.status, 0) << from_list.err;
  EXPECT_EQ(from_list.err, "kemro-grid: composite effect size d = 0.76281361772363199\n");
  EXPECT_EQ(from_file.out, from_list.out);
  EXPECT_EQ(direct.out, from_list.out);
  EXPECT_NE(from_list.out.find("\n1,40,30,10,8,0.762813617723632,computed,"), std::string::npos);
}

}  // namespace
