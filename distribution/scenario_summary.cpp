// One scenario computed with the chosen engine and summarised from its table.
#include "distribution/scenario_summary.hpp"

namespace kemro {

namespace {

// Counts what the outcome stage reports as trouble; trace rows and notices are dropped.
class WarningCounter final : public OutcomeListener {
 public:
  void integration_warning(int) override { ++count; }
  void trace_row(std::int32_t, std::int32_t, std::int32_t, double, double) override {}
  void abnormal_return(int) override { ++count; }
  void notice(std::string_view) override {}

  int count = 0;
};

std::vector<DistributionEntry> copy_distribution(const Table& table) {
  std::vector<DistributionEntry> entries;
  entries.reserve(static_cast<std::size_t>(table.M));
  for (std::int32_t m = 1; m <= table.M; ++m) {
    entries.push_back({table.NY[m], table.NX[m], table.AI[m], table.PVS[m], table.PVSC[m]});
  }
  return entries;
}

}  // namespace

double probability_below_four_fifths(const Table& table, std::int32_t N1, std::int32_t N2) {
  double sum = 0.0;
  for (std::int32_t m = 1; m <= table.M; ++m) {
    if (below_four_fifths(table.NY[m], table.NX[m], N1, N2)) sum += table.PVS[m];
  }
  return sum;
}

RuleRates table_flag_probabilities(const Table& table, std::int32_t N1, std::int32_t N2,
                                   std::int32_t K, const RuleLevels& levels) {
  if (table.M < 1) return {};
  return flag_probabilities(N1, N2, K, table.NY[1],
                            std::span<const double>(table.PVS).subspan(1, table.M), levels);
}

double probability_undefined(const Table& table) {
  double sum = 0.0;
  for (std::int32_t m = 1; m <= table.M; ++m) {
    if (table.NX[m] == 0) sum += table.PVS[m];
  }
  return sum;
}

ScenarioResult compute_scenario(const Scenario& s, Engine engine, bool keep_distribution,
                                ScenarioWork& work) {
  ModelState state = problem_state(s.N1, s.N2, s.K, s.d);
  state.parallel_outcomes = false;  // callers already keep every core busy with scenarios
  const CFUN share{static_cast<double>(s.N1) / static_cast<double>(s.N)};

  WarningCounter warnings;
  const Analysis analysis =
      analyse_with(engine, state, share, work.integrators, work.table, warnings);

  ScenarioResult r;
  const PrecisePopulation population = precise_population(s.N1, s.N2, s.K, s.d);
  r.population = {population.cutoff, population.SRA, population.SRI, population.AI};
  r.population_status = population.status;
  r.completed = analysis.outcomes.completed;
  r.warnings = warnings.count + (analysis.engine_status == EngineStatus::converged ? 0 : 1);
  if (!r.completed) return r;

  const Table& table = work.table;
  r.warnings += static_cast<int>(analysis.negative_probabilities.size());
  r.expected_SRA = analysis.expected.expected_SRA;
  r.expected_SRI = analysis.expected.expected_SRI;
  r.expected_AI = analysis.expected_AI;
  r.percentiles = analysis.percentiles;
  r.P_below_four_fifths = probability_below_four_fifths(table, s.N1, s.N2);
  r.P_undefined = probability_undefined(table);
  r.P_flag = table_flag_probabilities(table, s.N1, s.N2, s.K, s.levels);
  if (keep_distribution) r.distribution = copy_distribution(table);
  return r;
}

}  // namespace kemro
