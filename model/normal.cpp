#include "model/normal.hpp"

#include <gsl/gsl_sf_erf.h>

#include <cmath>

namespace kemro {
namespace {

constexpr double TAIL_LIMIT = 37.0;                 // beyond it the tail area is 0
constexpr double BRANCH_POINT = 7.071067811865475;  // 10/sqrt(2): rational below, fraction above
constexpr double FRACTION_SEED = 0.65;              // innermost term of the continued fraction
constexpr double SQRT_HALF = 0.7071067811865476;    // 1/sqrt(2): erfc's argument is x/sqrt(2)
constexpr double LN_TWO = 0.6931471805599453;       // ln 2
// Up to this x, erfc(x/sqrt(2))/2 >= 1e-198 is a normal double and its log is
// taken directly; beyond, GSL's ln erfc avoids the underflow.
constexpr double DIRECT_LOG_LIMIT = 30.0;

// Numerator P(z) of degree 6, by Horner's scheme from the highest power down.
double hart_numerator(double z) {
  return ((((((0.03526249659989109 * z + 0.7003830644436881) * z + 6.37396220353165) * z +
             33.912866078383) *
                z +
            112.0792914978709) *
               z +
           221.2135961699311) *
              z +
          220.2068679123761);
}

// Denominator Q(z) of degree 7, by Horner's scheme from the highest power down.
double hart_denominator(double z) {
  return (((((((0.08838834764831845 * z + 1.755667163182642) * z + 16.06417757920695) * z +
              86.78073220294608) *
                 z +
             296.5642487796737) *
                z +
            637.3336333788311) *
               z +
           793.8265125199484) *
              z +
          440.4137358247522);
}

// p = e / (z + 1/(z + 2/(z + 3/(z + 4/(z + 0.65))))) / sqrt(2*pi), innermost term first.
double continued_fraction_tail(double z, double e) {
  double b = z + FRACTION_SEED;
  b = z + 4.0 / b;
  b = z + 3.0 / b;
  b = z + 2.0 / b;
  b = z + 1.0 / b;
  return (e / b) / SQRT_TWO_PI;
}

// p = P(Z > z) for z = |x| >= 0.
double upper_tail_area(double z) {
  if (z > TAIL_LIMIT) return 0.0;
  const double e = std::exp(-(z * z / 2.0));
  if (z < BRANCH_POINT) return e * hart_numerator(z) / hart_denominator(z);
  return continued_fraction_tail(z, e);
}

}  // namespace

// Phi(x) = 1 - p for x > 0, p otherwise, where p = P(Z > |x|).
double PHID(double x) {
  const double p = upper_tail_area(std::fabs(x));
  return x > 0.0 ? 1.0 - p : p;
}

// Q(x) = erfc(x/sqrt(2))/2
double upper_tail(double x) {
  return 0.5 * std::erfc(x * SQRT_HALF);
}

// ln Q(x) = log1p(-Q(-x)) for x < 0, ln(erfc(x/sqrt(2))/2) up to the direct
// limit, ln erfc(x/sqrt(2)) - ln 2 by GSL beyond.
double log_upper_tail(double x) {
  if (x < 0.0) return std::log1p(-upper_tail(-x));
  if (x <= DIRECT_LOG_LIMIT) return std::log(upper_tail(x));
  return gsl_sf_log_erfc(x * SQRT_HALF) - LN_TWO;
}

// phi(x; mu, v) = (c * exp((t*t) * (-0.5))) / sqrt(v), t = (x - mu)/sqrt(v).
double PHIB(double x, double mu, double v, double density_constant) {
  double t = (x - mu) / std::sqrt(v);
  t = (t * t) * (-0.5);
  const double e = std::exp(t) * density_constant;
  return e / std::sqrt(v);
}

}  // namespace kemro
