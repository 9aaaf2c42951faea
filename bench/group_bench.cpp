// Benchmark of the G-group engine (group_selection_summary), one problem per
// run on the calling thread: three groups at N = 1000, K = 100; four groups at
// N = 10,000, K = 1000 (shares 0.6/0.2/0.12/0.08, d 0/1/0.7/0.3), the same
// four with equal shares at K = N/2, and a cut score for four groups. Five
// groups at N = 10,000 take tens of seconds and run only when
// KEMRO_BENCH_LONG is set in the environment. Each case reports the engine's
// evaluations and the peak resident memory of the process so far (MB).
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <cstdlib>

#include "model/fast/group_selection.hpp"

namespace kemro {
namespace {

double peak_memory_mb() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_maxrss) / 1024.0;  // ru_maxrss is in kB on Linux
}

void BM_Groups(benchmark::State& bench, GroupProblem problem) {
  GroupSummary summary;
  for (auto _ : bench) {
    summary = group_selection_summary(problem);
    benchmark::DoNotOptimize(summary.P_any_below);
  }
  bench.counters["evaluations"] = static_cast<double>(summary.evaluations);
  bench.counters["status"] = static_cast<double>(static_cast<int>(summary.status));
  bench.counters["peak_MB"] = peak_memory_mb();
}

const GroupProblem THREE = {{600, 250, 150}, {0.0, 1.0, 0.5}, SelectionRule::top_down, 100, 0.0};
const GroupProblem FOUR = {
    {6000, 2000, 1200, 800}, {0.0, 1.0, 0.7, 0.3}, SelectionRule::top_down, 1000, 0.0};
const GroupProblem FOUR_EQUAL = {
    {2500, 2500, 2500, 2500}, {0.0, 1.0, 0.7, 0.3}, SelectionRule::top_down, 5000, 0.0};
const GroupProblem FOUR_CUT = {
    {6000, 2000, 1200, 800}, {0.0, 1.0, 0.7, 0.3}, SelectionRule::cut_score, 0, 1.0};
const GroupProblem FIVE = {
    {5000, 2000, 1200, 1000, 800}, {0.0, 1.0, 0.7, 0.3, 0.5}, SelectionRule::top_down, 1000, 0.0};

BENCHMARK_CAPTURE(BM_Groups, three_N1000_K100, THREE)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Groups, four_N10000_K1000, FOUR)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Groups, four_equal_N10000_K5000, FOUR_EQUAL)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Groups, four_cut_score_N10000, FOUR_CUT)->Unit(benchmark::kMillisecond);

// The long case, registered only on request.
const bool FIVE_REGISTERED =
    std::getenv("KEMRO_BENCH_LONG") != nullptr &&
    benchmark::RegisterBenchmark("BM_Groups/five_N10000_K1000", BM_Groups, FIVE)
            ->Iterations(1)
            ->Unit(benchmark::kMillisecond) != nullptr;

}  // namespace
}  // namespace kemro
