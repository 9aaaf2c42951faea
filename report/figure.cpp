#include "report/figure.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <map>

#include "distribution/columns.hpp"
#include "report/numbers.hpp"

namespace kemro::grid {

namespace {

// Text is measured before the renderer sees it, with the advances of DejaVu
// Sans (the sans-serif of most Linux systems, and wider than the common
// alternatives) for printable ASCII, in thousandths of an em.
constexpr std::array<unsigned short, 95> ADVANCES = {
    318,  401, 460, 838, 636, 950, 780, 275, 390, 390, 500, 838, 318, 361, 318,
    337,  //  !"#$%&'()*+,-./
    636,  636, 636, 636, 636, 636, 636, 636, 636, 636, 337, 337, 838, 838, 838,
    531,  // 0-9 :;<=>?
    1000, 684, 686, 698, 770, 632, 575, 775, 752, 295, 295, 656, 557, 863, 748,
    787,  // @A-O
    603,  787, 695, 635, 611, 732, 684, 989, 685, 611, 685, 390, 337, 390, 838,
    500,  // P-Z [\]^_
    500,  613, 635, 550, 635, 615, 352, 635, 634, 278, 278, 579, 278, 974, 634,
    612,                                                                          // `a-o
    635,  635, 411, 521, 392, 634, 592, 818, 592, 592, 525, 636, 337, 636, 838};  // p-z {|}~
constexpr double OTHER_ADVANCE = 1.0;  // em; as wide as the widest characters (…, —, W is 0.99)
constexpr double WIDTH_SAFETY = 1.06;  // room for hinting and for another font's wider glyphs
constexpr double ASCENT = 0.93;        // em above the baseline (DejaVu Sans)
constexpr double DESCENT = 0.24;       // em below it
constexpr double LINE = 1.3;           // em from one line of text to the next
constexpr double TITLE_SCALE = 4.0 / 3.0;  // title font over label font (16 px to 12)
constexpr double NOTE_SCALE = 11.0 / 12;   // note font over label font
constexpr double PAD = 0.6;                // em between the canvas edge and any text
constexpr double GAP = 0.5;                // em between neighbouring blocks of text
constexpr double TICK = 5;                 // pixels, tick marks
constexpr double MIN_FONT_PIXELS = 5;      // the font never shrinks below this
constexpr double FONT_SHRINK = 0.9;        // per attempt when the canvas cannot hold the font
constexpr double MIN_FRAME = 3;            // em, the smallest plotting area kept in each direction
constexpr double MAX_INSET = 20;           // pixels between the y axis and the smallest x value
constexpr double INSET_SHARE = 0.04;       // of the frame's width, when that is less
constexpr double LEGEND_ROWS_SHARE = 0.3;  // of the canvas height a legend may take at most
constexpr double LEGEND_SAMPLE = 2.4;      // em, a line sample before a legend label
constexpr double LEGEND_ITEM_GAP = 1.2;    // em after a legend label

constexpr int TARGET_TICKS = 6;
constexpr double MAX_DECADES_WITH_STEPS = 3;  // wider log axes tick powers of ten only
// More lines than this in one plot go to small multiples when a further option can split them.
constexpr std::size_t MAX_LINES_PER_PANEL = 32;
// Outcomes at least this likely decide how far the AI axis reaches.
constexpr double VISIBLE_PROBABILITY = 1e-4;
constexpr double BAR_FILL = 0.8;  // share of the gap between neighbouring bars
constexpr double MIN_BAR_WIDTH = 1.5;
constexpr double MAX_BAR_WIDTH = 30;
constexpr double MARKER_SIZE = 3.5;

constexpr const char* BELOW_COLOUR = "#D55E00";  // Okabe-Ito vermillion
constexpr const char* ABOVE_COLOUR = "#0072B2";  // Okabe-Ito blue
// The Okabe-Ito palette, distinguishable with every common colour-vision deficiency.
constexpr std::array<std::string_view, 8> PALETTE = {"#000000", "#E69F00", "#56B4E9", "#009E73",
                                                     "#0072B2", "#D55E00", "#CC79A7", "#F0E442"};
// Dash patterns told apart at a glance, solid first.
constexpr std::array<std::string_view, 8> DASHES = {"",    "8 4",          "2 3", "10 3 2 3",
                                                    "4 4", "12 3 2 3 2 3", "1 5", "16 4"};
constexpr std::size_t MARKERS = 8;

std::string number(double v, int digits = cli::DEFAULT_DIGITS) {
  return cli::significant(v, digits);
}

// Coordinates to a hundredth of a pixel.
std::string px(double v) {
  return cli::fixed_decimals(v, 2);
}

// ---- Text measurement, wrapping and shortening ----------------------------

bool continuation_byte(char c) {
  return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// The advance of a text in pixels at font size `size`: ASCII from the table,
// any other character as OTHER_ADVANCE.
double text_width(std::string_view s, double size) {
  double em = 0;
  for (char c : s) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (u >= 32 && u < 127)
      em += ADVANCES[u - 32] / 1000.0;
    else if (!continuation_byte(c))
      em += OTHER_ADVANCE;
  }
  return em * size * WIDTH_SAFETY;
}

// The text, or as much of it as fits in `width` followed by an ellipsis, or
// nothing when not even that fits.
std::string shortened(std::string_view s, double width, double size) {
  if (text_width(s, size) <= width) return std::string(s);
  const std::string_view ellipsis = "\u2026";
  while (!s.empty()) {
    s.remove_suffix(1);
    while (!s.empty() && continuation_byte(s.back())) s.remove_suffix(1);
    const std::string_view kept = s.substr(0, s.find_last_not_of(' ') + 1);
    if (text_width(kept, size) + text_width(ellipsis, size) <= width) {
      return std::string(kept) + std::string(ellipsis);
    }
  }
  return text_width(ellipsis, size) <= width ? std::string(ellipsis) : std::string();
}

// The text in lines of at most `width`, broken at spaces, at most
// `max_lines` of them; the last one shortened when the text does not fit.
std::vector<std::string> wrapped(std::string_view s, double width, double size,
                                 std::size_t max_lines) {
  std::vector<std::string> lines;
  while (!s.empty() && lines.size() + 1 < max_lines && text_width(s, size) > width) {
    std::size_t cut = std::string_view::npos;
    for (std::size_t at = s.find(' '); at != std::string_view::npos; at = s.find(' ', at + 1)) {
      if (text_width(s.substr(0, at), size) > width) break;
      cut = at;
    }
    if (cut == std::string_view::npos || cut == 0) break;
    lines.emplace_back(s.substr(0, cut));
    s.remove_prefix(cut + 1);
  }
  if (!s.empty()) lines.push_back(shortened(s, width, size));
  if (!lines.empty() && lines.back().empty()) lines.pop_back();
  return lines;
}

// ---- Scales and ticks -------------------------------------------------------

// A round tick step (1, 2 or 5 times a power of ten) for about TARGET_TICKS ticks.
double tick_step(double span) {
  const double raw = span / TARGET_TICKS;
  const double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
  const double r = raw / magnitude;
  return (r < 1.5 ? 1.0 : r < 3.0 ? 2.0 : r < 7.0 ? 5.0 : 10.0) * magnitude;
}

// The smallest multiple of the tick step not below `top` (at least one step).
double nice_top(double top) {
  if (!(top > 0.0)) return 1.0;
  const double step = tick_step(top);
  return std::max(step, std::ceil(top / step - 1e-9) * step);
}

// A map from data range [lo, hi] to pixels [from, to], linear or in log10.
struct Scale {
  double lo, hi, from, to;
  bool log = false;
  double operator()(double v) const {
    if (log) return from + (std::log10(v) - std::log10(lo)) / (std::log10(hi / lo)) * (to - from);
    return from + (v - lo) / (hi - lo) * (to - from);
  }
};

// The tick values of a range: round steps, or 1, 2, 5 times powers of ten on a log scale.
std::vector<double> ticks(double lo, double hi, bool log) {
  std::vector<double> values;
  if (log) {
    // 1, 2 and 5 times powers of ten; powers of ten alone over many decades.
    const bool wide = std::log10(hi / lo) > MAX_DECADES_WITH_STEPS;
    for (double e = std::floor(std::log10(lo)); e <= std::ceil(std::log10(hi)); ++e) {
      for (double m : {1.0, 2.0, 5.0}) {
        const double v = m * std::pow(10.0, e);
        if ((m == 1.0 || !wide) && v >= lo * (1 - 1e-9) && v <= hi * (1 + 1e-9)) {
          values.push_back(v);
        }
      }
    }
    if (values.size() >= 3) return values;
    values.clear();  // less than a decade: round linear steps, placed on the log scale
  }
  const double step = tick_step(hi - lo);
  for (double v = std::ceil(lo / step - 1e-9) * step; v <= hi + step * 1e-6; v += step) {
    values.push_back(std::abs(v) < step * 1e-9 ? 0.0 : v);  // never "-0"
  }
  return values;
}

// Every k-th tick (the first kept) for the smallest k that leaves no more
// than `room` ticks.
std::vector<double> thinned(const std::vector<double>& values, double room) {
  const std::size_t most = std::max<std::size_t>(2, static_cast<std::size_t>(std::max(room, 0.0)));
  std::size_t k = 1;
  while ((values.size() + k - 1) / k > most) ++k;
  std::vector<double> kept;
  for (std::size_t i = 0; i < values.size(); i += k) kept.push_back(values[i]);
  return kept;
}

double widest_label(const std::vector<double>& values, double size) {
  double w = 0;
  for (double v : values) w = std::max(w, text_width(number(v, 4), size));
  return w;
}

// A rectangle of the canvas, in pixels.
struct Frame {
  double left, top, width, height;
  double right() const { return left + width; }
  double bottom() const { return top + height; }
};

// ---- SVG pieces -------------------------------------------------------------

// A text whose baseline is at y; `size` in pixels.
std::string text(double x, double y, const std::string& s, double size,
                 const char* anchor = "middle", const std::string& extra = "") {
  if (s.empty()) return {};
  return "<text x=\"" + px(x) + "\" y=\"" + px(y) + "\" font-size=\"" + px(size) +
         "\" text-anchor=\"" + anchor + "\"" + extra + ">" + xml_escape(s) + "</text>\n";
}

std::string line(double x1, double y1, double x2, double y2, std::string_view stroke,
                 const std::string& extra = "") {
  return "<line x1=\"" + px(x1) + "\" y1=\"" + px(y1) + "\" x2=\"" + px(x2) + "\" y2=\"" + px(y2) +
         "\" stroke=\"" + std::string(stroke) + "\"" + extra + "/>\n";
}

std::string open_svg(const PlotOptions& o, double width, double height) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
         "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" +
         o.width.svg() + "\" height=\"" + o.height.svg() + "\" viewBox=\"0 0 " + number(width, 9) +
         " " + number(height, 9) +
         "\" font-family=\"sans-serif\">\n"
         "<metadata>" +
         xml_escape(PLOT_CREATOR) +
         "</metadata>\n"
         "<rect width=\"100%\" height=\"100%\" fill=\"white\"/>\n";
}

std::string marker_svg(double x, double y, const LineStyle& style, const std::string& tip) {
  const std::string colour(style.colour);
  const double r = MARKER_SIZE;
  const bool open = style.marker == Marker::OpenCircle || style.marker == Marker::OpenSquare ||
                    style.marker == Marker::OpenTriangle;
  const std::string paint = open ? "fill=\"white\" stroke=\"" + colour + "\" stroke-width=\"1.5\""
                                 : "fill=\"" + colour + "\"";
  const std::string title = tip.empty() ? "/>\n" : "><title>" + xml_escape(tip) + "</title></";
  auto polygon = [&](std::vector<std::pair<double, double>> points) {
    std::string p;
    for (const auto& [dx, dy] : points) p += px(x + dx * r) + "," + px(y + dy * r) + " ";
    p.pop_back();
    return "<polygon points=\"" + p + "\" " + paint + title + (tip.empty() ? "" : "polygon>\n");
  };
  switch (style.marker) {
    case Marker::Circle:
    case Marker::OpenCircle:
      return "<circle cx=\"" + px(x) + "\" cy=\"" + px(y) + "\" r=\"" + px(r) + "\" " + paint +
             title + (tip.empty() ? "" : "circle>\n");
    case Marker::Square:
    case Marker::OpenSquare:
      return polygon({{-0.9, -0.9}, {0.9, -0.9}, {0.9, 0.9}, {-0.9, 0.9}});
    case Marker::Triangle:
    case Marker::OpenTriangle:
      return polygon({{0, -1.2}, {1.1, 0.9}, {-1.1, 0.9}});
    case Marker::Diamond:
      return polygon({{0, -1.3}, {1.1, 0}, {0, 1.3}, {-1.1, 0}});
    case Marker::TriangleDown:
      return polygon({{0, 1.2}, {1.1, -0.9}, {-1.1, -0.9}});
  }
  return {};
}

std::string stroke_of(const LineStyle& style, double width) {
  std::string s = "stroke=\"" + std::string(style.colour) + "\" stroke-width=\"" + px(width) + "\"";
  if (!style.dash.empty()) s += " stroke-dasharray=\"" + std::string(style.dash) + "\"";
  return s;
}

// ---- Legend -----------------------------------------------------------------

// One legend item: a heading that names an option (starts a new row), a line
// sample with marker, a colour sample (a plain thick line), or a bar swatch.
enum class Sample { Heading, Line, Colour, Bar, None };
struct LegendItem {
  std::string label;
  LineStyle style;
  Sample sample = Sample::Line;
};

double item_width(const LegendItem& item, double f) {
  const double sample =
      item.sample == Sample::Heading || item.sample == Sample::None ? 0.0 : LEGEND_SAMPLE * f;
  return sample + text_width(item.label, f) + LEGEND_ITEM_GAP * f;
}

// Legend items placed in rows across `width`, each heading starting a row.
struct PlacedLegend {
  std::vector<LegendItem> items;
  std::vector<std::pair<std::size_t, double>> at;  // row and left offset of each item
  std::size_t rows = 0;
  double width = 0;  // of the widest row
};

PlacedLegend place_legend(std::vector<LegendItem> items, double width, double f) {
  PlacedLegend placed;
  double x = 0;
  for (LegendItem& item : items) {
    const double sample =
        item.sample == Sample::Heading || item.sample == Sample::None ? 0.0 : LEGEND_SAMPLE * f;
    item.label = shortened(item.label, width - sample, f);
    const double w = std::min(item_width(item, f), width);
    if (placed.rows == 0 || item.sample == Sample::Heading || x + w > width + LEGEND_ITEM_GAP * f) {
      ++placed.rows;
      x = 0;
    }
    placed.at.emplace_back(placed.rows - 1, x);
    x += w;
    placed.width = std::max(placed.width, x - LEGEND_ITEM_GAP * f);
  }
  placed.items = std::move(items);
  return placed;
}

// The legend in at most `max_rows` rows: when the items need more, the last
// ones give way to a "… and K more" item.
PlacedLegend legend_in_rows(const std::vector<LegendItem>& items, double width, double f,
                            std::size_t max_rows) {
  if (max_rows == 0) return {};
  PlacedLegend placed = place_legend(items, width, f);
  if (placed.rows <= max_rows) return placed;
  // The most items that fit with the "more" item after them, by bisection
  // (fewer items never take more rows), so that thousands of lines cost little.
  const auto shortened_to = [&](std::size_t keep) {
    std::vector<LegendItem> shown(items.begin(), items.begin() + static_cast<std::ptrdiff_t>(keep));
    shown.push_back(
        {"\u2026 and " + std::to_string(items.size() - keep) + " more", {}, Sample::None});
    return place_legend(shown, width, f);
  };
  std::size_t fits = 0;
  std::size_t fails = items.size();
  while (fails - fits > 1) {
    const std::size_t middle = fits + (fails - fits) / 2;
    (shortened_to(middle).rows <= max_rows ? fits : fails) = middle;
  }
  placed = shortened_to(fits);
  return placed.rows <= max_rows ? placed : PlacedLegend{};
}

std::string legend_svg(const PlacedLegend& placed, double left, double top, double f) {
  std::string svg = "<g class=\"legend\">\n";
  for (std::size_t k = 0; k < placed.items.size(); ++k) {
    const LegendItem& e = placed.items[k];
    const double x = left + placed.at[k].second;
    const double middle = top + LINE * f * (static_cast<double>(placed.at[k].first) + 0.5);
    const double baseline = middle + (ASCENT - DESCENT) / 2 * f;
    const double sample = LEGEND_SAMPLE * f;
    switch (e.sample) {
      case Sample::Heading:
      case Sample::None:
        svg += text(x, baseline, e.label, f, "start");
        continue;
      case Sample::Bar:
        svg += "<rect x=\"" + px(x) + "\" y=\"" + px(middle - 0.35 * f) + "\" width=\"" +
               px(sample * 0.8) + "\" height=\"" + px(0.7 * f) + "\" fill=\"" +
               std::string(e.style.colour) + "\"/>\n";
        break;
      case Sample::Colour:
        svg += line(x, middle, x + sample * 0.8, middle, e.style.colour, " stroke-width=\"4\"");
        break;
      case Sample::Line:
        svg += line(x, middle, x + sample * 0.8, middle, e.style.colour,
                    " " + stroke_of(e.style, 2).substr(stroke_of(e.style, 2).find("stroke-width")));
        svg += marker_svg(x + sample * 0.4, middle, e.style, "");
        break;
    }
    svg += text(x + sample, baseline, e.label, f, "start");
  }
  return svg + "</g>\n";
}

// ---- Layout -----------------------------------------------------------------

// What a plot draws around its panels, in words; the layout decides how much
// of it the canvas holds.
struct Decorations {
  std::string title, subtitle, note;
  std::vector<LegendItem> legend;
  std::string x_label, y_label;
  std::vector<double> x_ticks, y_ticks;
  std::size_t panels = 1;   // panels share the axis labels and scales
  bool headings = false;    // a heading above each panel
  double above_frame = 0;   // em of text drawn just above each frame (the 0.8 label)
  double y_tick_width = 0;  // pixels: the widest y tick label at font size 1
  double x_tick_width = 0;  // idem, x
};

// Where everything lies for one font size.
struct Layout {
  bool fits = false;
  double f = 0;  // pixels, the label font size
  std::vector<std::string> title, subtitle, note;
  PlacedLegend legend;
  double legend_top = 0, note_top = 0;
  std::string x_label;
  std::vector<std::string> y_label;  // rotated, in one or two lines
  Frame region{};                    // the panels' cells, without the shared axis labels
  std::size_t columns = 1, rows = 1;
  double cell_left = 0, cell_top = 0, cell_right = 0, cell_bottom = 0;  // frame within a cell
  std::size_t x_room = 0, y_room = 0;  // ticks each axis has room for
};

// The layout of the decorations on a W x H canvas at label size f. Optional
// parts give way in turn while the frames would be smaller than MIN_FRAME:
// the note, the subtitle, the title's second line, legend rows.
Layout lay_out(const Decorations& d, double W, double H, double f) {
  Layout l;
  l.f = f;
  const double tf = TITLE_SCALE * f;
  const double nf = NOTE_SCALE * f;
  const double pad = PAD * f;
  const double inner = W - 2 * pad;
  l.columns = static_cast<std::size_t>(std::ceil(std::sqrt(static_cast<double>(d.panels))));
  l.rows = (d.panels + l.columns - 1) / l.columns;
  // Per cell: the widest y tick label and the tick at the left, half the
  // widest x tick label at the right, the x ticks below, a heading above.
  l.cell_left = d.y_tick_width * f + 0.4 * f + TICK;
  l.cell_right = std::max(pad, d.x_tick_width * f / 2);
  l.cell_top = (d.headings ? LINE * f : 0.0) + d.above_frame * f + 0.3 * f;
  l.cell_bottom = TICK + LINE * f + (l.rows > 1 ? GAP * f : 0.0);
  const double x_label_height = d.x_label.empty() ? 0.0 : LINE * f;
  const double y_label_width = d.y_label.empty() ? 0.0 : LINE * f;
  const double min_cell_width = l.cell_left + l.cell_right + MIN_FRAME * f;
  const double min_cell_height = l.cell_top + l.cell_bottom + MIN_FRAME * f;
  if (pad + y_label_width + static_cast<double>(l.columns) * min_cell_width > W - pad) return l;

  std::size_t title_lines = 2;
  bool subtitle = true;
  bool note = true;
  std::size_t legend_rows = static_cast<std::size_t>(LEGEND_ROWS_SHARE * H / (LINE * f));
  for (;;) {
    l.title =
        d.title.empty() ? std::vector<std::string>{} : wrapped(d.title, inner, tf, title_lines);
    l.subtitle = subtitle && !d.subtitle.empty() ? wrapped(d.subtitle, inner, f, 2)
                                                 : std::vector<std::string>{};
    l.note = note && !d.note.empty() ? wrapped(d.note, inner, nf, 2) : std::vector<std::string>{};
    l.legend = d.legend.empty() ? PlacedLegend{} : legend_in_rows(d.legend, inner, f, legend_rows);
    double top = pad;
    if (!l.title.empty()) top += LINE * tf * static_cast<double>(l.title.size());
    if (!l.subtitle.empty()) top += LINE * f * static_cast<double>(l.subtitle.size());
    top += GAP * f;
    double bottom = H - pad;
    l.legend_top = bottom - LINE * f * static_cast<double>(l.legend.rows);
    if (l.legend.rows > 0) bottom = l.legend_top - GAP * f;
    l.note_top = bottom - LINE * nf * static_cast<double>(l.note.size());
    if (!l.note.empty()) bottom = l.note_top - GAP * f;
    bottom -= x_label_height;
    l.region = {pad + y_label_width, top, W - pad - (pad + y_label_width), bottom - top};
    if (l.region.height >= static_cast<double>(l.rows) * min_cell_height) break;
    if (note && !l.note.empty()) {
      note = false;
    } else if (subtitle && !l.subtitle.empty()) {
      subtitle = false;
    } else if (title_lines > 1 && l.title.size() > 1) {
      title_lines = 1;
    } else if (l.legend.rows > 0 && legend_rows > 0) {
      legend_rows = l.legend.rows - 1;
    } else {
      return l;
    }
  }
  // The y label in two lines when it is too long for one and the width allows.
  l.y_label = wrapped(d.y_label, l.region.height, f, 2);
  if (l.y_label.size() > 1) {
    const double wider = l.region.width - LINE * f;
    if (wider >= static_cast<double>(l.columns) * min_cell_width) {
      l.region.left += LINE * f;
      l.region.width = wider;
    } else {
      l.y_label = {shortened(d.y_label, l.region.height, f)};
    }
  }
  const double cell_width = l.region.width / static_cast<double>(l.columns);
  const double cell_height = l.region.height / static_cast<double>(l.rows);
  const double frame_width = cell_width - l.cell_left - l.cell_right;
  const double frame_height = cell_height - l.cell_top - l.cell_bottom;
  l.x_room =
      static_cast<std::size_t>((frame_width + d.x_tick_width * f) / (d.x_tick_width * f + 0.8 * f));
  l.y_room = static_cast<std::size_t>(frame_height / (LINE * f) + 1);
  l.x_label = shortened(d.x_label, l.region.width, f);
  l.fits = true;
  return l;
}

// The layout at the font size asked, or at the largest smaller one that fits.
Layout fitted_layout(const Decorations& d, double W, double H, double f) {
  for (;; f *= FONT_SHRINK) {
    Layout l = lay_out(d, W, H, std::max(f, MIN_FONT_PIXELS));
    if (l.fits || f <= MIN_FONT_PIXELS) return l;
  }
}

// The frame of panel p.
Frame frame_of(const Layout& l, std::size_t p) {
  const double cell_width = l.region.width / static_cast<double>(l.columns);
  const double cell_height = l.region.height / static_cast<double>(l.rows);
  const double left = l.region.left + cell_width * static_cast<double>(p % l.columns);
  const double top = l.region.top + cell_height * static_cast<double>(p / l.columns);
  return {left + l.cell_left, top + l.cell_top,
          std::max(1.0, cell_width - l.cell_left - l.cell_right),
          std::max(1.0, cell_height - l.cell_top - l.cell_bottom)};
}

// The title, subtitle, note, legend and shared axis labels of a layout.
std::string decorations_svg(const Layout& l, double W) {
  const double f = l.f;
  const double tf = TITLE_SCALE * f;
  std::string svg;
  double y = PAD * f;
  for (const std::string& s : l.title) {
    svg += text(W / 2, y + ASCENT * tf, s, tf);
    y += LINE * tf;
  }
  for (const std::string& s : l.subtitle) {
    svg += text(W / 2, y + ASCENT * f, s, f);
    y += LINE * f;
  }
  const double nf = NOTE_SCALE * f;
  for (std::size_t i = 0; i < l.note.size(); ++i) {
    svg +=
        text(W / 2, l.note_top + LINE * nf * static_cast<double>(i) + ASCENT * nf, l.note[i], nf);
  }
  if (l.legend.rows > 0) {
    svg += legend_svg(l.legend, std::max(PAD * f, (W - l.legend.width) / 2), l.legend_top, f);
  }
  svg += text(l.region.left + l.region.width / 2, l.region.bottom() + ASCENT * f, l.x_label, f);
  const double y_label_left = l.region.left - LINE * f * static_cast<double>(l.y_label.size());
  for (std::size_t i = 0; i < l.y_label.size(); ++i) {
    if (l.y_label[i].empty()) continue;
    svg += "<text transform=\"translate(" +
           px(y_label_left + LINE * f * static_cast<double>(i) + ASCENT * f) + " " +
           px(l.region.top + l.region.height / 2) + ") rotate(-90)\" font-size=\"" + px(f) +
           "\" text-anchor=\"middle\">" + xml_escape(l.y_label[i]) + "</text>\n";
  }
  return svg;
}

// Both axes of a frame with ticks, grid lines and tick labels.
std::string axes(const Layout& l, const Frame& fr, const Scale& x, const Scale& y,
                 const std::vector<double>& x_ticks, const std::vector<double>& y_ticks) {
  const double f = l.f;
  std::string svg;
  for (double v : thinned(y_ticks, static_cast<double>(l.y_room))) {
    svg += line(fr.left, y(v), fr.right(), y(v), "#dddddd");
    svg +=
        text(fr.left - TICK - 0.3 * f, y(v) + (ASCENT - DESCENT) / 2 * f, number(v, 4), f, "end");
  }
  for (double v : thinned(x_ticks, static_cast<double>(l.x_room))) {
    svg += line(x(v), fr.bottom(), x(v), fr.bottom() + TICK, "black");
    svg += text(x(v), fr.bottom() + TICK + ASCENT * f, number(v, 4), f);
  }
  svg += line(fr.left, fr.bottom(), fr.right(), fr.bottom(), "black");
  svg += line(fr.left, fr.top, fr.left, fr.bottom(), "black");
  return svg;
}

// The x scale of a frame: INSET from each side, less on a narrow frame.
Scale x_scale(const Frame& fr, double lo, double hi, bool log) {
  const double inset = std::min(MAX_INSET, INSET_SHARE * fr.width);
  return {lo, hi, fr.left + inset, fr.right() - inset, log};
}

std::string close_svg(std::string svg, const Layout& l, double W, double H, PlotExtent* extent,
                      std::size_t panels, std::size_t lines) {
  if (extent != nullptr) {
    *extent = {};
    extent->width = W;
    extent->height = H;
    extent->panels = panels;
    extent->lines = lines;
    extent->font_size = l.f;
    if (l.legend.rows > 0) {
      extent->legend_left = std::max(PAD * l.f, (W - l.legend.width) / 2);
      extent->legend_right = extent->legend_left + l.legend.width;
      extent->legend_top = l.legend_top;
      extent->legend_bottom = l.legend_top + LINE * l.f * static_cast<double>(l.legend.rows);
    }
  }
  return svg + "</svg>\n";
}

// The label font size in pixels.
double font_pixels(const PlotOptions& o) {
  return o.font_size / POINTS_PER_PIXEL;
}

// The largest AI the axis must show: every outcome at least VISIBLE_PROBABILITY
// likely, and 1 so that the 0.8 line always lies inside.
double largest_visible_AI(const std::vector<DistributionEntry>& entries) {
  double top = 1.0;
  for (const DistributionEntry& e : entries) {
    if (e.AI != UNDEFINED_RATIO && e.PVS >= VISIBLE_PROBABILITY) top = std::max(top, e.AI);
  }
  return top;
}

// As wide as the closest two visible bars allow; invisible ones may overlap.
double bar_width(const std::vector<DistributionEntry>& entries, const Scale& x) {
  double gap = MAX_BAR_WIDTH / BAR_FILL;
  double previous = NAN;
  for (const DistributionEntry& e : entries) {
    if (e.AI == UNDEFINED_RATIO || e.AI > x.hi || e.PVS < VISIBLE_PROBABILITY) continue;
    if (!std::isnan(previous)) gap = std::min(gap, x(e.AI) - x(previous));
    previous = e.AI;
  }
  return std::clamp(gap * BAR_FILL, MIN_BAR_WIDTH, MAX_BAR_WIDTH);
}

// The words of a dimension, the first letter in lower case for the middle of a sentence.
std::string in_sentence(std::string words) {
  if (words.size() > 1 && words[0] >= 'A' && words[0] <= 'Z' && words[1] >= 'a' &&
      words[1] <= 'z') {
    words[0] = static_cast<char>(words[0] - 'A' + 'a');
  }
  return words;
}

// "Minority share = 0.2".
std::string axis_value(const Axis& axis, std::size_t at) {
  return axis_words(axis) + " = " + number(axis.values[at]);
}

}  // namespace

