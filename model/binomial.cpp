// The binomial probability in log space by Loader's saddle-point form; see
// binomial.hpp for the formulas and where each one is used.
#include "model/binomial.hpp"

#include <array>
#include <cmath>
#include <limits>

namespace kemro {
namespace {

constexpr double LN_TWO_PI = 1.8378770664093453;  // ln(2 pi)

// ln n! - ln(sqrt(2 pi n) (n/e)^n) for n = 0 .. 15 (entry 0 unused), to 17 digits.
constexpr std::array<double, 16> STIRLING_ERROR_TABLE = {
    0.0,
    0.08106146679532726,
    0.0413406959554093,
    0.02767792568499834,
    0.020790672103765093,
    0.016644691189821193,
    0.013876128823070748,
    0.01189670994589177,
    0.010411265261972096,
    0.009255462182712733,
    0.00833056343336287,
    0.007573675487951841,
    0.00694284010720953,
    0.006408994188004207,
    0.0059513701127588475,
    0.005554733551962801,
};
constexpr double LAST_TABULATED = 15.0;

// Coefficients of the Stirling series in 1/n: 1/12, 1/360, 1/1260, 1/1680, 1/1188.
constexpr double S0 = 1.0 / 12.0;
constexpr double S1 = 1.0 / 360.0;
constexpr double S2 = 1.0 / 1260.0;
constexpr double S3 = 1.0 / 1680.0;
constexpr double S4 = 1.0 / 1188.0;
// From these n on, the series keeps 2, 3 and 4 terms: the first term left out
// is below 1e-17 there (S2/500^5, S3/80^7, S4/35^9).
constexpr double TWO_TERMS_FROM = 500.0;
constexpr double THREE_TERMS_FROM = 80.0;
constexpr double FOUR_TERMS_FROM = 35.0;

// Below this |x - M|/(x + M) the deviance is summed as a series.
constexpr double SERIES_REGION = 0.1;
// The series' terms shrink by v^2 < 0.01 each, so 20 terms take the last one
// below 1e-40 of the first: far beyond the point where adding it changes nothing.
constexpr int SERIES_TERMS = 20;

// ln p, from log1p(-q) where q is the smaller of the two and so the accurate one.
double log_of(double p, double q) {
  return q < p ? std::log1p(-q) : std::log(p);
}

}  // namespace

double stirling_error(double n) {
  if (n <= LAST_TABULATED) return STIRLING_ERROR_TABLE[static_cast<std::size_t>(n)];
  const double nn = n * n;
  if (n >= TWO_TERMS_FROM) return (S0 - S1 / nn) / n;
  if (n >= THREE_TERMS_FROM) return (S0 - (S1 - S2 / nn) / nn) / n;
  if (n >= FOUR_TERMS_FROM) return (S0 - (S1 - (S2 - S3 / nn) / nn) / nn) / n;
  return (S0 - (S1 - (S2 - (S3 - S4 / nn) / nn) / nn) / nn) / n;
}

double deviance(double x, double M) {
  if (x == 0.0) return M;
  const double difference = x - M;
  if (std::fabs(difference) < SERIES_REGION * (x + M)) {
    // x ln(x/M) + M - x = (x - M) v + 2x sum_{j>=1} v^(2j+1)/(2j+1), v = (x - M)/(x + M)
    const double v = difference / (x + M);
    const double v2 = v * v;
    double sum = difference * v;
    double term = 2.0 * x * v;
    for (int j = 1; j <= SERIES_TERMS; ++j) {
      term *= v2;
      const double next = sum + term / static_cast<double>(2 * j + 1);
      if (next == sum) break;
      sum = next;
    }
    return sum;
  }
  return x * std::log(x / M) + M - x;
}

double log_binomial_probability(double k, double n, double p, double q) {
  constexpr double MINUS_INFINITY = -std::numeric_limits<double>::infinity();
  if (k == 0.0) return q == 0.0 ? MINUS_INFINITY : n * log_of(q, p);
  if (k == n) return p == 0.0 ? MINUS_INFINITY : n * log_of(p, q);
  if (p == 0.0 || q == 0.0) return MINUS_INFINITY;
  const double j = n - k;
  const double saddle = stirling_error(n) - stirling_error(k) - stirling_error(j) -
                        deviance(k, n * p) - deviance(j, n * q);
  // ln(2 pi k (n - k)/n), with ln((n - k)/n) as log1p(-k/n) for k <= n/2 and
  // as ln((n - k)/n) above, where 1 - k/n would cancel
  const double share_left = k <= j ? std::log1p(-k / n) : std::log(j / n);
  const double spread = LN_TWO_PI + std::log(k) + share_left;
  return saddle - 0.5 * spread;
}

double bernoulli_divergence(double n, double a, double p, double q) {
  const double upper = a > 0.0 ? a * std::log(a / p) : 0.0;
  const double lower = a < 1.0 ? (1.0 - a) * std::log((1.0 - a) / q) : 0.0;
  return n * (upper + lower);
}

}  // namespace kemro
