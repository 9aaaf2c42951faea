// The SVG plots of kemro-grid: what they show, and that they are well-formed
// SVG that a renderer converts (rsvg-convert, when installed).
#include <gtest/gtest.h>
#include <librsvg/rsvg.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "report/figure.hpp"
#include "report/figure_file.hpp"
#include "tests/support/program_process.hpp"
#include "tools/grid/options.hpp"

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
  EXPECT_NE(svg.find("Distribution of AI: 30 applicants (20 minority), 12 hires, d = -1"),
            std::string::npos);
  EXPECT_NE(svg.find(">AI = 0.8</text>"), std::string::npos);
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
  EXPECT_NE(svg.find("P(AI &lt; 0.8) by number of applicants</text>"), std::string::npos);
  EXPECT_NE(svg.find(">Minority share = 0.2, Selection ratio = 0.2</text>"), std::string::npos);
  EXPECT_NE(svg.find(">Effect size d</text>"), std::string::npos);  // the legend's heading
  EXPECT_NE(svg.find(">0</text>"), std::string::npos);
  EXPECT_NE(svg.find(">0.5</text>"), std::string::npos);
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
  for (const std::string label : {">0</text>", ">1.2</text>", ">2.4</text>"}) {
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
  EXPECT_NE(svg.find(">Effect size d at which P(AI &lt; 0.8) = 0.5 by number of applicants</text>"),
            std::string::npos);
  EXPECT_EQ(occurrences(svg, "<path"), 2u);  // one line per minority share
  EXPECT_EQ(occurrences(svg, "<title>Minority share = "), 6u);
  // Each point's value is the d of its record.
  const std::string first_d = r.out.substr(r.out.find("\n50,0.2,0.2,d,") + 14, 5);
  EXPECT_NE(svg.find("Minority share = 0.2, Number of applicants = 50: " + first_d),
            std::string::npos)
      << first_d;
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
  o.width = {640, PlotUnit::Px};
  o.height = {400, PlotUnit::Px};
  PlotExtent extent;
  const std::string svg = grid_svg(grid, computed(grid), o, &extent);
  EXPECT_EQ(extent.width, 640);
  EXPECT_EQ(extent.height, 400);  // the legend takes its room from the plot

  std::string error;
  EXPECT_EQ(encode_plot(svg, PlotFormat::Svg, error), svg);
  const std::string png = encode_plot(svg, PlotFormat::Png, error);
  ASSERT_EQ(error, "");
  ASSERT_GT(png.size(), 24u);
  EXPECT_EQ(png.substr(0, 8), "\x89PNG\r\n\x1a\n");
  EXPECT_EQ(png.substr(12, 4), "IHDR");
  EXPECT_EQ(png_size(png), std::make_pair(std::uint32_t{640}, std::uint32_t{400}));
  EXPECT_NE(png.find(std::string("tEXtSoftware") + '\0' + PLOT_CREATOR), std::string::npos);
  const std::string pdf = encode_plot(svg, PlotFormat::Pdf, error);
  ASSERT_EQ(error, "");
  EXPECT_EQ(pdf.substr(0, 5), "%PDF-");
  EXPECT_NE(pdf.find("%%EOF", pdf.size() - 8), std::string::npos);
  EXPECT_NE(pdf.find("/MediaBox [ 0 0 480 300 ]"), std::string::npos);  // 0.75 pt per pixel
  EXPECT_NE(pdf.find(PLOT_CREATOR), std::string::npos);
  EXPECT_NE(svg.find(std::string("<metadata>") + PLOT_CREATOR), std::string::npos);

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
      std::snprintf(label, sizeof label, ">%.6g</text>", 0.05 * static_cast<double>(i));
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
  EXPECT_NE(svg.find(">Minority share = 0.4</text>"), std::string::npos);
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
  EXPECT_EQ(png_size(png), std::make_pair(std::uint32_t{700}, std::uint32_t{450}));
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
  EXPECT_NE(svg.find(">Number of applicants</text>"), std::string::npos);  // lines by N now
  EXPECT_NE(svg.find(">80</text>"), std::string::npos);
  EXPECT_EQ(svg.find("Saw-teeth"), std::string::npos);  // d moves no hire counts
  p.x = "applicants";
  const std::string by_n = grid_svg(grid, computed(grid), p);
  EXPECT_NE(by_n.find(">Number of applicants</text>"), std::string::npos);
  EXPECT_NE(by_n.find("Saw-teeth"), std::string::npos);
}

