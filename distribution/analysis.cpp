#include "distribution/analysis.hpp"

namespace kemro {

Analysis analyse(ModelState& state, const CFUN& share, Integrators& work, Table& table,
                 OutcomeListener& listener) {
  Analysis analysis;
  analysis.population = population_stage(state, share);
  if (entries_needed(state.N1, state.N2, state.K) > TABLE_CAPACITY) return analysis;

  analysis.outcomes = outcome_stage(state, work, table.PROB, listener);
  if (!analysis.outcomes.completed) return analysis;

  const OutcomeStageResult& o = analysis.outcomes;
  analysis.negative_probabilities = build_table(table, o.M, o.L, state.K, state.N1, state.N2);
  analysis.expected = table_sums(table);
  analysis.percentiles = percentiles(table);
  analysis.expected_AI = expected_AI(analysis.expected);
  return analysis;
}

}  // namespace kemro
