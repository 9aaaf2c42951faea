#include "model/nested/integrands.hpp"

#include <gsl/gsl_errno.h>
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string_view>
#include <vector>

#include "model/integrator.hpp"
#include "model/nested/outcomes.hpp"
#include "model/normal.hpp"

namespace kemro {
namespace {

class WarningRecorder : public OutcomeListener {
 public:
  std::vector<int> warnings;
  void integration_warning(int ier) override { warnings.push_back(ier); }
  void trace_row(std::int32_t, std::int32_t, std::int32_t, double, double) override {}
  void abnormal_return(int) override {}
  void notice(std::string_view) override {}
};

class Integrands : public ::testing::Test {
 protected:
  Integrators work;
  WarningRecorder listener;
  ModelState state;

  void SetUp() override {
    state.density_constant = normal_density_constant();
    state.inner_workspace = &work.inner;
    state.listener = &listener;
  }

  void outcome(std::int32_t N1, std::int32_t N2, std::int32_t I, std::int32_t J, double d) {
    state.N1 = N1;
    state.N2 = N2;
    state.K = 0;
    state.d = d;
    set_outcome_indices(state, I, J);
  }
};

TEST_F(Integrands, FU1IsTheDensityOfTheMinorityOrderStatistic) {
  outcome(5, 3, 1, 2, 0.0);
  // The median of three standard normal scores at 0: 3!/(1!1!) * 0.5 * 0.5 * phi(0).
  EXPECT_NEAR(FU1(0.0, &state), 6.0 * 0.25 * 0.3989422804014327, 1e-14);
  EXPECT_NEAR(FU1(0.0, &state), 0.598413, 5e-7);
  // The largest of three at y: 3 * Phi(y)^2 * phi(y).
  set_outcome_indices(state, 1, 3);
  const double y = 0.8;
  EXPECT_NEAR(FU1(y, &state), 3.0 * PHID(y) * PHID(y) * PHIB(y, 0.0, 1.0, state.density_constant),
              1e-14);
}

// FU1 leaves out work where its value underflows; it must still be, bit for
// bit, the exponential of its whole exponent everywhere, tails included.
TEST_F(Integrands, FU1ShortcutsNeverChangeAValue) {
  const auto whole = [&](double y) {
    const double u = std::log(state.density_constant) - 0.5 * (y * y);
    const double p = PHID(y);
    const double v = state.J == state.N2 ? 0.0 : (state.N2 - state.J) * std::log(1.0 - p);
    const double w = state.J == 1 ? 0.0 : (state.J - 1) * std::log(p);
    return std::exp(u + w + v - state.minority_lnbeta);
  };
  constexpr std::int32_t big = std::numeric_limits<std::int32_t>::max();
  const std::pair<std::int32_t, std::int32_t> minority[] = {
      {3, 2}, {300, 150}, {2000, 1990}, {20000, 3}, {1000000, 500000}, {big, big / 2}};
  for (const auto& [N2, J] : minority) {
    outcome(10, N2, 1, J, 0.0);
    int zeros = 0, positives = 0;
    for (double y = -40.0; y < 12.0; y += 0.00731) {
      const double expected = whole(y);
      ASSERT_EQ(FU1(y, &state), expected) << "N2 = " << N2 << ", J = " << J << ", y = " << y;
      (expected == 0.0 ? zeros : positives) += 1;
    }
    EXPECT_GT(zeros, 0);
    EXPECT_GT(positives, 0);
  }
}

TEST_F(Integrands, FUNMultipliesTheMajorityDensityByTheMinorityDistribution) {
  outcome(2, 1, 2, 1, 0.0);
  const double expected = 2.0 * 0.5 * 0.3989422804014327 * (0.5 - PHID(-6.5));
  EXPECT_NEAR(FUN(0.0, &state), expected, 1e-6);
  EXPECT_NEAR(FUN(0.0, &state), 0.199471, 5e-7);
  EXPECT_TRUE(listener.warnings.empty());
}

TEST_F(Integrands, FUNIsZeroUpToTheLowerLimitWithoutIntegrating) {
  outcome(2, 1, 2, 1, 0.0);
  for (double x : {-6.5, -7.0, -100.0, -std::numeric_limits<double>::infinity()}) {
    EXPECT_EQ(FUN(x, &state), 0.0) << x;
  }
  EXPECT_EQ(state.FU1_evaluations, 0u);
  EXPECT_EQ(state.FUN_evaluations, 4u);
  EXPECT_GE(FUN(std::nextafter(-6.5, 0.0), &state), 0.0);  // just above: integrates
  EXPECT_GT(state.FU1_evaluations, 0u);
}

TEST_F(Integrands, ZeroExponentsGiveFactorOneWhereTheBaseIsZero) {
  // J = 1: Phi(y)^0 at y = -38, where Phi(y) is exactly 0.
  outcome(5, 4, 1, 1, 0.0);
  ASSERT_EQ(PHID(-38.0), 0.0);
  const double tail = FU1(-38.0, &state);
  EXPECT_FALSE(std::isnan(tail));
  EXPECT_GE(tail, 0.0);
  // I = N1 with d = -3: 1 - Phi(x - d) is exactly 0 at x = 6.4, and its power is 0.
  outcome(4, 2, 4, 2, -3.0);
  ASSERT_EQ(1.0 - PHID(6.4 + 3.0), 0.0);
  const double top = FUN(6.4, &state);
  EXPECT_TRUE(std::isfinite(top));
  EXPECT_GT(top, 0.0);
  // A base of 0 under a positive exponent is a factor 0, not a failure.
  outcome(4, 2, 3, 2, -3.0);
  EXPECT_EQ(FUN(6.4, &state), 0.0);
}

TEST_F(Integrands, InnerIntegrationTroubleIsReportedAndTheEstimateUsed) {
  outcome(2, 1, 2, 1, 0.0);
  state.minority_lnbeta = std::numeric_limits<double>::quiet_NaN();
  const double value = FUN(0.0, &state);
  EXPECT_TRUE(std::isnan(value));
  ASSERT_EQ(listener.warnings.size(), 1u);
  EXPECT_EQ(listener.warnings[0], 6);
}

TEST(Integrator, MapsGslStatusesOntoIntegratorCodes) {
  EXPECT_EQ(integrator_code(GSL_SUCCESS), 0);
  EXPECT_EQ(integrator_code(GSL_EMAXITER), 1);
  EXPECT_EQ(integrator_code(GSL_EROUND), 2);
  EXPECT_EQ(integrator_code(GSL_ESING), 3);
  EXPECT_EQ(integrator_code(GSL_EFAILED), 6);
  EXPECT_EQ(integrator_code(GSL_EINVAL), 6);
}

TEST(Integrator, ReportsFailuresAsCodesWithoutAborting) {
  Integrators work;
  gsl_function bad{[](double, void*) { return std::numeric_limits<double>::quiet_NaN(); }, nullptr};
  EXPECT_EQ(QAG(bad, 0.0, 1.0, 1e-9, 1e-8, work.outer).IER, 6);
  // An unreachable accuracy request is invalid input.
  gsl_function one{[](double, void*) { return 1.0; }, nullptr};
  EXPECT_EQ(QAG(one, 0.0, 1.0, 0.0, 1e-20, work.outer).IER, 6);
  const QagResult good = QAG(one, -1.0, 2.0, 1e-9, 1e-8, work.inner);
  EXPECT_EQ(good.IER, 0);
  EXPECT_NEAR(good.RESULT, 3.0, 1e-12);
}

}  // namespace
}  // namespace kemro
