// The normal distribution functions of the selection model: the standard
// normal distribution function and the normal density.
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

}  // namespace kemro