LineStyle line_style(std::size_t k) {
  return {PALETTE[k % PALETTE.size()], DASHES[(k / PALETTE.size()) % DASHES.size()],
          static_cast<Marker>((k + k / (PALETTE.size() * DASHES.size())) % MARKERS)};
}

std::string quantity_words(std::string_view name) {
  const int column = column_index(name);
  const std::string_view words =
      column < 0 ? std::string_view{} : summary_catalogue()[static_cast<std::size_t>(column)].words;
  return std::string(words.empty() ? name : words);
}

std::size_t dimension_named(const Grid& grid, std::string_view name) {
  for (std::size_t a = 0; a < DIMENSIONS; ++a) {
    if (grid.axes[a].option.substr(2) == name) return a;
  }
  return DIMENSIONS;
}

std::string xml_escape(const std::string& s) {
  std::string out;
  for (char c : s) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

std::string distribution_svg(const Scenario& s, const ScenarioResult& r, const PlotOptions& o,
                             PlotExtent* extent) {
  const double W = o.width.pixels();
  const double H = o.height.pixels();
  Decorations d;
  d.title = o.title.empty() ? "Distribution of AI: " + std::to_string(s.N) + " applicants (" +
                                  std::to_string(s.N2) + " minority), " + std::to_string(s.K) +
                                  " hires, d = " + number(s.d)
                            : o.title;
  if (!r.completed) {
    d.subtitle = "abandoned: the outcome probabilities could not be computed";
    Layout l = fitted_layout(d, W, H, font_pixels(o));
    return close_svg(open_svg(o, W, H) + decorations_svg(l, W), l, W, H, extent, 1, 0);
  }
  const auto& all = r.distribution;
  double beyond = 0.0;  // probability of defined outcomes right of the axis
  double tallest = 0.0;
  const double top_AI = nice_top(largest_visible_AI(all));
  for (const DistributionEntry& e : all) {
    if (e.AI == UNDEFINED_RATIO) continue;
    if (e.AI > top_AI)
      beyond += e.PVS;
    else
      tallest = std::max(tallest, e.PVS);
  }
  const double p_top = nice_top(tallest);
  d.subtitle = "P(AI < 0.8) = " + number(r.P_below_four_fifths, 5) +
               ",  P(AI undefined) = " + number(r.P_undefined, 5);
  if (beyond > 0.0) d.subtitle += ",  P(AI > " + number(top_AI, 4) + ") = " + number(beyond, 3);
  d.legend = {{"AI < 0.8", {BELOW_COLOUR, "", Marker::Square}, Sample::Bar},
              {"AI \u2265 0.8", {ABOVE_COLOUR, "", Marker::Square}, Sample::Bar}};
  d.x_label = "Adverse impact ratio (AI)";
  d.y_label = "Probability";
  d.x_ticks = ticks(0.0, top_AI, false);
  d.y_ticks = ticks(0.0, p_top, false);
  d.x_tick_width = widest_label(d.x_ticks, 1.0);
  d.y_tick_width = widest_label(d.y_ticks, 1.0);
  d.above_frame = LINE;  // the 0.8 line's label, above the bars
  const Layout l = fitted_layout(d, W, H, font_pixels(o));
  const Frame fr = frame_of(l, 0);
  const Scale x = x_scale(fr, 0.0, top_AI, false);
  const Scale y{0.0, p_top, fr.bottom(), fr.top};

  std::string svg = open_svg(o, W, H) + decorations_svg(l, W);
  svg += axes(l, fr, x, y, d.x_ticks, d.y_ticks);
  const double bar = std::min(bar_width(all, x), fr.width);
  for (const DistributionEntry& e : all) {
    if (e.AI == UNDEFINED_RATIO || e.AI > top_AI || !(e.PVS > 0.0)) continue;
    const bool below = below_four_fifths(e.NY, e.NX, s.N1, s.N2);
    svg += "<rect x=\"" + px(x(e.AI) - bar / 2) + "\" y=\"" + px(y(e.PVS)) + "\" width=\"" +
           px(bar) + "\" height=\"" + px(y(0.0) - y(e.PVS)) + "\" fill=\"" +
           (below ? BELOW_COLOUR : ABOVE_COLOUR) + "\"><title>S = " + std::to_string(e.NY) +
           ", AI = " + number(e.AI, 4) + ", P = " + number(e.PVS, 4) + "</title></rect>\n";
  }
  svg += line(x(FOUR_FIFTHS), fr.top, x(FOUR_FIFTHS), fr.bottom(), "black",
              " stroke-width=\"1.5\" stroke-dasharray=\"6 4\"");
  // The line's label stands above the frame, where no bar reaches, kept on the canvas.
  const std::string label = shortened("AI = 0.8", W - 2 * PAD * l.f, l.f);
  const double half = text_width(label, l.f) / 2;
  const double at = std::clamp(x(FOUR_FIFTHS), PAD * l.f + half, W - PAD * l.f - half);
  svg += text(at, fr.top - 0.3 * l.f - DESCENT * l.f, label, l.f);
  return close_svg(svg, l, W, H, extent, 1, 0);
}

namespace {

struct Series {
  std::vector<std::pair<double, double>> points;  // (option value, P(AI < 0.8)); NaN: abandoned
};

// The option whose values split the lines into panels, or DIMENSIONS for one
// plot: none while two options or fewer tell the lines apart and they fit;
// otherwise the outermost one that brings the lines of a panel within
// MAX_LINES_PER_PANEL, or failing that the one with the most values.
std::size_t panel_dimension(const Grid& grid, const std::vector<std::size_t>& others) {
  std::size_t lines = 1;
  for (std::size_t a : others) lines *= grid.axes[a].values.size();
  if ((lines <= MAX_LINES_PER_PANEL && others.size() <= 2) || others.size() < 2) {
    return DIMENSIONS;
  }
  for (std::size_t a : others) {
    if (lines / grid.axes[a].values.size() <= MAX_LINES_PER_PANEL) return a;
  }
  std::size_t best = others.front();
  for (std::size_t a : others) {
    if (grid.axes[a].values.size() > grid.axes[best].values.size()) best = a;
  }
  return best;
}

// The saw-teeth note applies when the x axis moves whole numbers of hires.
bool has_saw_teeth(std::size_t x_dimension) {
  return x_dimension < EFFECT_SIZE;
}

// A column's value in a computed record, as a number (NaN where undefined).
double y_value(const Scenario& s, const ScenarioResult& r, int column) {
  const Cell cell = summary_cells(s, r)[static_cast<std::size_t>(column)];
  if (const double* v = std::get_if<double>(&cell)) return *v;
  if (const std::int64_t* v = std::get_if<std::int64_t>(&cell)) return static_cast<double>(*v);
  return NAN;
}

constexpr const char* SAW_TEETH_NOTE =
    "Saw-teeth come from whole numbers of hires: the counts that reach AI < 0.8 change in steps.";

}  // namespace

std::string grid_svg(const Grid& grid, const std::vector<ScenarioResult>& results,
                     const PlotOptions& o, PlotExtent* extent) {
  const double W = o.width.pixels();
  const double H = o.height.pixels();
  std::vector<std::size_t> varying;
  for (std::size_t a = 0; a < DIMENSIONS; ++a) {
    if (grid.axes[a].values.size() > 1) varying.push_back(a);
  }
  std::size_t x_dim = o.x.empty() ? DIMENSIONS : dimension_named(grid, o.x);
  if (x_dim == DIMENSIONS) x_dim = varying.empty() ? EFFECT_SIZE : varying.front();
  std::vector<std::size_t> others;
  for (std::size_t a : varying) {
    if (a != x_dim) others.push_back(a);
  }
  const std::size_t panel_dim = panel_dimension(grid, others);
  std::vector<std::size_t> line_dims;
  for (std::size_t a : others) {
    if (a != panel_dim) line_dims.push_back(a);
  }
  // Two options: colour follows the first, line type the second, unless only
  // the first's values are few enough for a line type each.
  const bool crossed = line_dims.size() == 2;
  if (crossed && grid.axes[line_dims[1]].values.size() > DASHES.size() &&
      grid.axes[line_dims[0]].values.size() <= DASHES.size()) {
    std::swap(line_dims[0], line_dims[1]);
  }
  const Axis& x_axis = grid.axes[x_dim];
  const std::size_t panels = panel_dim == DIMENSIONS ? 1 : grid.axes[panel_dim].values.size();
  const int y_column = o.y.empty() ? -1 : column_index(o.y);
  const std::string quantity =
      y_column < 0 ? o.quantity : column_words(static_cast<std::size_t>(y_column));

  // One series per panel and combination of the line options, in first-seen order.
  std::vector<std::vector<std::size_t>> keys;
  std::vector<std::string> labels;  // for the markers' tooltips
  std::map<std::vector<std::size_t>, std::size_t> line_of;
  std::vector<std::vector<Series>> series(panels);
  for (std::size_t i = 0; i < results.size(); ++i) {
    const Scenario& s = grid.scenarios[i];
    std::vector<std::size_t> key;
    std::string label;
    for (std::size_t a : line_dims) {
      key.push_back(s.at[a]);
      label += (label.empty() ? "" : ", ") + axis_value(grid.axes[a], s.at[a]);
    }
    const auto [it, added] = line_of.try_emplace(key, labels.size());
    if (added) {
      labels.push_back(label);
      keys.push_back(key);
    }
    auto& panel = series[panel_dim == DIMENSIONS ? 0 : s.at[panel_dim]];
    if (panel.size() <= it->second) panel.resize(it->second + 1);
    const double p = !results[i].completed ? NAN
                     : y_column < 0        ? results[i].P_below_four_fifths
                                           : y_value(s, results[i], y_column);
    panel[it->second].points.emplace_back(x_axis.values[s.at[x_dim]], p);
  }
  const auto style_of = [&](std::size_t k) {
    if (!crossed) return line_style(k);
    const std::size_t type = keys[k][1];
    return LineStyle{PALETTE[keys[k][0] % PALETTE.size()], DASHES[type % DASHES.size()],
                     static_cast<Marker>(type % MARKERS)};
  };

  double x_lo = x_axis.values.front();
  double x_hi = x_lo;
  for (double v : x_axis.values) {
    x_lo = std::min(x_lo, v);
    x_hi = std::max(x_hi, v);
  }
  // A log axis needs positive values (the options check that; a caller may not).
  const bool log_x = o.log_x && x_lo > 0.0;
  if (x_hi == x_lo) x_hi = log_x ? x_lo * 10.0 : x_lo + 1.0;
  double tallest = 0.0;
  double lowest = 0.0;  // below 0 only for a solved d
  for (auto& panel : series) {
    for (Series& line_series : panel) {
      std::stable_sort(line_series.points.begin(), line_series.points.end(),
                       [](const auto& a, const auto& b) { return a.first < b.first; });
      for (const auto& point : line_series.points) {
        if (!std::isnan(point.second)) tallest = std::max(tallest, point.second);
        if (!std::isnan(point.second)) lowest = std::min(lowest, point.second);
      }
    }
  }
  const double y_top = nice_top(tallest);
  const double y_bottom = lowest < 0.0 ? -nice_top(-lowest) : 0.0;

  Decorations d;
  std::string fixed;  // the options that stay fixed, for the subtitle
  // The rules' levels matter only to a rule's flag rate.
  const bool shows_rule = o.y.starts_with("P_flag_");
  for (std::size_t a = 0; a < DIMENSIONS; ++a) {
    if (a >= MODEL_DIMENSIONS && !shows_rule) continue;
    if (grid.axes[a].values.size() == 1) {
      fixed += (fixed.empty() ? "" : ", ") + axis_value(grid.axes[a], 0);
    }
  }
  d.title = o.title.empty() ? quantity + " by " + in_sentence(axis_words(x_axis)) : o.title;
  d.subtitle = fixed;
  if (o.note && has_saw_teeth(x_dim)) d.note = SAW_TEETH_NOTE;
  d.x_label = axis_words(x_axis);
  d.y_label = quantity;
  d.x_ticks = ticks(x_lo, x_hi, log_x);
  d.y_ticks = ticks(y_bottom, y_top, false);
  d.x_tick_width = widest_label(d.x_ticks, 1.0);
  d.y_tick_width = widest_label(d.y_ticks, 1.0);
  d.panels = panels;
  d.headings = panels > 1;
  if (crossed) {
    for (std::size_t role = 0; role < 2; ++role) {
      const Axis& axis = grid.axes[line_dims[role]];
      d.legend.push_back(
          {(role == 0 ? "Colour: " : "Line: ") + axis_words(axis), {}, Sample::Heading});
      for (std::size_t v = 0; v < axis.values.size(); ++v) {
        const LineStyle style = role == 0
                                    ? LineStyle{PALETTE[v % PALETTE.size()], "", Marker::Circle}
                                    : LineStyle{PALETTE[0], DASHES[v % DASHES.size()],
                                                static_cast<Marker>(v % MARKERS)};
        d.legend.push_back(
            {number(axis.values[v]), style, role == 0 ? Sample::Colour : Sample::Line});
      }
    }
  } else if (line_dims.size() == 1) {
    const Axis& axis = grid.axes[line_dims[0]];
    d.legend.push_back({axis_words(axis), {}, Sample::Heading});
    for (std::size_t k = 0; k < keys.size(); ++k) {
      d.legend.push_back({number(axis.values[keys[k][0]]), style_of(k), Sample::Line});
    }
  } else if (line_dims.size() > 2) {
    for (std::size_t k = 0; k < labels.size(); ++k) {
      d.legend.push_back({labels[k], style_of(k), Sample::Line});
    }
  }
  const Layout l = fitted_layout(d, W, H, font_pixels(o));

  std::string svg = open_svg(o, W, H) + decorations_svg(l, W);
  for (std::size_t p = 0; p < panels; ++p) {
    const Frame fr = frame_of(l, p);
    if (panels > 1) {
      const std::string heading =
          shortened(axis_value(grid.axes[panel_dim], p), fr.width + l.cell_left, l.f);
      svg += text(fr.left + fr.width / 2, fr.top - 0.3 * l.f - DESCENT * l.f, heading, l.f);
    }
    const Scale x = x_scale(fr, x_lo, x_hi, log_x);
    const Scale y{y_bottom, y_top, fr.bottom(), fr.top};
    svg += axes(l, fr, x, y, d.x_ticks, d.y_ticks);
    for (std::size_t k = 0; k < series[p].size(); ++k) {
      const LineStyle style = style_of(k);
      std::string path;
      bool pen_down = false;
      std::string markers;
      for (const auto& [v, prob] : series[p][k].points) {
        if (std::isnan(prob)) {
          pen_down = false;
          continue;
        }
        path += (pen_down ? " L " : " M ") + px(x(v)) + " " + px(y(prob));
        pen_down = true;
        markers += marker_svg(x(v), y(prob), style,
                              (labels[k].empty() ? "" : labels[k] + ", ") + axis_words(x_axis) +
                                  " = " + number(v) + ": " + number(prob, 5));
      }
      if (!path.empty()) {
        svg += "<path d=\"" + path.substr(1) + "\" fill=\"none\" " + stroke_of(style, 2) + "/>\n";
      }
      svg += markers;
    }
  }
  return close_svg(svg, l, W, H, extent, panels, labels.size());
}

std::string plot_svg(const Grid& grid, const std::vector<ScenarioResult>& results,
                     const PlotOptions& options) {
  if (results.size() == 1) {
    return distribution_svg(grid.scenarios.front(), results.front(), options);
  }
  return grid_svg(grid, results, options);
}

}  // namespace kemro::grid
