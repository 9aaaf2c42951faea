#include "distribution/worker_pool.hpp"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <exception>
#include <system_error>
#include <thread>

namespace kemro {

unsigned worker_count(unsigned jobs, std::size_t count) {
  if (count == 0) return 0;
  const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
  if (jobs == 0) jobs = cores;
  jobs = std::min(jobs, cores * MAX_WORKERS_PER_CORE);
  return static_cast<unsigned>(std::min<std::size_t>(jobs, count));
}

namespace detail {

namespace {

// Sets the flag when the calling thread leaves the pool's scope, by an
// exception too, so that the workers take no new item before they are joined.
struct StopOnLeave {
  std::atomic<bool>& stopping;
  ~StopOnLeave() { stopping = true; }
};

}  // namespace

std::size_t run_pool(std::size_t count, unsigned threads,
                     const std::function<void(std::size_t index, unsigned worker)>& compute,
                     const std::function<void(std::size_t index)>& deliver,
                     const PoolControl& control) {
  if (count == 0 || threads == 0) {
    if (control.progress) control.progress(0);
    return 0;
  }
  std::atomic<std::size_t> next{0};
  std::atomic<bool> stopping{false};
  std::mutex mutex;
  std::condition_variable changed;
  std::vector<char> finished(count, 0);  // under `mutex`, as are the three counts
  std::size_t done = 0;                  // finished, in any order
  std::size_t running = threads;         // workers still looping
  std::exception_ptr failure;            // the first exception a worker threw
  std::size_t delivered = 0;             // this thread's own

  const auto work = [&](unsigned worker) {
    try {
      for (std::size_t i = next++; i < count && !stopping; i = next++) {
        compute(i, worker);
        const std::lock_guard lock(mutex);
        finished[i] = 1;
        ++done;
        changed.notify_one();
      }
    } catch (...) {
      const std::lock_guard lock(mutex);
      if (!failure) failure = std::current_exception();
      stopping = true;
    }
    const std::lock_guard lock(mutex);
    --running;
    changed.notify_one();
  };
  {
    std::vector<std::jthread> pool;
    const StopOnLeave stop_on_leave{stopping};  // before the pool joins
    pool.reserve(threads);
    for (unsigned t = 0; t < threads; ++t) {
      try {
        pool.emplace_back(work, t);
      } catch (const std::system_error&) {
        // The system has no more threads to give: the ones started do the work.
        if (pool.empty()) throw;
        const std::lock_guard lock(mutex);
        running -= threads - t;
        break;
      }
    }
    std::unique_lock lock(mutex);
    for (;;) {
      changed.wait_for(lock, POOL_POLL_INTERVAL,
                       [&] { return running == 0 || (delivered < count && finished[delivered]); });
      std::size_t ready = delivered;
      while (ready < count && finished[ready]) ++ready;
      const std::size_t so_far = done;
      const bool over = running == 0;
      // Results are delivered without the lock, so that workers go on meanwhile.
      lock.unlock();
      for (; delivered < ready; ++delivered) deliver(delivered);
      if (control.progress) control.progress(so_far);
      if (over) break;
      if (!stopping && control.stop && control.stop()) stopping = true;
      lock.lock();
    }
  }  // the pool joins here
  if (failure) std::rethrow_exception(failure);
  return delivered;
}

}  // namespace detail

}  // namespace kemro
