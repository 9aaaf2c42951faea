// One complete analysis without any dialog: population values, outcome
// probabilities, the distribution table and its summaries. The interactive
// driver, the benchmarks and the grid tool all compute through this.
#pragma once

#include <array>
#include <vector>

#include "distribution/summaries.hpp"
#include "distribution/table.hpp"
#include "model/integrator.hpp"
#include "model/outcomes.hpp"
#include "model/population.hpp"

namespace kemro {

struct Analysis {
  PopulationValues population;
  OutcomeStageResult outcomes;  // when not completed, nothing below is set
  std::vector<NegativeProbability> negative_probabilities;
  TableSums expected;
  double expected_AI = 0.0;
  std::array<double, NLDAT.size()> percentiles{};
};

// Runs the computing stages on a filled model state. The table receives the
// distribution; the listener hears the outcome stage's trace. A problem that
// needs more entries than the table holds is not computed (outcomes.completed
// stays false).
Analysis analyse(ModelState& state, const CFUN& share, Integrators& work, Table& table,
                 OutcomeListener& listener);

// The two ways of computing the outcome probabilities: the single integral of
// fast_outcomes.hpp, or the nested integration the interactive program uses.
enum class Engine { fast, nested };

// The same analysis with the fast engine; the table is filled over the window
// of outcomes carrying probability.
Analysis analyse_fast(ModelState& state, const CFUN& share, Table& table);

}  // namespace kemro
