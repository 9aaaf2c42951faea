// Command-line options of kemro-grid and the grid of scenarios they span.
//
// Every scenario option takes one value, a comma list, or a range
// start:stop:step (stop included); list items may themselves be ranges. The
// grid is the product of the options' values. Parsing and validation never
// compute anything: a grid is returned only when every scenario in it is valid.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "tools/common/options.hpp"
#include "tools/common/values.hpp"
#include "tools/grid/plot_options.hpp"

namespace kemro::grid {

using cli::MAX_VALUES_PER_OPTION;
using cli::parse_count_list;
using cli::parse_real_list;

// Most scenarios in one grid.
inline constexpr std::size_t MAX_SCENARIOS = 100000;
// Most worker threads one may ask for; each holds about 13 MB of work areas.
inline constexpr std::int64_t MAX_JOBS = 256;

enum class Format { Text, Csv, Json };

struct GridOptions {
  std::vector<std::int32_t> applicants;  // N
  std::vector<std::int32_t> majority;    // N1, or empty when minority_share is given
  std::vector<double> minority_share;    // N2 / N, in (0, 1)
  std::vector<std::int32_t> hires;       // K, or empty when selection_ratio is given
  std::vector<double> selection_ratio;   // K / N, in (0, 1)
  std::vector<double> d;                 // effect size; with predictor_d the composite's alone
  std::vector<double> predictor_d;       // effect sizes of a composite's predictors
  std::vector<double> weights;           // their weights; empty: unit weights
  std::string intercorrelations;         // their correlations as given: a list or a CSV file
  bool distribution = false;
  Format format = Format::Text;
  std::vector<std::size_t> columns;  // text-table columns (catalogue positions); empty: default
  std::string plot_file;             // empty: no plot
  PlotOptions plot;
  unsigned jobs = 0;  // worker threads; 0: one per core
  bool help = false;
  bool version = false;
};

struct ParsedOptions {
  GridOptions options;
  std::string error;  // empty when the command line was understood
  bool ok() const { return error.empty(); }
};

// The --help sections the options are listed in.
inline constexpr std::string_view SCENARIO_SECTION = "Scenario options.";
inline constexpr std::string_view OUTPUT_SECTION = "Output options.";

// kemro-grid's options, one definition each, setting the fields of `target`
// (which must outlive the table). The parse loop and --help both read it.
std::vector<cli::OptionDef> option_table(GridOptions& target);

// Parses the arguments after the program name. --help or --version anywhere
// wins over every other option; otherwise the four scenario options are
// required (--majority or --minority-share, --hires or --selection-ratio,
// --d or --predictor-d). A composite's effect size is worked out here (its
// correlations may come from a file) and becomes the one value of `d`.
ParsedOptions parse_options(std::span<const std::string_view> args);

// The four dimensions of the grid, outermost first.
enum Dimension : std::size_t { APPLICANTS, MAJORITY, HIRES, EFFECT_SIZE };
inline constexpr std::size_t DIMENSIONS = 4;

// One dimension: the option that spans it and its values as given.
struct Axis {
  std::string option;          // "--applicants", "--minority-share", ...
  std::string symbol;          // "N", "N2/N", ...
  std::vector<double> values;  // in the order given
};

struct Scenario {
  std::int32_t N = 0;
  std::int32_t N1 = 0;
  std::int32_t N2 = 0;
  std::int32_t K = 0;
  double d = 0.0;
  std::array<std::size_t, DIMENSIONS> at{};  // index into each axis's values
};

struct Grid {
  std::array<Axis, DIMENSIONS> axes;
  std::vector<Scenario> scenarios;  // product order: the effect size varies fastest
};

struct GridOutcome {
  Grid grid;
  std::string error;  // empty when every scenario is valid
  bool ok() const { return error.empty(); }
};

// The product of the options' values, with N1 = N - round(share * N) and
// K = round(ratio * N) (halves away from zero) where shares are given. Every
// scenario must satisfy 1 <= N1 <= N - 1, 1 <= K <= N - 1, a finite d and fit
// the distribution table; the first one that does not is named in the error.
GridOutcome build_grid(const GridOptions& options);

// The text of --help.
std::string help_text();

}  // namespace kemro::grid
