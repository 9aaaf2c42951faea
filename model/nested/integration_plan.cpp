#include "model/nested/integration_plan.hpp"

#include <algorithm>
#include <cmath>

#include "model/nested/order_statistics.hpp"
#include "model/normal.hpp"

namespace kemro {
namespace {

// Narrowest spread the 61-point rule resolves on the fixed range: its first
// pass over [-6.5, 6.5] can step over a narrower concentration without
// seeing it. On a wider range the limit grows in proportion.
constexpr double RESOLVABLE_SPREAD = 0.02;
constexpr double FIXED_WIDTH = FIXED_UPPER - FIXED_LOWER;
// Breakpoints around a narrow concentration, in spreads from its location.
constexpr std::array<double, 7> BREAK_SPREADS = {-40.0, -10.0, -3.0, 0.0, 3.0, 10.0, 40.0};
constexpr double CUT_TOLERANCE = 1e-9;  // an end cutting off more than this is moved
constexpr double CUT_TARGET = 1e-12;    // what a moved end still cuts off, at most
constexpr double END_PRECISION = 0.01;  // how closely a widened end is placed
constexpr int MAX_HALVINGS = 200;       // bisection steps when placing a widened end
// P(S > t - 1) bounded below this makes outcome t expected to be saturated.
// (The bound is close, and the computed value may miss the true one by about
// as much, so near the threshold the forecast may go either way.)
constexpr double SATURATION_THRESHOLD = 1e-8;

// The lower end: -6.5 when it cuts off at most 1e-9, otherwise far enough
// down that P(Y_(J) < lower) <= 1e-12 for the J-th smallest minority score.
// (Below the lower end the integral loses P(Y_(J) < lower, Y_(J) < X_(I)): a
// majority score down there takes the minority score with it, so the
// minority score alone decides.)
double widened_lower(std::int32_t N2, std::int32_t J) {
  const auto cut = [&](double c) { return probability_at_or_below(N2, J, 0.0, c); };
  if (!(cut(FIXED_LOWER) > CUT_TOLERANCE)) return FIXED_LOWER;
  double low = -NORMAL_REACH;  // cut(low) = 0
  double high = FIXED_LOWER;
  for (int i = 0; i < MAX_HALVINGS && high - low > END_PRECISION; ++i) {
    const double middle = 0.5 * (low + high);
    (cut(middle) <= CUT_TARGET ? low : high) = middle;
  }
  return low;
}

// The upper end: 6.5 when it cuts off at most 1e-9, otherwise far enough up
// that P(X_(I) > upper) <= 1e-12 for the I-th smallest majority score, which
// bounds what the integral loses there.
double widened_upper(std::int32_t N1, double d, std::int32_t I) {
  const auto cut = [&](double c) { return probability_above(N1, I, d, c); };
  if (!(cut(FIXED_UPPER) > CUT_TOLERANCE)) return FIXED_UPPER;
  double low = FIXED_UPPER;
  double high = std::max(d, FIXED_UPPER) + NORMAL_REACH;  // cut(high) = 0
  for (int i = 0; i < MAX_HALVINGS && high - low > END_PRECISION; ++i) {
    const double middle = 0.5 * (low + high);
    (cut(middle) <= CUT_TARGET ? high : low) = middle;
  }
  return high;
}

// Adds location + k * spread for each k of BREAK_SPREADS that lies inside the range.
void add_breakpoints(Breakpoints& points, const Concentration& c, const IntegrationPlan& plan) {
  for (double k : BREAK_SPREADS) {
    const double x = c.location + k * c.spread;
    if (x > plan.lower && x < plan.upper) points.add(x);
  }
}

}  // namespace

void Breakpoints::add(double x) {
  const auto end = at_.begin() + static_cast<std::ptrdiff_t>(count_);
  const auto place = std::lower_bound(at_.begin(), end, x);
  if (count_ == CAPACITY || (place != end && *place == x)) return;
  std::copy_backward(place, end, end + 1);
  *place = x;
  ++count_;
}

IntegrationPlan plan_outcome(std::int32_t N1, std::int32_t N2, double d, std::int32_t I,
                             std::int32_t J) {
  IntegrationPlan plan;
  if (!std::isfinite(d)) return plan;
  plan.lower = widened_lower(N2, J);
  plan.upper = widened_upper(N1, d, I);

  const double resolvable = RESOLVABLE_SPREAD * (plan.upper - plan.lower) / FIXED_WIDTH;
  const Concentration majority = concentration(N1, I, d);
  const Concentration minority = concentration(N2, J, 0.0);
  // The outer integrand f(x) G(x) is narrow where f is, and changes sharply
  // where G rises; the inner integrand is the minority density itself.
  if (majority.spread < resolvable) add_breakpoints(plan.outer, majority, plan);
  if (minority.spread < resolvable) add_breakpoints(plan.outer, minority, plan);
  // Once the outer integral is split, G is split around the minority
  // concentration too, narrow or not: G is then tabulated at those points and
  // each evaluation of FUN integrates only the last piece.
  if (!plan.outer.empty()) add_breakpoints(plan.inner, minority, plan);
  return plan;
}

IntegrationPlan plan_outcome(const ModelState& state) {
  if (!state.adapt_integration) return IntegrationPlan{};
  return plan_outcome(state.N1, state.N2, state.d, state.I, state.J);
}

std::int64_t first_saturated_threshold(std::int32_t N1, std::int32_t N2, std::int32_t K, double d) {
  const std::int64_t L = std::max<std::int64_t>(0, std::int64_t{K} - N1);
  const std::int64_t top = std::min<std::int64_t>(K, N2);
  if (!std::isfinite(d) || top - 1 <= L) return top;
  // P(S > s) for threshold s, bounded from above; it falls as s grows.
  const auto exceedance = [&](std::int64_t s) {
    const auto I = static_cast<std::int32_t>(std::int64_t{N1} - (K - s) + 1);
    const auto J = static_cast<std::int32_t>(std::int64_t{N2} - s);
    return exceedance_bound(N1, N2, d, I, J);
  };
  // The smallest s in [L, top - 2] with exceedance(s) below the threshold;
  // outcome s + 1 is then expected to be saturated.
  std::int64_t low = L;
  std::int64_t high = top - 2;
  if (!(exceedance(high) < SATURATION_THRESHOLD)) return top;
  while (low < high) {
    const std::int64_t middle = low + (high - low) / 2;
    if (exceedance(middle) < SATURATION_THRESHOLD) {
      high = middle;
    } else {
      low = middle + 1;
    }
  }
  return low + 1;
}

PlanSurvey survey_plans(const ModelState& state) {
  PlanSurvey survey;
  if (!state.adapt_integration) return survey;
  const std::int64_t N1 = state.N1;
  const std::int64_t N2 = state.N2;
  const std::int64_t K = state.K;
  const std::int64_t L = std::max<std::int64_t>(0, K - N1);
  const std::int64_t end = first_saturated_threshold(state.N1, state.N2, state.K, state.d);
  for (std::int64_t t = L; t < end && !(survey.refined && survey.widened); ++t) {
    const IntegrationPlan plan =
        plan_outcome(state.N1, state.N2, state.d, static_cast<std::int32_t>(N1 - (K - t) + 1),
                     static_cast<std::int32_t>(N2 - t));
    survey.refined = survey.refined || plan.refined();
    survey.widened = survey.widened || plan.widened();
  }
  return survey;
}

}  // namespace kemro
