// How one outcome's integrations are laid out: the range of the outer
// integral (whose lower end is also the inner lower limit and FUN's guard
// point) and breakpoints for both levels. Most problems get the fixed range
// [-6.5, 6.5] without breakpoints; two kinds of problem need more:
//  - large applicant pools, whose order statistics concentrate so narrowly that
//    the 61-point rule's first pass over the range can miss them entirely: the
//    outer integral is split around each narrow concentration, the inner one
//    around the minority order statistic;
//  - large effect sizes (or very large pools), whose order statistics reach
//    beyond +-6.5: where an end would cut off more than 1e-9 of the outcome's
//    probability, it is moved out until it cuts off at most 1e-12.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "model/nested/model_state.hpp"

namespace kemro {

// The fixed range of the outer integration, [-6.5, 6.5]; its lower end is
// also the inner lower limit and FUN's guard point.
inline constexpr double FIXED_LOWER = -6.5;
inline constexpr double FIXED_UPPER = 6.5;

// Breakpoints in ascending order, room for two concentrations.
class Breakpoints {
 public:
  static constexpr std::size_t CAPACITY = 14;
  void add(double x);  // keeps the order; ignores a point already present or beyond capacity
  std::span<const double> points() const { return {at_.data(), count_}; }
  bool empty() const { return count_ == 0; }

 private:
  std::array<double, CAPACITY> at_{};
  std::size_t count_ = 0;
};

struct IntegrationPlan {
  double lower = FIXED_LOWER;  // outer lower end, inner lower limit, FUN's guard point
  double upper = FIXED_UPPER;  // outer upper end
  Breakpoints outer;           // where the integral of FUN is split
  Breakpoints inner;           // where FUN's integral of FU1 is split

  // G at the inner breakpoints, filled by tabulate_G before the outer
  // integration: G_at[k] is the integral of FU1 from `lower` to inner point k,
  // summed piece by piece, and IER_at[k] the largest code of those pieces.
  // FUN then integrates only the piece from the last breakpoint below x.
  std::array<double, Breakpoints::CAPACITY> G_at{};
  std::array<int, Breakpoints::CAPACITY> IER_at{};

  // Breakpoints are used.
  bool refined() const { return !outer.empty() || !inner.empty(); }
  // The range is wider than [-6.5, 6.5].
  bool widened() const { return lower < FIXED_LOWER || upper > FIXED_UPPER; }
};

// The plan for the outcome with majority index I and minority index J.
IntegrationPlan plan_outcome(std::int32_t N1, std::int32_t N2, double d, std::int32_t I,
                             std::int32_t J);

// The plan for the I and J stored in the state; the fixed plan when the state
// has its integration planning switched off.
IntegrationPlan plan_outcome(const ModelState& state);

// Which kinds of planning the outcomes that are expected to be integrated
// use: every outcome from the first up to the one before the first expected
// to be saturated. The outcome stage announces these before its first trace row.
struct PlanSurvey {
  bool refined = false;
  bool widened = false;
};
PlanSurvey survey_plans(const ModelState& state);

// The first threshold t > L whose outcome is expected to be saturated: where an
// upper bound of its predecessor's P(S > t - 1) lies below the saturation
// threshold 1e-8. min(K, N2) when there is none among L + 1 .. min(K, N2) - 1.
std::int64_t first_saturated_threshold(std::int32_t N1, std::int32_t N2, std::int32_t K, double d);

}  // namespace kemro
