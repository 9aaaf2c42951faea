// One complete analysis without any dialog: population values, outcome
// probabilities, the distribution table and its summaries. The interactive
// driver, the benchmarks and the grid tool all compute through this.
#pragma once

#include <array>
#include <vector>

#include "distribution/summaries.hpp"
#include "distribution/table.hpp"
#include "model/fast/outcomes.hpp"
#include "model/integrator.hpp"
#include "model/nested/outcomes.hpp"
#include "model/nested/population.hpp"

namespace kemro {

struct Analysis {
  PopulationValues population;
  OutcomeStageResult outcomes;  // when not completed, nothing below is set
  std::vector<NegativeProbability> negative_probabilities;
  TableSums expected;
  double expected_AI = 0.0;
  std::array<double, NLDAT.size()> percentiles{};
  // How the fast engine ended, its error estimate and evaluation count; left
  // at these defaults by the nested engine.
  EngineStatus engine_status = EngineStatus::converged;
  double engine_abserr = 0.0;
  std::uint64_t engine_evaluations = 0;
};

// The two ways to compute the outcome probabilities: one integral over the
// K-th highest score for all outcomes (model/fast/outcomes.hpp), or the nested
// integration per outcome that the interactive program reports and traces.
enum class Engine { fast, nested };

// Runs the computing stages on a filled model state. The table is sized to the
// problem's entries (size_table) and receives the distribution; the listener
// hears the outcome stage's trace. A problem that needs more than
// TABLE_CAPACITY entries is not computed (outcomes.completed stays false).
Analysis analyse(ModelState& state, const CFUN& share, Integrators& work, Table& table,
                 OutcomeListener& listener);

// The same stages with the fast engine: the population stage as analyse()
// runs it, then all outcome probabilities at once. The table holds the
// window of outcomes that carry probability (L = its first outcome, M its
// size), with PROB(m) = P(S <= L + m - 1) taken from the lower tail where that
// is at most 0.5 and as 1 - P(S >= L + m) above, so that the table's
// differences are the point probabilities without cancellation. Nothing is
// reported to a listener; the engine's status, error estimate and evaluation
// count go into the Analysis. outcomes.completed stays false when the input is
// outside the engine's domain, the integrand failed, or the window needs more
// than TABLE_CAPACITY entries; an estimate that stopped at the panel limit or
// at the rounding level is completed, with that status. compute_scenario
// summarises the engine's probabilities without this table; the table form
// lets the fast engine's results be compared with the nested engine's.
Analysis analyse_fast(ModelState& state, const CFUN& share, Table& table);

}  // namespace kemro
