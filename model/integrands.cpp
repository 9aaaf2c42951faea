#include "model/integrands.hpp"

#include <gsl/gsl_sf_gamma.h>

#include <cmath>

#include "model/integrator.hpp"
#include "model/normal.hpp"
#include "model/outcomes.hpp"

namespace kemro {
namespace {

constexpr double INNER_EPSABS = 1e-5;  // absolute accuracy asked of G(x)
constexpr double INNER_EPSREL = 1e-4;  // relative accuracy asked of G(x)
constexpr double UNIT_VARIANCE = 1.0;

// exponent * ln(base), with a zero exponent contributing 0 even where the base is 0.
double log_power(std::int32_t exponent, double base) {
  if (exponent == 0) return 0.0;
  return static_cast<double>(exponent) * std::log(base);
}

// ln B(n - k + 1, k), the log of the reciprocal order-statistic coefficient.
double order_log_beta(std::int32_t n, std::int32_t k) {
  return gsl_sf_lnbeta(static_cast<double>(n) - static_cast<double>(k) + 1.0,
                       static_cast<double>(k));
}

// G(x): the inner integral of FU1 over [-6.5, x], with its integrator code.
QagResult minority_distribution(ModelState& state, double x) {
  gsl_function F{&FU1, &state};
  return QAG(F, LOWER_LIMIT, x, INNER_EPSABS, INNER_EPSREL, *state.inner_workspace);
}

}  // namespace

void store_log_beta_terms(ModelState& state) {
  state.majority_lnbeta = order_log_beta(state.N1, state.I);
  state.minority_lnbeta = order_log_beta(state.N2, state.J);
}

void set_outcome_indices(ModelState& state, std::int32_t I, std::int32_t J) {
  state.I = I;
  state.J = J;
  store_log_beta_terms(state);
}

double FU1(double y, void* params) {
  auto& state = *static_cast<ModelState*>(params);
  ++state.FU1_evaluations;
  const double u = std::log(PHIB(y, 0.0, UNIT_VARIANCE, state.density_constant));
  const double p = PHID(y);
  const double v = log_power(state.N2 - state.J, 1.0 - p);
  const double w = log_power(state.J - 1, p);
  return std::exp(u + w + v - state.minority_lnbeta);
}

double FUN(double x, void* params) {
  auto& state = *static_cast<ModelState*>(params);
  ++state.FUN_evaluations;
  if (x <= LOWER_LIMIT) return 0.0;
  const double u = std::log(PHIB(x, state.d, UNIT_VARIANCE, state.density_constant));
  const double p = PHID(x - state.d);
  const double v = log_power(state.N1 - state.I, 1.0 - p);
  const double w = log_power(state.I - 1, p);
  const QagResult inner = minority_distribution(state, x);
  if (inner.IER != 0 && state.listener != nullptr) state.listener->integration_warning(inner.IER);
  return std::exp(std::log(inner.RESULT) + u + w + v - state.majority_lnbeta);
}

}  // namespace kemro
