// Computing the scenarios of a grid: the library's compute_scenario for each,
// with the chosen engine, on the library's worker pool (each worker owns its
// integration work areas and table).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "distribution/scenario_summary.hpp"
#include "distribution/worker_pool.hpp"
#include "tools/grid/options.hpp"

namespace kemro::grid {

// The library's summary of one scenario, as the grid's renderers take it.
using kemro::DistributionEntry;
using kemro::FOUR_FIFTHS;
using kemro::ScenarioResult;

// What compute_grid_in_order reports to its caller, always on the calling thread.
struct GridCallbacks {
  // Called with the number of scenarios done (in any order), at least every
  // POOL_POLL_INTERVAL while the work lasts and once at the end.
  std::function<void(std::size_t done)> progress;
  // Called once per scenario, in grid order, as soon as that scenario and all
  // before it are done; the result may be moved from.
  std::function<void(std::size_t index, ScenarioResult& result)> deliver;
  // Polled about every POOL_POLL_INTERVAL; once it returns true the workers take
  // no new scenario, the ones running finish, and only the scenarios done
  // without a gap from the first are delivered. May be empty (never stop).
  std::function<bool()> stop;
};

// Computes the scenarios on `jobs` threads (0: one per core, never more than
// there are scenarios) and hands each result to `callbacks.deliver` in grid
// order. Returns the number of scenarios delivered: all of them unless stopped.
std::size_t compute_grid_in_order(const std::vector<Scenario>& scenarios, Engine engine,
                                  bool keep_distribution, unsigned jobs,
                                  const GridCallbacks& callbacks);

// The collect-all form: every result, in scenario order. `progress` as above.
std::vector<ScenarioResult> compute_grid(const std::vector<Scenario>& scenarios, Engine engine,
                                         bool keep_distribution, unsigned jobs,
                                         const std::function<void(std::size_t done)>& progress);

}  // namespace kemro::grid
