#include "tools/grid/scenario.hpp"

namespace kemro::grid {

std::size_t compute_grid_in_order(const std::vector<Scenario>& scenarios, Engine engine,
                                  bool keep_distribution, unsigned jobs,
                                  const GridCallbacks& callbacks) {
  WorkAreas<ScenarioWork> work;
  return compute_in_order(
      scenarios.size(), jobs, work,
      [&](std::size_t i, ScenarioWork& area) {
        return compute_scenario(scenarios[i], engine, keep_distribution, area);
      },
      callbacks.deliver, PoolControl{callbacks.progress, callbacks.stop});
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
