// Planning solves from kemro-grid's options: one search per combination of
// the values of the options not solved for, run through the library's
// solve_effect_size or solve_discrete on the grid's thread pool, and the
// records they give in text, CSV and JSON.
//
// A solve record holds, in this order: the values of the options not solved
// for, under their option names (applicants, majority or minority_share, hires
// or selection_ratio, d); solved_for, the option solved for; value, the d
// found or, for a count or share, the first value of the range meeting the
// target; stable_from, the value from which on every value of the range meets
// it (empty/null for d, and when the range's last value does not); quantity
// and target; quantity_at_value, the quantity at `value`; status (solved,
// not reached, abandoned, evaluation limit); evaluations, the scenarios the
// search computed. Value fields are empty in CSV and null in JSON unless the
// status is solved. Records come in the grid's order
// of the other options; later versions may add columns at the end.
#pragma once

#include <string>
#include <vector>

#include "distribution/solve.hpp"
#include "report/figure_options.hpp"
#include "tools/grid/options.hpp"

namespace kemro::grid {

struct SolvePlan {
  std::array<Axis, DIMENSIONS> axes;  // the solved option's axis has no values
  Dimension solved = APPLICANTS;
  Target target;
  std::vector<std::array<std::size_t, DIMENSIONS>> combinations;  // indices into the other axes
  std::vector<kemro::Scenario> bases;  // solving for d: each combination's scenario
  double d_low = 0.0;                  // ... and the range of d
  double d_high = 0.0;
  std::vector<DiscreteRange> ranges;  // solving for a count or share: one per combination
};

struct SolvePlanOutcome {
  SolvePlan plan;
  std::string error;  // empty when every scenario the solve may compute is valid
  bool ok() const { return error.empty(); }
};

// The searches the options ask for (options.solve non-empty). Every scenario
// a search may compute is validated for the engine first; the first one that
// is not valid is named in the error.
SolvePlanOutcome build_solve(const GridOptions& options);

// Runs every search of the plan on `jobs` threads (0: one per core).
std::vector<SolveResult> run_solve(const SolvePlan& plan, Engine engine, unsigned jobs);

std::string render_solve_csv(const SolvePlan& plan, const std::vector<SolveResult>& results);
std::string render_solve_json(const SolvePlan& plan, const std::vector<SolveResult>& results);
std::string render_solve_text(const SolvePlan& plan, const std::vector<SolveResult>& results);

// The value a solve found, in words: "Pool size at which P(AI < 0.8) ≤ 0.1".
std::string solved_words(const Axis& solved, const Target& target);

// The value found against the first other option that takes several values,
// one line per combination of the values of the others that do.
// `options` as --plot and its companions ask (its quantity is set here).
std::string solve_svg(const SolvePlan& plan, const std::vector<SolveResult>& results,
                      PlotOptions options);

}  // namespace kemro::grid
