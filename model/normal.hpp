// The normal distribution functions of the selection model: the standard
// normal distribution function and the normal density, and the tail areas and
// their logarithms the fast engine works with.
#pragma once

namespace kemro {

inline constexpr double SQRT_TWO_PI = 2.506628274631001;      // sqrt(2 pi), the density's divisor
inline constexpr double LN_SQRT_TWO_PI = 0.9189385332046728;  // ln sqrt(2 pi)
// Beyond its mean +- NORMAL_REACH a unit-variance normal score has
// probability 0 in doubles: Q(40) < 1e-349, below the smallest subnormal.
inline constexpr double NORMAL_REACH = 40.0;

// Phi(x) = P(Z <= x) for a standard normal Z, by Hart's rational and
// continued-fraction approximation (double precision).
double PHID(double x);

// density_constant * exp(-0.5 * ((x - mu)/sqrt(v))^2) / sqrt(v): the normal
// density with mean mu and variance v (v > 0).
double PHIB(double x, double mu, double v, double density_constant);

// ln phi(x; mu, 1) = ((x - mu)*(x - mu)) * (-0.5) + ln c: the logarithm of the
// unit-variance normal density in closed form, without an exponential or a
// logarithm; c is the density constant, ln c its logarithm.
inline double log_PHIB(double x, double mu, double log_density_constant) {
  const double t = x - mu;
  return (t * t) * (-0.5) + log_density_constant;
}

// Q(x) = P(Z > x) = erfc(x/sqrt(2))/2, the upper tail area itself (never
// formed as 1 - Phi), to a relative accuracy of about (2 + x^2) 1e-16 wherever
// it is a normal double (x^2 eps is the tail's own sensitivity to the rounding
// of x/sqrt(2)); it underflows to 0 beyond x = 38.4. The lower tail Phi(x) is Q(-x).
double upper_tail(double x);

// ln Q(x), finite for every finite x: ln(erfc(x/sqrt(2))/2) where that is a
// normal double, GSL's ln erfc beyond, and log1p(-Q(-x)) for x < 0 so that
// values near 0 keep their relative accuracy.
double log_upper_tail(double x);

}  // namespace kemro
