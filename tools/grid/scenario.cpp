#include "tools/grid/scenario.hpp"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace kemro::grid {

std::size_t compute_grid_in_order(const std::vector<Scenario>& scenarios, Engine engine,
                                  bool keep_distribution, unsigned jobs,
                                  const GridCallbacks& callbacks) {
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
          ScenarioResult r = compute_scenario(scenarios[i], engine, keep_distribution, *worker);
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

std::vector<ScenarioResult> compute_grid(const std::vector<Scenario>& scenarios, Engine engine,
                                         bool keep_distribution, unsigned jobs,
                                         const std::function<void(std::size_t done)>& progress) {
  std::vector<ScenarioResult> results(scenarios.size());
  GridCallbacks callbacks;
  callbacks.progress = progress;
  callbacks.deliver = [&](std::size_t i, ScenarioResult& r) { results[i] = std::move(r); };
  compute_grid_in_order(scenarios, engine, keep_distribution, jobs, callbacks);
  return results;
}

}  // namespace kemro::grid
