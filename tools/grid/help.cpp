#include "tools/grid/columns.hpp"
#include "tools/grid/options.hpp"

namespace kemro::grid {

std::string help_text() {
  return R"(Usage: kemro-grid --applicants N (--majority N1 | --minority-share R)
                  (--hires K | --selection-ratio R) (--d D | --predictor-d LIST)
                  [output options]

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
  --predictor-d LIST     instead of --d: the effect sizes d_i of the predictors
                         of a composite, whose effect size
                         d = sum w_i d_i / sqrt(sum w_i w_j r_ij)
                         is used (and written in the d column)
  --weights LIST         the predictors' weights w_i (default: all 1)
  --intercorrelations M  their correlations r_ij: the upper triangle without
                         the diagonal as a comma list (r12,r13,r23 for three),
                         or a FILE.csv holding the full matrix; it must be a
                         valid correlation matrix (positive semi-definite)
  round() goes to the nearest integer, halves away from zero. Every scenario is
  checked before anything is computed; the distribution of one scenario may
  need at most 150000 outcomes.

Output options.
  --csv                  comma-separated values, one record per scenario
  --json                 a JSON array, one object per scenario
  --distribution         add the whole distribution of S (minority hires): AI,
                         point and cumulative probabilities (with --csv: one
                         record per scenario and outcome instead)
  --columns LIST         the text table's columns by their CSV names (below);
                         CSV and JSON always carry every column
  --plot FILE            also write a plot, SVG, PNG or PDF by the extension
                         (.svg, .png, .pdf): for one scenario the distribution
                         of AI with the 0.8 line; for a grid P(AI < 0.8)
                         against one option, one line per value of the others
                         (small multiples when they are too many). The file
                         appears only when whole.
  --x NAME               the plot's horizontal axis: applicants, majority,
                         minority-share, hires, selection-ratio or d
                         (default: the first option with several values)
  --log-x                a logarithmic horizontal axis
  --title TEXT           the plot's title
  --width PX, --height PX  the plot's size, 300 to 10000 (820 x 520); a
                         legend below the plot adds height
  --jobs J               worker threads, at most 256 (default: one per core)
  --help                 this text
  --version              the program version
  Options take their value as the next argument or after '=' (--d=0.5).

Reported per scenario (CSV/JSON name, text header, meaning; * in the
default text table).
)" + columns_help() +
         R"(  P(AI<0.8) is the sum of the point probabilities of the outcomes with at
  least one majority hire and AI < 0.8: the joint probability, not one
  conditional on a defined ratio (for that, divide by 1 - P_undefined).
  A scenario whose integration gave up is reported with status "abandoned":
  population values only. Undefined values are "undef" in the text table,
  empty in CSV and null in JSON.

Records are written as each scenario and all before it are done. SIGINT or
SIGTERM stop the run: what is complete is written (a JSON array closed), no
plot is made, and the exit status is 130 or 143.

Exit status: 0 when every scenario was computed or reported as abandoned;
1 when the output or the plot cannot be written; 2 for invalid options;
130 or 143 when stopped by SIGINT or SIGTERM.
)";
}

}  // namespace kemro::grid
