// Benchmark of what the rule columns (every P_flag_*) add to a scenario, side
// by side with the scenario without them, on the calling thread with the fast
// engine: for a few single scenarios, and for the 1200 scenarios of the grid
// benchmark (grid_bench.cpp) one after the other.
//
// compute_scenario always takes the rules' flag rates, so "without" is the
// scenario's time less the time of the rules' pass (table_flag_probabilities)
// over the same table, measured on its own right after. Counters, in seconds
// per iteration: with_rules, rule_columns, without_rules; ratio is
// with_rules / without_rules (the goal: at most 1.5 for a scenario, under 2
// for the grid).
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "distribution/scenario.hpp"
#include "distribution/scenario_summary.hpp"
#include "tools/grid/options.hpp"

namespace kemro {
namespace {

using Clock = std::chrono::steady_clock;

double seconds_since(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// Times each scenario with its rule columns and then the rules' pass alone.
struct SideBySide {
  double with_rules = 0.0;
  double rule_columns = 0.0;
};

void time_scenario(const Scenario& s, ScenarioWork& work, SideBySide& t) {
  Clock::time_point start = Clock::now();
  const ScenarioResult r = compute_scenario(s, Engine::fast, false, work);
  t.with_rules += seconds_since(start);
  benchmark::DoNotOptimize(r.P_flag.data());
  // The rule columns alone, over the same point probabilities (taken outside the clock).
  const ScenarioResult whole = compute_scenario(s, Engine::fast, true, work);
  std::vector<double> point;
  for (const DistributionEntry& e : whole.distribution) point.push_back(e.PVS);
  const std::int32_t first = whole.distribution.empty() ? 0 : whole.distribution.front().NY;
  start = Clock::now();
  const RuleRates rates = flag_probabilities(s.N1, s.N2, s.K, first, point, s.levels);
  t.rule_columns += seconds_since(start);
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
