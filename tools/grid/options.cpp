#include "tools/grid/options.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>
#include <system_error>

#include "distribution/table.hpp"
#include "model/outcomes.hpp"

namespace kemro::grid {

using cli::parse_int64;
using cli::quoted;

namespace {

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

bool set_plot_file(std::string_view value, std::string& plot_file, std::string& error) {
  if (value.empty()) {
    error = "an empty file name";
    return false;
  }
  plot_file = std::string(value);
  return true;
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
  if (o.d.empty()) return "--d is required";
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
      {"--plot", "FILE.svg",
       "also write an SVG plot: for one scenario the\n"
       "distribution of AI with the 0.8 line; for a grid\n"
       "P(AI < 0.8) against the first option that takes\n"
       "several values, one line per value of the others",
       OUTPUT_SECTION,
       [&o](std::string_view s, std::string& e) { return set_plot_file(s, o.plot_file, e); }},
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
