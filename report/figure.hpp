// Self-contained SVG plots of a computed grid (no scripts, fonts or links
// outside the file). This is the only drawing code: PNG and PDF are renderings
// of the same SVG (report/figure_file.hpp).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "distribution/grid.hpp"
#include "report/figure_options.hpp"

namespace kemro::grid {

// Where a plot's parts lie on its canvas, in pixels.
struct PlotExtent {
  double width = 0;   // of the whole canvas, as asked
  double height = 0;  // idem
  double legend_left = 0, legend_top = 0, legend_right = 0, legend_bottom = 0;  // 0: no legend
  std::size_t panels = 1;  // small multiples, one per value of a further option
  std::size_t lines = 0;   // per panel
  double font_size = 0;    // pixels; below the one asked when the canvas could not hold it
};

// The look of line k of a plot that tells its lines apart by one option: an
// Okabe-Ito colour, a dash pattern and a marker. The first 512 are pairwise
// different, and the first 64 also in grey (by dash pattern or marker alone).
// With two options, colour follows one and dash and marker the other.
enum class Marker {
  Circle,
  Square,
  Triangle,
  Diamond,
  TriangleDown,
  OpenCircle,
  OpenSquare,
  OpenTriangle
};
struct LineStyle {
  std::string_view colour;  // "#rrggbb"
  std::string_view dash;    // SVG stroke-dasharray; empty: solid
  Marker marker = Marker::Circle;
  bool operator==(const LineStyle&) const = default;
};
LineStyle line_style(std::size_t k);

// The words the column catalogue gives a summary column named as in CSV
// ("P_below_four_fifths": "P(AI < 0.8)", "AI_P50": "Median AI"); a name
// without words of its own is returned as it is.
std::string quantity_words(std::string_view name);

// The program and version that made a plot, for the file's metadata.
inline constexpr const char* PLOT_CREATOR = "kemro-grid " KEMRO_VERSION;

// The dimension --x names by an option name without dashes, or DIMENSIONS
// when the grid has no such axis (--x hires for a grid of selection ratios).
std::size_t dimension_named(const Grid& grid, std::string_view name);

// The distribution of AI for one scenario: one bar of point probability per
// outcome at its AI, bars below 0.8 set apart, the 0.8 line marked. Needs the
// scenario's distribution entries.
std::string distribution_svg(const Scenario& scenario, const ScenarioResult& result,
                             const PlotOptions& options = {}, PlotExtent* extent = nullptr);

// P(AI < 0.8) against the option options.x (default: the first option that
// takes several values), one line per combination of the values of the other
// options that do: with one such option each line has its own colour, dash
// and marker; with two, colour follows the first and line type the second,
// and the legend below the plot says so. Small multiples (one panel per value
// of a further option) when three options vary besides x or the lines would
// be too many to tell apart. Abandoned scenarios leave a gap.
//
// Every plot keeps the canvas size asked for and every text inside it: the
// plotting area shrinks first, then the note, the subtitle and legend rows
// give way, titles wrap and long labels are shortened with an ellipsis, and
// as a last resort the font shrinks.
std::string grid_svg(const Grid& grid, const std::vector<ScenarioResult>& results,
                     const PlotOptions& options = {}, PlotExtent* extent = nullptr);

// distribution_svg for a grid of one scenario, grid_svg otherwise.
std::string plot_svg(const Grid& grid, const std::vector<ScenarioResult>& results,
                     const PlotOptions& options = {});

// Text with &, <, >, " escaped for XML.
std::string xml_escape(const std::string& text);

}  // namespace kemro::grid
