// Benchmark of what the rule columns (every P_flag_*) add to a scenario, side
// by side with the scenario without them, on the calling thread with the fast
// engine: for a few single scenarios, and for the 1200 scenarios of the grid
// benchmark (grid_bench.cpp) one after the other.
//
// compute_scenario always takes the rules' flag rates, so "without" is the
// scenario's time less the time of the rules' pass (flag_probabilities) over
// the same outcome probabilities, measured on its own right after. Both are timed in
// the thread's processor time, so that other work on the machine does not
// count. Counters, in seconds per iteration: with_rules, rule_columns,
// without_rules; ratio is
// with_rules / without_rules (the goal: at most 1.5 for a scenario, under 2
// for the grid).
#include <benchmark/benchmark.h>
#include <time.h>

#include <cstdlib>
#include <string_view>
#include <vector>

#include "distribution/scenario.hpp"
#include "distribution/scenario_summary.hpp"
#include "tools/grid/options.hpp"

namespace kemro {
namespace {

// The calling thread's processor time, in seconds.
double thread_seconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

// Times each scenario with its rule columns and then the rules' pass alone.
struct SideBySide {
  double with_rules = 0.0;
  double rule_columns = 0.0;
};

void time_scenario(const Scenario& s, ScenarioWork& work, SideBySide& t) {
  double start = thread_seconds();
  const ScenarioResult r = compute_scenario(s, Engine::fast, false, work);
  t.with_rules += thread_seconds() - start;
  benchmark::DoNotOptimize(r.P_flag.data());
  // The outcome probabilities again, kept this time (not timed).
  const ScenarioResult kept = compute_scenario(s, Engine::fast, true, work);
  std::vector<double> probabilities;
  for (const DistributionEntry& e : kept.distribution) probabilities.push_back(e.PVS);
  const std::int32_t first = kept.distribution.empty() ? 0 : kept.distribution.front().NY;
  start = thread_seconds();
  const RuleRates rates = flag_probabilities(s.N1, s.N2, s.K, first, probabilities, s.levels);
  t.rule_columns += thread_seconds() - start;
  benchmark::DoNotOptimize(rates.data());
}

void report(benchmark::State& bench, const SideBySide& t) {
  const double iterations = static_cast<double>(bench.iterations());
  const double without = t.with_rules - t.rule_columns;
  bench.counters["with_rules"] = t.with_rules / iterations;
  bench.counters["rule_columns"] = t.rule_columns / iterations;
  bench.counters["without_rules"] = without / iterations;
  bench.counters["ratio"] = without > 0.0 ? t.with_rules / without : 0.0;
}

Scenario scenario(std::int32_t N, std::int32_t N1, std::int32_t K, double d) {
  return {N, N1, N - N1, K, d, RuleLevels{}};
}

void BM_RuleColumns(benchmark::State& bench, Scenario s) {
  ScenarioWork work;
  SideBySide t;
  for (auto _ : bench) time_scenario(s, work, t);
  report(bench, t);
}
// A small, a typical and a large scenario of the grid's kind.
BENCHMARK_CAPTURE(BM_RuleColumns, N100, scenario(100, 80, 20, 0.5))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_RuleColumns, N1000, scenario(1000, 700, 100, 0.5))
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_RuleColumns, N100000, scenario(100000, 80000, 10000, 0.2))
    ->Unit(benchmark::kMillisecond);

void BM_GridRuleColumns(benchmark::State& bench) {
  const std::vector<std::string_view> args = {
      "--applicants", "100:2000:100",      "--minority-share",
      "0.1:0.4:0.1",  "--selection-ratio", "0.05,0.1,0.2,0.3,0.5",
      "--d",          "0,0.2,0.5"};
  const grid::ParsedOptions parsed = grid::parse_options(args);
  const grid::GridOutcome built = grid::build_grid(parsed.options);
  if (!parsed.ok() || !built.ok()) std::abort();
  ScenarioWork work;
  SideBySide t;
  for (auto _ : bench) {
    for (const Scenario& s : built.grid.scenarios) time_scenario(s, work, t);
  }
  report(bench, t);
  bench.counters["scenarios"] = static_cast<double>(built.grid.scenarios.size());
}
BENCHMARK(BM_GridRuleColumns)->Iterations(1)->UseRealTime()->Unit(benchmark::kSecond);

}  // namespace
}  // namespace kemro
