#include "tools/grid/options.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>
#include <optional>
#include <system_error>

#include "distribution/table.hpp"
#include "model/composite.hpp"
#include "model/outcomes.hpp"
#include "tools/grid/columns.hpp"

namespace kemro::grid {

using cli::parse_int64;
using cli::parse_real;
using cli::quoted;
using cli::split;

namespace {

// Most predictors of a composite, and the largest correlation file read.
constexpr std::size_t MAX_PREDICTORS = 100;
constexpr std::size_t MAX_MATRIX_FILE_BYTES = 1 << 20;

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

// The option names --x accepts: the scenario options without their dashes.
constexpr std::string_view X_NAMES[] = {"applicants", "majority",        "minority-share",
                                        "hires",      "selection-ratio", "d"};

bool set_x(std::string_view text, std::string& x, std::string& error) {
  for (std::string_view name : X_NAMES) {
    if (text == name) {
      x = std::string(text);
      return true;
    }
  }
  error = quoted(text) +
          " is not a scenario option; use applicants, majority, minority-share, hires, "
          "selection-ratio or d";
  return false;
}

bool set_plot_size(std::string_view text, int& size, std::string& error) {
  std::int64_t value = 0;
  if (!parse_int64(text, value, error)) return false;
  if (value < MIN_PLOT_SIZE || value > MAX_PLOT_SIZE) {
    error = quoted(text) + " is not between " + std::to_string(MIN_PLOT_SIZE) + " and " +
            std::to_string(MAX_PLOT_SIZE) + " pixels";
    return false;
  }
  size = static_cast<int>(value);
  return true;
}

bool set_text(std::string_view text, std::string& value, std::string& error) {
  if (text.empty()) {
    error = "an empty value";
    return false;
  }
  value = std::string(text);
  return true;
}

// The whole of a file of at most MAX_MATRIX_FILE_BYTES; false when unreadable or larger.
bool read_small_file(const std::string& path, std::string& text) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return false;
  text.resize(MAX_MATRIX_FILE_BYTES + 1);
  const std::size_t n = std::fread(text.data(), 1, text.size(), file);
  const bool ok = std::ferror(file) == 0 && n <= MAX_MATRIX_FILE_BYTES;
  std::fclose(file);
  text.resize(n);
  return ok;
}

std::string_view trimmed(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) {
    text.remove_suffix(1);
  }
  return text;
}

// The numbers of a CSV file, row by row; blank lines are skipped.
bool read_matrix_file(const std::string& path, std::vector<double>& values, std::string& error) {
  std::string text;
  if (!read_small_file(path, text)) {
    error = "cannot read " + quoted(path);
    return false;
  }
  for (std::string_view row : split(text, '\n')) {
    if (trimmed(row).empty()) continue;
    for (std::string_view cell : split(row, ',')) {
      double r = 0.0;
      if (!parse_real(trimmed(cell), r, error)) {
        error = quoted(path) + ": " + error;
        return false;
      }
      values.push_back(r);
    }
  }
  return true;
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
  if (o.plot_file.empty()) {
    if (!p.x.empty() || p.log_x || !p.title.empty() || p.width != DEFAULT_PLOT_WIDTH ||
        p.height != DEFAULT_PLOT_HEIGHT) {
      return "--x, --log-x, --title, --width and --height need --plot";
    }
    return {};
  }
  const bool given[] = {!o.applicants.empty(),      !o.majority.empty(),
                        !o.minority_share.empty(),  !o.hires.empty(),
                        !o.selection_ratio.empty(), true};
  for (std::size_t i = 0; i < std::size(X_NAMES); ++i) {
    if (p.x == X_NAMES[i] && !given[i]) return "--x " + p.x + ": --" + p.x + " is not given";
  }
  if (!p.log_x) return {};
  const auto reals = [](const std::vector<std::int32_t>& v) {
    return std::vector<double>(v.begin(), v.end());
  };
  const std::vector<double> all[] = {reals(o.applicants), reals(o.majority), o.minority_share,
                                     reals(o.hires),      o.selection_ratio, o.d};
  // The x axis: the one named, or as the plot chooses, the first with several values (else d).
  std::size_t at = std::size(X_NAMES) - 1;
  for (std::size_t i = 0; i < std::size(X_NAMES); ++i) {
    if (p.x.empty() ? all[i].size() > 1 : p.x == X_NAMES[i]) {
      at = i;
      break;
    }
  }
  const std::string x(X_NAMES[at]);
  const std::vector<double>& values = all[at];
  for (double v : values) {
    if (!(v > 0.0)) {
      char text[64];
      std::snprintf(text, sizeof text, "%.17g", v);
      return "--log-x needs positive values on the x axis; --" + x + " has " + text;
    }
  }
  return {};
}

