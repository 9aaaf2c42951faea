#include "tools/grid/options.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <system_error>

#include "distribution/columns.hpp"
#include "distribution/table.hpp"
#include "model/composite.hpp"
#include "model/nested/outcomes.hpp"
#include "report/numbers.hpp"
#include "tools/common/csv_table.hpp"
#include "tools/common/text_file.hpp"

namespace kemro::grid {

using cli::parse_int64;
using cli::parse_real;
using cli::quoted;
using cli::split;

namespace {

// Most predictors of a composite, and the largest correlation file read.
constexpr std::size_t MAX_PREDICTORS = 100;
constexpr std::size_t MAX_MATRIX_FILE_BYTES = std::size_t{1} << 20;

bool parse_jobs(std::string_view text, unsigned& jobs, std::string& error) {
  std::int64_t value = 0;
  if (!parse_int64(text, value, error)) return false;
  if (value < 1 || value > MAX_JOBS) {
    error = "the number of jobs must be between 1 and " + std::to_string(MAX_JOBS);
    return false;
  }
  jobs = static_cast<unsigned>(value);
  return true;
}

bool set_plot_file(std::string_view value, GridOptions& o, std::string& error) {
  if (value.empty()) {
    error = "an empty file name";
    return false;
  }
  const std::optional<PlotFormat> format = plot_format_of(value);
  if (!format) {
    error = quoted(value) + " does not end in .svg, .png or .pdf";
    return false;
  }
  o.plot_file = std::string(value);
  o.plot.format = *format;
  return true;
}

// The values of a scenario option as given (d: the composite's too), converted to reals.
std::vector<double> option_values(const GridOptions& o, const DimensionOption& option) {
  const auto reals = [](const std::vector<std::int32_t>& v) {
    return std::vector<double>(v.begin(), v.end());
  };
  switch (option.dimension) {
    case APPLICANTS:
      return reals(o.applicants);
    case MAJORITY:
      return option.kind == AxisKind::Share ? o.minority_share : reals(o.majority);
    case HIRES:
      return option.kind == AxisKind::Share ? o.selection_ratio : reals(o.hires);
    case EFFECT_SIZE:
      return o.d;
    case ALPHA:
      return o.alpha;
    case THRESHOLD:
      return o.threshold;
  }
  return {};
}

// "a, b or c": the names of the scenario options that `keep` accepts.
template <typename Keep>
std::string option_names(Keep keep) {
  std::vector<std::string_view> names;
  for (const DimensionOption& option : DIMENSION_OPTIONS) {
    if (keep(option)) names.push_back(option.name);
  }
  std::string text;
  for (std::size_t i = 0; i < names.size(); ++i) {
    text += i == 0 ? "" : i + 1 == names.size() ? " or " : ", ";
    text += names[i];
  }
  return text;
}

// --x names a scenario option of the model's dimensions (not a rule's level).
bool x_option(const DimensionOption& option) {
  return option.dimension < MODEL_DIMENSIONS;
}

bool set_x(std::string_view text, std::string& x, std::string& error) {
  const DimensionOption* option = dimension_option(text);
  if (option != nullptr && x_option(*option)) {
    x = std::string(text);
    return true;
  }
  error = quoted(text) + " is not a scenario option; use " + option_names(x_option);
  return false;
}

// --y: a column of the catalogue by its CSV name.
bool set_y(std::string_view text, std::string& y, std::string& error) {
  std::vector<std::size_t> column;
  if (text.find(',') != std::string_view::npos) {
    error = "one column, not a list: " + quoted(text);
    return false;
  }
  if (!parse_column_list(text, column, error)) return false;
  y = std::string(text);
  return true;
}

bool set_font_size(std::string_view text, double& size, std::string& error) {
  double value = 0;
  if (!parse_real(text, value, error)) return false;
  if (!(value >= MIN_FONT_SIZE && value <= MAX_FONT_SIZE)) {
    error = quoted(text) + " is not between " +
            cli::significant(MIN_FONT_SIZE, cli::DEFAULT_DIGITS) + " and " +
            cli::significant(MAX_FONT_SIZE, cli::DEFAULT_DIGITS) + " points";
    return false;
  }
  size = value;
  return true;
}

// Whether `text` is well-formed UTF-8 (no overlong forms, surrogates or code
// points above U+10FFFF), as every text in an SVG file must be.
bool valid_utf8(std::string_view text) {
  for (std::size_t i = 0; i < text.size();) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    std::size_t length = c < 0x80           ? 1
                         : (c >> 5) == 0x6  ? 2
                         : (c >> 4) == 0xE  ? 3
                         : (c >> 3) == 0x1E ? 4
                                            : 0;
    if (length == 0 || i + length > text.size()) return false;
    std::uint32_t code = length == 1 ? c : c & (0x7Fu >> length);
    for (std::size_t k = 1; k < length; ++k) {
      const unsigned char next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      code = (code << 6) | (next & 0x3Fu);
    }
    constexpr std::uint32_t SMALLEST[] = {0, 0, 0x80, 0x800,
                                          0x10000};  // by length: no overlong forms
    if (code < SMALLEST[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
      return false;
    }
    i += length;
  }
  return true;
}

bool set_title(std::string_view text, std::string& title, std::string& error) {
  if (!valid_utf8(text)) {
    error = "the title is not valid UTF-8 text";
    return false;
  }
  if (text.empty()) {
    error = "an empty value";
    return false;
  }
  // XML, and so an SVG, cannot hold C0 control characters at all; DEL is
  // refused with them, since no renderer draws it.
  for (const char c : text) {
    if (static_cast<unsigned char>(c) < 0x20 || c == '\x7f') {
      error = "the title holds a control character";
      return false;
    }
  }
  title = std::string(text);
  return true;
}

// The numbers of a CSV file without a header, row by row, read by the
// reader of kemro-observed's files (byte-order mark, CR line ends, quoting;
// blank lines are skipped).
bool read_matrix_file(const std::string& path, std::vector<double>& values, std::string& error) {
  std::string text;
  if (cli::read_text_file(path, MAX_MATRIX_FILE_BYTES, text, error) != cli::ReadStatus::read) {
    return false;
  }
  cli::CsvReceiver receiver;
  receiver.record = [&](const cli::CsvRecord& record) {
    for (const std::string& cell : record.fields) {
      double r = 0.0;
      std::string why;
      if (!parse_real(cell, r, why))
        return quoted(path) + ", line " + std::to_string(record.line) + ": " + why;
      values.push_back(r);
    }
    return std::string{};
  };
  const std::string why = cli::read_csv(text, {',', false}, receiver);
  if (why.empty()) return true;
  error = why.starts_with("line ") ? quoted(path) + ", " + why : why;
  if (why == "the file is empty") error = quoted(path) + ": " + why;
  return false;
}

// The predictors' correlation matrix, row by row: --intercorrelations as a
// comma list of the upper triangle, or the full matrix from a CSV file (a
// name ending in .csv). One predictor needs none.
bool correlation_matrix(const GridOptions& o, std::vector<double>& matrix, std::string& error) {
  const std::size_t n = o.predictor_d.size();
  const std::string& given = o.intercorrelations;
  if (given.empty()) {
    if (n == 1) {
      matrix = {1.0};
      return true;
    }
    error = "--intercorrelations is required with " + std::to_string(n) + " predictors";
    return false;
  }
  std::vector<double> values;
  if (given.ends_with(".csv")) {
    if (!read_matrix_file(given, values, error)) {
      error = "--intercorrelations: " + error;
      return false;
    }
    if (values.size() != n * n) {
      error = "--intercorrelations " + quoted(given) + ": " + std::to_string(n) +
              " predictors need a " + std::to_string(n) + " x " + std::to_string(n) +
              " matrix, the file has " + std::to_string(values.size()) + " entries";
      return false;
    }
    matrix = std::move(values);
    return true;
  }
  if (!parse_real_list(given, values, error)) {
    error = "--intercorrelations: " + error;
    return false;
  }
  const std::size_t needed = n * (n - 1) / 2;
  if (values.size() != needed) {
    error = "--intercorrelations: " + std::to_string(n) + " predictors need " +
            std::to_string(needed) + " correlations (the upper triangle), not " +
            std::to_string(values.size());
    return false;
  }
  matrix = matrix_from_upper_triangle(values, n);
  return true;
}

// The composite's effect size from --predictor-d, --weights and --intercorrelations.
CompositeEffect composite_of(const GridOptions& o) {
  if (o.predictor_d.size() > MAX_PREDICTORS) {
    return {0.0, "--predictor-d: more than " + std::to_string(MAX_PREDICTORS) + " predictors"};
  }
  if (!o.weights.empty() && o.weights.size() != o.predictor_d.size()) {
    return {0.0, "--weights: " + std::to_string(o.weights.size()) + " weights for " +
                     std::to_string(o.predictor_d.size()) + " predictors"};
  }
  std::vector<double> matrix;
  std::string error;
  if (!correlation_matrix(o, matrix, error)) return {0.0, error};
  error = correlation_matrix_error(matrix, o.predictor_d.size());
  if (!error.empty()) return {0.0, "--intercorrelations: " + error};
  CompositeEffect composite = composite_effect_size(o.predictor_d, o.weights, matrix);
  if (!composite.ok()) composite.error = "--predictor-d with --weights: " + composite.error;
  return composite;
}

// Why the plot options do not fit the scenario options, or an empty text.
std::string plot_error(const GridOptions& o) {
  const PlotOptions& p = o.plot;
  if (!p.y.empty() && o.plot_file.empty()) return "--y needs --plot";
  if (!p.y.empty() && !o.solve.empty()) return "--y and --solve exclude each other";
  if (o.plot_file.empty()) {
    const PlotOptions unset;
    if (!p.x.empty() || p.log_x || !p.title.empty() || p.width != unset.width ||
        p.height != unset.height || p.font_size != unset.font_size || !p.note) {
      return "--x, --log-x, --title, --width, --height, --font-size and --no-note need --plot";
    }
    return {};
  }
  // The x axis: the one named, or as the plot chooses, the first with several values (else d).
  const DimensionOption* x_axis = dimension_option("d");
  for (const DimensionOption& option : DIMENSION_OPTIONS) {
    if (!x_option(option)) continue;
    const std::vector<double> given = option_values(o, option);
    if (p.x == option.name && given.empty() && option.dimension != EFFECT_SIZE) {
      return "--x " + p.x + ": --" + p.x + " is not given";
    }
    if (p.x.empty() ? given.size() > 1 && x_axis->name == "d" : p.x == option.name) {
      x_axis = &option;
    }
  }
  if (!p.log_x) return {};
  const std::string x(x_axis->name);
  const std::vector<double> values = option_values(o, *x_axis);
  for (double v : values) {
    if (!(v > 0.0)) {
      return "--log-x needs positive values on the x axis; --" + x + " has " + cli::exact_number(v);
    }
  }
  return {};
}

bool parse_engine(std::string_view text, Engine& engine, std::string& error) {
  if (engine_from_name(text, engine)) return true;
  error = quoted(text) + " is not an engine (fast or nested)";
  return false;
}

// "I/N" with whole numbers 1 <= I <= N <= MAX_SCENARIOS.
bool parse_shard(std::string_view text, Shard& shard, std::string& error) {
  const std::vector<std::string_view> parts = cli::split(text, '/');
  std::int64_t part = 0;
  std::int64_t count = 0;
  std::string ignored;
  if (parts.size() != 2 || !parse_int64(parts[0], part, ignored) ||
      !parse_int64(parts[1], count, ignored)) {
    error = quoted(text) + " is not a shard I/N (two whole numbers, 1 <= I <= N)";
    return false;
  }
  if (count < 1 || count > static_cast<std::int64_t>(MAX_SCENARIOS) || part < 1 || part > count) {
    error = "shard " + quoted(text) + " needs 1 <= I <= N <= " + std::to_string(MAX_SCENARIOS);
    return false;
  }
  shard = {part, count};
  return true;
}

bool solvable(const DimensionOption& option) {
  return option.solvable;
}

bool parse_solve(std::string_view text, std::string& solve, std::string& error) {
  const DimensionOption* option = dimension_option(text);
  if (option == nullptr || !option->solvable) {
    error = quoted(text) + " is not an option to solve for (" + option_names(solvable) + ")";
    return false;
  }
  solve = std::string(text);
  return true;
}

// The range of the option solved for: start:stop or start:stop:step. A
// count range without a step steps by 1; a share range without one stands
// for every count its shares round to; d takes start:stop only.
bool parse_solve_range(std::string_view option, std::string_view text, SolveRange& range,
                       std::string& error) {
  const std::vector<std::string_view> parts = cli::split(text, ':');
  range.given = true;
  const bool continuous = option == "d";
  if (text.find(',') != std::string_view::npos || parts.size() < 2 || parts.size() > 3 ||
      (continuous && parts.size() == 3)) {
    error = "when solving for it, give a range start:stop" +
            std::string(continuous ? "" : " or start:stop:step") + ", not " + quoted(text);
    return false;
  }
  if (option == "applicants") {
    std::int64_t start = 0;
    std::int64_t stop = 0;
    std::int64_t step = 1;
    if (!parse_int64(parts[0], start, error) || !parse_int64(parts[1], stop, error) ||
        (parts.size() == 3 && !parse_int64(parts[2], step, error))) {
      return false;
    }
    if (step < 1 || stop < start) {
      error = "range " + quoted(text) + " needs a positive step and a stop not below its start";
      return false;
    }
    const std::int64_t count = (stop - start) / step + 1;
    if (count > static_cast<std::int64_t>(MAX_SOLVE_VALUES)) {
      error = "range " + quoted(text) + " has more than " + std::to_string(MAX_SOLVE_VALUES) +
              " values";
      return false;
    }
    for (std::int64_t i = 0; i < count; ++i) range.values.push_back(start + i * step);
    return true;
  }
  if (parts.size() == 3) return cli::parse_real_list(text, range.values, error);
  if (!cli::parse_real(parts[0], range.low, error) ||
      !cli::parse_real(parts[1], range.high, error)) {
    return false;
  }
  if (range.high < range.low) {
    error = "range " + quoted(text) + " is empty (its stop is below its start)";
    return false;
  }
  range.every_count = !continuous;
  return true;
}

// The options that must be given, each as one of two alternatives; the
// option solved for is given as its range.
std::string missing_option(const GridOptions& o) {
  const auto solved = [&](std::string_view option) {
    return o.solve == option && o.solve_range.given;
  };
  if (o.applicants.empty() && !solved("applicants")) return "--applicants is required";
  if (o.majority.empty() && o.minority_share.empty() && !solved("minority-share")) {
    return "--majority or --minority-share is required";
  }
  if (o.hires.empty() && o.selection_ratio.empty() && !solved("selection-ratio")) {
    return "--hires or --selection-ratio is required";
  }
  if (o.d.empty() && o.predictor_d.empty() && !solved("d")) {
    return "--d or --predictor-d is required";
  }
  return {};
}

// Why the options of a planning solve do not fit together, or an empty text.
std::string solve_error(const GridOptions& o) {
  if (o.solve.empty()) return o.has_target ? "--target needs --solve" : "";
  if (!o.has_target) return "--solve needs --target";
  if (!o.solve_range.given) {
    return "--solve " + o.solve + " needs --" + o.solve + " as a range start:stop" +
           (o.solve == "d" ? "" : " or start:stop:step");
  }
  if (o.solve == "minority-share" && !o.majority.empty()) {
    return "--majority and --minority-share exclude each other";
  }
  if (o.solve == "selection-ratio" && !o.hires.empty()) {
    return "--hires and --selection-ratio exclude each other";
  }
  if (o.distribution) return "--solve and --distribution exclude each other";
  if (o.solve == "d" && !o.predictor_d.empty()) {
    return "--solve d and --predictor-d exclude each other";
  }
  if (o.shard.count > 1) return "--solve and --shard exclude each other";
  if (!o.columns.empty()) {
    return "--solve and --columns exclude each other (a solve's records have their own columns)";
  }
  const bool continuous = o.solve == "d";
  if (continuous && o.target.comparison != Comparison::equal) {
    return "solving for d needs a target QUANTITY=VALUE";
  }
  if (!continuous && o.target.comparison == Comparison::equal) {
    return "solving for " + o.solve + " needs a target QUANTITY<=VALUE, QUANTITY>=VALUE, " +
           "QUANTITY<VALUE or QUANTITY>VALUE";
  }
  if (o.solve != "applicants" && !continuous) {
    const SolveRange& r = o.solve_range;
    const double low = r.every_count ? r.low : r.values.front();
    const double high = r.every_count ? r.high : r.values.back();
    if (!(low > 0.0 && high < 1.0)) {
      return "--" + o.solve + " range is not between 0 and 1 (exclusive)";
    }
  }
  return {};
}

// A list of shares, each strictly between 0 and 1. A value out of that range
// is quoted as typed, or with the range item that reached it.
bool parse_share_list(std::string_view text, std::vector<double>& values, std::string& error) {
  if (!parse_real_list(text, values, error)) return false;
  for (std::string_view item : split(text, ',')) {
    std::vector<double> item_values;
    parse_real_list(item, item_values, error);
    for (double v : item_values) {
      if (v > 0.0 && v < 1.0) continue;
      error = item.find(':') == std::string_view::npos
                  ? quoted(item) + " is not between 0 and 1 (exclusive)"
                  : "range " + quoted(item) + " reaches " + cli::exact_number(v) +
                        ", not between 0 and 1 (exclusive)";
      return false;
    }
  }
  return true;
}

// Why an --alpha or --threshold value is out of its range, or an empty text.
std::string levels_error(const GridOptions& o) {
  for (double a : o.alpha) {
    if (std::string e = rule_levels_error({a, DEFAULT_THRESHOLD}); !e.empty()) return "--" + e;
  }
  for (double t : o.threshold) {
    if (std::string e = rule_levels_error({DEFAULT_RULE_ALPHA, t}); !e.empty()) return "--" + e;
  }
  return {};
}

// Why the scenario options do not fit together, or an empty text.
std::string combination_error(const GridOptions& o) {
  if (!o.majority.empty() && !o.minority_share.empty()) {
    return "--majority and --minority-share exclude each other";
  }
  if (!o.hires.empty() && !o.selection_ratio.empty()) {
    return "--hires and --selection-ratio exclude each other";
  }
  if (std::string error = solve_error(o); !error.empty()) return error;
  if (o.shard.count > 1 && o.format == Format::Text) {
    return "--shard needs --csv or --json (shards are merged by their scenario column)";
  }
  if (o.shard.count > 1 && !o.plot_file.empty()) {
    return "--shard and --plot exclude each other (a shard holds part of the grid)";
  }
  std::string error = missing_option(o);
  if (error.empty()) error = levels_error(o);
  if (error.empty()) error = plot_error(o);
  return error;
}

// A comma list of group names, checked as the library checks them.
bool parse_group_names(std::string_view text, std::vector<std::string>& names, std::string& error) {
  names.clear();
  for (std::string_view name : split(text, ',')) names.emplace_back(name);
  error = group_names_error(names);
  return error.empty();
}

bool parse_selection(std::string_view text, GroupOptions& groups, std::string& error) {
  if (!selection_rule_from_name(text, groups.rule)) {
    error = quoted(text) + " is not a selection rule (top-down or cut-score)";
    return false;
  }
  groups.rule_given = true;
  return true;
}

// The options a run with several groups replaces or cannot take.
constexpr std::string_view NOT_WITH_GROUPS[] = {
    "--majority",    "--minority-share", "--d",
    "--predictor-d", "--weights",        "--intercorrelations",
    "--solve",       "--target",         "--plot",
    "--x",           "--log-x",          "--title",
    "--width",       "--height",         "--columns",
    "--font-size",   "--no-note",        "--shard"};

// Why the several-group options do not fit together, or an empty text.
std::string group_combination_error(GridOptions& o, const cli::CommandLine& line) {
  for (std::string_view option : NOT_WITH_GROUPS) {
    if (line.has(option)) {
      return std::string(option) + " cannot be combined with the group options";
    }
  }
  if (o.engine != Engine::fast) return "the group options need the fast engine";
  GroupOptions& g = o.groups;
  if (g.names.empty()) return "--group-names is required with the other group options";
  const std::size_t G = g.names.size();
  if (!g.shares.empty() && !g.counts.empty()) {
    return "--group-shares and --group-counts exclude each other";
  }
  if (g.shares.empty() && g.counts.empty()) return "--group-shares or --group-counts is required";
  if (g.d.empty()) return "--group-d is required with --group-names";
  if (std::string e = group_d_error(g.d, G); !e.empty()) return "--group-d: " + e;
  if (!g.shares.empty()) {
    if (std::string e = group_shares_error(g.shares, G); !e.empty()) return "--group-shares: " + e;
    if (o.applicants.empty()) return "--applicants is required with --group-shares";
  } else {
    std::int64_t total = 0;
    for (std::int32_t n : g.counts) total += n;
    if (std::string e = group_counts_error(g.counts, G, total); !e.empty()) {
      return "--group-counts: " + e;
    }
    for (std::int32_t N : o.applicants) {
      if (std::string e = group_counts_error(g.counts, G, N); !e.empty()) {
        return "--group-counts: " + e;
      }
    }
  }
  if (!g.cut_scores.empty()) {
    if (g.rule_given && g.rule != SelectionRule::cut_score) {
      return "--cut-score needs --selection cut-score (or no --selection)";
    }
    g.rule = SelectionRule::cut_score;
    if (!o.hires.empty() || !o.selection_ratio.empty()) {
      return "--cut-score excludes --hires and --selection-ratio";
    }
  } else if (g.rule == SelectionRule::cut_score) {
    if (!o.hires.empty()) return "--selection cut-score takes --cut-score or --selection-ratio";
    if (o.selection_ratio.empty())
      return "--selection cut-score needs --cut-score or --selection-ratio";
  } else {
    if (!o.hires.empty() && !o.selection_ratio.empty()) {
      return "--hires and --selection-ratio exclude each other";
    }
    if (o.hires.empty() && o.selection_ratio.empty()) {
      return "--hires or --selection-ratio is required";
    }
  }
  if (o.distribution && (g.rule != SelectionRule::cut_score || G != 2)) {
    return "--distribution with the group options needs two groups and a cut score";
  }
  return {};  // the shares were checked by their options
}

}  // namespace

std::vector<cli::OptionDef> option_table(GridOptions& o) {
  // The engines' limits as the library defines them, not retyped.
  static const std::string engine_help =
      "fast (default): every outcome's probability from one\n"
      "integral; up to N = " +
      std::to_string(FAST_MAX_APPLICANTS) +
      " applicants. nested: the\n"
      "interactive program's nested integration, its report\n"
      "digit for digit; up to " +
      std::to_string(TABLE_CAPACITY) + " outcomes per scenario";
  // A scenario option takes a list, or a range when it is the one solved for.
  const auto solvable = [&o](std::string_view option, cli::OptionSetter list) {
    return [&o, option, list](std::string_view s, std::string& e) {
      if (o.solve == option) return parse_solve_range(option, s, o.solve_range, e);
      return list(s, e);
    };
  };
  const auto counts = [&](std::string_view option, std::vector<std::int32_t>& v) {
    return solvable(option,
                    [&v](std::string_view s, std::string& e) { return parse_count_list(s, v, e); });
  };
  const auto reals = [&](std::string_view option, std::vector<double>& v) {
    return solvable(option,
                    [&v](std::string_view s, std::string& e) { return parse_real_list(s, v, e); });
  };
  const auto shares = [&](std::string_view option, std::vector<double>& v) {
    return solvable(option,
                    [&v](std::string_view s, std::string& e) { return parse_share_list(s, v, e); });
  };

  // A level list replaces its default.
  const auto levels = [](std::vector<double>& v) {
    return [&v](std::string_view s, std::string& e) {
      v.clear();
      return parse_real_list(s, v, e);
    };
  };
  const auto format = [&o](Format f) {
    return [&o, f](std::string_view, std::string&) {
      o.format = f;
      return true;
    };
  };
  return {
      {"--applicants", "N", "total number of applicants", SCENARIO_SECTION,
       counts("applicants", o.applicants)},
      {"--majority", "N1", "majority applicants, 1 <= N1 <= N - 1", SCENARIO_SECTION,
       counts("majority", o.majority)},
      {"--minority-share", "R",
       "instead of --majority: N2 = round(R * N), N1 = N - N2,\nwith 0 < R < 1", SCENARIO_SECTION,
       shares("minority-share", o.minority_share)},
      {"--hires", "K", "number to hire, 1 <= K <= N - 1", SCENARIO_SECTION,
       counts("hires", o.hires)},
      {"--selection-ratio", "R", "instead of --hires: K = round(R * N), with 0 < R < 1",
       SCENARIO_SECTION, shares("selection-ratio", o.selection_ratio)},
      {"--d", "D", "effect size (majority mean minus minority mean), finite", SCENARIO_SECTION,
       reals("d", o.d)},
      {"--alpha", "A",
       "the rules' two-sided level, 0 < A < 1 (default 0.05);\n"
       "one-sided tests are taken at A/2",
       SCENARIO_SECTION, levels(o.alpha)},
      {"--threshold", "T",
       "the four-fifths rule's threshold in P_flag_four_fifths\n"
       "and its combinations, 0 < T <= 1 (default 0.8)",
       SCENARIO_SECTION, levels(o.threshold)},
      {"--predictor-d", "LIST",
       "instead of --d: the effect sizes d_i of the predictors\n"
       "of a composite, whose effect size\n"
       "d = sum w_i d_i / sqrt(sum w_i w_j r_ij) is used\n"
       "(and written in the d column)",
       SCENARIO_SECTION, reals("predictor-d", o.predictor_d)},
      {"--weights", "LIST", "the predictors' weights w_i (default: all 1)", SCENARIO_SECTION,
       reals("weights", o.weights)},
      {"--intercorrelations", "M",
       "their correlations r_ij: the upper triangle without\n"
       "the diagonal as a comma list (r12,r13,r23 for three),\n"
       "or a FILE.csv holding the full matrix; it must be a\n"
       "valid correlation matrix (positive semi-definite)",
       SCENARIO_SECTION,
       [&o](std::string_view s, std::string& e) {
         return cli::set_text(s, o.intercorrelations, e);
       }},
      {"--engine", "E", engine_help, COMPUTING_SECTION,
       [&o](std::string_view s, std::string& e) { return parse_engine(s, o.engine, e); }},
      {"--shard", "I/N",
       "compute only the scenarios whose grid index i has\n"
       "(i - 1) mod N = I - 1, with 1 <= I <= N; needs --csv or\n"
       "--json. The records of all N shards, sorted on their\n"
       "first field (scenario), are the whole grid's records",
       COMPUTING_SECTION,
       [&o](std::string_view s, std::string& e) { return parse_shard(s, o.shard, e); }},
      {"--solve", "OPTION",
       "instead of the grid: for each combination of the\n"
       "other options, the value of OPTION (applicants,\n"
       "minority-share, selection-ratio or d), given as a range\n"
       "start:stop (a count steps by 1) or start:stop:step,\n"
       "at which --target is met",
       SOLVE_SECTION,
       [&o](std::string_view s, std::string& e) { return parse_solve(s, o.solve, e); }},
      {"--target", "TARGET",
       "QUANTITY=VALUE for d, QUANTITY<=VALUE,\n"
       "QUANTITY>=VALUE, QUANTITY<VALUE or QUANTITY>VALUE\n"
       "for the others; QUANTITY is one of\n"
       "P_below_four_fifths P_undefined expected_AI\n"
       "expected_SRA expected_SRI AI_P05 .. AI_P95 or a\n"
       "rule's flag rate P_flag_four_fifths .. (below)",
       SOLVE_SECTION,
       [&o](std::string_view s, std::string& e) {
         return o.has_target = parse_target(s, o.target, e);
       }},
      {"--csv", "", "comma-separated values, one record per scenario", OUTPUT_SECTION,
       format(Format::Csv)},
      {"--json", "", "a JSON array, one object per scenario", OUTPUT_SECTION, format(Format::Json)},
      {"--distribution", "",
       "add the whole distribution of S (minority hires): AI,\n"
       "point and cumulative probabilities (with --csv: one\n"
       "record per scenario and outcome instead)",
       OUTPUT_SECTION,
       [&o](std::string_view, std::string&) {
         o.distribution = true;
         return true;
       }},
      {"--columns", "LIST",
       "the text table's columns by their CSV names (below);\n"
       "CSV and JSON always carry every column",
       OUTPUT_SECTION,
       [&o](std::string_view s, std::string& e) { return parse_column_list(s, o.columns, e); }},
      {"--plot", "FILE",
       "also write a plot, SVG, PNG or PDF by the extension\n"
       "(.svg, .png, .pdf): for one scenario the distribution\n"
       "of AI with the 0.8 line; for a grid P(AI < 0.8)\n"
       "against one option, one line per value of the others\n"
       "(small multiples when they are too many). The file\n"
       "appears only when whole",
       OUTPUT_SECTION, [&o](std::string_view s, std::string& e) { return set_plot_file(s, o, e); }},
      {"--x", "NAME",
       "the plot's horizontal axis: applicants, majority,\n"
       "minority-share, hires, selection-ratio or d\n"
       "(default: the first option with several values)",
       OUTPUT_SECTION, [&o](std::string_view s, std::string& e) { return set_x(s, o.plot.x, e); }},
      {"--y", "NAME",
       "the grid plot's vertical axis: any column by its CSV\n"
       "name (below), such as P_flag_fisher for the detection\n"
       "rate of Fisher's test (default: P_below_four_fifths)",
       OUTPUT_SECTION, [&o](std::string_view s, std::string& e) { return set_y(s, o.plot.y, e); }},
      {"--log-x", "", "a logarithmic horizontal axis", OUTPUT_SECTION,
       [&o](std::string_view, std::string&) {
         o.plot.log_x = true;
         return true;
       }},
      {"--title", "TEXT", "the plot's title (UTF-8)", OUTPUT_SECTION,
       [&o](std::string_view s, std::string& e) { return set_title(s, o.plot.title, e); }},
      {"--width", "SIZE",
       "the plot's width in pixels (820), or with a unit:\n"
       "3.5in, 8cm, 90mm, 252pt (96 pixels to the inch);\n"
       "2 in to 10000 pixels. Kept exactly: the plot's\n"
       "parts make room for the legend and every text",
       OUTPUT_SECTION,
       [&o](std::string_view s, std::string& e) { return parse_plot_length(s, o.plot.width, e); }},
      {"--height", "SIZE", "the plot's height, as --width (default 520)", OUTPUT_SECTION,
       [&o](std::string_view s, std::string& e) { return parse_plot_length(s, o.plot.height, e); }},
      {"--font-size", "PT", "the plot's label size in points, 4 to 48 (9)", OUTPUT_SECTION,
       [&o](std::string_view s, std::string& e) { return set_font_size(s, o.plot.font_size, e); }},
      {"--no-note", "", "no note under a grid plot about its saw-teeth", OUTPUT_SECTION,
       [&o](std::string_view, std::string&) {
         o.plot.note = false;
         return true;
       }},
      {"--group-names", "LIST",
       "several groups instead of a majority and a minority:\n"
       "their names, the reference group first; 2 to 6 names\n"
       "of letters, digits and underscores",
       GROUPS_SECTION,
       [&o](std::string_view s, std::string& e) {
         return parse_group_names(s, o.groups.names, e);
       }},
      {"--group-shares", "LIST",
       "each group's share of the applicants, adding up to 1;\n"
       "the counts are rounded by largest remainder so that\n"
       "they add up to N",
       GROUPS_SECTION,
       [&o](std::string_view s, std::string& e) { return parse_real_list(s, o.groups.shares, e); }},
      {"--group-counts", "LIST",
       "instead of --group-shares: each group's applicants,\n"
       "adding up to N (then --applicants may be left out)",
       GROUPS_SECTION,
       [&o](std::string_view s, std::string& e) {
         return parse_count_list(s, o.groups.counts, e);
       }},
      {"--group-d", "LIST",
       "each group's effect size: the reference's mean minus\n"
       "the group's mean; the first is 0",
       GROUPS_SECTION,
       [&o](std::string_view s, std::string& e) { return parse_real_list(s, o.groups.d, e); }},
      {"--selection", "RULE",
       "top-down (default): the K best scores are hired;\n"
       "cut-score: every score at or above a cut score passes",
       GROUPS_SECTION,
       [&o](std::string_view s, std::string& e) { return parse_selection(s, o.groups, e); }},
      {"--cut-score", "C",
       "the cut score in standard units above the reference\n"
       "group's mean (a list; implies --selection cut-score).\n"
       "Without it, --selection cut-score --selection-ratio R\n"
       "sets it where the expected share passing is R",
       GROUPS_SECTION,
       [&o](std::string_view s, std::string& e) {
         return parse_real_list(s, o.groups.cut_scores, e);
       }},
      {"--jobs", "J",
       "worker threads, at most 256 (default: one per core);\n"
       "no more than 8 per core are started",
       COMPUTING_SECTION,
       [&o](std::string_view s, std::string& e) { return parse_jobs(s, o.jobs, e); }},
      {"--help", "", "this text", OUTPUT_SECTION, nullptr},
      {"--version", "", "the program version", OUTPUT_SECTION, nullptr},
  };
}

ParsedOptions parse_options(std::span<const std::string_view> args) {
  ParsedOptions parsed;
  GridOptions& o = parsed.options;
  const std::vector<cli::OptionDef> table = option_table(o);
  // The option solved for reads its value as a range, wherever --solve stands;
  // a name that is not one is refused by --solve's own definition. The walk
  // steps over option values as the parse loop does, so that a value that
  // looks like --solve (--title --solve=d) is taken as the value it is.
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::size_t equals = args[i].find('=');
    const std::string_view name = args[i].substr(0, equals);
    const auto def = std::find_if(table.begin(), table.end(),
                                  [&](const cli::OptionDef& d) { return d.name == name; });
    if (def == table.end() || def->value_name.empty()) continue;
    std::string_view value;
    if (equals != std::string_view::npos) {
      value = args[i].substr(equals + 1);
    } else if (i + 1 < args.size()) {
      value = args[++i];
    }
    std::string ignored;
    if (name == "--solve") parse_solve(value, o.solve, ignored);
  }
  const cli::CommandLine line = cli::parse_command_line(table, args);

