// The SVG plots of kemro-grid: what they show, and that they are well-formed
// SVG that a renderer converts (rsvg-convert, when installed).
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/program_process.hpp"
#include "tools/grid/options.hpp"
#include "tools/grid/plot.hpp"

namespace {

namespace fs = std::filesystem;
using namespace kemro::grid;
using kemro::testing::make_temp_dir;
using kemro::testing::read_file;
using kemro::testing::run_program;
using kemro::testing::write_file;

std::size_t occurrences(const std::string& text, const std::string& what) {
  std::size_t n = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) {
    ++n;
  }
  return n;
}

// The renderer's full path, or empty when it is not installed.
std::string renderer() {
  const char* path = std::getenv("PATH");
  std::string dirs = path != nullptr ? path : "/usr/bin:/bin";
  std::size_t start = 0;
  for (;;) {
    const std::size_t colon = dirs.find(':', start);
    const fs::path candidate =
        fs::path(dirs.substr(start, colon == std::string::npos ? colon : colon - start)) /
        "rsvg-convert";
    if (::access(candidate.c_str(), X_OK) == 0) return candidate;
    if (colon == std::string::npos) return {};
    start = colon + 1;
  }
}

class GridPlot : public ::testing::Test {
 protected:
  void SetUp() override { dir = make_temp_dir(); }
  void TearDown() override { fs::remove_all(dir); }

  // Converts the SVG to PNG: the renderer refuses anything that is not well-formed.
  void expect_renders(const std::string& svg) {
    const std::string program = renderer();
    if (program.empty()) GTEST_SKIP() << "rsvg-convert is not installed";
    write_file(dir / "plot.svg", svg);
    const auto r = run_program(program, {"plot.svg", "-o", "plot.png"}, dir);
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string png = read_file(dir / "plot.png");
    EXPECT_EQ(png.substr(0, 8), "\x89PNG\r\n\x1a\n");
  }

  fs::path dir;
};

TEST_F(GridPlot, OneScenarioShowsTheDistributionOfAIWithTheFourFifthsLine) {
  const auto r = run_program(
      KEMRO_GRID_EXE,
      {"--applicants", "30", "--majority", "10", "--hires", "12", "--d", "-1", "--plot", "one.svg"},
      dir);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("P(AI<0.8)"), std::string::npos);  // the table is written as well
  const std::string svg = read_file(dir / "one.svg");
  EXPECT_NE(svg.find("Distribution of AI: N = 30, N1 = 10, N2 = 20, K = 12, d = -1"),
            std::string::npos);
  EXPECT_NE(svg.find("AI = 0.8</text>"), std::string::npos);
  EXPECT_EQ(occurrences(svg, "stroke-dasharray"), 1u);  // the 0.8 line
  // S = 2 .. 11 have a defined ratio, all within the axis (AI = 5.5 at most); S = 12 has none.
  EXPECT_EQ(occurrences(svg, "<title>S = "), 10u);
  EXPECT_EQ(occurrences(svg, "<title>S = 12"), 0u);
  EXPECT_NE(svg.find("P(AI undefined) = 0.12629"), std::string::npos);
  EXPECT_EQ(svg.find("href"), std::string::npos);  // self-contained
  expect_renders(svg);
}

Grid grid_of(std::vector<std::int32_t> N, std::vector<double> d) {
  GridOptions o;
  o.applicants = std::move(N);
  o.minority_share = {0.2};
  o.selection_ratio = {0.2};
  o.d = std::move(d);
  GridOutcome g = build_grid(o);
  EXPECT_TRUE(g.ok()) << g.error;
  return g.grid;
}

TEST_F(GridPlot, AGridShowsOneLinePerValueOfTheSecondOption) {
  const Grid grid = grid_of({50, 100, 200}, {0, 0.5});
  std::vector<ScenarioResult> results(grid.scenarios.size());
  for (std::size_t i = 0; i < results.size(); ++i) {
    results[i].completed = true;
    results[i].P_below_four_fifths = 0.1 * static_cast<double>(i + 1);
  }
  results[2].completed = false;  // N = 100, d = 0: a gap in the d = 0 line

  const std::string svg = plot_svg(grid, results);
  EXPECT_NE(svg.find("P(AI &lt; 0.8) by N</text>"), std::string::npos);
  EXPECT_NE(svg.find("N2/N = 0.2, K/N = 0.2</text>"), std::string::npos);
  EXPECT_NE(svg.find(">d = 0</text>"), std::string::npos);
  EXPECT_NE(svg.find(">d = 0.5</text>"), std::string::npos);
  EXPECT_EQ(occurrences(svg, "<circle"), 5u);
  EXPECT_EQ(occurrences(svg, "<path"), 2u);
  EXPECT_EQ(occurrences(svg, " M "), 1u);  // the second stroke of the broken d = 0 line
  expect_renders(svg);
}

TEST_F(GridPlot, ManyLinesKeepTheLegendOnTheCanvas) {
  std::vector<double> d;
  for (int i = 0; i < 25; ++i) d.push_back(0.1 * i);
  const Grid grid = grid_of({50, 100}, d);
  std::vector<ScenarioResult> results(grid.scenarios.size());
  for (ScenarioResult& r : results) r.completed = true;
  const std::string svg = plot_svg(grid, results);
  EXPECT_EQ(occurrences(svg, "<path"), 25u);
  EXPECT_NE(svg.find("and 5 more lines"), std::string::npos);
  expect_renders(svg);
}

TEST_F(GridPlot, ASolveShowsTheValueFoundAgainstTheFirstOtherOptionThatVaries) {
  const auto r = run_program(KEMRO_GRID_EXE,
                             {"--solve", "d", "--target", "P_below_four_fifths=0.5", "--applicants",
                              "50,100,200", "--minority-share", "0.2,0.3", "--selection-ratio",
                              "0.2", "--d", "-2:3", "--csv", "--plot", "solve.svg"},
                             dir);
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string svg = read_file(dir / "solve.svg");
  EXPECT_NE(svg.find("d where P_below_four_fifths=0.5 (d) by N"), std::string::npos);
  EXPECT_EQ(occurrences(svg, "<path"), 2u);  // one line per minority share
  EXPECT_EQ(occurrences(svg, "<circle"), 6u);
  // Each point's value is the d of its record.
  const std::string first_d = r.out.substr(r.out.find("\n50,0.2,0.2,d,") + 14, 5);
  EXPECT_NE(svg.find("N2/N = 0.2, N = 50: " + first_d), std::string::npos) << first_d;
  expect_renders(svg);
}

TEST_F(GridPlot, AnAbandonedScenarioGivesAPlotThatSaysSo) {
  const Grid grid = grid_of({50}, {0});
  const std::string svg = plot_svg(grid, {ScenarioResult{}});
  EXPECT_NE(svg.find("abandoned"), std::string::npos);
  EXPECT_EQ(occurrences(svg, "<rect"), 1u);  // the background only
  expect_renders(svg);
}

TEST(GridPlotText, EscapesMarkup) {
  EXPECT_EQ(xml_escape("P(AI < 0.8) & \"d\" > 0"), "P(AI &lt; 0.8) &amp; &quot;d&quot; &gt; 0");
}

}  // namespace
