#include "model/nested/population.hpp"

#include <gsl/gsl_cdf.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <limits>
#include <string>

namespace kemro {
namespace {

struct Problem {
  ModelState state;
  CFUN share;
};

Problem problem(std::int32_t N, std::int32_t N1, std::int32_t K, double d) {
  Problem p;
  p.state.density_constant = normal_density_constant();
  p.state.d = d;
  p.state.N1 = N1;
  p.state.N2 = N - N1;
  p.state.K = K;
  p.share.majority_share = static_cast<double>(N1) / static_cast<double>(N);
  return p;
}

std::string fixed(double value, int decimals) {
  char text[64];
  std::snprintf(text, sizeof text, "%.*f", decimals, value);
  return text;
}

double cutoff_equation(const Problem& p, double u) {
  CutoffParams params{&p.state, &p.share};
  return FUN1(u, &params);
}

TEST(PopulationStage, EqualMeansGiveTheNormalQuantileAndEqualRates) {
  const Problem p = problem(100, 80, 20, 0.0);
  const PopulationValues values = population_stage(p.state, p.share);
  EXPECT_NEAR(values.cutoff, gsl_cdf_ugaussian_Qinv(0.2), 2e-8);
  EXPECT_EQ(values.SRA, values.SRI);
  EXPECT_EQ(values.AI, 1.0);
  EXPECT_EQ(fixed(values.SRA, 5), "0.20000");
}

TEST(PopulationStage, ReproducesThePublishedPopulationValues) {
  struct Case {
    std::int32_t N, N1, K;
    const char *u, *SRA, *SRI, *AI;
  };
  for (const Case& c : {Case{100, 80, 20, "1.709281", "0.23908", "0.04370", "0.18279"},
                        Case{1000, 700, 100, "2.101967", "0.13524", "0.01778", "0.13146"}}) {
    const Problem p = problem(c.N, c.N1, c.K, 1.0);
    const PopulationValues values = population_stage(p.state, p.share);
    EXPECT_EQ(fixed(values.cutoff, 6), c.u);
    EXPECT_EQ(fixed(values.SRA, 5), c.SRA);
    EXPECT_EQ(fixed(values.SRI, 5), c.SRI);
    EXPECT_EQ(fixed(values.AI, 5), c.AI);
    EXPECT_NEAR(cutoff_equation(p, values.cutoff), 0.0, 1e-9);
  }
}

TEST(PopulationStage, NegativeEffectSizeFavoursTheMinority) {
  const Problem p = problem(60, 40, 15, -0.7);
  const PopulationValues values = population_stage(p.state, p.share);
  EXPECT_GT(values.SRI, values.SRA);
  EXPECT_GT(values.AI, 1.0);
  // The rates mix back to the overall selection ratio K/N.
  EXPECT_NEAR((40.0 * values.SRA + 20.0 * values.SRI) / 60.0, 15.0 / 60.0, 1e-9);
}

TEST(PopulationStage, WithoutASignChangeTakesTheEndNearerZero) {
  // K = 0: FUN1 > 0 throughout and smallest at 8.
  const Problem none = problem(100, 80, 0, 1.0);
  EXPECT_EQ(population_stage(none.state, none.share).cutoff, 8.0);
  // K = N and K > N: FUN1 < 0 throughout and nearest 0 at -8.
  for (std::int32_t K : {100, 150}) {
    const Problem p = problem(100, 80, K, 1.0);
    EXPECT_EQ(population_stage(p.state, p.share).cutoff, -8.0) << K;
  }
}

TEST(PopulationStage, CutoffBeyondTheFirstIntervalIsStillFound) {
  // d = 12 with 1 hire in 100: the majority share above 8 still exceeds K/N, so
  // the cutoff lies near the majority mean, where 0.8 Q(u - 12) = 0.01.
  const Problem strong = problem(100, 80, 1, 12.0);
  const PopulationValues v = population_stage(strong.state, strong.share);
  EXPECT_NEAR(v.cutoff, 12.0 + gsl_cdf_ugaussian_Qinv(0.01 / 0.8), 1e-7);
  EXPECT_NEAR(v.SRA, 0.0125, 1e-9);
  EXPECT_EQ(v.SRI, 0.0);
  // The mirror image: d = -12 with 99 hires in 100 puts the cutoff near -12.
  const Problem weak = problem(100, 80, 99, -12.0);
  const PopulationValues w = population_stage(weak.state, weak.share);
  EXPECT_NEAR(w.cutoff, -12.0 + gsl_cdf_ugaussian_Qinv(1.0 - 0.01 / 0.8), 1e-7);
  EXPECT_NEAR(w.SRA, 1.0 - 0.0125, 1e-9);
  EXPECT_EQ(w.SRI, 1.0);
}

TEST(PopulationStage, HostileInputsReturnAFiniteCutoffInTheInterval) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  for (const Problem& p : {problem(0, 0, 0, 1.0), problem(0, 0, 5, 1.0), problem(10, 12, 3, 0.5),
                           problem(100, 80, 20, nan), problem(100, 80, 20, inf),
                           problem(100, 80, 20, -inf), problem(100, 80, -5, 1.0)}) {
    const double u = population_stage(p.state, p.share).cutoff;
    EXPECT_TRUE(std::isfinite(u));
    EXPECT_GE(u, -8.0);
    EXPECT_LE(u, 8.0);
  }
}

}  // namespace
}  // namespace kemro