  o.help = line.help;
  o.version = line.version;
  if (!line.ok() || o.help || o.version) {
    parsed.error = line.error;
    return parsed;
  }
  for (std::string_view option : {"--group-names", "--group-shares", "--group-counts", "--group-d",
                                  "--selection", "--cut-score"}) {
    if (line.has(option)) o.groups.given = true;
  }
  if (o.groups.given) {
    parsed.error = line.has("--csv") && line.has("--json") ? "--csv and --json exclude each other"
                                                           : group_combination_error(o, line);
    return parsed;
  }
  if (line.has("--d") && line.has("--predictor-d")) {
    parsed.error = "--d and --predictor-d exclude each other";
    return parsed;
  }
  if (!line.has("--predictor-d") && (line.has("--weights") || line.has("--intercorrelations"))) {
    parsed.error = "--weights and --intercorrelations need --predictor-d";
    return parsed;
  }
  if (line.has("--predictor-d")) {
    const CompositeEffect composite = composite_of(o);
    if (!composite.ok()) {
      parsed.error = composite.error;
      return parsed;
    }
    o.d = {composite.d};
  }
  parsed.error = line.has("--csv") && line.has("--json") ? "--csv and --json exclude each other"
                                                         : combination_error(o);
  return parsed;
}

std::array<Axis, DIMENSIONS> grid_axes(const GridOptions& o) {
  // Of two options for one dimension, the share when it is given or solved for.
  std::array<Axis, DIMENSIONS> axes;
  for (const DimensionOption& option : DIMENSION_OPTIONS) {
    const bool share = option.kind == AxisKind::Share;
    if (share && option_values(o, option).empty() && o.solve != option.name) continue;
    axes[option.dimension] = axis_of(option, option_values(o, option));
  }
  return axes;
}

GridOutcome build_grid(const GridOptions& o) {
  return build_grid(grid_axes(o), o.engine, o.shard);
}

}  // namespace kemro::grid
