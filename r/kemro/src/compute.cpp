// The shared helpers of the entry points and the worker pool (compute.hpp).
#include "compute.hpp"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <stdexcept>
#include <thread>

namespace kemro::r {

namespace {

// How often the main thread looks for an interrupt from the R console while
// worker threads compute.
constexpr std::chrono::milliseconds INTERRUPT_POLL{100};

}  // namespace

Engine engine_named(const std::string& name) {
  Engine engine = Engine::fast;
  if (!kemro::engine_from_name(name, engine)) {
    throw std::invalid_argument("`engine` must be \"fast\" or \"nested\", not \"" + name + "\"");
  }
  return engine;
}

Scenario valid_scenario(int N, int N1, int K, double d, Engine engine, const std::string& which,
                        const kemro::RuleLevels& levels) {
  const Scenario s{N, N1, N - N1, K, d, levels};
  const std::string reason = kemro::scenario_invalid_reason(s, engine);
  if (!reason.empty()) throw std::invalid_argument(which + reason);
  return s;
}

double finite_or_na(double value) {
  return std::isfinite(value) ? value : NA_REAL;
}

double number_or_na(double value) {
  return std::isnan(value) ? NA_REAL : value;
}

double ratio_or_na(double AI) {
  return AI == kemro::UNDEFINED_RATIO ? NA_REAL : finite_or_na(AI);
}

void WorkAreas::reserve(std::size_t count) {
  while (areas.size() < count) areas.push_back(std::make_unique<ScenarioWork>());
}

std::vector<ScenarioResult> compute_all(const std::vector<Scenario>& scenarios, Engine engine,
                                        bool keep_distribution, unsigned jobs, WorkAreas& work) {
  const std::size_t total = scenarios.size();
  std::vector<ScenarioResult> results(total);
  if (total == 0) return results;
  if (jobs == 0) jobs = std::max(1u, std::thread::hardware_concurrency());
  const std::size_t threads = std::min<std::size_t>(jobs, total);
  work.reserve(threads);

  std::atomic<std::size_t> next{0};
  std::atomic<bool> stop{false};
  std::size_t finished = 0;  // workers that have ended, under `mutex`
  std::exception_ptr failure;
  std::mutex mutex;
  std::condition_variable worker_ended;
  {
    std::vector<std::jthread> pool;
    for (std::size_t t = 0; t < threads; ++t) {
      pool.emplace_back([&, w = work.areas[t].get()] {
        try {
          for (std::size_t i = next++; i < total && !stop; i = next++) {
            results[i] = kemro::compute_scenario(scenarios[i], engine, keep_distribution, *w);
          }
        } catch (...) {
          const std::lock_guard lock(mutex);
          if (!failure) failure = std::current_exception();
          stop = true;
        }
        const std::lock_guard lock(mutex);
        ++finished;
        worker_ended.notify_one();
      });
    }
    std::unique_lock lock(mutex);
    while (finished < threads) {
      worker_ended.wait_for(lock, INTERRUPT_POLL);
      if (finished == threads) break;
      lock.unlock();
      try {
        Rcpp::checkUserInterrupt();
      } catch (...) {
        stop = true;
        throw;  // the pool joins while the interrupt unwinds
      }
      lock.lock();
    }
  }  // the pool joins here
  if (failure) std::rethrow_exception(failure);
  return results;
}

}  // namespace kemro::r
