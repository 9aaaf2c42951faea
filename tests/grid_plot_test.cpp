// The SVG plots of kemro-grid: what they show, and that they are well-formed
// SVG that a renderer converts (rsvg-convert, when installed).
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/program_process.hpp"
#include "tools/grid/options.hpp"
#include "tools/grid/plot.hpp"
#include "tools/grid/plot_file.hpp"

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
  EXPECT_EQ(occurrences(svg, "<title>"), 5u);  // one marker per computed point
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
  for (const std::string label : {">d = 0</text>", ">d = 1.2</text>", ">d = 2.4</text>"}) {
    EXPECT_NE(svg.find(label), std::string::npos) << label;  // the legend names every line
  }
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
  EXPECT_NE(svg.find(">d where P_below_four_fifths=0.5 by N</text>"), std::string::npos);
  EXPECT_EQ(occurrences(svg, "<path"), 2u);  // one line per minority share
  EXPECT_EQ(occurrences(svg, "<title>N2/N = "), 6u);
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

// Width and height from a PNG's IHDR chunk (big-endian, right after the signature).
std::pair<std::uint32_t, std::uint32_t> png_size(const std::string& png) {
  auto word = [&](std::size_t at) {
    std::uint32_t v = 0;
    for (std::size_t i = 0; i < 4; ++i) v = (v << 8) | static_cast<unsigned char>(png[at + i]);
    return v;
  };
  return {word(16), word(20)};
}

std::vector<ScenarioResult> computed(const Grid& grid) {
  std::vector<ScenarioResult> results(grid.scenarios.size());
  for (std::size_t i = 0; i < results.size(); ++i) {
    results[i].completed = true;
    results[i].P_below_four_fifths = 0.01 * static_cast<double>(i % 97);
  }
  return results;
}

TEST(GridPlotFormats, EveryFormatRendersAtTheCanvasSize) {
  const Grid grid = grid_of({50, 100, 200}, {0, 0.5});
  PlotOptions o;
  o.width = 640;
  o.height = 400;
  PlotExtent extent;
  const std::string svg = grid_svg(grid, computed(grid), o, &extent);
  EXPECT_EQ(extent.width, 640);
  EXPECT_GT(extent.height, 400);  // the legend below adds to it

  std::string error;
  EXPECT_EQ(encode_plot(svg, PlotFormat::Svg, error), svg);
  const std::string png = encode_plot(svg, PlotFormat::Png, error);
  ASSERT_EQ(error, "");
  ASSERT_GT(png.size(), 24u);
  EXPECT_EQ(png.substr(0, 8), "\x89PNG\r\n\x1a\n");
  EXPECT_EQ(png.substr(12, 4), "IHDR");
  EXPECT_EQ(png_size(png), std::make_pair(std::uint32_t{640},
                                          static_cast<std::uint32_t>(std::ceil(extent.height))));
  const std::string pdf = encode_plot(svg, PlotFormat::Pdf, error);
  ASSERT_EQ(error, "");
  EXPECT_EQ(pdf.substr(0, 5), "%PDF-");
  EXPECT_NE(pdf.find("%%EOF", pdf.size() - 8), std::string::npos);
  EXPECT_NE(pdf.find("/MediaBox [ 0 0 640 "), std::string::npos);

  EXPECT_EQ(encode_plot("<svg", PlotFormat::Png, error), "");
  EXPECT_NE(error.find("the SVG cannot be read"), std::string::npos) << error;
}

TEST(GridPlotFormats, TheExtensionChoosesTheFormat) {
  const std::pair<const char*, std::optional<PlotFormat>> cases[] = {
      {"p.svg", PlotFormat::Svg}, {"dir/p.PNG", PlotFormat::Png},
      {"p.pdf", PlotFormat::Pdf}, {"p.jpg", std::nullopt},
      {"p", std::nullopt},        {"d.png/p", std::nullopt},
      {"p.svg.gz", std::nullopt}};
  for (const auto& [name, format] : cases) EXPECT_EQ(plot_format_of(name), format) << name;
}

TEST(GridPlotStyles, NoTwoOfTheFirstLinesLookAlike) {
  // Also apart in grey: dash and marker differ where the colour is all that would.
  for (std::size_t a = 0; a < 64; ++a) {
    for (std::size_t b = a + 1; b < 64; ++b) {
      const LineStyle x = line_style(a);
      const LineStyle y = line_style(b);
      EXPECT_FALSE(x == y) << a << " and " << b;
      EXPECT_FALSE(x.dash == y.dash && x.marker == y.marker && b < 32) << a << " and " << b;
    }
  }
}

