// The library's worker pool: results in index order on the calling thread
// whatever order the workers finish in, one work area per worker, a stop
// request that ends the run with a gapless prefix delivered, and exceptions
// from workers and from the caller's callbacks carried to the caller after
// every worker has joined.
#include "distribution/worker_pool.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <set>
#include <stdexcept>
#include <thread>
#include <vector>

namespace {

using kemro::compute_all_in_order;
using kemro::compute_in_order;
using kemro::NoWorkArea;
using kemro::PoolControl;
using kemro::WorkAreas;

// A work area that remembers which thread used it.
struct Area {
  std::set<std::thread::id> users;
};

TEST(WorkerPool, DeliversInIndexOrderOnTheCallingThreadWhateverOrderWorkFinishes) {
  for (const unsigned jobs : {1u, 3u, 8u}) {
    SCOPED_TRACE(jobs);
    const auto caller = std::this_thread::get_id();
    WorkAreas<Area> areas;
    std::vector<std::size_t> order;
    std::size_t last_progress = 0;
    const std::size_t delivered = compute_in_order(
        20, jobs, areas,
        [&](std::size_t i, Area& area) {
          area.users.insert(std::this_thread::get_id());
          // Early items take longest, so later ones finish first.
          std::this_thread::sleep_for(std::chrono::milliseconds(i < 3 ? 30 : 1));
          return i * i;
        },
        [&](std::size_t i, std::size_t& square) {
          EXPECT_EQ(std::this_thread::get_id(), caller);
          EXPECT_EQ(square, i * i);
          order.push_back(i);
        },
        PoolControl{[&](std::size_t done) { last_progress = done; }, nullptr});
    EXPECT_EQ(delivered, 20u);
    EXPECT_EQ(last_progress, 20u);
    ASSERT_EQ(order.size(), 20u);
    for (std::size_t i = 0; i < order.size(); ++i) EXPECT_EQ(order[i], i);
    // One work area per worker, never shared between threads.
    EXPECT_EQ(areas.areas.size(), jobs);
    for (const auto& area : areas.areas) EXPECT_LE(area->users.size(), 1u);
  }
}

TEST(WorkerPool, AStopDeliversOnlyAGaplessPrefixAndTakesNoNewItem) {
  WorkAreas<NoWorkArea> none;
  std::atomic<std::size_t> started{0};
  std::vector<std::size_t> order;
  const std::size_t delivered = compute_in_order(
      1000, 2, none,
      [&](std::size_t i, NoWorkArea&) {
        ++started;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        return i;
      },
      [&](std::size_t i, std::size_t&) { order.push_back(i); },
      PoolControl{nullptr, [&] { return !order.empty(); }});
  EXPECT_EQ(delivered, order.size());
  EXPECT_GE(delivered, 1u);
  EXPECT_LT(started.load(), 1000u);
  for (std::size_t i = 0; i < order.size(); ++i) EXPECT_EQ(order[i], i);
}

TEST(WorkerPool, ExceptionsReachTheCallerAfterTheWorkersJoin) {
  struct Case {
    const char* what;
    bool from_worker;
  };
  for (const Case c : {Case{"worker", true}, Case{"callback", false}}) {
    SCOPED_TRACE(c.what);
    WorkAreas<NoWorkArea> none;
    std::atomic<int> running{0};
    std::atomic<std::size_t> computed{0};
    const auto run = [&] {
      compute_all_in_order(
          500, 4, none,
          [&](std::size_t i, NoWorkArea&) {
            ++running;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            ++computed;
            --running;
            if (c.from_worker && i == 7) throw std::runtime_error("item 7");
            return i;
          },
          PoolControl{nullptr, [&]() -> bool {
                        if (!c.from_worker) throw std::runtime_error("stop check");
                        return false;
                      }});
    };
    EXPECT_THROW(run(), std::runtime_error);
    EXPECT_EQ(running.load(), 0);  // no worker still computing
    EXPECT_LT(computed.load(), 500u);
  }
}

TEST(WorkerPool, ThreadCountFollowsJobsAndItems) {
  EXPECT_EQ(kemro::worker_count(4, 0), 0u);
  EXPECT_EQ(kemro::worker_count(4, 2), 2u);
  EXPECT_EQ(kemro::worker_count(4, 100), 4u);
  EXPECT_GE(kemro::worker_count(0, 100), 1u);
  WorkAreas<NoWorkArea> none;
  std::size_t progress_calls = 0;
  EXPECT_EQ(
      compute_in_order(
          0, 4, none, [](std::size_t i, NoWorkArea&) { return i; },
          [](std::size_t, std::size_t&) { ADD_FAILURE() << "nothing to deliver"; },
          PoolControl{[&](std::size_t done) { progress_calls += done == 0 ? 1 : 100; }, nullptr}),
      0u);
  EXPECT_EQ(progress_calls, 1u);
}

// Asking for the most threads starts no more than a few per core: each
// further thread would only wait for a core while holding its memory.
TEST(WorkerPool, StartsAtMostAFewThreadsPerCore) {
  const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
  const unsigned most = cores * kemro::MAX_WORKERS_PER_CORE;
  WorkAreas<Area> areas;
  std::set<std::thread::id> threads;
  const auto computed =
      compute_all_in_order(5000, kemro::MAX_WORKERS, areas, [&](std::size_t i, Area& area) {
        area.users.insert(std::this_thread::get_id());
        return i;
      });
  for (std::size_t i = 0; i < computed.size(); ++i) ASSERT_EQ(computed[i], i);
  EXPECT_EQ(areas.areas.size(), std::min(kemro::MAX_WORKERS, most));
  for (const auto& area : areas.areas) threads.insert(area->users.begin(), area->users.end());
  EXPECT_LE(threads.size(), most);
}

}  // namespace
