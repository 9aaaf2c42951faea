// The checks of an observed decision's counts and parameters. The counts go
// through the scenario check every front end shares, so that kemro-observed
// refuses what kemro-grid refuses in the same words.
#include <algorithm>
#include <cmath>

#include "distribution/observed.hpp"
#include "distribution/scenario.hpp"
#include "model/message_text.hpp"

namespace kemro {
namespace {

std::string count_text(std::string_view name, std::int64_t value) {
  return std::string(name) + " = " + std::to_string(value);
}

}  // namespace

std::string observed_counts_error(const ObservedCounts& c) {
  // Counts read from files may exceed 32 bits; those fail the model's own
  // checks, worded here as scenario_invalid_reason words them.
  if (c.N > FAST_MAX_APPLICANTS) {
    return count_text("N", c.N) + " is above the fast engine's limit of " +
           std::to_string(FAST_MAX_APPLICANTS) + " applicants";
  }
  if (c.N < 2) return count_text("N", c.N) + " is below 2";
  const std::string within = " is not between 1 and N - 1 = " + std::to_string(c.N - 1);
  if (c.N1 < 1 || c.N1 >= c.N) return count_text("N1", c.N1) + within;
  if (c.K < 1 || c.K >= c.N) return count_text("K", c.K) + within;
  // Within 32 bits now: the checks every front end shares.
  const Scenario scenario{static_cast<std::int32_t>(c.N),
                          static_cast<std::int32_t>(c.N1),
                          static_cast<std::int32_t>(c.N - c.N1),
                          static_cast<std::int32_t>(c.K),
                          0.0,
                          {}};
  std::string why = scenario_invalid_reason(scenario, Engine::fast);
  if (!why.empty()) return why;
  const std::int64_t low = std::max<std::int64_t>(0, c.K - c.N1);
  const std::int64_t high = std::min(c.K, c.N - c.N1);
  if (c.S < low || c.S > high) {
    return count_text("S", c.S) + " is not between max(0, K - N1) = " + std::to_string(low) +
           " and min(K, N2) = " + std::to_string(high);
  }
  return {};
}

std::string observed_parameters_error(std::span<const double> d_values, double alpha) {
  if (!(alpha > 0.0 && alpha < 1.0)) {
    return "alpha = " + message::number_text(alpha) + " is not between 0 and 1 (exclusive)";
  }
  for (double d : d_values) {
    if (!std::isfinite(d)) return "d = " + message::number_text(d) + " is not finite";
  }
  return {};
}

}  // namespace kemro
