// Benchmark of the two engines on a whole kemro-grid grid: the 1200 scenarios
// of --applicants 100:2000:100 --minority-share 0.1:0.4:0.1
// --selection-ratio 0.05,0.1,0.2,0.3,0.5 --d 0,0.2,0.5, computed by the grid
// tool's thread pool with one thread per core, once with each engine.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string_view>
#include <thread>
#include <vector>

#include "tools/grid/options.hpp"
#include "tools/grid/scenario.hpp"

namespace kemro::grid {
namespace {

Grid benchmark_grid() {
  const std::vector<std::string_view> args = {
      "--applicants", "100:2000:100",      "--minority-share",
      "0.1:0.4:0.1",  "--selection-ratio", "0.05,0.1,0.2,0.3,0.5",
      "--d",          "0,0.2,0.5"};
  const ParsedOptions parsed = parse_options(args);
  GridOutcome built = build_grid(parsed.options);
  if (!parsed.ok() || !built.ok()) std::abort();
  return std::move(built.grid);
}

void BM_Grid(benchmark::State& bench, Engine engine) {
  const Grid grid = benchmark_grid();
  const unsigned threads = std::max(1u, std::thread::hardware_concurrency());
  for (auto _ : bench) {
    const auto results = compute_grid(grid.scenarios, engine, false, threads, [](std::size_t) {});
    benchmark::DoNotOptimize(results.data());
  }
  bench.counters["scenarios"] = static_cast<double>(grid.scenarios.size());
  bench.counters["threads"] = threads;
}
BENCHMARK_CAPTURE(BM_Grid, fast, Engine::fast)
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kSecond);
BENCHMARK_CAPTURE(BM_Grid, nested, Engine::nested)
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kSecond);

}  // namespace
}  // namespace kemro::grid
