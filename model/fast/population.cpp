// The population cutoff solved to full double precision, for every finite d.
//
// Equation. With a = u - d (the majority's standard score at the cutoff) and
// b = u (the minority's), the cutoff solves
//   F = r Q(a) + (1 - r) Q(b) - p = 0,   r = N1/N, p = K/N, b = a + d.
// F falls as the cutoff rises.
//
// Form. Each term is kept at most half its weight, so no term near 1 cancels
// against p: for a negative argument Q(x) = 1 - Q(-x), and the ones move
// into an integer numerator,
//   F = (N1 [a < 0] + N2 [b < 0] - K) / N  +  r (±Q(|a|))  +  (1 - r) (±Q(|b|)),
// whose constant has one rounding and whose tails keep their relative accuracy
// (upper_tail: about (2 + x^2) 1e-16) down to the smallest double. So F is
// known to a few units of its own rounding level wherever the root lies, and
// bisection down to neighbouring doubles finds the cutoff to about 1e-16
// relative (1e-15 allowing for the tails' sensitivity).
//
// Variable. For a large |d| one group's score at the cutoff is moderate and
// the other's is about d; a cutoff near d carries an absolute rounding of
// ulp(d), far too coarse for the tail area of the group whose score is
// moderate. So the equation is solved in whichever variable, a or b, has the
// bracket of smaller magnitude, and the other one derived by adding or
// subtracting d. Its rounding then falls on a score whose tail is near 0 or 1
// (relative sensitivity x^2 ulp, below 1e-13 until the tail underflows), so
// each rate keeps about 1e-12 relative accuracy for every finite d, and the
// limits as d grows are reached smoothly (SRA -> min(1, p/r) and SRI -> 0
// or the reverse).
//
// Bracket. p lies between Q(a) and Q(b), so with z = Q^-1(p)
//   a in [z - max(d, 0), z - min(d, 0)];
// each group alone holds at most its share: r Q(a) <= p and r (1 - Q(a)) <= 1 - p, so
//   Q^-1(K/N1) <= a <= -Q^-1((N - K)/N1)  where the ratios are below 1,
// and likewise for b with N2. The intersection is checked by the signs of F
// at its ends (and widened where the rounding of a shift moved an end past
// the root).
//
// Search. Bisection on the ordered bit patterns of doubles halves the number
// of doubles in the bracket each time: at most 64 steps from any bracket to
// two neighbouring doubles, however wide the bracket (about d for a group
// split near p = r with a huge d).
#include "model/fast/population.hpp"

#include <gsl/gsl_cdf.h>

#include <algorithm>
#include <bit>
#include <cfloat>
#include <cmath>
#include <limits>

#include "model/normal.hpp"

namespace kemro {

namespace {

constexpr std::uint64_t SIGN_BIT = std::uint64_t{1} << 63;
// Most halvings of a bracket of doubles: one per bit of the ordered pattern.
constexpr int MAX_BISECTIONS = 64;
// First step, relative to the end's size, when an end must move past the root;
// it doubles on each further step.
constexpr double WIDEN_START = 1e-12;
constexpr int MAX_WIDENINGS = 64;
constexpr double NaN = std::numeric_limits<double>::quiet_NaN();
constexpr double INF = std::numeric_limits<double>::infinity();

// A double's bit pattern, mapped so that integer order is numeric order.
std::uint64_t ordered(double x) {
  const auto bits = std::bit_cast<std::uint64_t>(x);
  return (bits & SIGN_BIT) != 0 ? ~bits : bits | SIGN_BIT;
}

double from_ordered(std::uint64_t key) {
  return std::bit_cast<double>((key & SIGN_BIT) != 0 ? key & ~SIGN_BIT : ~key);
}

// The problem in the variable the search runs over: x is the majority's score
// (a, and b = x + d) or the minority's (b, and a = x - d).
struct Cutoff {
  std::int64_t N1, N2, K, N;
  double r, s;  // N1/N and N2/N, each rounded once
  double d;
  bool over_majority;  // x is a
  int evaluations = 0;

  double a_of(double x) const { return over_majority ? x : x - d; }
  double b_of(double x) const { return over_majority ? x + d : x; }

  // weight * Q(x), written as weight - weight * Q(-x) for x < 0 with the
  // group's count added to `ones`.
  static double tail_term(double weight, double x, std::int64_t count, std::int64_t& ones) {
    if (x >= 0.0) return weight * upper_tail(x);
    ones += count;
    return -(weight * upper_tail(-x));
  }