// The options that must be given, each as one of two alternatives.
std::string missing_option(const GridOptions& o) {
  if (o.applicants.empty()) return "--applicants is required";
  if (o.majority.empty() && o.minority_share.empty()) {
    return "--majority or --minority-share is required";
  }
  if (o.hires.empty() && o.selection_ratio.empty()) {
    return "--hires or --selection-ratio is required";
  }
  if (o.d.empty() && o.predictor_d.empty()) return "--d or --predictor-d is required";
  return {};
}

// Why a share is not strictly between 0 and 1, or an empty text.
std::string share_error(const std::vector<double>& values, std::string_view option) {
  for (double v : values) {
    if (!(v > 0.0 && v < 1.0)) {
      char text[64];
      std::snprintf(text, sizeof text, "%.17g", v);
      return std::string(option) + " " + text + " is not between 0 and 1 (exclusive)";
    }
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
  std::string error = missing_option(o);
  if (error.empty()) error = share_error(o.minority_share, "--minority-share");
  if (error.empty()) error = share_error(o.selection_ratio, "--selection-ratio");
  if (error.empty()) error = plot_error(o);
  return error;
}

}  // namespace

std::vector<cli::OptionDef> option_table(GridOptions& o) {
  const auto counts = [](std::vector<std::int32_t>& v) {
    return [&v](std::string_view s, std::string& e) { return parse_count_list(s, v, e); };
  };
  const auto reals = [](std::vector<double>& v) {
    return [&v](std::string_view s, std::string& e) { return parse_real_list(s, v, e); };
  };
  const auto format = [&o](Format f) {
    return [&o, f](std::string_view, std::string&) {
      o.format = f;
      return true;
    };
  };
  return {
      {"--applicants", "N", "total number of applicants", SCENARIO_SECTION, counts(o.applicants)},
      {"--majority", "N1", "majority applicants, 1 <= N1 <= N - 1", SCENARIO_SECTION,
       counts(o.majority)},
      {"--minority-share", "R",
       "instead of --majority: N2 = round(R * N), N1 = N - N2,\nwith 0 < R < 1", SCENARIO_SECTION,
       reals(o.minority_share)},
      {"--hires", "K", "number to hire, 1 <= K <= N - 1", SCENARIO_SECTION, counts(o.hires)},
      {"--selection-ratio", "R", "instead of --hires: K = round(R * N), with 0 < R < 1",
       SCENARIO_SECTION, reals(o.selection_ratio)},
      {"--d", "D", "effect size (majority mean minus minority mean), finite", SCENARIO_SECTION,
       reals(o.d)},
      {"--predictor-d", "LIST",
       "instead of --d: the effect sizes d_i of the predictors\n"
       "of a composite, whose effect size\n"
       "d = sum w_i d_i / sqrt(sum w_i w_j r_ij) is used\n"
       "(and written in the d column)",
       SCENARIO_SECTION, reals(o.predictor_d)},
      {"--weights", "LIST", "the predictors' weights w_i (default: all 1)", SCENARIO_SECTION,
       reals(o.weights)},
      {"--intercorrelations", "M",
       "their correlations r_ij: the upper triangle without\n"
       "the diagonal as a comma list (r12,r13,r23 for three),\n"
       "or a FILE.csv holding the full matrix; it must be a\n"
       "valid correlation matrix (positive semi-definite)",
       SCENARIO_SECTION,
       [&o](std::string_view s, std::string& e) { return set_text(s, o.intercorrelations, e); }},
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
      {"--log-x", "", "a logarithmic horizontal axis", OUTPUT_SECTION,
       [&o](std::string_view, std::string&) {
         o.plot.log_x = true;
         return true;
       }},
      {"--title", "TEXT", "the plot's title", OUTPUT_SECTION,
       [&o](std::string_view s, std::string& e) { return set_text(s, o.plot.title, e); }},
      {"--width", "PX", "the plot's width, 300 to 10000 (default 820)", OUTPUT_SECTION,
       [&o](std::string_view s, std::string& e) { return set_plot_size(s, o.plot.width, e); }},
      {"--height", "PX",
       "the plot's height, 300 to 10000 (default 520); a\n"
       "legend below the plot adds to it",
       OUTPUT_SECTION,
       [&o](std::string_view s, std::string& e) { return set_plot_size(s, o.plot.height, e); }},
      {"--jobs", "J", "worker threads, at most 256 (default: one per core)", OUTPUT_SECTION,
       [&o](std::string_view s, std::string& e) { return parse_jobs(s, o.jobs, e); }},
      {"--help", "", "this text", OUTPUT_SECTION, nullptr},
      {"--version", "", "the program version", OUTPUT_SECTION, nullptr},
  };
}

