#include "tools/grid/scenario.hpp"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace kemro::grid {

std::vector<ScenarioResult> compute_grid(const std::vector<Scenario>& scenarios, Engine engine,
                                         bool keep_distribution, unsigned jobs,
                                         const std::function<void(std::size_t done)>& progress) {
  const std::size_t total = scenarios.size();
  std::vector<ScenarioResult> results(total);
  if (jobs == 0) jobs = std::max(1u, std::thread::hardware_concurrency());
  const std::size_t threads = std::min<std::size_t>(jobs, total);

  // The work areas are made here: GSL's error handler is switched off on this
  // thread, before any worker integrates.
  std::vector<std::unique_ptr<Worker>> workers;
  for (std::size_t t = 0; t < threads; ++t) workers.push_back(std::make_unique<Worker>());

  std::atomic<std::size_t> next{0};
  std::size_t done = 0;
  std::mutex mutex;
  std::condition_variable finished_one;
  {
    std::vector<std::jthread> pool;
    for (std::size_t t = 0; t < threads; ++t) {
      pool.emplace_back([&, worker = workers[t].get()] {
        for (std::size_t i = next++; i < total; i = next++) {
          results[i] = compute_scenario(scenarios[i], engine, keep_distribution, *worker);
          const std::lock_guard lock(mutex);
          if (++done == total) finished_one.notify_one();
        }
      });
    }
    std::unique_lock lock(mutex);
    for (;;) {
      finished_one.wait_for(lock, std::chrono::duration<double>(PROGRESS_INTERVAL),
                            [&] { return done == total; });
      const std::size_t so_far = done;
      lock.unlock();
      progress(so_far);
      if (so_far == total) break;
      lock.lock();
    }
  }  // the pool joins here
  return results;
}

}  // namespace kemro::grid
