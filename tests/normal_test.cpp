#include "model/normal.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "model/nested/model_state.hpp"

namespace kemro {
namespace {

// An independent standard normal distribution function.
double reference_phi(double x) {
  return 0.5 * std::erfc(-x / std::sqrt(2.0));
}

double relative_difference(double a, double b) {
  return std::fabs(a - b) / std::fabs(b);
}

// The tail continued fraction, written out for the branch test.
double continued_fraction_tail(double z) {
  double b = z + 0.65;
  for (double k : {4.0, 3.0, 2.0, 1.0}) b = z + k / b;
  return (std::exp(-(z * z / 2.0)) / b) / 2.506628274631001;
}

TEST(PHID, ExactValuesAtZeroAndBeyondTheTailLimit) {
  EXPECT_EQ(PHID(0.0), 0.5);
  EXPECT_EQ(PHID(-0.0), 0.5);
  EXPECT_EQ(PHID(std::nextafter(37.0, 38.0)), 1.0);
  EXPECT_EQ(PHID(std::nextafter(-37.0, -38.0)), 0.0);
  EXPECT_EQ(PHID(1e300), 1.0);
  EXPECT_EQ(PHID(-std::numeric_limits<double>::infinity()), 0.0);
  EXPECT_EQ(PHID(std::numeric_limits<double>::infinity()), 1.0);
}

TEST(PHID, MinusThirtySevenIsStillComputed) {
  const double p = PHID(-37.0);
  EXPECT_GT(p, 0.0);
  EXPECT_NEAR(p / 5.7e-300, 1.0, 0.02);
  EXPECT_LT(relative_difference(p, reference_phi(-37.0)), 1e-8);
}

TEST(PHID, BranchPointTakesTheContinuedFractionAndTheDoubleBelowTheRational) {
  const double branch = 7.071067811865475;
  const double below = std::nextafter(branch, 0.0);
  EXPECT_EQ(PHID(-branch), continued_fraction_tail(branch));
  EXPECT_NE(PHID(-below), continued_fraction_tail(below));
  EXPECT_LT(relative_difference(PHID(-below), PHID(-branch)), 1e-7);
  EXPECT_LT(relative_difference(PHID(-branch), reference_phi(-branch)), 1e-8);
  EXPECT_LT(relative_difference(PHID(-below), reference_phi(-below)), 1e-8);
  EXPECT_EQ(PHID(branch), 1.0 - PHID(-branch));
}

TEST(PHID, PositiveArgumentsReflectTheSameTailArea) {
  for (double x = 0.01; x < 40.0; x *= 1.37) EXPECT_EQ(PHID(x), 1.0 - PHID(-x)) << x;
}

TEST(PHID, UpperTailVanishesFromAboutEightPointThree) {
  EXPECT_GT(1.0 - PHID(8.2), 0.0);
  EXPECT_EQ(1.0 - PHID(8.3), 0.0);
}

TEST(PHID, AgreesWithAnIndependentNormalDistributionFunction) {
  for (double x = -3.0; x <= 3.0; x += 0.001) {
    EXPECT_LT(relative_difference(PHID(x), reference_phi(x)), 2e-14) << x;
  }
  for (double x = -5.0; x <= 5.0; x += 0.003) {
    EXPECT_LT(relative_difference(PHID(x), reference_phi(x)), 5e-11) << x;
  }
  for (double x = -37.0; x <= -5.0; x += 0.01) {
    EXPECT_LT(relative_difference(PHID(x), reference_phi(x)), 1e-8) << x;
  }
}

TEST(PHID, IsMonotoneAcrossTheBody) {
  double previous = 0.0;
  for (double x = -38.0; x <= 9.0; x += 0.0007) {
    const double value = PHID(x);
    EXPECT_GE(value, previous) << x;
    previous = value;
  }
}

TEST(PHIB, DensityConstantsAndVariance) {
  const double c = normal_density_constant();
  EXPECT_EQ(c, 0.3989422804014327);
  EXPECT_EQ(PHIB(2.5, 2.5, 1.0, c), 0.3989422804014327);
  EXPECT_EQ(PHIB(2.5, 2.5, 4.0, c), 0.3989422804014327 / 2.0);
  EXPECT_EQ(PHIB(3.5, 2.5, 1.0, c), std::exp(-0.5) * 0.3989422804014327);
  // Variance, not standard deviation: one standard deviation away at v = 4 is x - mu = 2.
  EXPECT_DOUBLE_EQ(PHIB(4.5, 2.5, 4.0, c), 0.5 * std::exp(-0.5) * 0.3989422804014327);
}

}  // namespace
}  // namespace kemro