// The ink of everything drawn but the white background, as the renderer lays
// it out with the real font, or nothing when the SVG cannot be read.
std::optional<RsvgRectangle> ink_extent(std::string svg, double width, double height) {
  const std::string background = "<rect width=\"100%\" height=\"100%\" fill=\"white\"/>";
  svg.erase(svg.find(background), background.size());
  GError* error = nullptr;
  RsvgHandle* handle =
      rsvg_handle_new_from_data(reinterpret_cast<const guint8*>(svg.data()), svg.size(), &error);
  if (handle == nullptr) return std::nullopt;
  const RsvgRectangle viewport{0, 0, width, height};
  RsvgRectangle ink{};
  RsvgRectangle logical{};
  const bool ok =
      rsvg_handle_get_geometry_for_layer(handle, nullptr, &viewport, &ink, &logical, &error) != 0;
  g_object_unref(handle);
  if (error != nullptr) g_error_free(error);
  return ok ? std::optional<RsvgRectangle>(ink) : std::nullopt;
}

TEST(GridPlotLayout, EveryTextStaysOnTheCanvasAtEverySize) {
  // A distribution, a 4 x 6 grid with its two-part legend and the saw-teeth
  // note, and small multiples with a long title: drawn at every pair of sizes
  // from 2 in (192 pixels) to 10000 pixels.
  GridOptions crossed;
  crossed.applicants = {50, 100, 150, 200};
  crossed.minority_share = {0.1, 0.2, 0.3, 0.4};
  crossed.selection_ratio = {0.1, 0.15, 0.2, 0.25, 0.3, 0.35};
  crossed.d = {0.5};
  GridOptions panels = crossed;
  panels.d = {0, 0.25, 0.5};
  const Grid crossed_grid = build_grid(crossed).grid;
  const Grid panel_grid = build_grid(panels).grid;
  const Grid one = grid_of({100}, {0.5});
  ScenarioResult distribution;
  distribution.completed = true;
  distribution.P_below_four_fifths = 0.3596099;
  for (int s = 0; s <= 20; ++s) {
    DistributionEntry e;
    e.NY = s;
    e.NX = 20 - s;
    e.AI = (s / 20.0) / ((20.0 - s) / 80.0);
    e.PVS = s <= 10 ? 0.09 : 0.001;
    distribution.distribution.push_back(e);
  }
  const std::vector<ScenarioResult> crossed_results = computed(crossed_grid);
  const std::vector<ScenarioResult> panel_results = computed(panel_grid);
  const PlotLength sizes[] = {{2, PlotUnit::In},    {5.5, PlotUnit::Cm}, {300, PlotUnit::Px},
                              {3.5, PlotUnit::In},  {820, PlotUnit::Px}, {10, PlotUnit::In},
                              {10000, PlotUnit::Px}};
  for (const PlotLength& w : sizes) {
    for (const PlotLength& h : sizes) {
      PlotOptions o;
      o.width = w;
      o.height = h;
      o.title = "P(AI < 0.8) by number of applicants, for every minority share and selection ratio";
      const std::pair<const char*, std::string> plots[] = {
          {"distribution", distribution_svg(one.scenarios[0], distribution, o)},
          {"crossed", grid_svg(crossed_grid, crossed_results, o)},
          {"panels", grid_svg(panel_grid, panel_results, o)}};
      for (const auto& [name, svg] : plots) {
        SCOPED_TRACE(std::string(name) + " at " + w.svg() + " x " + h.svg());
        EXPECT_NE(svg.find("width=\"" + w.svg() + "\" height=\"" + h.svg() + "\""),
                  std::string::npos);
        const std::optional<RsvgRectangle> ink = ink_extent(svg, w.pixels(), h.pixels());
        ASSERT_TRUE(ink.has_value());
        constexpr double STROKE = 1.5;  // half the widest stroke at a frame's edge
        EXPECT_GE(ink->x, -STROKE);
        EXPECT_GE(ink->y, -STROKE);
        EXPECT_LE(ink->x + ink->width, w.pixels() + STROKE);
        EXPECT_LE(ink->y + ink->height, h.pixels() + STROKE);
      }
    }
  }
}

TEST(GridPlotLayout, TwoOptionsGiveColourToOneAndLineTypeToTheOther) {
  GridOptions o;
  o.applicants = {50, 100, 200};
  o.minority_share = {0.1, 0.2, 0.3, 0.4};
  o.selection_ratio = {0.1, 0.15, 0.2, 0.25, 0.3, 0.35};
  o.d = {0.5};
  const Grid grid = build_grid(o).grid;
  PlotExtent e;
  const std::string svg = grid_svg(grid, computed(grid), {}, &e);
  EXPECT_EQ(e.panels, 1u);
  EXPECT_EQ(e.lines, 24u);
  EXPECT_NE(svg.find(">Colour: Minority share</text>"), std::string::npos);
  EXPECT_NE(svg.find(">Line: Selection ratio</text>"), std::string::npos);
  std::set<std::string> colours;
  std::set<std::string> dashes;
  for (std::size_t at = svg.find("<path d="); at != std::string::npos;
       at = svg.find("<path d=", at + 1)) {
    const std::string path = svg.substr(at, svg.find("/>", at) - at);
    const std::size_t stroke = path.find("stroke=\"") + 8;
    colours.insert(path.substr(stroke, 7));
    const std::size_t dash = path.find("stroke-dasharray=\"");
    dashes.insert(dash == std::string::npos ? ""
                                            : path.substr(dash, path.find('"', dash + 18) - dash));
  }
  EXPECT_EQ(colours.size(), 4u);
  EXPECT_EQ(dashes.size(), 6u);
  EXPECT_EQ(svg.find("N2/N"), std::string::npos);  // words, not symbols
  EXPECT_EQ(svg.find("K/N"), std::string::npos);
}

