// One scenario of the selection model, the engine that computes it, and the
// limits within which each engine can compute it. Every front end (kemro-grid,
// kemro-observed, the R package) refuses a scenario through
// scenario_invalid_reason, so that the same inputs are refused in the same words.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "distribution/analysis.hpp"
#include "distribution/rules.hpp"

namespace kemro {

// The engines' limits are their own: the fast engine's FAST_MAX_APPLICANTS
// (model/fast/outcomes.hpp), which also bounds its outcomes, at most K + 1 <= N,
// and the nested engine's table (TABLE_CAPACITY outcomes, distribution/table.hpp).

// N applicants, N1 of the majority and N2 = N - N1 of the minority, K hires and
// the effect size d (majority mean minus minority mean); the rules' flag rates
// are taken at `levels`.
struct Scenario {
  std::int32_t N = 0;
  std::int32_t N1 = 0;
  std::int32_t N2 = 0;
  std::int32_t K = 0;
  double d = 0.0;
  RuleLevels levels;
};

// The engine's name as the tools spell it ("fast", "nested").
std::string_view engine_name(Engine engine);
// The engine of that name; false for any other text.
bool engine_from_name(std::string_view name, Engine& engine);

// Why `engine` cannot compute the scenario, as one sentence without a final
// full stop, or an empty text when it can. Checked in this order: N >= 2,
// 1 <= N1 <= N - 1, N2 = N - N1, 1 <= K <= N - 1, a finite d, the rule
// levels (rule_levels_error), then the engine's limits. `N1_name` and `K_name` say how the front
// end arrived at N1 and K ("N1 = N - round(N2/N * N)"); the value itself is appended.
std::string scenario_invalid_reason(const Scenario& scenario, Engine engine,
                                    std::string_view N1_name = "N1", std::string_view K_name = "K");

}  // namespace kemro
