#include "distribution/columns.hpp"
#include "tools/grid/options.hpp"

namespace kemro::grid {

std::string help_text() {
  GridOptions unused;
  const std::vector<cli::OptionDef> table = option_table(unused);
  return R"(Usage: kemro-grid --applicants N (--majority N1 | --minority-share R)
                  (--hires K | --selection-ratio R) (--d D | --predictor-d LIST)
                  [output options]
       kemro-grid [--applicants N] --group-names LIST
                  (--group-shares LIST | --group-counts LIST) --group-d LIST
                  (--hires K | --selection-ratio R | --cut-score C
                   | --selection cut-score --selection-ratio R) [output options]

For every scenario of a grid, computes the exact sampling distribution of the
adverse impact ratio AI = SRI / SRA of a top-down selection of K hires from N
applicants (N1 from the majority group, N2 = N - N1 from the minority group;
normal scores with unit variance, mean d in the majority group and 0 in the
minority group) and writes its summaries.

Scenario options. Each takes one value, a comma list (0,0.5,1) or a range
start:stop:step whose stop is included (50:1000:50), for counts also start:stop
stepping by 1 (50:60); list items may be ranges.
The grid is the product of the options' values.
)" + cli::option_help(table, SCENARIO_SECTION) +
         R"(  round() goes to the nearest integer, halves away from zero. Every scenario is
  checked before anything is computed, against the limits of the engine.

Computing options.
)" + cli::option_help(table, COMPUTING_SECTION) +
         R"(
Planning solves. Instead of the grid's records, one record per combination of
the values of the options not solved for (which may take lists).
)" + cli::option_help(table, SOLVE_SECTION) +
         R"(  d is solved by bisection to 1e-6, relying on every quantity moving
  monotonically with d (for the percentiles, which move in steps, it is the d
  where the step crosses VALUE); a range whose ends lie on the same side of
  VALUE gives "not reached". A count or share is searched exactly, without
  assuming monotonicity: value is the first value of the range meeting the
  target, stable_from the value from which on every value of the range meets
  it. For P_below_four_fifths, P_undefined, expected_SRI and expected_SRA,
  bounds decide whole blocks of the range without computing them; a search
  needing more than 20000 scenarios stops with status "evaluation limit".
  Records: the other options, solved_for, value, stable_from, quantity,
  target, quantity_at_value, status (solved, not reached, abandoned,
  evaluation limit), evaluations (scenarios computed), alpha, threshold;
  value fields are empty (null) unless solved.

Several groups.
)" + cli::option_help(table, GROUPS_SECTION) +
         R"(  With the group options each scenario has 2 to 6 groups; the first is the
  reference. The records carry, for every other group g,
  P_below_four_fifths_g (its rate below 0.8 times the reference's),
  P_below_four_fifths_vs_highest_g (below 0.8 times the highest rate among
  the other groups), expected_SR_g and expected_AI_g (against the
  reference, over the outcomes with a reference hire), and
  expected_SR_<reference>, P_any_below_four_fifths (some group below 0.8
  times the highest rate; no group hired counts as no flag), status,
  error_estimate and evaluations; with a cut score also expected_selected
  and P_none_selected. A group's "rate" is its hires over its applicants.

Output options.
)" + cli::option_help(table, OUTPUT_SECTION) +
         R"(  Options take their value as the next argument or after '=' (--d=0.5).

Reported per scenario (CSV/JSON name, text header, meaning; * in the
default text table).
)" + columns_help() +
         R"(  P(AI<0.8) is the sum of the point probabilities of the outcomes with at
  least one majority hire and AI < 0.8: the joint probability,
  not one conditional on a defined ratio (divide by 1 - P_undefined for that).
  A scenario whose integration gave up is reported with status "abandoned":
  population values only. Undefined values are "undef" in the text table,
  empty in CSV and null in JSON; infinite ones are Inf or -Inf in CSV and
  the strings "Inf" or "-Inf" in JSON. engine_status is converged,
  subdivision_limit, roundoff or bad_integrand; it, error_estimate and
  evaluations are empty ("-", null) for the nested engine, whose trouble
  warnings counts. population_status rate_underflow: a population rate or
  AI lies below 2.2e-308 (shown as 0 or with fewer digits); ratio_overflow:
  population_AI is Inf.

Records are written as each scenario and all before it are done. SIGINT or
SIGTERM stop the run: what is complete is written (a JSON array closed), no
plot is made, and the exit status is 130 or 143.

Exit status: 0 when every scenario was computed or reported as abandoned;
1 when the output or the plot cannot be written; 2 for invalid options;
3 when a solve ended without an answer (evaluation limit, or abandoned),
after every record is written; 130 or 143 when stopped by SIGINT or SIGTERM
(also while the plot is encoded: no plot is written then).
)";
}

}  // namespace kemro::grid
