// The normal distribution functions of the selection model: the standard
// normal distribution function and the normal density, and the tail areas and
// their logarithms the fast engine works with.
#pragma once

namespace kemro {

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
// formed as 1 - Phi), to a relative accuracy near 1e-15 wherever it is a
// normal double; it underflows to 0 beyond x = 38.4. The lower tail Phi(x) is
// Q(-x).
double upper_tail(double x);

// ln Q(x), finite for every finite x: ln(erfc(x/sqrt(2))/2) where that is a
// normal double, GSL's ln erfc beyond, and log1p(-Q(-x)) for x < 0 so that
// values near 0 keep their relative accuracy.
double log_upper_tail(double x);

}  // namespace kemro
