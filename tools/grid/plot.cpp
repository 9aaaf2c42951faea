#include "tools/grid/plot.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <map>

#include "tools/common/numbers.hpp"

namespace kemro::grid {

namespace {

// Margins around a plotting area, in pixels.
constexpr double LEFT = 80;
constexpr double RIGHT = 30;
constexpr double TOP = 70;
constexpr double BOTTOM = 60;
constexpr double NOTE_HEIGHT = 18;  // a line of note under the x-axis label
constexpr double INSET = 20;        // between the y axis and the smallest x value, and at the right
constexpr double PANELS_LEFT = 16;  // left of the first column of panels
constexpr double PANEL_TOP = 28;    // above a panel's plotting area: its heading
constexpr double PANEL_BOTTOM = 46;  // below it: ticks and the x-axis label
constexpr double PANEL_LEFT = 64;    // left of it: ticks and the y-axis label
constexpr double PANEL_GAP = 16;     // between panels
constexpr double MIN_PANEL_WIDTH = 280;
constexpr double MIN_PANEL_HEIGHT = 200;

constexpr double FONT_SIZE = 12;
// A generous average advance of a sans-serif character at FONT_SIZE (digits
// are about 0.64 em); legend columns are laid out with it.
constexpr double CHARACTER_WIDTH = 0.68 * FONT_SIZE;
constexpr double LEGEND_ROW = 18;     // height of a legend row
constexpr double LEGEND_SAMPLE = 34;  // length of the line sample before a label
constexpr double LEGEND_PAD = 16;     // after a label, before the next column
constexpr double LEGEND_GAP = 12;     // between the plot's last text and the legend

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
constexpr std::array<std::string_view, 4> DASHES = {"", "8 4", "2 3", "10 3 2 3"};
constexpr std::size_t MARKERS = 8;

std::string number(double v, int digits = 6) {
  return cli::significant(v, digits);
}

// Coordinates to a hundredth of a pixel.
std::string px(double v) {
  return cli::fixed_decimals(v, 2);
}

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

// A rectangle of the canvas, in pixels.
struct Frame {
  double left, top, width, height;
  double right() const { return left + width; }
  double bottom() const { return top + height; }
};

std::string text(double x, double y, const std::string& s, const char* anchor = "middle",
                 const std::string& extra = "") {
  return "<text x=\"" + px(x) + "\" y=\"" + px(y) + "\" text-anchor=\"" + anchor + "\"" + extra +
         ">" + xml_escape(s) + "</text>\n";
}

std::string line(double x1, double y1, double x2, double y2, std::string_view stroke,
                 const std::string& extra = "") {
  return "<line x1=\"" + px(x1) + "\" y1=\"" + px(y1) + "\" x2=\"" + px(x2) + "\" y2=\"" + px(y2) +
         "\" stroke=\"" + std::string(stroke) + "\"" + extra + "/>\n";
}

std::string open_svg(double width, double height, const std::string& title,
                     const std::string& subtitle) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
         "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" +
         number(width) + "\" height=\"" + number(height) + "\" viewBox=\"0 0 " + number(width) +
         " " + number(height) +
         "\" font-family=\"sans-serif\" font-size=\"12\">\n"
         "<rect width=\"100%\" height=\"100%\" fill=\"white\"/>\n" +
         text(width / 2, 28, title, "middle", " font-size=\"16\"") + text(width / 2, 48, subtitle);
}

// The tick values of a scale: round steps, or 1, 2, 5 times powers of ten on a log scale.
std::vector<double> ticks(const Scale& s) {
  std::vector<double> values;
  if (s.log) {
    // 1, 2 and 5 times powers of ten; powers of ten alone over many decades.
    const bool wide = std::log10(s.hi / s.lo) > MAX_DECADES_WITH_STEPS;
    for (double e = std::floor(std::log10(s.lo)); e <= std::ceil(std::log10(s.hi)); ++e) {
      for (double m : {1.0, 2.0, 5.0}) {
        const double v = m * std::pow(10.0, e);
        if ((m == 1.0 || !wide) && v >= s.lo * (1 - 1e-9) && v <= s.hi * (1 + 1e-9)) {
          values.push_back(v);
        }
      }
    }
    if (values.size() >= 3) return values;
    values.clear();  // less than a decade: round linear steps, placed on the log scale
  }
  const double step = tick_step(s.hi - s.lo);
  for (double v = std::ceil(s.lo / step - 1e-9) * step; v <= s.hi + step * 1e-6; v += step) {
    values.push_back(std::abs(v) < step * 1e-9 ? 0.0 : v);  // never "-0"
  }
  return values;
}

// Both axes of a frame with ticks, grid lines and labels (an empty label is left out).
std::string axes(const Frame& f, const Scale& x, const Scale& y, const std::string& x_label,
                 const std::string& y_label) {
  std::string svg;
  for (double v : ticks(y)) {
    svg += line(f.left, y(v), f.right(), y(v), "#dddddd");
    svg += text(f.left - 6, y(v) + 4, number(v, 4), "end");
  }
  for (double v : ticks(x)) {
    svg += line(x(v), f.bottom(), x(v), f.bottom() + 5, "black");
    svg += text(x(v), f.bottom() + 18, number(v, 4));
  }
  svg += line(f.left, f.bottom(), f.right(), f.bottom(), "black");
  svg += line(f.left, f.top, f.left, f.bottom(), "black");
  if (!x_label.empty()) svg += text(f.left + f.width / 2, f.bottom() + 38, x_label);
  if (!y_label.empty()) {
    svg += "<text transform=\"translate(" + px(f.left - 52) + " " + px(f.top + f.height / 2) +
           ") rotate(-90)\" text-anchor=\"middle\">" + xml_escape(y_label) + "</text>\n";
  }
  return svg;
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

// One legend entry: a line sample (or a bar swatch) and its label.
struct LegendEntry {
  std::string label;
  LineStyle style;
  bool bar = false;
};

// Legend columns below the plot, as many as fit across the canvas; returns the
// SVG and sets the extent. `top` is where the legend starts.
std::string legend(const std::vector<LegendEntry>& entries, double canvas_width, double top,
                   PlotExtent& extent) {
  std::size_t longest = 0;
  for (const LegendEntry& e : entries) longest = std::max(longest, e.label.size());
  const double column_width =
      LEGEND_SAMPLE + CHARACTER_WIDTH * static_cast<double>(longest) + LEGEND_PAD;
  const double usable = canvas_width - 2 * RIGHT;
  const std::size_t columns = std::clamp<std::size_t>(
      static_cast<std::size_t>(usable / column_width), 1, std::max<std::size_t>(entries.size(), 1));
  const std::size_t rows = (entries.size() + columns - 1) / columns;
  const double width = column_width * static_cast<double>(columns) - LEGEND_PAD;
  const double left = std::max(RIGHT, (canvas_width - width) / 2);
  extent.legend_left = left;
  extent.legend_top = top;
  extent.legend_right = left + width;
  extent.legend_bottom = top + LEGEND_ROW * static_cast<double>(rows);
  std::string svg = "<g class=\"legend\">\n";
  for (std::size_t k = 0; k < entries.size(); ++k) {
    const double x = left + column_width * static_cast<double>(k / rows);
    const double y = top + LEGEND_ROW * (static_cast<double>(k % rows) + 0.5);
    const LegendEntry& e = entries[k];
    if (e.bar) {
      svg += "<rect x=\"" + px(x) + "\" y=\"" + px(y - 5) +
             "\" width=\"24\" height=\"10\" fill=\"" + std::string(e.style.colour) + "\"/>\n";
    } else {
      svg += "<line x1=\"" + px(x) + "\" y1=\"" + px(y) + "\" x2=\"" + px(x + 26) + "\" y2=\"" +
             px(y) + "\" " + stroke_of(e.style, 2) + "/>\n";
      svg += marker_svg(x + 13, y, e.style, "");
    }
    svg += text(x + LEGEND_SAMPLE, y + 4, e.label, "start");
  }
  return svg + "</g>\n";
}

// The height a legend of these entries takes below a plot of this width.
double legend_height(const std::vector<LegendEntry>& entries, double canvas_width) {
  PlotExtent scratch;
  legend(entries, canvas_width, 0, scratch);
  return scratch.legend_bottom;
}

std::string scenario_title(const Scenario& s) {
  return "N = " + std::to_string(s.N) + ", N1 = " + std::to_string(s.N1) +
         ", N2 = " + std::to_string(s.N2) + ", K = " + std::to_string(s.K) + ", d = " + number(s.d);
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

std::string close_svg(std::string svg, double width, double height, PlotExtent* extent,
                      const PlotExtent& layout) {
  if (extent != nullptr) {
    *extent = layout;
    extent->width = width;
    extent->height = height;
  }
  return svg + "</svg>\n";
}

}  // namespace

LineStyle line_style(std::size_t k) {
  return {PALETTE[k % PALETTE.size()], DASHES[(k / PALETTE.size()) % DASHES.size()],
          static_cast<Marker>((k + k / (PALETTE.size() * DASHES.size())) % MARKERS)};
}

std::string axis_words(const Axis& axis) {
  if (axis.option == "--applicants") return "Number of applicants";
  if (axis.option == "--majority") return "Majority applicants";
  if (axis.option == "--minority-share") return "Minority share";
  if (axis.option == "--hires") return "Number of hires";
  if (axis.option == "--selection-ratio") return "Selection ratio";
  return "Effect size d";
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
  const double width = o.width;
  const std::string title = o.title.empty() ? "Distribution of AI: " + scenario_title(s) : o.title;
  const std::vector<LegendEntry> entries = {
      {"AI < 0.8", {BELOW_COLOUR, "", Marker::Square}, true},
      {"AI >= 0.8", {ABOVE_COLOUR, "", Marker::Square}, true}};
  const double legend_top = o.height - BOTTOM / 2 + 2 * LEGEND_GAP;  // below the x-axis label
  PlotExtent layout;
  const double height = legend_top + legend_height(entries, width) + LEGEND_GAP;
  if (!r.completed) {
    return close_svg(open_svg(width, o.height, title,
                              "abandoned: the outcome probabilities could not be computed"),
                     width, o.height, extent, layout);
  }
  const Frame f{LEFT, TOP, width - LEFT - RIGHT, o.height - TOP - BOTTOM};
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
  const Scale x{0.0, top_AI, f.left + INSET, f.right() - INSET};
  const Scale y{0.0, nice_top(tallest), f.bottom(), f.top};

  std::string note = "P(AI < 0.8) = " + number(r.P_below_four_fifths, 5) +
                     ",  P(AI undefined) = " + number(r.P_undefined, 5);
  if (beyond > 0.0) note += ",  P(AI > " + number(top_AI, 4) + ") = " + number(beyond, 3);
  std::string svg = open_svg(width, height, title, note);
  svg += axes(f, x, y, "AI = SRI / SRA", "P(S = s)");

  const double bar = bar_width(all, x);
  for (const DistributionEntry& e : all) {
    if (e.AI == UNDEFINED_RATIO || e.AI > top_AI || !(e.PVS > 0.0)) continue;
    const bool below = below_four_fifths(e.NY, e.NX, s.N1, s.N2);
    svg += "<rect x=\"" + px(x(e.AI) - bar / 2) + "\" y=\"" + px(y(e.PVS)) + "\" width=\"" +
           px(bar) + "\" height=\"" + px(y(0.0) - y(e.PVS)) + "\" fill=\"" +
           (below ? BELOW_COLOUR : ABOVE_COLOUR) + "\"><title>S = " + std::to_string(e.NY) +
           ", AI = " + number(e.AI, 4) + ", P = " + number(e.PVS, 4) + "</title></rect>\n";
  }
  svg += line(x(FOUR_FIFTHS), f.top, x(FOUR_FIFTHS), f.bottom(), "black",
              " stroke-width=\"1.5\" stroke-dasharray=\"6 4\"");
  svg += text(x(FOUR_FIFTHS) + 4, f.top + 12, "AI = 0.8", "start");
  svg += legend(entries, width, legend_top, layout);
  return close_svg(svg, width, height, extent, layout);
}

namespace {

struct Series {
  std::string label;
  std::vector<std::pair<double, double>> points;  // (option value, P(AI < 0.8)); NaN: abandoned
};

// The "symbol = value" text of one axis value.
std::string axis_value(const Axis& axis, std::size_t at) {
  return axis.symbol + " = " + number(axis.values[at]);
}

// The option whose values split the lines into panels, or DIMENSIONS for one
// plot: none while the lines fit; otherwise the outermost one that brings the
// lines of a panel within MAX_LINES_PER_PANEL, or failing that the one with
// the most values.
std::size_t panel_dimension(const Grid& grid, const std::vector<std::size_t>& others) {
  std::size_t lines = 1;
  for (std::size_t a : others) lines *= grid.axes[a].values.size();
  if (lines <= MAX_LINES_PER_PANEL || others.size() < 2) return DIMENSIONS;
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
  return x_dimension != EFFECT_SIZE;
}

constexpr const char* SAW_TEETH_NOTE =
    "Saw-teeth come from whole numbers of hires: the counts that reach AI < 0.8 change in steps.";

}  // namespace

std::string grid_svg(const Grid& grid, const std::vector<ScenarioResult>& results,
                     const PlotOptions& o, PlotExtent* extent) {
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
  const Axis& x_axis = grid.axes[x_dim];
  const std::size_t panels = panel_dim == DIMENSIONS ? 1 : grid.axes[panel_dim].values.size();

  // One series per panel and combination of the line options; styles and the
  // legend follow the combinations in first-seen order.
  std::vector<std::string> labels;
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
    if (added) labels.push_back(label.empty() ? o.quantity : label);
    auto& panel = series[panel_dim == DIMENSIONS ? 0 : s.at[panel_dim]];
    if (panel.size() <= it->second) panel.resize(it->second + 1);
    const double p = results[i].completed ? results[i].P_below_four_fifths : NAN;
    panel[it->second].points.emplace_back(x_axis.values[s.at[x_dim]], p);
  }

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

  // Canvas: the requested size for one plot; panels at least their minimum size.
  const std::size_t panel_columns =
      static_cast<std::size_t>(std::ceil(std::sqrt(static_cast<double>(panels))));
  const std::size_t panel_rows = (panels + panel_columns - 1) / panel_columns;
  const double plots_width = std::max<double>(
      o.width, LEFT + RIGHT + static_cast<double>(panel_columns) * (MIN_PANEL_WIDTH + PANEL_GAP));
  const double plots_height =
      panels == 1
          ? o.height
          : std::max<double>(o.height, TOP + BOTTOM +
                                           static_cast<double>(panel_rows) *
                                               (MIN_PANEL_HEIGHT + PANEL_TOP + PANEL_BOTTOM));
  const bool note = has_saw_teeth(x_dim);
  std::vector<LegendEntry> entries;
  for (std::size_t k = 0; k < labels.size(); ++k) entries.push_back({labels[k], line_style(k)});
  const double legend_top = plots_height + (note ? NOTE_HEIGHT : 0.0) + LEGEND_GAP;
  const double width = plots_width;
  const double height = legend_top + legend_height(entries, width) + LEGEND_GAP;

  std::string fixed;  // the options that stay fixed, for the subtitle
  for (std::size_t a = 0; a < DIMENSIONS; ++a) {
    if (grid.axes[a].values.size() == 1) {
      fixed += (fixed.empty() ? "" : ", ") + axis_value(grid.axes[a], 0);
    }
  }
  const std::string title = o.title.empty() ? o.quantity + " by " + x_axis.symbol : o.title;
  std::string svg = open_svg(width, height, title, fixed);

  const double cell_width =
      (plots_width - PANELS_LEFT - RIGHT) / static_cast<double>(panel_columns);
  const double cell_height = (plots_height - TOP - BOTTOM) / static_cast<double>(panel_rows);
  for (std::size_t p = 0; p < panels; ++p) {
    Frame f{LEFT, TOP, plots_width - LEFT - RIGHT, plots_height - TOP - BOTTOM};
    if (panels > 1) {
      const double cell_left = PANELS_LEFT + cell_width * static_cast<double>(p % panel_columns);
      const double cell_top = TOP + cell_height * static_cast<double>(p / panel_columns);
      f = {cell_left + PANEL_LEFT, cell_top + PANEL_TOP, cell_width - PANEL_LEFT - PANEL_GAP,
           cell_height - PANEL_TOP - PANEL_BOTTOM};
      svg += text(f.left + f.width / 2, f.top - 10, axis_value(grid.axes[panel_dim], p), "middle",
                  " font-weight=\"bold\"");
    }
    const Scale x{x_lo, x_hi, f.left + INSET, f.right() - INSET, log_x};
    const Scale y{y_bottom, y_top, f.bottom(), f.top};
    svg += axes(f, x, y, axis_words(x_axis), o.quantity);
    for (std::size_t k = 0; k < series[p].size(); ++k) {
      const LineStyle style = line_style(k);
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
        markers += marker_svg(
            x(v), y(prob), style,
            labels[k] + ", " + x_axis.symbol + " = " + number(v) + ": " + number(prob, 5));
      }
      if (!path.empty()) {
        svg += "<path d=\"" + path.substr(1) + "\" fill=\"none\" " + stroke_of(style, 2) + "/>\n";
      }
      svg += markers;
    }
  }
  if (note) svg += text(width / 2, plots_height + 4, SAW_TEETH_NOTE, "middle", " font-size=\"11\"");
  PlotExtent layout;
  svg += legend(entries, width, legend_top, layout);
  layout.panels = panels;
  layout.lines = labels.size();
  return close_svg(svg, width, height, extent, layout);
}

std::string plot_svg(const Grid& grid, const std::vector<ScenarioResult>& results,
                     const PlotOptions& options) {
  if (results.size() == 1) {
    return distribution_svg(grid.scenarios.front(), results.front(), options);
  }
  return grid_svg(grid, results, options);
}

}  // namespace kemro::grid
