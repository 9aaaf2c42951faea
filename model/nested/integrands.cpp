#include "model/nested/integrands.hpp"

#include <gsl/gsl_sf_gamma.h>

#include <algorithm>
#include <cmath>
#include <span>

#include "model/integrator.hpp"
#include "model/nested/integration_plan.hpp"
#include "model/nested/outcomes.hpp"
#include "model/normal.hpp"

namespace kemro {
namespace {

constexpr double INNER_EPSABS = 1e-5;     // absolute accuracy asked of G(x)
constexpr double INNER_EPSREL = 1e-4;     // relative accuracy asked of G(x)
constexpr double LOG_UNDERFLOW = -746.0;  // exp(z) is 0 in double precision for z below this
// How far ln PHID(y) may lie above the true ln Phi(y): PHID's relative error,
// generously (its two tail branches meet to within about 1e-8).
constexpr double PHID_LOG_ERROR = 1e-7;

// exponent * ln(base), with a zero exponent contributing 0 even where the base is 0.
double log_power(std::int32_t exponent, double base) {
  if (exponent == 0) return 0.0;
  return static_cast<double>(exponent) * std::log(base);
}

// ln Phi(-z) < -z*z/2 + ln c - 1 + 1/z for z > 0, c = 1/sqrt(2*pi): from
// Mills' inequality Phi(-z) < phi(z)/z and ln z >= 1 - 1/z.
double log_lower_tail_bound(double z, double log_density_constant) {
  return (z * z) * (-0.5) + log_density_constant - 1.0 + 1.0 / z;
}

// Whether FU1(y) is 0 before Phi(y) is known: for y < 0 the exponent
// u + (J-1) ln Phi(y) + (N2-J) ln(1 - Phi(y)) - ln B lies below
// u + (J-1) * bound - ln B, and this below the underflow limit by more than
// PHID's error and the rounding can make up.
bool lower_tail_underflows(const ModelState& state, double u, double y) {
  if (!(y < 0.0) || state.J <= 1) return false;
  const double J_1 = static_cast<double>(state.J - 1);
  const double w_bound = J_1 * log_lower_tail_bound(-y, state.log_density_constant);
  const double slack = 1.0 + J_1 * PHID_LOG_ERROR;
  return u + w_bound - state.minority_lnbeta < LOG_UNDERFLOW - slack;
}

// ln B(n - k + 1, k), the log of the reciprocal order-statistic coefficient.
double order_log_beta(std::int32_t n, std::int32_t k) {
  return gsl_sf_lnbeta(static_cast<double>(n) - static_cast<double>(k) + 1.0,
                       static_cast<double>(k));
}

// The inner lower limit and guard point: the plan's lower end, -6.5 without a plan.
double lower_limit(const ModelState& state) {
  return state.plan != nullptr ? state.plan->lower : LOWER_LIMIT;
}

// Where the plan splits the inner integral; nowhere without a plan.
std::span<const double> inner_breakpoints(const ModelState& state) {
  return state.plan != nullptr ? state.plan->inner.points() : std::span<const double>{};
}

// The integral of FU1 over [a, b] with the inner tolerances.
QagResult integrate_FU1(ModelState& state, double a, double b) {
  gsl_function F{&FU1, &state};
  return QAG(F, a, b, INNER_EPSABS, INNER_EPSREL, *state.inner_workspace);
}

// G(x): the inner integral of FU1 over [lower, x], split at the inner
// breakpoints below x, with the largest integrator code of its pieces. All
// pieces but the last come from the plan's table.
QagResult minority_distribution(ModelState& state, double lower, double x) {
  const std::span<const double> breaks = inner_breakpoints(state);
  const auto below = std::lower_bound(breaks.begin(), breaks.end(), x) - breaks.begin();
  if (below == 0) return integrate_FU1(state, lower, x);
  const auto k = static_cast<std::size_t>(below - 1);
  QagResult G = integrate_FU1(state, breaks[k], x);
  G.RESULT = state.plan->G_at[k] + G.RESULT;
  G.IER = std::max(state.plan->IER_at[k], G.IER);
  return G;
}

// Whether FUN may return 0 without integrating G: on a split plan, where the
// log of the majority factor f(x) lies so low that f(x) G(x) underflows for
// any G up to 1 (plus the inner tolerance).
bool majority_factor_underflows(const ModelState& state, double log_f) {
  return state.plan != nullptr && state.plan->refined() && log_f < LOG_UNDERFLOW;
}

}  // namespace

void store_log_beta_terms(ModelState& state) {
  state.log_density_constant = std::log(state.density_constant);
  state.majority_lnbeta = order_log_beta(state.N1, state.I);
  state.minority_lnbeta = order_log_beta(state.N2, state.J);
}

void tabulate_G(ModelState& state, IntegrationPlan& plan) {
  const std::span<const double> breaks = plan.inner.points();
  double G = 0.0;
  int IER = 0;
  double from = plan.lower;
  for (std::size_t k = 0; k < breaks.size(); ++k) {
    const QagResult piece = integrate_FU1(state, from, breaks[k]);
    G += piece.RESULT;
    IER = std::max(IER, piece.IER);
    plan.G_at[k] = G;
    plan.IER_at[k] = IER;
    from = breaks[k];
  }
}

void set_outcome_indices(ModelState& state, std::int32_t I, std::int32_t J) {
  state.I = I;
  state.J = J;
  store_log_beta_terms(state);
}

double FU1(double y, void* params) {
  auto& state = *static_cast<ModelState*>(params);
  ++state.FU1_evaluations;
  const double u = log_PHIB(y, 0.0, state.log_density_constant);
  if (lower_tail_underflows(state, u, y)) return 0.0;
  const double p = PHID(y);
  const double w = log_power(state.J - 1, p);
  // v <= 0, so u + w + v - ln B lies at or below u + w - ln B, also as
  // rounded: where that is below the underflow limit, FU1 is 0 and the
  // logarithm of v and the exponential can be left out.
  if (u + w - state.minority_lnbeta < LOG_UNDERFLOW) return 0.0;
  const double v = log_power(state.N2 - state.J, 1.0 - p);
  const double exponent = u + w + v - state.minority_lnbeta;
  // exp gives 0 below the limit as well, but by a slow path (it flags the underflow).
  return exponent < LOG_UNDERFLOW ? 0.0 : std::exp(exponent);
}

double FUN(double x, void* params) {
  auto& state = *static_cast<ModelState*>(params);
  ++state.FUN_evaluations;
  const double lower = lower_limit(state);
  if (x <= lower) return 0.0;
  const double u = log_PHIB(x, state.d, state.log_density_constant);
  const double p = PHID(x - state.d);
  const double v = log_power(state.N1 - state.I, 1.0 - p);
  const double w = log_power(state.I - 1, p);
  if (majority_factor_underflows(state, u + w + v - state.majority_lnbeta)) return 0.0;
  const QagResult inner = minority_distribution(state, lower, x);
  if (inner.IER != 0 && state.listener != nullptr) state.listener->integration_warning(inner.IER);
  return std::exp(std::log(inner.RESULT) + u + w + v - state.majority_lnbeta);
}

}  // namespace kemro