ParsedOptions parse_options(std::span<const std::string_view> args) {
  ParsedOptions parsed;
  GridOptions& o = parsed.options;
  const std::vector<cli::OptionDef> table = option_table(o);
  const cli::CommandLine line = cli::parse_command_line(table, args);
  o.help = line.help;
  o.version = line.version;
  if (!line.ok() || o.help || o.version) {
    parsed.error = line.error;
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

namespace {

Axis count_axis(std::string option, std::string symbol, const std::vector<std::int32_t>& values) {
  Axis axis{std::move(option), std::move(symbol), {}};
  for (std::int32_t v : values) axis.values.push_back(v);
  return axis;
}

Axis real_axis(std::string option, std::string symbol, const std::vector<double>& values) {
  return {std::move(option), std::move(symbol), values};
}

// round(share * N), halves away from zero; share in (0, 1) keeps it within [0, N].
std::int64_t share_of(double share, std::int32_t N) {
  return std::llround(share * static_cast<double>(N));
}

std::string scenario_name(const Scenario& s) {
  char d[64];
  std::snprintf(d, sizeof d, "%.17g", s.d);
  return "N = " + std::to_string(s.N) + ", N1 = " + std::to_string(s.N1) +
         ", K = " + std::to_string(s.K) + ", d = " + d;
}

// Why the scenario cannot be computed, or an empty text.
std::string invalid_reason(const Scenario& s, const std::string& N1_source,
                           const std::string& K_source) {
  const std::string within = " between 1 and N - 1 = " + std::to_string(std::int64_t{s.N} - 1);
  if (s.N < 2) return "N = " + std::to_string(s.N) + " is below 2";
  if (s.N1 < 1 || s.N1 >= s.N) return N1_source + " is not" + within;
  if (s.K < 1 || s.K >= s.N) return K_source + " is not" + within;
  if (!std::isfinite(s.d)) return "d is not finite";
  const std::int64_t needed = entries_needed(s.N1, s.N2, s.K);
  if (needed > TABLE_CAPACITY) {
    return "the distribution needs " + std::to_string(needed) + " entries, the table holds " +
           std::to_string(TABLE_CAPACITY);
  }
  return {};
}

}  // namespace

GridOutcome build_grid(const GridOptions& o) {
  GridOutcome out;
  Grid& grid = out.grid;
  const bool by_share = !o.minority_share.empty();
  const bool by_ratio = !o.selection_ratio.empty();
  grid.axes[APPLICANTS] = count_axis("--applicants", "N", o.applicants);
  grid.axes[MAJORITY] = by_share ? real_axis("--minority-share", "N2/N", o.minority_share)
                                 : count_axis("--majority", "N1", o.majority);
  grid.axes[HIRES] = by_ratio ? real_axis("--selection-ratio", "K/N", o.selection_ratio)
                              : count_axis("--hires", "K", o.hires);
  grid.axes[EFFECT_SIZE] = real_axis("--d", "d", o.d);

  std::size_t total = 1;
  for (const Axis& axis : grid.axes) {
    if (axis.values.empty() || axis.values.size() > MAX_SCENARIOS / total) {
      out.error = "the grid has no scenario or more than " + std::to_string(MAX_SCENARIOS);
      return out;
    }
    total *= axis.values.size();
  }

  grid.scenarios.reserve(total);
  Scenario s;
  for (s.at[APPLICANTS] = 0; s.at[APPLICANTS] < o.applicants.size(); ++s.at[APPLICANTS]) {
    s.N = o.applicants[s.at[APPLICANTS]];
    for (s.at[MAJORITY] = 0; s.at[MAJORITY] < grid.axes[MAJORITY].values.size(); ++s.at[MAJORITY]) {
      const std::int64_t N1 = by_share ? s.N - share_of(o.minority_share[s.at[MAJORITY]], s.N)
                                       : o.majority[s.at[MAJORITY]];
      for (s.at[HIRES] = 0; s.at[HIRES] < grid.axes[HIRES].values.size(); ++s.at[HIRES]) {
        const std::int64_t K =
            by_ratio ? share_of(o.selection_ratio[s.at[HIRES]], s.N) : o.hires[s.at[HIRES]];
        for (s.at[EFFECT_SIZE] = 0; s.at[EFFECT_SIZE] < o.d.size(); ++s.at[EFFECT_SIZE]) {
          // Shares keep N1 and K within [0, N]; given counts are 32-bit already.
          s.N1 = static_cast<std::int32_t>(N1);
          s.N2 = static_cast<std::int32_t>(std::int64_t{s.N} - N1);
          s.K = static_cast<std::int32_t>(K);
          s.d = o.d[s.at[EFFECT_SIZE]];
          const std::string why = invalid_reason(
              s,
              std::string(by_share ? "N1 = N - round(N2/N * N) = " : "N1 = ") + std::to_string(N1),
              std::string(by_ratio ? "K = round(K/N * N) = " : "K = ") + std::to_string(K));
          if (!why.empty()) {
            out.error = "scenario " + scenario_name(s) + ": " + why;
            return out;
          }
          grid.scenarios.push_back(s);
        }
      }
    }
  }
  return out;
}

}  // namespace kemro::grid
