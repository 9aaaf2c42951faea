// The binomial probability b(k; n, p) in log space, accurate in relative terms
// for every n up to the engine's applicant limit: Loader's saddle-point form
// instead of differences of log-gamma values, whose absolute rounding grows
// with n log n and turns into a relative error of b that grows with n.
//
//   ln b(k; n, p) = stirling_error(n) - stirling_error(k) - stirling_error(n - k)
//                   - deviance(k, n p) - deviance(n - k, n q)
//                   - ln(2 pi k (n - k) / n) / 2                  for 0 < k < n,
//   ln b(0; n, p) = n ln q,   ln b(n; n, p) = n ln p,
//
// with q = 1 - p passed separately so that the caller hands over whichever of
// the two it knows accurately (an upper tail area, say), and ln q taken as
// log1p(-p) where p is the smaller one.
//
// Also the two pieces both fast engines use to find where the pooled score
// distribution has to be integrated: the Bernoulli divergence that bounds a
// binomial tail (Chernoff), and the bisection for the point where a monotone
// condition switches.
#pragma once

namespace kemro {

// stirling_error(n) = ln n! - ln(sqrt(2 pi n) (n/e)^n) for an integer-valued
// n >= 1: exact tabulated values up to 15, the Stirling series
// 1/(12n) - 1/(360n^3) + 1/(1260n^5) - 1/(1680n^7) + 1/(1188n^9) beyond,
// shortened at 35, 80 and 500 where the dropped terms fall below 1e-17.
double stirling_error(double n);

// deviance(x, M) = x ln(x/M) + M - x >= 0 for x >= 0, M > 0. Where
// |x - M| < 0.1 (x + M) the direct form cancels; there it is the series
// (x - M) v + 2x (v^3/3 + v^5/5 + ...) with v = (x - M)/(x + M).
double deviance(double x, double M);

// ln b(k; n, p), the raw kernel. It does not check its arguments: k and n
// must be integer-valued with 0 <= k <= n, p and q in [0, 1] with p + q = 1
// to rounding. Returns -infinity where b is 0 (p = 0 with k > 0, q = 0 with
// k < n) and never NaN on such arguments.
double log_binomial_probability(double k, double n, double p, double q);

// n D(a || p) = n (a ln(a/p) + (1 - a) ln((1 - a)/q)), with 0 ln 0 = 0: by
// Chernoff's bound P(X >= a n) <= exp(-n D(a || p)) for X ~ b(n, p) and
// a >= p, and alike for the lower tail. p and q = 1 - p passed separately as
// above; a in [0, 1]. The raw formula: it does not check its arguments.
double bernoulli_divergence(double n, double a, double p, double q);

// Bisection steps of switch_point: enough to halve an interval of width 100
// down to adjacent doubles.
inline constexpr int SWITCH_POINT_BISECTIONS = 200;

// The x in [lo, hi] where a monotone condition switches from false (at lo) to
// true (at hi), to adjacent doubles: the upper end of the last bracket.
template <typename Condition>
double switch_point(double lo, double hi, Condition holds) {
  for (int i = 0; i < SWITCH_POINT_BISECTIONS; ++i) {
    const double mid = 0.5 * (lo + hi);
    if (!(mid > lo && mid < hi)) break;
    if (holds(mid)) {
      hi = mid;
    } else {
      lo = mid;
    }
  }
  return hi;
}

}  // namespace kemro
