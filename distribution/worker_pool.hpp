// The one pool of worker threads every front end computes with (kemro-grid,
// kemro-observed, the R and Python packages): items numbered 0 .. count - 1
// are computed on worker threads, each thread with a work area of its own,
// and every result is handed to the caller on the calling thread, in item
// order, as soon as that item and all before it are done.
//
// The calling thread does all the talking: it delivers results, reports
// progress and polls the caller's stop request (a signal flag, R's interrupt
// check, Python's signal handlers), so that a front end whose API is
// single-threaded is only ever called from its own thread. An exception
// thrown by a worker stops the others and is rethrown on the calling thread
// once every worker has joined; so is one thrown by a callback.
#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

namespace kemro {

// Most worker threads a caller may ask for (kemro-grid's --jobs, the R and
// Python packages' `jobs`): far more than the cores of any machine this runs
// on, small enough that the threads' stacks and work areas stay modest.
inline constexpr unsigned MAX_WORKERS = 256;

// Most worker threads started per core, whatever was asked for: the work
// never waits for anything but a core, so threads beyond the cores only take
// turns on them, each holding its stack, its allocator caches and a scenario
// half done (some 50 kB even for small scenarios). A few per core still keep
// every core busy while other programs compete for it.
inline constexpr unsigned MAX_WORKERS_PER_CORE = 8;

// How often the calling thread reports progress and polls the stop request
// while no result is ready: short enough that a stop feels immediate.
inline constexpr std::chrono::milliseconds POOL_POLL_INTERVAL{100};

// The threads a run of `count` items uses when `jobs` are asked for: one per
// core for 0, never more than there are items nor MAX_WORKERS_PER_CORE per
// core, at least one for any item.
unsigned worker_count(unsigned jobs, std::size_t count);

// What the calling thread does besides delivering results; either may be empty.
struct PoolControl {
  // Called with the number of items done (in any order), at least every
  // POOL_POLL_INTERVAL while the work lasts and once at the end.
  std::function<void(std::size_t done)> progress;
  // Polled about every POOL_POLL_INTERVAL and after each delivery; once it
  // returns true the workers take no new item, the ones running finish, and
  // only the items done without a gap from the first are delivered.
  std::function<bool()> stop;
};

// The work areas of the workers, one each, made on the calling thread (the
// constructors may switch library-wide settings, such as GSL's error handler,
// before any worker starts) and kept for later runs, as a solve's batches use.
template <typename Area>
struct WorkAreas {
  std::vector<std::unique_ptr<Area>> areas;

  // At least `count` work areas.
  void reserve(std::size_t count) {
    while (areas.size() < count) areas.push_back(std::make_unique<Area>());
  }
};

namespace detail {

// The pool without its result type: `compute(index, worker)` runs on worker
// `worker` (0 .. threads - 1) and stores its result; `deliver(index)` runs on
// the calling thread in index order. Returns the number of items delivered.
std::size_t run_pool(std::size_t count, unsigned threads,
                     const std::function<void(std::size_t index, unsigned worker)>& compute,
                     const std::function<void(std::size_t index)>& deliver,
                     const PoolControl& control);

}  // namespace detail

// Computes `compute(index, area)` for every index below `count` on up to
// `jobs` threads (0: one per core), `area` the worker's own from `areas`, and
// calls `deliver(index, result)` with each result in index order on the
// calling thread (the result may be moved from). Only the results waiting
// for an earlier item are held. Returns the number of items delivered: all of
// them unless `control.stop` asked to stop.
template <typename Area, typename Compute, typename Deliver>
std::size_t compute_in_order(std::size_t count, unsigned jobs, WorkAreas<Area>& areas,
                             Compute compute, Deliver deliver, const PoolControl& control = {}) {
  using Result = decltype(compute(std::size_t{0}, std::declval<Area&>()));
  const unsigned threads = worker_count(jobs, count);
  areas.reserve(threads);
  std::mutex mutex;
  std::map<std::size_t, Result> waiting;  // done, not yet delivered
  return detail::run_pool(
      count, threads,
      [&](std::size_t index, unsigned worker) {
        Result result = compute(index, *areas.areas[worker]);
        const std::lock_guard lock(mutex);
        waiting.emplace(index, std::move(result));
      },
      [&](std::size_t index) {
        auto node = [&] {
          const std::lock_guard lock(mutex);
          return waiting.extract(index);
        }();
        deliver(index, node.mapped());
      },
      control);
}

// The collect-all form: every result in index order (default values after a stop).
template <typename Area, typename Compute>
auto compute_all_in_order(std::size_t count, unsigned jobs, WorkAreas<Area>& areas, Compute compute,
                          const PoolControl& control = {}) {
  using Result = decltype(compute(std::size_t{0}, std::declval<Area&>()));
  std::vector<Result> results(count);
  compute_in_order(
      count, jobs, areas, compute,
      [&](std::size_t index, Result& result) { results[index] = std::move(result); }, control);
  return results;
}

// Work for items that need no work area of their own.
struct NoWorkArea {};

}  // namespace kemro
