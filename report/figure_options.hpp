// What the --plot options ask of a plot: its file format (from the file's
// extension), the option on the horizontal axis, the axis scale, the title,
// the canvas size in pixels or physical units, the font size and the note.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kemro::grid {

enum class PlotFormat { Svg, Png, Pdf };

// The format a plot file's extension names (".svg", ".png", ".pdf", in any
// letter case), or nothing for any other name.
std::optional<PlotFormat> plot_format_of(std::string_view file_name);

// Units of a plot length. A pixel is the CSS reference pixel: 96 to the inch,
// so that a PDF page is 0.75 pt per pixel and a PNG has one image pixel each.
enum class PlotUnit { Px, In, Cm, Mm, Pt };
inline constexpr double PIXELS_PER_INCH = 96;  // CSS reference pixel
inline constexpr double POINTS_PER_PIXEL = 72.0 / PIXELS_PER_INCH;

// A width or height as given: "820", "820px", "3.5in", "8cm", "80mm", "252pt".
struct PlotLength {
  double value = 0;
  PlotUnit unit = PlotUnit::Px;
  double pixels() const;
  // The length as an SVG attribute keeps its unit: "3.5in", "820".
  std::string svg() const;
  bool operator==(const PlotLength&) const = default;
};

// Reads a length; on failure says why in `error`.
bool parse_plot_length(std::string_view text, PlotLength& length, std::string& error);

inline constexpr double DEFAULT_PLOT_WIDTH = 820;   // pixels
inline constexpr double DEFAULT_PLOT_HEIGHT = 520;  // pixels
// Pixels; 2 inches, the narrowest figure a journal column takes, still holds
// the axes with a few ticks and a shortened title.
inline constexpr double MIN_PLOT_SIZE = 2 * PIXELS_PER_INCH;
inline constexpr double MAX_PLOT_SIZE = 10000;  // pixels; a PNG of 400 MB at most
inline constexpr double DEFAULT_FONT_SIZE = 9;  // points: 12 pixels
inline constexpr double MIN_FONT_SIZE = 4;      // points; smaller is unreadable in print
inline constexpr double MAX_FONT_SIZE = 48;     // points

struct PlotOptions {
  PlotFormat format = PlotFormat::Svg;
  std::string x;       // the option name without dashes on the x axis; empty: the first varying
  bool log_x = false;  // logarithmic x axis (every x value must be positive)
  std::string title;   // empty: a title made from the plotted quantity
  PlotLength width{DEFAULT_PLOT_WIDTH, PlotUnit::Px};    // of the whole canvas, kept exactly
  PlotLength height{DEFAULT_PLOT_HEIGHT, PlotUnit::Px};  // idem
  double font_size = DEFAULT_FONT_SIZE;                  // points, of labels and ticks
  bool note = true;  // the note under a grid plot that explains its saw-teeth
  // What a grid plot's lines show, in words (each result's
  // P_below_four_fifths field); a planning solve puts the value it found there.
  std::string quantity = "P(AI < 0.8)";
  // --y: the catalogue column a grid plot shows instead, by its CSV name;
  // empty: P_below_four_fifths as above.
  std::string y;
};

}  // namespace kemro::grid
