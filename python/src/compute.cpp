// The shared helpers of the entry points (compute.hpp).
#include "compute.hpp"

#include <stdexcept>

namespace kemro::python {

Engine engine_named(const std::string& name) {
  Engine engine = Engine::fast;
  if (!kemro::engine_from_name(name, engine)) {
    throw std::invalid_argument("engine must be \"fast\" or \"nested\", not \"" + name + "\"");
  }
  return engine;
}

unsigned jobs_checked(long long jobs) {
  if (jobs < 0 || jobs > MAX_WORKERS) {
    throw std::invalid_argument("jobs must lie between 0 (one per core) and " +
                                std::to_string(MAX_WORKERS) + ", not " + std::to_string(jobs));
  }
  return static_cast<unsigned>(jobs);
}

namespace {

// The elements of a one-dimensional array of `length` elements (any with SIZE_MAX).
template <typename Array>
auto elements_of(const Array& array, const char* name, std::size_t length) {
  if (array.ndim() != 1) {
    throw std::invalid_argument(std::string(name) + " must be one-dimensional, not of " +
                                std::to_string(array.ndim()) + " dimensions");
  }
  const auto n = static_cast<std::size_t>(array.shape(0));
  if (length != SIZE_MAX && n != length) {
    throw std::invalid_argument(std::string(name) + " has " + std::to_string(n) +
                                " elements, not " + std::to_string(length));
  }
  const auto* data = array.data();
  return std::vector(data, data + n);
}

}  // namespace

std::vector<std::int64_t> counts_of(const CountArray& array, const char* name, std::size_t length) {
  return elements_of(array, name, length);
}

std::vector<double> reals_of(const RealArray& array, const char* name, std::size_t length) {
  return elements_of(array, name, length);
}

Scenario valid_scenario(std::int64_t N, std::int64_t N1, std::int64_t K, double d, Engine engine,
                        const std::string& which, const std::string& N1_name,
                        const std::string& K_name, const RuleLevels& levels) {
  // Counts beyond 32 bits are refused before they are narrowed.
  constexpr std::int64_t LARGEST = INT32_MAX;
  for (const auto& [name, value] : {std::pair{"N", N}, {"N1", N1}, {"K", K}}) {
    if (value < 0 || value > LARGEST) {
      throw std::invalid_argument(which + name + " = " + std::to_string(value) +
                                  " is not between 0 and 2^31 - 1");
    }
  }
  const Scenario s{static_cast<std::int32_t>(N),
                   static_cast<std::int32_t>(N1),
                   static_cast<std::int32_t>(N - N1),
                   static_cast<std::int32_t>(K),
                   d,
                   levels};
  const std::string reason = kemro::scenario_invalid_reason(s, engine, N1_name, K_name);
  if (!reason.empty()) throw std::invalid_argument(which + reason);
  return s;
}

bool PythonSignals::operator()() {
  const py::gil_scoped_acquire hold;
  raised = raised || PyErr_CheckSignals() != 0;
  return raised;
}

std::vector<ScenarioResult> compute_all(const std::vector<Scenario>& scenarios, Engine engine,
                                        bool keep_distribution, unsigned jobs) {
  WorkAreas<ScenarioWork> work;
  return compute_interruptible(
      scenarios.size(), jobs, work, [&](std::size_t i, ScenarioWork& area) {
        return compute_scenario(scenarios[i], engine, keep_distribution, area);
      });
}

}  // namespace kemro::python
