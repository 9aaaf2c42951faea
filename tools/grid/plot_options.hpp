// What the --plot options ask of a plot: its file format (from the file's
// extension), the option on the horizontal axis, the axis scale, the title
// and the canvas size.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kemro::grid {

enum class PlotFormat { Svg, Png, Pdf };

// The format a plot file's extension names (".svg", ".png", ".pdf", in any
// letter case), or nothing for any other name.
std::optional<PlotFormat> plot_format_of(std::string_view file_name);

inline constexpr int DEFAULT_PLOT_WIDTH = 820;   // pixels
inline constexpr int DEFAULT_PLOT_HEIGHT = 520;  // pixels
inline constexpr int MIN_PLOT_SIZE = 300;        // pixels; room for axes and a legend
inline constexpr int MAX_PLOT_SIZE = 10000;      // pixels; a PNG of 400 MB at most

struct PlotOptions {
  PlotFormat format = PlotFormat::Svg;
  std::string x;       // the option name without dashes on the x axis; empty: the first varying
  bool log_x = false;  // logarithmic x axis (every x value must be positive)
  std::string title;   // empty: a title made from the plotted quantity
  int width = DEFAULT_PLOT_WIDTH;    // of the plotting canvas; a legend below adds height
  int height = DEFAULT_PLOT_HEIGHT;  // idem
  // What a grid plot's lines show (each result's P_below_four_fifths field);
  // a planning solve puts the value it found there.
  std::string quantity = "P(AI < 0.8)";
  // --y: the catalogue column a grid plot shows instead, by its CSV name;
  // empty: P_below_four_fifths as above.
  std::string y;
};

}  // namespace kemro::grid
