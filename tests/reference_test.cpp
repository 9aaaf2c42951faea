// The test yardstick checked against what is known independently of it:
// exact hypergeometric values at d = 0, a closed form for one hire, the
// symmetry between the groups, and monotonicity.
#include "tests/support/reference.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace kemro::test {
namespace {

struct Problem {
  std::int32_t N1, N2, K;
};

std::int32_t smallest_outcome(const Problem& p) {
  return std::max(0, p.K - p.N1);
}
std::int32_t largest_outcome(const Problem& p) {
  return std::min(p.K, p.N2);
}

// C(n, k) in exact integer arithmetic, for small n
double binomial(std::int64_t n, std::int64_t k) {
  std::int64_t c = 1;
  for (std::int64_t i = 1; i <= k; ++i) c = c * (n - k + i) / i;
  return static_cast<double>(c);
}

double Phi(double x) {
  return 0.5 * std::erfc(-x / std::sqrt(2.0));
}
double phi(double x) {
  return std::exp(-0.5 * x * x) / std::sqrt(2.0 * M_PI);
}

// Trapezoid rule over a wide range with a fine step: for these smooth,
// rapidly vanishing integrands it is accurate far beyond 1e-12.
template <typename F>
double integral(F f, double lo, double hi) {
  constexpr double STEP = 1e-3;
  const auto n = static_cast<int>(std::ceil((hi - lo) / STEP));
  const double h = (hi - lo) / n;
  double sum = 0.5 * (f(lo) + f(hi));
  for (int k = 1; k < n; ++k) sum += f(lo + k * h);
  return sum * h;
}

// One hire: P(S = 0) = P(max majority > max minority)
//   = integral of N1 phi(x-d) Phi(x-d)^(N1-1) Phi(x)^N2 dx
double one_hire_majority(std::int32_t N1, std::int32_t N2, double d) {
  auto f = [&](double x) {
    return N1 * phi(x - d) * std::pow(Phi(x - d), N1 - 1) * std::pow(Phi(x), N2);
  };
  return integral(f, std::min(d, 0.0) - 15.0, std::max(d, 0.0) + 15.0);
}

// One hire: P(S = 1) = integral of N2 phi(x) Phi(x)^(N2-1) Phi(x-d)^N1 dx
double one_hire_minority(std::int32_t N1, std::int32_t N2, double d) {
  auto f = [&](double x) {
    return N2 * phi(x) * std::pow(Phi(x), N2 - 1) * std::pow(Phi(x - d), N1);
  };
  return integral(f, std::min(d, 0.0) - 15.0, std::max(d, 0.0) + 15.0);
}

TEST(HypergeometricCdf, MatchesExactValues) {
  EXPECT_NEAR(hypergeometric_cdf(2, 1, 1, 0), 2.0 / 3.0, 1e-15);
  EXPECT_NEAR(hypergeometric_cdf(3, 2, 2, 0), 0.3, 1e-15);
  EXPECT_NEAR(hypergeometric_cdf(3, 2, 2, 1), 0.9, 1e-15);
  // Small problems against binomial coefficients in integer arithmetic.
  for (const Problem p : {Problem{12, 9, 7}, Problem{4, 17, 9}, Problem{20, 3, 10}}) {
    double sum = 0.0;
    for (std::int32_t t = smallest_outcome(p); t < largest_outcome(p); ++t) {
      sum += binomial(p.N2, t) * binomial(p.N1, p.K - t) / binomial(p.N1 + p.N2, p.K);
      EXPECT_NEAR(hypergeometric_cdf(p.N1, p.N2, p.K, t), sum, 1e-15) << t;
    }
  }
  // Large problems, values from exact rational arithmetic.
  EXPECT_NEAR(hypergeometric_cdf(4000, 1000, 500, 100), 0.52723458685893632, 1e-15);
  EXPECT_NEAR(hypergeometric_cdf(4000, 1000, 500, 108), 0.84178965663853167, 1e-15);
  EXPECT_NEAR(hypergeometric_cdf(80000, 20000, 10000, 2000), 0.50609718336034282, 1e-15);
}

TEST(HypergeometricCdf, OutsideTheFeasibleRange) {
  EXPECT_EQ(hypergeometric_cdf(3, 5, 5, 1), 0.0);  // at least 2 minority hires
  EXPECT_EQ(hypergeometric_cdf(3, 5, 5, 5), 1.0);
  EXPECT_EQ(hypergeometric_cdf(5, 2, 4, 2), 1.0);  // at most 2 minority hires
}

TEST(ReferenceCdf, EqualsHypergeometricAtZeroEffectSize) {
  const std::vector<Problem> problems = {{2, 1, 1},   {3, 2, 2},      {15, 5, 5},     {3, 5, 5},
                                         {45, 5, 20}, {200, 100, 90}, {700, 300, 600}};
  for (const Problem& p : problems) {
    for (std::int32_t t = smallest_outcome(p) - 1; t <= largest_outcome(p); ++t) {
      EXPECT_NEAR(reference_cdf(p.N1, p.N2, p.K, 0.0, t), hypergeometric_cdf(p.N1, p.N2, p.K, t),
                  1e-11)
          << p.N1 << " " << p.N2 << " " << p.K << " t=" << t;
    }
  }
  // The bulk of large problems.
  for (std::int32_t t = 60; t <= 140; t += 4) {
    EXPECT_NEAR(reference_cdf(4000, 1000, 500, 0.0, t), hypergeometric_cdf(4000, 1000, 500, t),
                1e-11)
        << t;
  }
  for (std::int32_t t = 1900; t <= 2100; t += 20) {
    EXPECT_NEAR(reference_cdf(80000, 20000, 10000, 0.0, t),
                hypergeometric_cdf(80000, 20000, 10000, t), 1e-11)
        << t;
  }
}

TEST(ReferenceCdf, OneHireMatchesClosedForm) {
  struct Case {
    std::int32_t N1, N2;
    double d;
  };
  for (const Case c : {Case{2, 1, 0.0}, Case{7, 3, 2.5}, Case{10, 30, -1.0}, Case{1000, 50, 0.7},
                       Case{50, 50, 4.0}, Case{30, 10, 5.0}}) {
    const double p = reference_cdf(c.N1, c.N2, 1, c.d, 0);
    EXPECT_NEAR(p, one_hire_majority(c.N1, c.N2, c.d), 1e-12) << c.N1 << " " << c.N2 << " " << c.d;
    // Near 1 the complement keeps its relative accuracy.
    const double complement = one_hire_minority(c.N1, c.N2, c.d);
    EXPECT_NEAR(1.0 - p, complement, 1e-7 * complement + 1e-15) << c.N1 << " " << c.N2;
  }
}

// Shifting all scores by -d and exchanging the groups' roles:
// P_d(S <= t | N1, N2) = 1 - P_-d(S <= K - t - 1 | N2, N1).
TEST(ReferenceCdf, SymmetricInTheGroups) {
  struct Case {
    Problem p;
    double d;
  };
  for (const Case c : {Case{{30, 10, 8}, 1.0}, Case{{20, 20, 4}, 2.0}, Case{{5, 5, 2}, 4.0},
                       Case{{3, 5, 5}, -0.5}, Case{{400, 100, 60}, 0.5}}) {
    const Problem& p = c.p;
    for (std::int32_t t = smallest_outcome(p); t <= largest_outcome(p); ++t) {
      EXPECT_NEAR(reference_cdf(p.N1, p.N2, p.K, c.d, t),
                  1.0 - reference_cdf(p.N2, p.N1, p.K, -c.d, p.K - t - 1), 1e-12)
          << p.N1 << " " << p.N2 << " " << p.K << " t=" << t;
    }
  }
}

TEST(ReferenceDistribution, OneValuePerOutcomeIncreasingToOne) {
  for (const Problem p : {Problem{30, 10, 8}, Problem{3, 5, 5}, Problem{45, 5, 20}}) {
    const std::vector<double> values = reference_distribution(p.N1, p.N2, p.K, 0.8);
    ASSERT_EQ(values.size(), largest_outcome(p) - smallest_outcome(p) + 1u);
    EXPECT_GT(values.front(), 0.0);
    EXPECT_TRUE(std::is_sorted(values.begin(), values.end()));
    EXPECT_EQ(values.back(), 1.0);
  }
}

TEST(ReferenceCdf, IncreasesWithEffectSize) {
  const Problem p{60, 40, 20};
  for (std::int32_t t : {2, 5, 8, 12}) {
    double previous = 0.0;
    for (double d : {-2.0, -1.0, -0.5, 0.0, 0.5, 1.0, 2.0, 3.0}) {
      const double value = reference_cdf(p.N1, p.N2, p.K, d, t);
      EXPECT_GE(value, previous) << "t=" << t << " d=" << d;
      if (previous > 1e-6 && value < 1.0 - 1e-6) {
        EXPECT_GT(value, previous + 1e-9) << "t=" << t << " d=" << d;
      }
      previous = value;
    }
  }
}

}  // namespace
}  // namespace kemro::test
