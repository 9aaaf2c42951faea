#include "tools/grid/scenario.hpp"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "distribution/analysis.hpp"

namespace kemro::grid {

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

double probability_undefined(const Table& table) {
  double sum = 0.0;
  for (std::int32_t m = 1; m <= table.M; ++m) {
    if (table.NX[m] == 0) sum += table.PVS[m];
  }
  return sum;
}

ScenarioResult compute_scenario(const Scenario& s, bool keep_distribution, Worker& worker) {
  ModelState state;
  state.density_constant = normal_density_constant();
  state.d = s.d;
  state.N1 = s.N1;
  state.N2 = s.N2;
  state.K = s.K;
  state.parallel_outcomes = false;  // the scenarios already keep every core busy
  const CFUN share{static_cast<double>(s.N1) / static_cast<double>(s.N)};

  WarningCounter warnings;
  const Analysis analysis = analyse(state, share, worker.integrators, worker.table, warnings);

  ScenarioResult r;
  r.population = analysis.population;
  r.completed = analysis.outcomes.completed;
  r.warnings = warnings.count;
  if (!r.completed) return r;

  const Table& table = worker.table;
  r.warnings += static_cast<int>(analysis.negative_probabilities.size());
  r.expected_SRA = analysis.expected.expected_SRA;
  r.expected_SRI = analysis.expected.expected_SRI;
  r.expected_AI = analysis.expected_AI;
  r.percentiles = analysis.percentiles;
  r.P_below_four_fifths = probability_below_four_fifths(table, s.N1, s.N2);
  r.P_undefined = probability_undefined(table);
  if (keep_distribution) r.distribution = copy_distribution(table);
  return r;
}

std::size_t compute_grid_in_order(const std::vector<Scenario>& scenarios, bool keep_distribution,
                                  unsigned jobs, const GridCallbacks& callbacks) {
  const std::size_t total = scenarios.size();
  if (total == 0) {
    if (callbacks.progress) callbacks.progress(0);
    return 0;
  }
  // Finished results wait here until every scenario before them is delivered.
  std::vector<ScenarioResult> results(total);
  std::vector<char> finished(total, 0);
  if (jobs == 0) jobs = std::max(1u, std::thread::hardware_concurrency());
  const std::size_t threads = std::min<std::size_t>(jobs, total);

  // The work areas are made here: GSL's error handler is switched off on this
  // thread, before any worker integrates.
  std::vector<std::unique_ptr<Worker>> workers;
  for (std::size_t t = 0; t < threads; ++t) workers.push_back(std::make_unique<Worker>());

  std::atomic<std::size_t> next{0};
  std::atomic<bool> stopping{false};
  std::size_t done = 0;           // finished, in any order
  std::size_t running = threads;  // workers still looping
  std::size_t delivered = 0;
  std::mutex mutex;
  std::condition_variable finished_one;
  {
    std::vector<std::jthread> pool;
    for (std::size_t t = 0; t < threads; ++t) {
      pool.emplace_back([&, worker = workers[t].get()] {
        for (std::size_t i = next++; i < total && !stopping; i = next++) {
          ScenarioResult r = compute_scenario(scenarios[i], keep_distribution, *worker);
          const std::lock_guard lock(mutex);
          results[i] = std::move(r);
          finished[i] = 1;
          ++done;
          finished_one.notify_one();
        }
        const std::lock_guard lock(mutex);
        --running;
        finished_one.notify_one();
      });
    }
    std::unique_lock lock(mutex);
    for (;;) {
      finished_one.wait_for(lock, std::chrono::duration<double>(PROGRESS_INTERVAL), [&] {
        return running == 0 || (delivered < total && finished[delivered]);
      });
      // Results leave the shared vector under the lock and are delivered without it.
      std::vector<std::pair<std::size_t, ScenarioResult>> ready;
      for (; delivered < total && finished[delivered]; ++delivered) {
        ready.emplace_back(delivered, std::move(results[delivered]));
      }
      const std::size_t so_far = done;
      const bool over = running == 0;
      lock.unlock();
      for (auto& [index, result] : ready) callbacks.deliver(index, result);
      if (callbacks.progress) callbacks.progress(so_far);
      if (over) break;
      if (!stopping && callbacks.stop && callbacks.stop()) stopping = true;
      lock.lock();
    }
  }  // the pool joins here
  return delivered;
}

std::vector<ScenarioResult> compute_grid(const std::vector<Scenario>& scenarios,
                                         bool keep_distribution, unsigned jobs,
                                         const std::function<void(std::size_t done)>& progress) {
  std::vector<ScenarioResult> results(scenarios.size());
  GridCallbacks callbacks;
  callbacks.progress = progress;
  callbacks.deliver = [&](std::size_t i, ScenarioResult& r) { results[i] = std::move(r); };
  compute_grid_in_order(scenarios, keep_distribution, jobs, callbacks);
  return results;
}

}  // namespace kemro::grid
