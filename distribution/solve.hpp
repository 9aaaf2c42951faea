// Planning solves: the design value at which a per-scenario quantity reaches a
// target. For the effect size d, a continuous option along which every
// quantity moves monotonically, bisection finds the d where the quantity
// reaches the target to D_TOLERANCE. For a count or a share (applicants, the
// minority share, the selection ratio), along which the quantities move in a
// saw-tooth, the search finds exactly the first value of a range that meets
// the target and the value from which on every value of the range meets it.
//
// The solves do not compute scenarios themselves: they hand batches of
// scenarios to an Evaluate function (kemro-grid's thread pool, or
// sequential_evaluator for a single thread), so the front ends decide how the
// work is spread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <limits>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "distribution/scenario.hpp"
#include "distribution/scenario_summary.hpp"

namespace kemro {

// A per-scenario quantity a target may name: the catalogue position of a
// summary column whose row gives it a solve role (distribution/columns.hpp),
// so a target calls a quantity by its CSV column's name.
enum class Quantity : std::size_t {};

// The quantity of the flag rate of RULES[rule].
Quantity rule_quantity(std::size_t rule);

// The quantity's column name.
std::string_view quantity_name(Quantity quantity);
// Whether the quantity is a probability (a target for it lies in [0, 1]): the
// four-fifths probabilities and the rules' flag rates.
bool is_probability(Quantity quantity);

// The quantity in a completed result: its column's value in the result's
// summary record, except that an AI that is undefined because no majority
// applicant is hired (a percentile on those outcomes, or the expected AI
// when every outcome is such) is +infinity: the ratio's limit as the
// majority's rate goes to 0, which keeps the quantities monotone in d.
double quantity_value(const ScenarioResult& result, Quantity quantity);

// at_most and below (<= and <) look for values at or below the target,
// at_least and above (>= and >) for values at or above it.
enum class Comparison { equal, at_most, at_least, below, above };

// QUANTITY=VALUE, QUANTITY<=VALUE, QUANTITY>=VALUE, QUANTITY<VALUE or QUANTITY>VALUE.
struct Target {
  Quantity quantity{};  // set by parse_target
  Comparison comparison = Comparison::equal;
  double value = 0.0;
};

// Reads a target. On failure `error` says why: no comparison, an unknown
// quantity (the known ones are listed), a value that is not a finite number,
// or a probability target outside [0, 1].
bool parse_target(std::string_view text, Target& target, std::string& error);

// The target as parse_target reads it, the value in its shortest round-trip text.
std::string target_text(const Target& target);

// Whether a quantity value meets an at_most or at_least target (NaN never does).
bool meets_target(double quantity, const Target& target);

// Computes the scenarios (each valid for the engine in use), results in the
// same order; with `keep_distribution` each result holds its distribution.
using Evaluate = std::function<std::vector<ScenarioResult>(const std::vector<Scenario>& scenarios,
                                                           bool keep_distribution)>;

// An Evaluate that computes one scenario after the other on the calling thread.
Evaluate sequential_evaluator(Engine engine);

enum class SolveStatus {
  solved,            // a value meets the target
  not_reached,       // no value of the range does (d: the range does not bracket it)
  abandoned,         // a scenario the search needed could not be computed
  evaluation_limit,  // the search would need more than MAX_SOLVE_EVALUATIONS scenarios
};
// "solved", "not reached", "abandoned", "evaluation limit".
std::string_view solve_status_name(SolveStatus status);

// Most scenarios one discrete solve computes before it gives up.
inline constexpr std::size_t MAX_SOLVE_EVALUATIONS = 20000;
// Width of the bracket around the d found by a continuous solve.
inline constexpr double D_TOLERANCE = 1e-6;

struct SolveResult {
  SolveStatus status = SolveStatus::not_reached;
  double value = std::numeric_limits<double>::quiet_NaN();  // d found, or first value meeting
  // Discrete: the value from which on every value of the range meets the
  // target; NaN when the range's last value does not, and for d.
  double stable_from = std::numeric_limits<double>::quiet_NaN();
  double quantity_at_value = std::numeric_limits<double>::quiet_NaN();
  std::size_t evaluations = 0;  // scenarios computed for this solve
};

// The fields of a solve's own record, in record order: kemro-grid's records
// and the packages' data frames put them after the model's options not
// solved for and before the rules' levels.
std::span<const std::string_view> solve_field_names();

// One field of a solve's record: a count, a number (NaN where the record
// leaves it empty) or a text.
using SolveCell = std::variant<std::int64_t, double, std::string>;

// The fields of one search's record, in solve_field_names() order: the
// option solved for as kemro-grid names it (`solved_for`: "applicants",
// "d", ...), the value found, stable_from, the quantity and the target, the
// quantity at the value (those three numbers NaN unless solved), the status
// and the scenarios computed.
std::vector<SolveCell> solve_cells(std::string_view solved_for, const Target& target,
                                   const SolveResult& result);

// For each base scenario (its d is ignored), the d in [d_low, d_high] at which
// the target's quantity equals target.value (comparison `equal`): bisection on
// the bracket [d_low, d_high], relying on the quantity moving monotonically
// with d, until the bracket is at most D_TOLERANCE wide; value is its midpoint
// and quantity_at_value the quantity there. For a percentile, which moves in
// steps, it is the d where the step crosses the target. When the quantities at
// d_low and d_high lie on the same side of the target: not_reached.
std::vector<SolveResult> solve_effect_size(const std::vector<Scenario>& bases, double d_low,
                                           double d_high, const Target& target,
                                           const Evaluate& evaluate);

// One discrete search: the values of the range in order and the scenario each gives.
struct DiscreteRange {
  std::vector<double> values;
  std::vector<Scenario> scenarios;
};

// For each range, the first value meeting the target (at_most or at_least)
// and the value from which on every value meets it, both exactly as if every
// scenario of the range were computed. For P(AI < 0.8), P(AI undefined) and
// the expected selection rates, blocks of the range are decided without computing their
// scenarios where the two corner scenarios of the block bound the quantity
// clear of the target (see solve.cpp); other quantities are computed value by
// value, only where the answer may still change. A search needing more than
// MAX_SOLVE_EVALUATIONS scenarios stops with evaluation_limit. `evaluate`
// computes with `engine`: a block whose corners that engine cannot compute
// is split instead. A scenario that could not be computed, the one at the
// value found among them, makes the search abandoned.
std::vector<SolveResult> solve_discrete(const std::vector<DiscreteRange>& ranges,
                                        const Target& target, const Evaluate& evaluate,
                                        Engine engine);

}  // namespace kemro
