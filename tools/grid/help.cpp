#include "tools/grid/options.hpp"

namespace kemro::grid {

std::string help_text() {
  GridOptions unused;
  const std::vector<cli::OptionDef> table = option_table(unused);
  return R"(Usage: kemro-grid --applicants N (--majority N1 | --minority-share R)
                  (--hires K | --selection-ratio R) --d D [output options]

For every scenario of a grid, computes the exact sampling distribution of the
adverse impact ratio AI = SRI / SRA of a top-down selection of K hires from N
applicants (N1 from the majority group, N2 = N - N1 from the minority group;
normal scores with unit variance, mean d in the majority group and 0 in the
minority group) and writes its summaries.

Scenario options. Each takes one value, a comma list (0,0.5,1) or a range
start:stop:step whose stop is included (50:1000:50); list items may be ranges.
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
  it. For P_below_four_fifths and P_undefined over applicants, bounds decide
  whole blocks of the range without computing them; a search needing more
  than 20000 scenarios stops with status "evaluation limit". Records: the
  other options, solved_for, value, stable_from, quantity, target,
  quantity_at_value, status (solved, not reached, abandoned, evaluation
  limit), evaluations (scenarios computed); value fields are empty (null)
  unless solved.

Output options.
)" + cli::option_help(table, OUTPUT_SECTION) +
         R"(  Options take their value as the next argument or after '=' (--d=0.5).

Reported per scenario (text column, CSV/JSON name).
  CSV and JSON records start with scenario, the scenario's 1-based index in the
  whole grid (the grid's order: N outermost, the effect size fastest).
  P(AI<0.8)  P_below_four_fifths  the probability that AI is defined and below
             0.8: the sum of the point probabilities of the outcomes with at
             least one majority hire and AI < 0.8. It is the joint
             probability, not one conditional on a defined ratio (for that,
             divide by 1 - P_undefined). An AI of exactly 0.8 is not below.
  P(undef)   P_undefined          the probability that no majority applicant
                                  is hired, so that AI is undefined
  E[SRA]     expected_SRA         expected selection rate, majority group
  E[SRI]     expected_SRI         expected selection rate, minority group
  E[AI]      expected_AI          expected AI over the outcomes with a
                                  defined ratio
  pop SRA, pop SRI, pop AI        population_SRA, population_SRI,
                                  population_AI: the same selection rule in an
                                  infinitely large applicant pool
  P05 .. P95 AI_P05 .. AI_P95     the 5th to 95th percentiles of AI
  warn       warnings             numerical warnings: inner integration
                                  warnings, abnormal returns of the outer
                                  integration, negative point probabilities
  A scenario whose integration gave up is reported with status "abandoned":
  population values only. Undefined values are "undef" in the text table,
  empty in CSV and null in JSON.

Exit status: 0 when every scenario was computed or reported as abandoned;
1 when the output or the plot cannot be written; 2 for invalid options.
)";
}

}  // namespace kemro::grid
