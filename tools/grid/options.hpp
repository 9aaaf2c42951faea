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

#include "distribution/grid.hpp"
#include "distribution/groups.hpp"
#include "distribution/scenario.hpp"
#include "distribution/solve.hpp"
#include "distribution/worker_pool.hpp"
#include "report/figure_options.hpp"
#include "report/grid_records.hpp"
#include "tools/common/options.hpp"
#include "tools/common/values.hpp"

namespace kemro::grid {

using cli::MAX_VALUES_PER_OPTION;
using cli::parse_count_list;
using cli::parse_real_list;

// Most worker threads one may ask for: the library's bound, shared with the R
// and Python packages' `jobs`. The grid may be split into at most
// MAX_SCENARIOS shards.
inline constexpr std::int64_t MAX_JOBS = kemro::MAX_WORKERS;

// The range of the option a planning solve searches (--solve), as given.
struct SolveRange {
  std::vector<double> values;  // applicants, or a share with a step: every value, in order
  double low = 0.0;            // d, or a share without a step: the range's start ...
  double high = 0.0;           // ... and stop
  bool every_count = false;    // a share without a step: every count its shares round to
  bool given = false;          // the solved option was on the command line
};

// Most values the range of a solved option may hold.
inline constexpr std::size_t MAX_SOLVE_VALUES = 1000000;

// The several-group options: with any of them the grid's scenarios have G
// groups (tools/grid/groups.hpp) instead of a majority and a minority.
struct GroupOptions {
  std::vector<std::string> names;    // the reference first
  std::vector<double> shares;        // or
  std::vector<std::int32_t> counts;  // (adding up to N)
  std::vector<double> d;             // the first 0
  SelectionRule rule = SelectionRule::top_down;
  bool rule_given = false;         // --selection was given
  std::vector<double> cut_scores;  // --cut-score: given cut scores
  bool given = false;              // any group option was given
};

struct GridOptions {
  std::vector<std::int32_t> applicants;  // N
  std::vector<std::int32_t> majority;    // N1, or empty when minority_share is given
  std::vector<double> minority_share;    // N2 / N, in (0, 1)
  std::vector<std::int32_t> hires;       // K, or empty when selection_ratio is given
  std::vector<double> selection_ratio;   // K / N, in (0, 1)
  std::vector<double> d;                 // effect size; with predictor_d the composite's alone
  std::vector<double> predictor_d;       // effect sizes of a composite's predictors
  std::vector<double> weights;           // their weights; empty: unit weights
  std::vector<double> alpha = {DEFAULT_RULE_ALPHA};     // the rules' two-sided level, in (0, 1)
  std::vector<double> threshold = {DEFAULT_THRESHOLD};  // the four-fifths rule's, in (0, 1]
  std::string intercorrelations;  // their correlations as given: a list or a CSV file
  std::string solve;              // the option solved for without its dashes, or empty
  SolveRange solve_range;         // that option's range
  Target target;
  bool has_target = false;
  Engine engine = Engine::fast;
  Shard shard;  // the whole grid by default
  bool distribution = false;
  Format format = Format::Text;
  std::vector<std::size_t> columns;  // text-table columns (catalogue positions); empty: default
  std::string plot_file;             // empty: no plot
  PlotOptions plot;
  unsigned jobs = 0;  // worker threads; 0: one per core
  GroupOptions groups;
  bool help = false;
  bool version = false;
};

using ParsedOptions = cli::Parsed<GridOptions>;

// The --help sections the options are listed in.
inline constexpr std::string_view SCENARIO_SECTION = "Scenario options.";
inline constexpr std::string_view COMPUTING_SECTION = "Computing options.";
inline constexpr std::string_view SOLVE_SECTION = "Planning solves.";
inline constexpr std::string_view OUTPUT_SECTION = "Output options.";
inline constexpr std::string_view GROUPS_SECTION = "Several groups.";

// kemro-grid's options, one definition each, setting the fields of `target`
// (which must outlive the table). The parse loop and --help both read it.
std::vector<cli::OptionDef> option_table(GridOptions& target);

// Parses the arguments after the program name. --help or --version anywhere
// wins over every other option; otherwise the four scenario options are
// required (--majority or --minority-share, --hires or --selection-ratio,
// --d or --predictor-d). A composite's effect size is worked out here (its
// correlations may come from a file) and becomes the one value of `d`.
ParsedOptions parse_options(std::span<const std::string_view> args);

// The grid's axes for the options, in grid order; the axis of an option
// solved for (--solve) has no values.
std::array<Axis, DIMENSIONS> grid_axes(const GridOptions& options);

// The product of the options' values, with N1 = N - round(share * N) and
// K = round(ratio * N) (halves away from zero) where shares are given. Every
// scenario of the whole grid must be one the chosen engine can compute
// (scenario_invalid_reason); the first one that is not is named in the error.
// Only the scenarios of the options' shard are kept, each with its grid index.
GridOutcome build_grid(const GridOptions& options);

// The text of --help.
std::string help_text();

}  // namespace kemro::grid
