// Where an order statistic of independent normal scores concentrates, and how
// much of its probability lies beyond a point. The outcome stage uses these to
// plan its integrations; they are exact where GSL's incomplete beta function
// succeeds and safe upper bounds where it does not.
#pragma once

#include <cstdint>

namespace kemro {

// The k-th smallest of n scores N(mu, 1) lies near `location`, within a few
// multiples of `spread` (the normal approximation of its distribution).
struct Concentration {
  double location = 0.0;
  double spread = 0.0;
};

// location = mu + z, spread = sqrt(p (1 - p) / (n + 2)) / phi(z), z = Phi^-1(p), p = k / (n + 1).
Concentration concentration(std::int32_t n, std::int32_t k, double mu);

// P(Bin(n, q) >= k) = I_q(k, n - k + 1) for 1 <= k <= n; where the incomplete
// beta function fails, the Chernoff bound exp(-n D(k/n || q)) instead.
double binomial_upper_tail(std::int32_t n, std::int32_t k, double q);

// P(X_(k) <= c) for the k-th smallest X_(k) of n scores N(mu, 1): at least k of them are <= c.
double probability_at_or_below(std::int32_t n, std::int32_t k, double mu, double c);

// P(X_(k) > c): at least n - k + 1 of the n scores lie above c.
double probability_above(std::int32_t n, std::int32_t k, double mu, double c);

// An upper bound of P(Y_(J) > X_(I)) = P(S > t) for the outcome with indices I
// (majority, mean d) and J (minority, mean 0): on a grid c_0 < ... < c_n,
// P(X_(I) <= c_0) + sum over k of P(c_k < X_(I) <= c_(k+1)) P(Y_(J) > c_k)
// + P(X_(I) > c_n) P(Y_(J) > c_n), which holds because P(Y_(J) > x) falls with x.
double exceedance_bound(std::int32_t N1, std::int32_t N2, double d, std::int32_t I, std::int32_t J);

}  // namespace kemro
