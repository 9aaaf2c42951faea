#include "distribution/analysis.hpp"

#include <span>

namespace kemro {

Analysis analyse(ModelState& state, const CFUN& share, Integrators& work, Table& table,
                 OutcomeListener& listener) {
  Analysis analysis;
  analysis.population = population_stage(state, share);
  const std::int64_t needed = entries_needed(state.N1, state.N2, state.K);
  if (needed > TABLE_CAPACITY) return analysis;

  // Room for exactly the entries the outcome stage fills, so that a table
  // kept for many problems follows their sizes.
  size_table(table, static_cast<std::int32_t>(needed));
  analysis.outcomes = outcome_stage(state, work, table.PROB, listener);
  if (!analysis.outcomes.completed) return analysis;

  const OutcomeStageResult& o = analysis.outcomes;
  analysis.negative_probabilities = build_table(table, o.M, o.L, state.K, state.N1, state.N2);
  analysis.expected = table_sums(table);
  analysis.percentiles = percentiles(table);
  analysis.expected_AI = expected_AI(analysis.expected);
  return analysis;
}

namespace {

// PROB(m) for m = 1 .. M - 1: P(S <= first + m - 1) from whichever tail is the smaller.
void fill_cumulative(const OutcomeProbabilities& fast, std::span<double> PROB) {
  const auto M = fast.point.size();
  for (std::size_t m = 1; m < M; ++m) {
    const double below = fast.lower[m - 1];
    PROB[m] = below <= 0.5 ? below : 1.0 - fast.upper[m];
  }
}

}  // namespace

Analysis analyse_fast(ModelState& state, const CFUN& share, Table& table) {
  Analysis analysis;
  analysis.population = population_stage(state, share);
  const OutcomeProbabilities fast =
      fast_outcome_probabilities(state.N1, state.N2, state.K, state.d);
  analysis.engine_status = fast.status;
  analysis.engine_abserr = fast.abserr;
  analysis.engine_evaluations = fast.evaluations;
  const bool failed =
      fast.status == EngineStatus::invalid_input || fast.status == EngineStatus::bad_integrand;
  const auto M = static_cast<std::int64_t>(fast.point.size());
  if (failed || M < 1 || M > TABLE_CAPACITY) return analysis;

  size_table(table, static_cast<std::int32_t>(M));
  fill_cumulative(fast, table.PROB);
  OutcomeStageResult& o = analysis.outcomes;
  o.completed = true;
  o.M = static_cast<std::int32_t>(M);
  o.L = fast.first;
  o.first_majority_hires = state.K - fast.first;
  analysis.negative_probabilities = build_table(table, o.M, o.L, state.K, state.N1, state.N2);
  analysis.expected = table_sums(table);
  analysis.percentiles = percentiles(table);
  analysis.expected_AI = expected_AI(analysis.expected);
  return analysis;
}

}  // namespace kemro
