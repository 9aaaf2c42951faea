#include "tools/grid/plot.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>

namespace kemro::grid {

namespace {

// Canvas and plotting area, in pixels.
constexpr double WIDTH = 820;
constexpr double HEIGHT = 520;
constexpr double LEFT = 80;
constexpr double RIGHT = 200;  // room for the legend
constexpr double TOP = 70;
constexpr double BOTTOM = 60;
constexpr double PLOT_WIDTH = WIDTH - LEFT - RIGHT;
constexpr double PLOT_HEIGHT = HEIGHT - TOP - BOTTOM;
constexpr double INSET = 20;  // between the y axis and the smallest x value, and at the right

constexpr int TARGET_TICKS = 6;
constexpr std::size_t MAX_LEGEND_ROWS = 20;  // the canvas holds no more
// Outcomes at least this likely decide how far the AI axis reaches.
constexpr double VISIBLE_PROBABILITY = 1e-4;
constexpr double BAR_FILL = 0.8;  // share of the gap between neighbouring bars
constexpr double MIN_BAR_WIDTH = 1.5;
constexpr double MAX_BAR_WIDTH = 30;

constexpr const char* BELOW_COLOUR = "#c0392b";
constexpr const char* ABOVE_COLOUR = "#2c7fb8";
constexpr const char* PALETTE[] = {"#1f77b4", "#d62728", "#2ca02c", "#ff7f0e", "#9467bd",
                                   "#8c564b", "#e377c2", "#7f7f7f", "#bcbd22", "#17becf"};

std::string number(double v, int digits = 6) {
  char text[40];
  std::snprintf(text, sizeof text, "%.*g", digits, v);
  return text;
}

std::string px(double v) {
  char text[40];
  std::snprintf(text, sizeof text, "%.2f", v);
  return text;
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

// A linear map from data range [lo, hi] to pixels [from, to].
struct Scale {
  double lo, hi, from, to;
  double operator()(double v) const { return from + (v - lo) / (hi - lo) * (to - from); }
};

std::string text(double x, double y, const std::string& s, const char* anchor = "middle",
                 const char* extra = "") {
  return "<text x=\"" + px(x) + "\" y=\"" + px(y) + "\" text-anchor=\"" + anchor + "\"" + extra +
         ">" + xml_escape(s) + "</text>\n";
}

std::string line(double x1, double y1, double x2, double y2, const char* stroke,
                 const char* extra = "") {
  return "<line x1=\"" + px(x1) + "\" y1=\"" + px(y1) + "\" x2=\"" + px(x2) + "\" y2=\"" + px(y2) +
         "\" stroke=\"" + stroke + "\"" + extra + "/>\n";
}

std::string open_svg(const std::string& title, const std::string& subtitle) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
         "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" +
         number(WIDTH) + "\" height=\"" + number(HEIGHT) + "\" viewBox=\"0 0 " + number(WIDTH) +
         " " + number(HEIGHT) +
         "\" font-family=\"sans-serif\" font-size=\"12\">\n"
         "<rect width=\"100%\" height=\"100%\" fill=\"white\"/>\n" +
         text(LEFT + PLOT_WIDTH / 2, 28, title, "middle", " font-size=\"16\"") +
         text(LEFT + PLOT_WIDTH / 2, 48, subtitle);
}

// Both axes with ticks, grid lines and labels.
std::string axes(const Scale& x, const Scale& y, const std::string& x_label,
                 const std::string& y_label) {
  std::string svg;
  const double bottom = TOP + PLOT_HEIGHT;
  for (double step = tick_step(y.hi - y.lo), v = y.lo; v <= y.hi + step * 1e-6; v += step) {
    svg += line(LEFT, y(v), LEFT + PLOT_WIDTH, y(v), "#dddddd");
    svg += text(LEFT - 6, y(v) + 4, number(v, 4), "end");
  }
  const double x_step = tick_step(x.hi - x.lo);
  for (double v = std::ceil(x.lo / x_step - 1e-9) * x_step; v <= x.hi + x_step * 1e-6;
       v += x_step) {
    svg += line(x(v), bottom, x(v), bottom + 5, "black");
    svg += text(x(v), bottom + 18, number(v == 0.0 ? 0.0 : v, 4));  // never "-0"
  }
  svg += line(LEFT, bottom, LEFT + PLOT_WIDTH, bottom, "black");
  svg += line(LEFT, TOP, LEFT, bottom, "black");
  svg += text(LEFT + PLOT_WIDTH / 2, HEIGHT - 15, x_label);
  svg += "<text transform=\"translate(20 " + px(TOP + PLOT_HEIGHT / 2) +
         ") rotate(-90)\" text-anchor=\"middle\">" + xml_escape(y_label) + "</text>\n";
  return svg;
}

std::string legend_entry(int row, const char* colour, const std::string& label, bool bar) {
  const double x = LEFT + PLOT_WIDTH + 20;
  const double y = TOP + 10 + 20.0 * row;
  std::string mark = bar ? "<rect x=\"" + px(x) + "\" y=\"" + px(y - 6) +
                               "\" width=\"18\" height=\"10\" fill=\"" + colour + "\"/>\n"
                         : line(x, y, x + 18, y, colour, " stroke-width=\"2\"");
  return mark + text(x + 24, y + 4, label, "start");
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

}  // namespace

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

std::string distribution_svg(const Scenario& s, const ScenarioResult& r) {
  if (!r.completed) {
    return open_svg("Distribution of AI: " + scenario_title(s),
                    "abandoned: the outcome probabilities could not be computed") +
           "</svg>\n";
  }
  const auto& entries = r.distribution;
  double beyond = 0.0;  // probability of defined outcomes right of the axis
  double tallest = 0.0;
  const double top_AI = nice_top(largest_visible_AI(entries));
  for (const DistributionEntry& e : entries) {
    if (e.AI == UNDEFINED_RATIO) continue;
    if (e.AI > top_AI)
      beyond += e.PVS;
    else
      tallest = std::max(tallest, e.PVS);
  }
  const Scale x{0.0, top_AI, LEFT + INSET, LEFT + PLOT_WIDTH - INSET};
  const Scale y{0.0, nice_top(tallest), TOP + PLOT_HEIGHT, TOP};

  std::string note = "P(AI < 0.8) = " + number(r.P_below_four_fifths, 5) +
                     ",  P(AI undefined) = " + number(r.P_undefined, 5);
  if (beyond > 0.0) note += ",  P(AI > " + number(top_AI, 4) + ") = " + number(beyond, 3);
  std::string svg = open_svg("Distribution of AI: " + scenario_title(s), note);
  svg += axes(x, y, "AI = SRI / SRA", "P(S = s)");

  const double width = bar_width(entries, x);
  for (const DistributionEntry& e : entries) {
    if (e.AI == UNDEFINED_RATIO || e.AI > top_AI || !(e.PVS > 0.0)) continue;
    const bool below = below_four_fifths(e.NY, e.NX, s.N1, s.N2);
    svg += "<rect x=\"" + px(x(e.AI) - width / 2) + "\" y=\"" + px(y(e.PVS)) + "\" width=\"" +
           px(width) + "\" height=\"" + px(y(0.0) - y(e.PVS)) + "\" fill=\"" +
           (below ? BELOW_COLOUR : ABOVE_COLOUR) + "\"><title>S = " + std::to_string(e.NY) +
           ", AI = " + number(e.AI, 4) + ", P = " + number(e.PVS, 4) + "</title></rect>\n";
  }
  svg += line(x(FOUR_FIFTHS), TOP, x(FOUR_FIFTHS), TOP + PLOT_HEIGHT, "black",
              " stroke-width=\"1.5\" stroke-dasharray=\"6 4\"");
  svg += text(x(FOUR_FIFTHS) + 4, TOP + 12, "AI = 0.8", "start");
  svg += legend_entry(0, BELOW_COLOUR, "AI < 0.8", true);
  svg += legend_entry(1, ABOVE_COLOUR, "AI >= 0.8", true);
  return svg + "</svg>\n";
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

}  // namespace

std::string grid_svg(const Grid& grid, const std::vector<ScenarioResult>& results,
                     const std::string& quantity) {
  std::vector<std::size_t> varying;
  for (std::size_t a = 0; a < DIMENSIONS; ++a) {
    if (grid.axes[a].values.size() > 1) varying.push_back(a);
  }
  // Nothing varies: the last option with a value (an option solved for has none).
  for (std::size_t a = DIMENSIONS; varying.empty() && a-- > 0;) {
    if (!grid.axes[a].values.empty()) varying.push_back(a);
  }
  const Axis& x_axis = grid.axes[varying.front()];

  // One series per combination of the other varying options, in first-seen order.
  std::vector<Series> series;
  std::map<std::vector<std::size_t>, std::size_t> series_of;
  for (std::size_t i = 0; i < results.size(); ++i) {
    const Scenario& s = grid.scenarios[i];
    std::vector<std::size_t> key;
    std::string label;
    for (std::size_t k = 1; k < varying.size(); ++k) {
      key.push_back(s.at[varying[k]]);
      label += (k > 1 ? ", " : "") + axis_value(grid.axes[varying[k]], s.at[varying[k]]);
    }
    const auto [it, added] = series_of.try_emplace(key, series.size());
    if (added) series.push_back({label.empty() ? quantity : label, {}});
    const double p = results[i].completed ? results[i].P_below_four_fifths : NAN;
    series[it->second].points.emplace_back(x_axis.values[s.at[varying.front()]], p);
  }

  double x_lo = x_axis.values.front();
  double x_hi = x_lo;
  double tallest = 0.0;
  double lowest = 0.0;
  for (double v : x_axis.values) {
    x_lo = std::min(x_lo, v);
    x_hi = std::max(x_hi, v);
  }
  if (x_hi == x_lo) x_hi = x_lo + 1.0;
  for (Series& line_series : series) {
    std::stable_sort(line_series.points.begin(), line_series.points.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    for (const auto& point : line_series.points) {
      if (!std::isnan(point.second)) tallest = std::max(tallest, point.second);
      if (!std::isnan(point.second)) lowest = std::min(lowest, point.second);
    }
  }
  const Scale x{x_lo, x_hi, LEFT + INSET, LEFT + PLOT_WIDTH - INSET};
  const Scale y{lowest < 0.0 ? -nice_top(-lowest) : 0.0, nice_top(tallest), TOP + PLOT_HEIGHT, TOP};

  // The options that stay fixed, for the subtitle.
  std::string fixed;
  for (std::size_t a = 0; a < DIMENSIONS; ++a) {
    if (grid.axes[a].values.size() == 1) {
      fixed += (fixed.empty() ? "" : ", ") + axis_value(grid.axes[a], 0);
    }
  }
  std::string svg = open_svg(quantity + " by " + x_axis.symbol, fixed);
  svg += axes(x, y, x_axis.symbol + " (" + x_axis.option + ")", quantity);

  for (std::size_t k = 0; k < series.size(); ++k) {
    const char* colour = PALETTE[k % std::size(PALETTE)];
    std::string path;
    bool pen_down = false;
    for (const auto& [v, p] : series[k].points) {
      if (std::isnan(p)) {
        pen_down = false;
        continue;
      }
      path += (pen_down ? " L " : " M ") + px(x(v)) + " " + px(y(p));
      pen_down = true;
      svg += "<circle cx=\"" + px(x(v)) + "\" cy=\"" + px(y(p)) + "\" r=\"3\" fill=\"" + colour +
             "\"><title>" + xml_escape(series[k].label) + ", " + x_axis.symbol + " = " + number(v) +
             ": " + number(p, 5) + "</title></circle>\n";
    }
    if (!path.empty()) {
      svg += "<path d=\"" + path.substr(1) + "\" fill=\"none\" stroke=\"" + colour +
             "\" stroke-width=\"2\"/>\n";
    }
    if (k < MAX_LEGEND_ROWS) {
      svg += legend_entry(static_cast<int>(k), colour, series[k].label, false);
    }
  }
  if (series.size() > MAX_LEGEND_ROWS) {
    svg += text(LEFT + PLOT_WIDTH + 20, TOP + 14 + 20.0 * MAX_LEGEND_ROWS,
                "and " + std::to_string(series.size() - MAX_LEGEND_ROWS) + " more lines", "start");
  }
  return svg + "</svg>\n";
}

std::string plot_svg(const Grid& grid, const std::vector<ScenarioResult>& results) {
  if (results.size() == 1) return distribution_svg(grid.scenarios.front(), results.front());
  return grid_svg(grid, results);
}

}  // namespace kemro::grid