TEST(GridPlotLegend, StaysOnTheCanvasAndNamesEveryLine) {
  struct Case {
    std::vector<std::int32_t> N;
    std::size_t d_values;
    std::size_t panels;
  };
  // 1, 12 and 60 lines by d against N: no further option to split them by.
  for (const Case& c : {Case{{50, 100}, 1, 1}, Case{{50, 100}, 12, 1}, Case{{50, 100}, 60, 1}}) {
    std::vector<double> d;
    for (std::size_t i = 0; i < c.d_values; ++i) d.push_back(0.05 * static_cast<double>(i));
    const Grid grid = grid_of(c.N, d);
    PlotExtent e;
    const std::string svg = grid_svg(grid, computed(grid), {}, &e);
    SCOPED_TRACE(std::to_string(c.d_values) + " lines");
    EXPECT_EQ(e.panels, c.panels);
    EXPECT_GE(e.legend_left, 0);
    EXPECT_LE(e.legend_right, e.width);
    EXPECT_GE(e.legend_top, 0);
    EXPECT_LE(e.legend_bottom, e.height);
    const std::string height = "height=\"" + std::to_string(static_cast<int>(e.height));
    EXPECT_NE(svg.find(height), std::string::npos);
    for (std::size_t i = 0; c.d_values > 1 && i < c.d_values; ++i) {
      char label[32];
      std::snprintf(label, sizeof label, ">d = %.6g</text>", 0.05 * static_cast<double>(i));
      EXPECT_NE(svg.find(label), std::string::npos) << label;
    }
  }
}

TEST(GridPlotLegend, TooManyLinesSplitIntoPanelsOfAFurtherOption) {
  GridOptions o;
  o.applicants = {50, 100, 200};
  o.minority_share = {0.1, 0.2, 0.3, 0.4};
  o.selection_ratio = {0.1, 0.15, 0.2, 0.25, 0.3, 0.35, 0.4, 0.45, 0.5};
  o.d = {0, 0.5};
  const Grid grid = build_grid(o).grid;
  PlotExtent e;
  const std::string svg = grid_svg(grid, computed(grid), {}, &e);
  // Lines by share, ratio and d: 72; one panel per share leaves 18 a panel.
  EXPECT_EQ(e.panels, 4u);
  EXPECT_EQ(e.lines, 18u);
  EXPECT_NE(svg.find(">N2/N = 0.4</text>"), std::string::npos);
  EXPECT_LE(e.legend_bottom, e.height);
}

TEST_F(GridPlot, OptionsChooseTheAxisScaleTitleAndSizeAndTheFileAppearsWhole) {
  const auto r = run_program(KEMRO_GRID_EXE,
                             {"--applicants", "40,80", "--minority-share", "0.25", "--hires", "8",
                              "--d", "0.1,0.4,0.8", "--x", "d", "--log-x", "--title", "Figure 2",
                              "--width", "700", "--height", "450", "--plot", "fig.png"},
                             dir);
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string png = read_file(dir / "fig.png");
  ASSERT_GT(png.size(), 24u);
  EXPECT_EQ(png_size(png).first, 700u);
  EXPECT_GT(png_size(png).second, 450u);
  std::size_t files = 0;
  for (const auto& entry : fs::directory_iterator(dir)) files += entry.is_regular_file() ? 1 : 0;
  EXPECT_EQ(files, 1u);  // no temporary left behind

  GridOptions o;
  o.applicants = {40, 80};
  o.minority_share = {0.25};
  o.hires = {8};
  o.d = {0.1, 0.4, 0.8};
  const Grid grid = build_grid(o).grid;
  PlotOptions p;
  p.x = "d";
  p.log_x = true;
  p.title = "Figure 2";
  const std::string svg = grid_svg(grid, computed(grid), p);
  EXPECT_NE(svg.find(">Figure 2</text>"), std::string::npos);
  EXPECT_NE(svg.find(">Effect size d</text>"), std::string::npos);
  EXPECT_NE(svg.find(">N = 80</text>"), std::string::npos);  // lines by N now
  EXPECT_EQ(svg.find("Saw-teeth"), std::string::npos);       // d moves no hire counts
  p.x = "applicants";
  const std::string by_n = grid_svg(grid, computed(grid), p);
  EXPECT_NE(by_n.find(">Number of applicants</text>"), std::string::npos);
  EXPECT_NE(by_n.find("Saw-teeth"), std::string::npos);
}

}  // namespace