  // F = (N1 [a < 0] + N2 [b < 0] - K)/N + r (±Q(|a|)) + s (±Q(|b|))
  double F(double x) {
    ++evaluations;
    std::int64_t ones = 0;
    const double majority = tail_term(r, a_of(x), N1, ones);
    const double minority = tail_term(s, b_of(x), N2, ones);
    const double constant = static_cast<double>(ones - K) / static_cast<double>(N);
    return (constant + majority) + minority;
  }
};

// Q^-1(ratio) where 0 < ratio < 1, else -inf: a lower bound of a group's
// score from "the group alone holds at most its share".
double lower_bound(std::int64_t hired, std::int64_t count) {
  if (hired >= count) return -INF;
  return gsl_cdf_ugaussian_Qinv(static_cast<double>(hired) / static_cast<double>(count));
}

// -Q^-1(ratio) where 0 < ratio < 1, else +inf: the upper bound from "the
// group alone leaves at most the share not hired".
double upper_bound(std::int64_t not_hired, std::int64_t count) {
  if (not_hired >= count) return INF;
  return gsl_cdf_ugaussian_Pinv(static_cast<double>(not_hired) / static_cast<double>(count));
}

struct Bracket {
  double low, high;
};

// The bracket of a in [z - max(d, 0), z - min(d, 0)] and of the group bounds.
Bracket majority_bracket(const Cutoff& c) {
  const double z = gsl_cdf_ugaussian_Qinv(static_cast<double>(c.K) / static_cast<double>(c.N));
  double low = std::max(z - std::max(c.d, 0.0), lower_bound(c.K, c.N1));
  double high = std::min(z - std::min(c.d, 0.0), upper_bound(c.N - c.K, c.N1));
  low = std::max(low, lower_bound(c.K, c.N2) - c.d);
  high = std::min(high, upper_bound(c.N - c.K, c.N2) - c.d);
  return {low, high};
}

// Moves an end outwards until F has the end's sign (>= 0 at the low end,
// <= 0 at the high end); the bounds hold exactly, so only rounding needs this.
double widen(Cutoff& c, double end, bool low_end) {
  double step = WIDEN_START * std::max(1.0, std::fabs(end));
  for (int i = 0; i < MAX_WIDENINGS; ++i) {
    const double f = c.F(end);
    if (low_end ? f >= 0.0 : f <= 0.0) break;
    end = low_end ? end - step : end + step;
    step *= 2.0;
  }
  return end;
}

// Bisection over the doubles between low (F >= 0) and high (F <= 0); the end
// where |F| is smaller.
double bisect(Cutoff& c, double low, double high) {
  double f_low = c.F(low);
  double f_high = c.F(high);
  for (int i = 0; i < MAX_BISECTIONS && ordered(high) - ordered(low) > 1; ++i) {
    if (f_low == 0.0) return low;
    if (f_high == 0.0) return high;
    const double mid = from_ordered(ordered(low) + (ordered(high) - ordered(low)) / 2);
    const double f = c.F(mid);
    if (f > 0.0) {
      low = mid;
      f_low = f;
    } else {
      high = mid;
      f_high = f;
    }
  }
  return std::fabs(f_low) <= std::fabs(f_high) ? low : high;
}

bool valid(std::int32_t N1, std::int32_t N2, std::int32_t K, double d) {
  const std::int64_t N = std::int64_t{N1} + N2;
  return N1 >= 1 && N2 >= 1 && K >= 1 && K <= N - 1 && std::isfinite(d);
}

// Whether a positive value lost digits below the normal range.
bool below_normal(double value) {
  return value < DBL_MIN;
}

}  // namespace

PrecisePopulation precise_population(std::int32_t N1, std::int32_t N2, std::int32_t K, double d) {
  PrecisePopulation result{NaN, NaN, NaN, NaN, PopulationStatus::invalid_input, 0};
  if (!valid(N1, N2, K, d)) return result;
  const std::int64_t N = std::int64_t{N1} + N2;
  Cutoff c{N1,
           N2,
           K,
           N,
           static_cast<double>(N1) / static_cast<double>(N),
           static_cast<double>(N2) / static_cast<double>(N),
           d,
           true};
  const Bracket in_a = majority_bracket(c);
  // The minority's bracket is the majority's shifted by d; search in the
  // variable whose bracket lies nearer 0.
  const double a_size = std::max(std::fabs(in_a.low), std::fabs(in_a.high));
  const double b_size = std::max(std::fabs(in_a.low + d), std::fabs(in_a.high + d));
  Bracket bracket = in_a;
  if (b_size < a_size) {
    c.over_majority = false;
    bracket = {in_a.low + d, in_a.high + d};
  }
  bracket.low = widen(c, bracket.low, true);
  bracket.high = widen(c, bracket.high, false);
  const double x = bisect(c, bracket.low, bracket.high);

  result.cutoff = c.b_of(x);
  result.SRA = upper_tail(c.a_of(x));
  result.SRI = upper_tail(c.b_of(x));
  result.AI = result.SRI / result.SRA;
  result.evaluations = c.evaluations;
  result.status = PopulationStatus::exact;
  if (std::isinf(result.AI)) {
    result.status = PopulationStatus::ratio_overflow;
  } else if (below_normal(result.SRA) || below_normal(result.SRI) || below_normal(result.AI)) {
    result.status = PopulationStatus::rate_underflow;
  }
  return result;
}

const char* population_status_name(PopulationStatus status) {
  switch (status) {
    case PopulationStatus::exact:
      return "exact";
    case PopulationStatus::rate_underflow:
      return "rate_underflow";
    case PopulationStatus::ratio_overflow:
      return "ratio_overflow";
    case PopulationStatus::invalid_input:
      break;
  }
  return "invalid_input";
}

}  // namespace kemro
