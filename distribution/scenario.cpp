// Validation of one scenario against the domain of the model and the limits
// of the engine that is to compute it.
#include "distribution/scenario.hpp"

#include <cmath>

#include "distribution/table.hpp"
#include "model/fast/outcomes.hpp"
#include "model/nested/outcomes.hpp"

namespace kemro {

std::string_view engine_name(Engine engine) {
  return engine == Engine::fast ? "fast" : "nested";
}

bool engine_from_name(std::string_view name, Engine& engine) {
  if (name == "fast")
    engine = Engine::fast;
  else if (name == "nested")
    engine = Engine::nested;
  else
    return false;
  return true;
}

std::string scenario_invalid_reason(const Scenario& s, Engine engine, std::string_view N1_name,
                                    std::string_view K_name) {
  const std::string within =
      " is not between 1 and N - 1 = " + std::to_string(std::int64_t{s.N} - 1);
  if (s.N < 2) return "N = " + std::to_string(s.N) + " is below 2";
  if (s.N1 < 1 || s.N1 >= s.N) return std::string(N1_name) + " = " + std::to_string(s.N1) + within;
  if (std::int64_t{s.N1} + s.N2 != s.N) {
    return "N2 = " + std::to_string(s.N2) + " is not N - N1 = " + std::to_string(s.N - s.N1);
  }
  if (s.K < 1 || s.K >= s.N) return std::string(K_name) + " = " + std::to_string(s.K) + within;
  if (!std::isfinite(s.d)) return "d is not finite";
  if (std::string levels = rule_levels_error(s.levels); !levels.empty()) return levels;
  const std::int64_t needed = entries_needed(s.N1, s.N2, s.K);
  if (engine == Engine::nested && needed > TABLE_CAPACITY) {
    return "the distribution needs " + std::to_string(needed) +
           " entries, the nested engine's table holds " + std::to_string(TABLE_CAPACITY) +
           " (the fast engine takes up to " + std::to_string(FAST_MAX_APPLICANTS) + ")";
  }
  if (engine == Engine::fast && s.N > FAST_MAX_APPLICANTS) {
    return "N = " + std::to_string(s.N) + " is above the fast engine's limit of " +
           std::to_string(FAST_MAX_APPLICANTS) + " applicants";
  }
  return {};
}

}  // namespace kemro
