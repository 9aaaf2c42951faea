// The shared helpers of the entry points (compute.hpp).
#include "compute.hpp"

#include <cmath>
#include <stdexcept>

namespace kemro::r {

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

unsigned jobs_checked(int jobs) {
  if (jobs < 0 || static_cast<unsigned>(jobs) > MAX_WORKERS) {
    throw std::invalid_argument("`jobs` must lie between 0 (one per core) and " +
                                std::to_string(MAX_WORKERS) + ", not " + std::to_string(jobs));
  }
  return static_cast<unsigned>(jobs);
}

bool check_interrupt() {
  Rcpp::checkUserInterrupt();
  return false;
}

std::vector<ScenarioResult> compute_all(const std::vector<Scenario>& scenarios, Engine engine,
                                        bool keep_distribution, unsigned jobs, WorkAreas& work) {
  return compute_all_in_order(
      scenarios.size(), jobs, work,
      [&](std::size_t i, ScenarioWork& area) {
        return kemro::compute_scenario(scenarios[i], engine, keep_distribution, area);
      },
      PoolControl{nullptr, check_interrupt});
}

}  // namespace kemro::r
