// Computing the scenarios of a grid: one library compute_scenario per
// scenario, on a pool of worker threads that each own their integration work
// areas and table.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "distribution/scenario_summary.hpp"
#include "tools/grid/options.hpp"

namespace kemro::grid {

// The library's summary of one scenario, as the grid's renderers take it.
using kemro::DistributionEntry;
using kemro::ScenarioResult;

// The work areas of one worker thread; allocate them on the main thread.
using Worker = ScenarioWork;

// Computes every scenario on `jobs` threads (0: one per core, never more than
// there are scenarios), results in scenario order. `progress` is called on the
// calling thread with the number of scenarios done, at least every
// PROGRESS_INTERVAL while the work lasts and once at the end.
inline constexpr double PROGRESS_INTERVAL = 0.1;  // seconds
std::vector<ScenarioResult> compute_grid(const std::vector<Scenario>& scenarios, Engine engine,
                                         bool keep_distribution, unsigned jobs,
                                         const std::function<void(std::size_t done)>& progress);

}  // namespace kemro::grid
