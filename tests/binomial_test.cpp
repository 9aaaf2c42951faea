// The fast engine's numerical kernels against independent values: the log
// binomial probability (saddle-point form) for small n against long-double
// log-gamma sums and for n up to 1e7 against 60-digit values, and the normal
// upper tail and its logarithm against 60-digit values, in both tails; the
// Bernoulli divergence at its 0 ln 0 edges and the switch-point bisection.
#include "model/binomial.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <ostream>

#include "model/normal.hpp"

namespace kemro {
namespace {

struct LogBinomialCase {
  double k, n, p;
  double expected;  // ln b(k; n, p), to 20 digits, with q = 1 - p exact
};

std::ostream& operator<<(std::ostream& out, const LogBinomialCase& c) {
  return out << "k=" << c.k << " n=" << c.n << " p=" << c.p;
}

// Every p is a binary fraction, so that 1 - p is exact and the value unambiguous.
constexpr LogBinomialCase LOG_BINOMIAL_CASES[] = {
    {0, 1, 0.5, -0.69314718055994530942},
    {1, 2, 0.5, -0.69314718055994530942},
    {3, 10, 0.25, -1.3851658477400923543},
    {10, 10, 0.25, -13.862943611198906188},
    {0, 10, 0.25, -2.8768207245178092744},
    {17, 40, 0.375, -2.2752900769951307859},
    {70, 100, 0.375, -24.116060947236529752},
    {1, 50, 9.313225746154785e-10, -16.882392457005019401},
    {2500000, 10000000, 0.25, -8.1409981780091079738},
    {2499000, 10000000, 0.25, -8.4075551761354118437},
    {2510000, 10000000, 0.25, -34.785345222546293047},
    {2400000, 10000000, 0.25, -2699.0636613399064249},
    {1234567, 9876543, 0.125, -7.8652887402377248299},
    {10, 10000000, 9.5367431640625e-07, -2.0896348502739928317},
    {9999990, 10000000, 0.9999990463256836, -2.0896348502739928317},
    {0, 10000000, 9.313225746154785e-10, -0.0093132257504915938489},
    {10000000, 10000000, 0.9999999990686774, -0.0093132257504915938489},
    {5000000, 10000000, 0.5, -8.2848392031238873264},
};

// The error allowed in ln b: 2e-15 plus 4e-15 per unit of |ln b| (what the
// rounding of terms of that size leaves), so 3.5e-14 relative near a mode at n = 1e7.
double allowed_log_error(double log_b) {
  return 2e-15 + 4e-15 * std::fabs(log_b);
}

TEST(LogBinomial, MatchesSixtyDigitValuesUpToTenMillionTrials) {
  for (const LogBinomialCase& c : LOG_BINOMIAL_CASES) {
    const double value = log_binomial_probability(c.k, c.n, c.p, 1.0 - c.p);
    EXPECT_NEAR(value, c.expected, allowed_log_error(c.expected)) << c;
  }
}

TEST(LogBinomial, MatchesLongDoubleLogGammaForEverySmallCount) {
  for (const double p : {0.5, 0.25, 0.0625, 0.9375, 0.001953125}) {
    const long double lp = std::log(static_cast<long double>(p));
    const long double lq = std::log1p(-static_cast<long double>(p));
    for (int n = 1; n <= 60; ++n) {
      for (int k = 0; k <= n; ++k) {
        const long double exact = std::lgamma(n + 1.0L) - std::lgamma(k + 1.0L) -
                                  std::lgamma(n - k + 1.0L) + k * lp + (n - k) * lq;
        const double value = log_binomial_probability(k, n, p, 1.0 - p);
        EXPECT_NEAR(value, static_cast<double>(exact), allowed_log_error(exact))
            << "k=" << k << " n=" << n << " p=" << p;
      }
    }
  }
}

TEST(LogBinomial, ImpossibleCountsAreMinusInfinityNeverNaN) {
  EXPECT_EQ(log_binomial_probability(1, 5, 0.0, 1.0), -INFINITY);
  EXPECT_EQ(log_binomial_probability(4, 5, 1.0, 0.0), -INFINITY);
  EXPECT_EQ(log_binomial_probability(0, 5, 0.0, 1.0), 0.0);
  EXPECT_EQ(log_binomial_probability(5, 5, 1.0, 0.0), 0.0);
}

struct TailCase {
  double x;
  double upper;      // Q(x) to 20 digits, 0 where below the smallest normal double
  double log_upper;  // ln Q(x) to 20 digits
};

constexpr TailCase TAIL_CASES[] = {
    {-40.0, 1.0, 0.0},  // ln Q = -3.66e-350, below the smallest double
    {-10.0, 1.0, -7.619853024160526066e-24},
    {-1.0, 0.84134474606854294859, -0.17275377902344988953},
    {0.0, 0.5, -0.69314718055994530942},
    {1.5, 0.066807201268858066004, -2.705944400823889807},
    {8.0, 6.2209605742717841235e-16, -35.013437159914549896},
    {20.0, 2.7536241186062336951e-89, -203.91715537109726394},
    {30.0, 4.9067139271481870595e-198, -454.32124395634319711},
    {38.0, 0.0, -726.5572160188201301},
    {39.0, 0.0, -765.0831565643775444},
    {50.0, 0.0, -1254.8313611394199013},
    {1000.0, 0.0, -500007.82669481218431},
};

TEST(UpperTail, AreaAndLogarithmKeepRelativeAccuracyInBothTails) {
  for (const TailCase& c : TAIL_CASES) {
    // The tail's own condition number is x^2: the rounding of x/sqrt(2) alone costs that much.
    const double relative = 1e-15 * (2.0 + c.x * c.x);
    if (c.upper > 0.0) {
      EXPECT_NEAR(upper_tail(c.x), c.upper, relative * c.upper) << "x=" << c.x;
    } else {
      EXPECT_LT(upper_tail(c.x), 1e-300) << "x=" << c.x;
    }
    EXPECT_NEAR(log_upper_tail(c.x), c.log_upper, relative * std::fabs(c.log_upper) + 1e-300)
        << "x=" << c.x;
  }
}

TEST(BernoulliDivergence, MatchesThirtyDigitValuesAndTakesZeroLogZeroAsZero) {
  const struct {
    double n, a, p, q, expected;
  } rows[] = {
      {100, 0.3, 0.1, 0.9, 15.3663586803798653038977159796},
      {50, 0.0, 0.2, 0.8, 11.1571775657104877883147545155},    // n ln(1/q) alone
      {10, 1.0, 0.5, 0.5, 6.93147180559945309417232121458},    // n ln(1/p) alone
      {2, 0.5, 1e-300, 1.0, 689.389233537093814586562972162},  // p far below 1 - q's rounding
      {1e7, 0.25, 0.25, 0.75, 0.0},                            // a = p: no divergence
  };
  for (const auto& r : rows) {
    EXPECT_NEAR(bernoulli_divergence(r.n, r.a, r.p, r.q), r.expected, 1e-14 * r.expected)
        << "n=" << r.n << " a=" << r.a << " p=" << r.p;
  }
}

TEST(SwitchPoint, BracketsTheSwitchToAdjacentDoublesAndKeepsTheUpperEnd) {
  const double root = switch_point(0.0, 2.0, [](double x) { return x * x >= 2.0; });
  EXPECT_GE(root * root, 2.0);
  EXPECT_LT(std::nextafter(root, 0.0) * std::nextafter(root, 0.0), 2.0);
  // A condition true everywhere bisects down to lo's neighbour; false
  // everywhere leaves hi itself.
  EXPECT_EQ(switch_point(-1.0, 1.0, [](double) { return true; }), std::nextafter(-1.0, 1.0));
  EXPECT_EQ(switch_point(-1.0, 1.0, [](double) { return false; }), 1.0);
}

}  // namespace
}  // namespace kemro
