// One scenario computed with the chosen engine and summarised from its
// distribution of S.
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

// The distribution of S as both engines hand it to the summary: the point
// probabilities and their running sums of the outcomes first, first + 1, ...
// Each is formed as build_table forms it, so that the summaries below equal
// those of the table (summaries.hpp) bit for bit.
struct Outcomes {
  std::int32_t first = 0;
  std::vector<double> PVS;
  std::vector<double> PVSC;
  int negative = 0;  // point probabilities below NEGATIVE_PROBABILITY_TOLERANCE
};

// The fast engine's window as the table would hold it: P(S <= s) from the
// lower tail where that is at most 0.5 and from the upper one above (the
// last is 1), the point probabilities as differences of these.
Outcomes fast_outcomes(const OutcomeProbabilities& fast) {
  const std::size_t M = fast.point.size();
  const auto cumulative = [&](std::size_t i) {  // P(S <= first + i)
    if (i + 1 == M) return 1.0;
    return fast.lower[i] <= 0.5 ? fast.lower[i] : 1.0 - fast.upper[i + 1];
  };
  Outcomes o;
  o.first = fast.first;
  o.PVS.resize(M);
  o.PVSC.resize(M);
  double previous = cumulative(0);
  o.PVS[0] = o.PVSC[0] = previous;
  for (std::size_t i = 1; i < M; ++i) {
    const double next = cumulative(i);
    o.PVS[i] = next - previous;
    o.PVSC[i] = o.PVSC[i - 1] + o.PVS[i];
    if (o.PVS[i] < NEGATIVE_PROBABILITY_TOLERANCE) ++o.negative;
    previous = next;
  }
  return o;
}

Outcomes table_outcomes(const Table& table, std::size_t negative) {
  const auto M = static_cast<std::size_t>(table.M);
  Outcomes o;
  o.first = table.NY[1];
  o.PVS.assign(table.PVS.begin() + 1, table.PVS.begin() + 1 + static_cast<std::ptrdiff_t>(M));
  o.PVSC.assign(table.PVSC.begin() + 1, table.PVSC.begin() + 1 + static_cast<std::ptrdiff_t>(M));
  o.negative = static_cast<int>(negative);
  return o;
}

// Fills the exact values of `r` from the distribution, in the table's order
// of summation.
void summarise(const Scenario& s, const Outcomes& o, bool keep_distribution, ScenarioResult& r) {
  const std::size_t M = o.PVS.size();
  TableSums sums;
  std::vector<double> AI(M);
  double below = 0.0;
  double undefined = 0.0;
  for (std::size_t i = 0; i < M; ++i) {
    const std::int32_t NY = o.first + static_cast<std::int32_t>(i);
    const std::int32_t NX = s.K - NY;
    const double SR1 = static_cast<double>(NX) / static_cast<double>(s.N1);
    const double SR2 = static_cast<double>(NY) / static_cast<double>(s.N2);
    AI[i] = SR1 == 0.0 ? UNDEFINED_RATIO : SR2 / SR1;
    const double pvs = o.PVS[i];
    if (NX != 0) sums.defined_ratio_mass += pvs;
    sums.expected_SRA += pvs * SR1;
    sums.expected_SRI += pvs * SR2;
    if (AI[i] != UNDEFINED_RATIO) sums.AI_numerator += pvs * AI[i];
    if (below_four_fifths(NY, NX, s.N1, s.N2)) below += pvs;
    if (NX == 0) undefined += pvs;
  }
  r.warnings += o.negative;
  r.expected_SRA = sums.expected_SRA;
  r.expected_SRI = sums.expected_SRI;
  r.expected_AI = expected_AI(sums);
  for (std::size_t k = 0; k < NLDAT.size(); ++k) {
    // The first outcome whose running sum reaches the level ("not less than",
    // so that a NaN sum counts as reached); the last when none does.
    const double level = static_cast<double>(NLDAT[k]);
    std::size_t i = 0;
    while (i + 1 < M && 100.0 * o.PVSC[i] < level) ++i;
    r.percentiles[k] = AI[i];
  }
  r.P_below_four_fifths = below;
  r.P_undefined = undefined;
  r.P_flag = flag_probabilities(s.N1, s.N2, s.K, o.first, o.PVS, s.levels);
  if (!keep_distribution) return;
  r.distribution.reserve(M);
  for (std::size_t i = 0; i < M; ++i) {
    const std::int32_t NY = o.first + static_cast<std::int32_t>(i);
    r.distribution.push_back({NY, s.K - NY, AI[i], o.PVS[i], o.PVSC[i]});
  }
}

}  // namespace

ScenarioResult compute_scenario(const Scenario& s, Engine engine, bool keep_distribution,
                                ScenarioWork& work) {
  ScenarioResult r;
  const PrecisePopulation population = precise_population(s.N1, s.N2, s.K, s.d);
  r.population = {population.cutoff, population.SRA, population.SRI, population.AI};
  r.population_status = population.status;
  r.engine = engine;

  if (engine == Engine::fast) {
    const OutcomeProbabilities fast = fast_outcome_probabilities(s.N1, s.N2, s.K, s.d);
    r.engine_status = fast.status;
    r.error_estimate = fast.abserr;
    r.evaluations = fast.evaluations;
    r.completed = fast.status != EngineStatus::invalid_input &&
                  fast.status != EngineStatus::bad_integrand && !fast.point.empty();
    if (r.completed) summarise(s, fast_outcomes(fast), keep_distribution, r);
    return r;
  }

  ModelState state = problem_state(s.N1, s.N2, s.K, s.d);
  state.parallel_outcomes = false;  // callers already keep every core busy with scenarios
  const CFUN share{static_cast<double>(s.N1) / static_cast<double>(s.N)};
  WarningCounter warnings;
  const Analysis analysis = analyse(state, share, work.integrators, work.table, warnings);
  r.completed = analysis.outcomes.completed;
  r.warnings = warnings.count;
  if (r.completed) {
    summarise(s, table_outcomes(work.table, analysis.negative_probabilities.size()),
              keep_distribution, r);
  }
  return r;
}

}  // namespace kemro