TEST(GridPlotLayout, TheFourFifthsLabelStandsAboveEveryBar) {
  const Grid one = grid_of({100}, {0.5});
  ScenarioResult r;
  r.completed = true;
  for (int s = 0; s <= 20; ++s) {
    DistributionEntry e;
    e.NY = s;
    e.NX = 20 - s;
    e.AI = s == 20 ? kemro::UNDEFINED_RATIO : (s / 20.0) / ((20.0 - s) / 80.0);
    e.PVS = s == 4 ? 0.5 : 0.025;  // the tallest bar at AI = 0.8 exactly
    r.distribution.push_back(e);
  }
  const std::string svg = distribution_svg(one.scenarios[0], r, {});
  const std::size_t label = svg.rfind("<text", svg.find(">AI = 0.8</text>"));
  const double label_y = std::stod(svg.substr(svg.find(" y=\"", label) + 4));
  double highest_bar = 1e9;
  for (std::size_t at = svg.find("<rect x="); at != std::string::npos;
       at = svg.find("<rect x=", at + 1)) {
    if (svg.find("<title>S = ", at) > svg.find("</rect>", at)) continue;  // a legend swatch
    highest_bar = std::min(highest_bar, std::stod(svg.substr(svg.find(" y=\"", at) + 4)));
  }
  EXPECT_LT(label_y, highest_bar);
}

TEST(GridPlotOptions, SizesInPixelsOrPhysicalUnits) {
  const std::pair<const char*, double> good[] = {
      {"820", 820},   {"820px", 820}, {"3.5in", 336},  {"5.08cm", 192}, {"90mm", 90 * 96 / 25.4},
      {"252pt", 336}, {"2in", 192},   {"10000", 10000}};
  for (const auto& [text, pixels] : good) {
    PlotLength length;
    std::string error;
    EXPECT_TRUE(parse_plot_length(text, length, error)) << text << ": " << error;
    EXPECT_NEAR(length.pixels(), pixels, 1e-9) << text;
  }
  for (const char* bad : {"1.9in", "10001", "abc", "3.5 in", "-300", "in", "3.5inch", "nan"}) {
    PlotLength length;
    std::string error;
    EXPECT_FALSE(parse_plot_length(bad, length, error)) << bad;
    EXPECT_NE(error.find(std::string("'") + bad + "'"), std::string::npos) << error;
  }
}

TEST_F(GridPlot, APdfPageHasThePhysicalSizeAskedFor) {
  const auto r = run_program(
      KEMRO_GRID_EXE,
      {"--applicants", "40,80", "--minority-share", "0.25", "--hires", "8", "--d", "0.1,0.4",
       "--width", "3.5in", "--height", "3in", "--font-size", "8", "--no-note", "--plot", "fig.pdf"},
      dir);
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string pdf = read_file(dir / "fig.pdf");
  EXPECT_NE(pdf.find("/MediaBox [ 0 0 252 216 ]"), std::string::npos);
}

TEST_F(GridPlot, BadPlotNamesAndTitlesAreRefusedBeforeAnyWork) {
  fs::create_directory(dir / "taken.svg");
  const std::string long_name(250, 'p');
  struct Case {
    std::vector<std::string> extra;
    int status;
    std::string message;
  };
  const Case cases[] = {
      {{"--plot", "taken.svg"}, 1, "taken.svg: it is a folder"},
      {{"--plot", "missing/p.svg"}, 1, "missing/p.svg"},
      {{"--plot", "p.svg", "--title", "bad \xff title"}, 2, "not valid UTF-8"},
      {{"--plot", "p.png", "--title", "bad \xff title"}, 2, "not valid UTF-8"},
      {{"--plot", "p.svg", "--title", "a\001b"}, 2, "--title: the title holds a control character"},
      {{"--plot", "p.png", "--title", "tab\there"}, 2, "a control character"},
      {{"--plot", "p.svg", "--width", "20000"}, 2, "'20000' is not between"},
      {{"--plot", long_name + ".svg"}, 0, ""},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = {"--applicants", "100", "--majority", "80",
                                     "--hires",      "20",  "--d",        "0.5"};
    args.insert(args.end(), c.extra.begin(), c.extra.end());
    const auto r = run_program(KEMRO_GRID_EXE, args, dir);
    SCOPED_TRACE(c.extra.back().substr(0, 40));
    EXPECT_EQ(r.status, c.status) << r.err;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    if (c.status != 0) {
      EXPECT_EQ(r.out, "");  // nothing computed
    }
  }
  EXPECT_TRUE(fs::exists(dir / (long_name + ".svg")));
}

}  // namespace
