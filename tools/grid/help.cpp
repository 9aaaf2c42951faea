#include "tools/grid/options.hpp"

namespace kemro::grid {

std::string help_text() {
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
  --applicants N         total number of applicants
  --majority N1          majority applicants, 1 <= N1 <= N - 1
  --minority-share R     instead of --majority: N2 = round(R * N), N1 = N - N2,
                         with 0 < R < 1
  --hires K              number to hire, 1 <= K <= N - 1
  --selection-ratio R    instead of --hires: K = round(R * N), with 0 < R < 1
  --d D                  effect size (majority mean minus minority mean), finite
  round() goes to the nearest integer, halves away from zero. Every scenario is
  checked before anything is computed, against the limits of the engine.

Computing options.
  --engine E             fast (default): every outcome's probability from one
                         integral; up to N = 10000000 applicants. nested: the
                         interactive program's nested integration, its report
                         digit for digit; up to 150000 outcomes per scenario
  --shard I/N            compute only the scenarios whose grid index i has
                         (i - 1) mod N = I - 1, with 1 <= I <= N; needs --csv or
                         --json. The records of all N shards, sorted on their
                         first field (scenario), are the whole grid's records
  --jobs J               worker threads, at most 256 (default: one per core)

Output options.
  --csv                  comma-separated values, one record per scenario
  --json                 a JSON array, one object per scenario
  --distribution         add the whole distribution of S (minority hires): AI,
                         point and cumulative probabilities (with --csv: one
                         record per scenario and outcome instead)
  --plot FILE.svg        also write an SVG plot: for one scenario the
                         distribution of AI with the 0.8 line; for a grid
                         P(AI < 0.8) against the first option that takes
                         several values, one line per value of the others
  --help                 this text
  --version              the program version
  Options take their value as the next argument or after '=' (--d=0.5).

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
