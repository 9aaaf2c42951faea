#include "model/nested/order_statistics.hpp"

#include <gsl/gsl_cdf.h>
#include <gsl/gsl_errno.h>
#include <gsl/gsl_sf_gamma.h>

#include <algorithm>
#include <cmath>

#include "model/integrator.hpp"
#include "model/normal.hpp"

namespace kemro {
namespace {

constexpr double GRID_TAIL = 1e-13;  // probability left outside the grid of exceedance_bound
constexpr int GRID_BINS = 128;       // bins of that grid
constexpr int BISECTIONS = 50;       // halvings when locating the grid's ends

// phi(z) = exp(-z^2/2) / sqrt(2 pi)
double standard_density(double z) {
  return std::exp(-0.5 * z * z) / SQRT_TWO_PI;
}

// exp(-n D(a || q)), D(a || q) = a ln(a/q) + (1-a) ln((1-a)/(1-q)), a = k/n: a bound of
// P(Bin(n, q) >= k) for a > q; 1 otherwise.
double chernoff_bound(double n, double k, double q) {
  const double a = k / n;
  if (!(a > q)) return 1.0;
  const double upper = a * std::log(a / q);
  const double lower = a < 1.0 ? (1.0 - a) * (std::log1p(-a) - std::log1p(-q)) : 0.0;
  return std::exp(-n * (upper + lower));
}

// The largest c (to within the bisection) with rising(c) <= level, rising
// growing from 0 at `low` to 1 at `high`.
template <typename Rising>
double last_point_at_or_below(Rising rising, double level, double low, double high) {
  for (int i = 0; i < BISECTIONS; ++i) {
    const double middle = 0.5 * (low + high);
    (rising(middle) <= level ? low : high) = middle;
  }
  return low;
}

// The smallest c (to within the bisection) with falling(c) <= level.
template <typename Falling>
double first_point_at_or_below(Falling falling, double level, double low, double high) {
  for (int i = 0; i < BISECTIONS; ++i) {
    const double middle = 0.5 * (low + high);
    (falling(middle) <= level ? high : low) = middle;
  }
  return high;
}

}  // namespace

Concentration concentration(std::int32_t n, std::int32_t k, double mu) {
  const double p = static_cast<double>(k) / (static_cast<double>(n) + 1.0);
  const double z = gsl_cdf_ugaussian_Pinv(p);
  const double spread = std::sqrt(p * (1.0 - p) / (static_cast<double>(n) + 2.0));
  return {mu + z, spread / standard_density(z)};
}

double binomial_upper_tail(std::int32_t n, std::int32_t k, double q) {
  if (k <= 0) return 1.0;
  if (k > n) return 0.0;
  if (q <= 0.0) return 0.0;
  if (q >= 1.0) return 1.0;
  if (std::isnan(q)) return q;
  const double a = static_cast<double>(k);
  const double b = static_cast<double>(n) - a + 1.0;
  const QuietGslErrors quiet;
  gsl_sf_result r;
  const int status = gsl_sf_beta_inc_e(a, b, q, &r);
  if (status == GSL_SUCCESS || status == GSL_EUNDRFLW) return std::clamp(r.val, 0.0, 1.0);
  return chernoff_bound(static_cast<double>(n), a, q);
}

double probability_at_or_below(std::int32_t n, std::int32_t k, double mu, double c) {
  return binomial_upper_tail(n, k, PHID(c - mu));
}

double probability_above(std::int32_t n, std::int32_t k, double mu, double c) {
  return binomial_upper_tail(n, n - k + 1, PHID(mu - c));
}

double exceedance_bound(std::int32_t N1, std::int32_t N2, double d, std::int32_t I,
                        std::int32_t J) {
  const auto F = [&](double c) { return probability_at_or_below(N1, I, d, c); };
  const auto F_above = [&](double c) { return probability_above(N1, I, d, c); };
  const auto h = [&](double c) { return probability_above(N2, J, 0.0, c); };
  const double low = std::min(d, 0.0) - NORMAL_REACH;
  const double high = std::max(d, 0.0) + NORMAL_REACH;
  const double first = last_point_at_or_below(F, GRID_TAIL, low, high);
  const double last = first_point_at_or_below(h, GRID_TAIL, low, high);
  if (!(last > first)) return std::min(1.0, F(first) + h(first));

  const double step = (last - first) / GRID_BINS;
  double below = F(first);
  double above = F_above(first);
  double exceedance = h(first);
  double bound = below;
  for (int k = 1; k <= GRID_BINS; ++k) {
    const double c = k == GRID_BINS ? last : first + k * step;
    const double next_below = F(c);
    const double next_above = F_above(c);
    // The bin's probability from whichever side keeps its digits.
    const double bin = next_below <= 0.5 ? next_below - below : above - next_above;
    bound += std::max(0.0, bin) * exceedance;
    below = next_below;
    above = next_above;
    exceedance = h(c);
  }
  bound += above * exceedance;
  return std::min(1.0, bound);
}

}  // namespace kemro
