// Computing the scenarios of a grid: one analysis per scenario through the
// library's analyse(), the four-fifths summaries drawn from its table, and a
// pool of worker threads that each own their integration work areas and table.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "distribution/four_fifths.hpp"
#include "distribution/summaries.hpp"
#include "distribution/table.hpp"
#include "model/integrator.hpp"
#include "model/population.hpp"
#include "tools/grid/options.hpp"

namespace kemro::grid {

// The adverse impact ratio below which the four-fifths rule counts as violated.
inline constexpr double FOUR_FIFTHS = 0.8;

// One outcome S = NY of the distribution.
struct DistributionEntry {
  std::int32_t NY = 0;  // minority hires S
  std::int32_t NX = 0;  // majority hires K - S
  double AI = 0.0;      // UNDEFINED_RATIO when NX = 0
  double PVS = 0.0;     // P(S = NY)
  double PVSC = 0.0;    // P(S <= NY)
};

struct ScenarioResult {
  bool completed = false;  // false: the outcome stage gave up; only `population` is set
  PopulationValues population;
  double expected_SRA = 0.0;
  double expected_SRI = 0.0;
  double expected_AI = 0.0;                        // NaN when no outcome has a defined ratio
  std::array<double, NLDAT.size()> percentiles{};  // UNDEFINED_RATIO where undefined
  double P_below_four_fifths = 0.0;                // P(AI defined and AI < 0.8)
  double P_undefined = 0.0;                        // P(no majority hire)
  int warnings = 0;  // integration warnings, abnormal returns, negative point probabilities
  std::vector<DistributionEntry> distribution;  // entries 1..M, when asked for
};

// Sum of PVS over the entries with a defined AI below 0.8: the joint
// probability, not one conditional on the ratio being defined.
double probability_below_four_fifths(const Table& table, std::int32_t N1, std::int32_t N2);

// Sum of PVS over the entries without majority hires.
double probability_undefined(const Table& table);

// The work areas of one worker thread; allocate them on the main thread.
struct Worker {
  Integrators integrators;
  Table table;
};

ScenarioResult compute_scenario(const Scenario& scenario, bool keep_distribution, Worker& worker);

// What compute_grid_in_order reports to its caller, always on the calling thread.
struct GridCallbacks {
  // Called with the number of scenarios done (in any order), at least every
  // PROGRESS_INTERVAL while the work lasts and once at the end.
  std::function<void(std::size_t done)> progress;
  // Called once per scenario, in grid order, as soon as that scenario and all
  // before it are done; the result may be moved from.
  std::function<void(std::size_t index, ScenarioResult& result)> deliver;
  // Polled about every PROGRESS_INTERVAL; once it returns true the workers take
  // no new scenario, the ones running finish, and only the scenarios done
  // without a gap from the first are delivered. May be empty (never stop).
  std::function<bool()> stop;
};

// Computes the scenarios on `jobs` threads (0: one per core, never more than
// there are scenarios) and hands each result to `callbacks.deliver` in grid
// order. Returns the number of scenarios delivered: all of them unless stopped.
inline constexpr double PROGRESS_INTERVAL = 0.1;  // seconds
std::size_t compute_grid_in_order(const std::vector<Scenario>& scenarios, bool keep_distribution,
                                  unsigned jobs, const GridCallbacks& callbacks);

// The collect-all form: every result, in scenario order. `progress` as above.
std::vector<ScenarioResult> compute_grid(const std::vector<Scenario>& scenarios,
                                         bool keep_distribution, unsigned jobs,
                                         const std::function<void(std::size_t done)>& progress);

}  // namespace kemro::grid
