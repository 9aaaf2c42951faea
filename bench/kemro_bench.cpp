// Benchmarks: the normal distribution function, the two integrands, one outer
// integration, and whole computations (no dialog) for a fixed set of problems,
// by the nested engine and, side by side, by the fast engine (which also runs
// the problems too large for the nested one).
#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>

#include "distribution/analysis.hpp"
#include "model/binomial.hpp"
#include "model/fast/outcomes.hpp"
#include "model/integrator.hpp"
#include "model/nested/integrands.hpp"
#include "model/normal.hpp"

namespace kemro {
namespace {

// Ignores everything the outcome stage reports.
class SilentListener final : public OutcomeListener {
 public:
  void integration_warning(int) override {}
  void trace_row(std::int32_t, std::int32_t, std::int32_t, double, double) override {}
  void abnormal_return(int) override {}
  void notice(std::string_view) override {}
};

// The state of the problem with N applicants, N1 of them majority, K hires, effect size d.
ModelState bench_state(std::int32_t N, std::int32_t N1, std::int32_t K, double d) {
  return problem_state(N1, N - N1, K, d);
}

void BM_PHID(benchmark::State& bench) {
  double x = -9.0, sum = 0.0;
  for (auto _ : bench) {
    sum += PHID(x);
    x = x > 9.0 ? -9.0 : x + 0.001;
  }
  benchmark::DoNotOptimize(sum);
}
BENCHMARK(BM_PHID);

// One outcome of (1000, 700, 100, 1.0): I = 661, J = 260 (t = 40).
ModelState typical_outcome(Integrators& work, SilentListener& listener) {
  ModelState state = bench_state(1000, 700, 100, 1.0);
  state.inner_workspace = &work.inner;
  state.listener = &listener;
  set_outcome_indices(state, 661, 260);
  return state;
}

void BM_FU1(benchmark::State& bench) {
  Integrators work;
  SilentListener listener;
  ModelState state = typical_outcome(work, listener);
  double y = 0.0, sum = 0.0;
  for (auto _ : bench) {
    sum += FU1(y, &state);
    y = y > 1.5 ? 0.0 : y + 0.001;
  }
  benchmark::DoNotOptimize(sum);
}
BENCHMARK(BM_FU1);

void BM_FUN(benchmark::State& bench) {
  Integrators work;
  SilentListener listener;
  ModelState state = typical_outcome(work, listener);
  double x = 0.8, sum = 0.0;
  for (auto _ : bench) {
    sum += FUN(x, &state);
    x = x > 2.0 ? 0.8 : x + 0.01;
  }
  benchmark::DoNotOptimize(sum);
  bench.counters["FU1_per_FUN"] =
      static_cast<double>(state.FU1_evaluations) / static_cast<double>(state.FUN_evaluations);
}
BENCHMARK(BM_FUN);

void BM_OuterIntegration(benchmark::State& bench) {
  Integrators work;
  SilentListener listener;
  ModelState state = typical_outcome(work, listener);
  gsl_function F{&FUN, &state};
  double sum = 0.0;
  for (auto _ : bench) sum += QAG(F, -6.5, 6.5, 1e-9, 1e-8, work.outer).RESULT;
  benchmark::DoNotOptimize(sum);
}
BENCHMARK(BM_OuterIntegration)->Unit(benchmark::kMillisecond);

// A whole computation: population stage, outcome stage, table and summaries.
// The evaluation counts are those of the outcomes used, the same on one
// thread or two; seconds_per_FU1 is elapsed time over them.
void run_problem(benchmark::State& bench, bool parallel_outcomes) {
  const auto N = static_cast<std::int32_t>(bench.range(0));
  const auto N1 = static_cast<std::int32_t>(bench.range(1));
  const auto K = static_cast<std::int32_t>(bench.range(2));
  const double d = static_cast<double>(bench.range(3)) / 10.0;
  Integrators work;
  auto table = std::make_unique<Table>();
  SilentListener listener;
  std::uint64_t fu1 = 0, fun = 0;
  for (auto _ : bench) {
    ModelState state = bench_state(N, N1, K, d);
    state.parallel_outcomes = parallel_outcomes;
    const CFUN share{static_cast<double>(N1) / static_cast<double>(N)};
    benchmark::DoNotOptimize(analyse(state, share, work, *table, listener));
    fu1 += state.FU1_evaluations;
    fun += state.FUN_evaluations;
  }
  const auto iterations = static_cast<double>(bench.iterations());
  bench.counters["FU1_evaluations"] = static_cast<double>(fu1) / iterations;
  bench.counters["FUN_evaluations"] = static_cast<double>(fun) / iterations;
  bench.counters["seconds_per_FU1"] = benchmark::Counter(
      static_cast<double>(fu1), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

// As the program runs it: outcomes integrated ahead on a second thread where there is a second
// core.
void BM_Problem(benchmark::State& bench) {
  run_problem(bench, true);
}
// Everything on the calling thread.
void BM_ProblemOneThread(benchmark::State& bench) {
  run_problem(bench, false);
}

// Arguments: N, N1, K, 10 * d.
void benchmark_problems(benchmark::internal::Benchmark* b) {
  b->Args({1000, 700, 100, 10})
      ->Args({2000, 1500, 400, 5})
      ->Args({10000, 8000, 1000, 5})
      ->Args({100000, 80000, 10000, 5})
      ->Unit(benchmark::kSecond)
      ->Iterations(1)
      ->UseRealTime();
}
BENCHMARK(BM_Problem)->Apply(benchmark_problems);
BENCHMARK(BM_ProblemOneThread)->Apply(benchmark_problems);

// The saddle-point log binomial near the mode of a large count.
void BM_LogBinomial(benchmark::State& bench) {
  double k = 2490000.0, sum = 0.0;
  for (auto _ : bench) {
    sum += log_binomial_probability(k, 10000000.0, 0.25, 0.75);
    k = k > 2510000.0 ? 2490000.0 : k + 1.0;
  }
  benchmark::DoNotOptimize(sum);
}
BENCHMARK(BM_LogBinomial);

// The fast engine's outcome probabilities alone (always on the calling
// thread); evaluations counts the integrand's terms, window the outcomes kept.
void BM_FastEngine(benchmark::State& bench) {
  const auto N = static_cast<std::int32_t>(bench.range(0));
  const auto N1 = static_cast<std::int32_t>(bench.range(1));
  const auto K = static_cast<std::int32_t>(bench.range(2));
  const double d = static_cast<double>(bench.range(3)) / 10.0;
  OutcomeProbabilities result;
  for (auto _ : bench) {
    result = fast_outcome_probabilities(N1, N - N1, K, d);
    benchmark::DoNotOptimize(result.point.data());
  }
  bench.counters["evaluations"] = static_cast<double>(result.evaluations);
  bench.counters["window"] = static_cast<double>(result.point.size());
  bench.counters["abserr"] = result.abserr;
}

// A whole computation with the fast engine: population stage, outcome
// probabilities, table and summaries, as analyse_fast runs them.
void BM_FastProblem(benchmark::State& bench) {
  const auto N = static_cast<std::int32_t>(bench.range(0));
  const auto N1 = static_cast<std::int32_t>(bench.range(1));
  const auto K = static_cast<std::int32_t>(bench.range(2));
  const double d = static_cast<double>(bench.range(3)) / 10.0;
  auto table = std::make_unique<Table>();
  for (auto _ : bench) {
    ModelState state = bench_state(N, N1, K, d);
    const CFUN share{static_cast<double>(N1) / static_cast<double>(N)};
    benchmark::DoNotOptimize(analyse_fast(state, share, *table));
  }
}

// The nested engine's problems, then the large ones only the fast engine runs:
// arguments N, N1, K, 10 * d.
void fast_problems(benchmark::internal::Benchmark* b) {
  b->Args({1000, 700, 100, 10})
      ->Args({2000, 1500, 400, 5})
      ->Args({10000, 8000, 1000, 5})
      ->Args({100000, 80000, 10000, 5})
      ->Args({1000000, 800000, 100000, 5})
      ->Args({300000, 150000, 149000, 3})
      ->Args({10000000, 8000000, 1000000, 5})
      ->Unit(benchmark::kMillisecond)
      ->UseRealTime();
}
BENCHMARK(BM_FastEngine)->Apply(fast_problems);
BENCHMARK(BM_FastProblem)->Apply(fast_problems);

}  // namespace
}  // namespace kemro

BENCHMARK_MAIN();
