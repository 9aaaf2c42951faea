// The planning of the outcome integrations: order-statistic locations and
// tails, each outcome's range and breakpoints, the saturation forecast, and
// how the integrator and FUN carry a plan out.
#include "model/nested/integration_plan.hpp"

#include <gsl/gsl_cdf.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <string_view>

#include "model/integrator.hpp"
#include "model/nested/integrands.hpp"
#include "model/nested/order_statistics.hpp"
#include "model/nested/outcomes.hpp"
#include "model/normal.hpp"
#include "tests/support/reference.hpp"

namespace kemro {
namespace {

bool same_bits(double a, double b) {
  return std::memcmp(&a, &b, sizeof a) == 0;
}

// Upper tail Q(z) = P(Z > z), accurate far out.
double Q(double z) {
  return gsl_cdf_ugaussian_Q(z);
}

// 1 - (1 - q)^n without cancellation.
double at_least_one_of(double n, double q) {
  return -std::expm1(n * std::log1p(-q));
}

// ---- Order statistics ----

TEST(OrderStatistics, BinomialTailIsTheSumOfTheUpperTerms) {
  const int n = 10;
  for (double q : {0.01, 0.3, 0.9}) {
    for (int k = 0; k <= n + 1; ++k) {
      double sum = 0.0;
      for (int j = std::max(k, 0); j <= n; ++j) {
        sum += std::exp(std::lgamma(n + 1.0) - std::lgamma(j + 1.0) - std::lgamma(n - j + 1.0)) *
               std::pow(q, j) * std::pow(1.0 - q, n - j);
      }
      EXPECT_NEAR(binomial_upper_tail(n, k, q), sum, 1e-14 + 1e-12 * sum) << q << " " << k;
    }
  }
  EXPECT_EQ(binomial_upper_tail(10, 3, 0.0), 0.0);
  EXPECT_EQ(binomial_upper_tail(10, 3, 1.0), 1.0);
  EXPECT_TRUE(std::isnan(binomial_upper_tail(10, 3, std::nan(""))));
}

TEST(OrderStatistics, ExtremeScoresHaveClosedFormTails) {
  // The largest of n: P(X_(n) > c) = 1 - (1 - Q(c - mu))^n; the smallest:
  // P(X_(1) <= c) = 1 - (1 - Phi(c - mu))^n; far into the tails as well.
  const double mu = 0.5;
  for (double c : {-1.0, 2.0, 6.5, 9.0}) {
    const double top = at_least_one_of(1000, PHID(mu - c));
    EXPECT_NEAR(probability_above(1000, 1000, mu, c), top, 1e-12 * top) << c;
    const double low = -c;
    const double bottom = at_least_one_of(1000, PHID(low - mu));
    EXPECT_NEAR(probability_at_or_below(1000, 1, mu, low), bottom, 1e-12 * bottom) << c;
  }
}

TEST(OrderStatistics, TheMedianConcentratesAtTheMean) {
  const Concentration c = concentration(101, 51, 2.0);
  EXPECT_NEAR(c.location, 2.0, 1e-12);
  EXPECT_NEAR(c.spread, std::sqrt(0.25 / 103.0) * std::sqrt(2.0 * M_PI), 1e-12);
  // Higher order statistics lie higher; extreme ones spread wider.
  EXPECT_GT(concentration(101, 90, 2.0).location, c.location);
  EXPECT_GT(concentration(101, 101, 2.0).spread, c.spread);
}

TEST(OrderStatistics, ExceedanceBoundLiesJustAboveTheTruth) {
  struct Case {
    std::int32_t N1, N2, K, t;
    double d;
  };
  for (const Case& c :
       {Case{500, 500, 20, 12, 0.3}, Case{500, 500, 20, 18, 0.3}, Case{80, 20, 20, 8, 1.0},
        Case{30, 10, 5, 0, 5.0}, Case{8000, 2000, 1000, 150, 0.5}}) {
    SCOPED_TRACE(testing::Message() << c.N1 << " " << c.N2 << " " << c.K << " t=" << c.t);
    const double truth = 1.0 - test::reference_cdf(c.N1, c.N2, c.K, c.d, c.t);
    const double bound = exceedance_bound(c.N1, c.N2, c.d, c.N1 - (c.K - c.t) + 1, c.N2 - c.t);
    EXPECT_GE(bound, truth * (1.0 - 1e-9));
    EXPECT_LE(bound, 1.5 * truth + 1e-12);
  }
}

// ---- Plans ----

TEST(Plan, OrdinaryOutcomesKeepTheFixedLayout) {
  const IntegrationPlan plan = plan_outcome(80, 20, 1.0, 70, 15);
  EXPECT_EQ(plan.lower, -6.5);
  EXPECT_EQ(plan.upper, 6.5);
  EXPECT_TRUE(plan.outer.empty());
  EXPECT_TRUE(plan.inner.empty());
  EXPECT_FALSE(plan.refined());
  EXPECT_FALSE(plan.widened());
}

TEST(Plan, NarrowConcentrationsGetBreakpointsAroundThem) {
  const std::int32_t N1 = 80000, N2 = 20000, t = 1000, K = 10000;
  const std::int32_t I = N1 - (K - t) + 1, J = N2 - t;
  const IntegrationPlan plan = plan_outcome(N1, N2, 0.5, I, J);
  EXPECT_FALSE(plan.widened());
  ASSERT_TRUE(plan.refined());
  const auto outer = plan.outer.points();
  const auto inner = plan.inner.points();
  EXPECT_EQ(outer.size(), 14u);
  EXPECT_EQ(inner.size(), 7u);
  EXPECT_TRUE(std::is_sorted(outer.begin(), outer.end()));
  EXPECT_EQ(std::adjacent_find(outer.begin(), outer.end()), outer.end());
  for (double x : outer) {
    EXPECT_GT(x, plan.lower);
    EXPECT_LT(x, plan.upper);
  }
  const double majority = concentration(N1, I, 0.5).location;
  const double minority = concentration(N2, J, 0.0).location;
  EXPECT_NE(std::find(outer.begin(), outer.end(), majority), outer.end());
  EXPECT_NE(std::find(outer.begin(), outer.end(), minority), outer.end());
  EXPECT_NE(std::find(inner.begin(), inner.end(), minority), inner.end());
  // Every inner point is an outer one.
  for (double x : inner) EXPECT_NE(std::find(outer.begin(), outer.end(), x), outer.end());
}

TEST(Plan, BreakpointsKeepOrderAndCapacity) {
  Breakpoints points;
  for (double x : {3.0, -1.0, 2.0, 3.0, 0.5}) points.add(x);
  EXPECT_EQ(std::vector<double>(points.points().begin(), points.points().end()),
            (std::vector<double>{-1.0, 0.5, 2.0, 3.0}));
  for (int k = 0; k < 20; ++k) points.add(10.0 + k);
  EXPECT_EQ(points.points().size(), Breakpoints::CAPACITY);
}

TEST(Plan, UpperEndMovesUntilTheBestMajorityScoreIsCutAtMost1e12) {
  // The best of 30 majority scores with d = 5 lies above 6.5 with probability 0.4.
  const IntegrationPlan plan = plan_outcome(30, 10, 5.0, 30, 10);
  EXPECT_EQ(plan.lower, -6.5);
  ASSERT_GT(plan.upper, 6.5);
  EXPECT_TRUE(plan.widened());
  EXPECT_LE(at_least_one_of(30, Q(plan.upper - 5.0)), 1e-12);
  EXPECT_GT(at_least_one_of(30, Q(plan.upper - 0.1 - 5.0)), 1e-12);  // no further than needed
}

TEST(Plan, LowerEndMovesWhenTheLowestMinorityScoreIsCutByMoreThan1e9) {
  // P(Y_(1) < -6.5) = 1 - (1 - Phi(-6.5))^N2: 8.0e-10 for 20 scores, 1.2e-9 for 30.
  ASSERT_LT(at_least_one_of(20, Q(6.5)), 1e-9);
  ASSERT_GT(at_least_one_of(30, Q(6.5)), 1e-9);
  EXPECT_EQ(plan_outcome(50, 20, 0.0, 10, 1).lower, -6.5);
  const IntegrationPlan plan = plan_outcome(50, 30, 0.0, 10, 1);
  ASSERT_LT(plan.lower, -6.5);
  EXPECT_LE(at_least_one_of(30, Q(-plan.lower)), 1e-12);
  EXPECT_GT(at_least_one_of(30, Q(-(plan.lower + 0.1))), 1e-12);
  EXPECT_EQ(plan.upper, 6.5);
  // A huge minority: its lowest score lies below -6.5 with probability 4e-6.
  EXPECT_LT(plan_outcome(10, 100000, 0.0, 5, 1).lower, -7.0);
}

TEST(Plan, NonFiniteEffectSizesAndSwitchedOffPlanningKeepTheFixedLayout) {
  for (double d :
       {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(),
        -std::numeric_limits<double>::infinity()}) {
    const IntegrationPlan plan = plan_outcome(80000, 20000, d, 70001, 19000);
    EXPECT_FALSE(plan.refined() || plan.widened()) << d;
  }
  ModelState state;
  state.N1 = 80000;
  state.N2 = 20000;
  state.K = 10000;
  state.d = 0.5;
  state.I = 70001;
  state.J = 19000;
  EXPECT_TRUE(plan_outcome(state).refined());
  state.adapt_integration = false;
  const IntegrationPlan fixed = plan_outcome(state);
  EXPECT_FALSE(fixed.refined() || fixed.widened());
  EXPECT_FALSE(survey_plans(state).refined || survey_plans(state).widened);
}

// ---- Forecast and survey ----

TEST(Forecast, FirstSaturatedThresholdFollowsTheReference) {
  struct Case {
    std::int32_t N1, N2, K;
    double d;
  };
  for (const Case& c : {Case{500, 500, 20, 0.3}, Case{80, 20, 20, 1.0}, Case{400, 100, 50, 2.0}}) {
    SCOPED_TRACE(testing::Message() << c.N1 << " " << c.N2 << " " << c.K << " " << c.d);
    const std::int64_t t = first_saturated_threshold(c.N1, c.N2, c.K, c.d);
    const std::int32_t L = std::max(0, c.K - c.N1);
    const std::int32_t top = std::min(c.K, c.N2);
    ASSERT_GT(t, L);
    ASSERT_LT(t, top);
    const auto exceedance = [&](std::int64_t s) {
      return 1.0 - test::reference_cdf(c.N1, c.N2, c.K, c.d, static_cast<std::int32_t>(s));
    };
    EXPECT_LT(exceedance(t - 1), 1e-8);
    if (t - 1 > L) {
      EXPECT_GT(exceedance(t - 2), 1e-8 / 1.5);
    }
  }
  // P(S > 3) = 2e-5 for 15 majority and 5 minority applicants, 5 hires, d = 1;
  // and minority hires are likely up to the last outcome when d = -3: none is
  // expected to saturate.
  EXPECT_EQ(first_saturated_threshold(15, 5, 5, 1.0), 5);
  EXPECT_EQ(first_saturated_threshold(20, 30, 10, -3.0), 10);
  EXPECT_EQ(first_saturated_threshold(20, 30, 1, 0.0), 1);
}

TEST(Survey, FindsWhatTheIntegratedOutcomesUse) {
  const auto survey = [](std::int32_t N1, std::int32_t N2, std::int32_t K, double d) {
    ModelState state;
    state.N1 = N1;
    state.N2 = N2;
    state.K = K;
    state.d = d;
    return survey_plans(state);
  };
  // The best majority score (t = 19) needs the wider range, but that outcome saturates.
  ASSERT_TRUE(plan_outcome(500, 500, 0.3, 500, 481).widened());
  PlanSurvey s = survey(500, 500, 20, 0.3);
  EXPECT_FALSE(s.refined || s.widened);
  s = survey(40, 20, 4, 2.0);
  EXPECT_TRUE(s.widened);
  EXPECT_FALSE(s.refined);
  s = survey(9500, 500, 1000, 4.0);
  EXPECT_TRUE(s.refined);
  EXPECT_FALSE(s.widened);
}

// ---- Carrying a plan out ----

struct NarrowDensity {
  double location, spread;
};
// The normal density with a small spread.
double narrow_density(double x, void* params) {
  const auto& n = *static_cast<NarrowDensity*>(params);
  const double z = (x - n.location) / n.spread;
  return std::exp(-0.5 * z * z) / (n.spread * std::sqrt(2.0 * M_PI));
}

TEST(PiecewiseQag, BreakpointsFindWhatTheFirstPassMisses) {
  Integrators work;
  NarrowDensity n{0.1234, 0.002};
  const gsl_function F{&narrow_density, &n};
  const QagResult plain = QAG(F, -6.5, 6.5, 1e-9, 1e-8, work.outer);
  EXPECT_LT(plain.RESULT, 0.5);  // the rule's nodes step over the density
  std::vector<double> breaks;
  for (double k : {-40.0, -10.0, -3.0, 0.0, 3.0, 10.0, 40.0}) breaks.push_back(0.1234 + k * 0.002);
  const QagResult split = QAG_PIECEWISE(F, -6.5, 6.5, breaks, 1e-9, 1e-8, work.outer);
  EXPECT_NEAR(split.RESULT, 1.0, 1e-9);
  EXPECT_EQ(split.IER, 0);
  // Breakpoints outside the range leave exactly one plain integration.
  const QagResult outside = QAG_PIECEWISE(F, -6.5, 0.0, breaks, 1e-9, 1e-8, work.outer);
  const QagResult direct = QAG(F, -6.5, 0.0, 1e-9, 1e-8, work.outer);
  EXPECT_TRUE(same_bits(outside.RESULT, direct.RESULT));
  EXPECT_TRUE(same_bits(outside.ABSERR, direct.ABSERR));
}

class NoListener : public OutcomeListener {
 public:
  int warnings = 0;
  void integration_warning(int) override { ++warnings; }
  void trace_row(std::int32_t, std::int32_t, std::int32_t, double, double) override {}
  void abnormal_return(int) override {}
  void notice(std::string_view) override {}
};

class PlannedFUN : public ::testing::Test {
 protected:
  Integrators work;
  NoListener listener;
  ModelState state;

  void outcome(std::int32_t N1, std::int32_t N2, std::int32_t I, std::int32_t J, double d) {
    state.density_constant = normal_density_constant();
    state.inner_workspace = &work.inner;
    state.listener = &listener;
    state.N1 = N1;
    state.N2 = N2;
    state.d = d;
    set_outcome_indices(state, I, J);
  }

  // f(x): the density of the I-th smallest majority score.
  double f(double x) const {
    const double p = PHID(x - state.d);
    return std::exp(std::log(PHIB(x, state.d, 1.0, state.density_constant)) +
                    (state.I - 1) * std::log(p) + (state.N1 - state.I) * std::log1p(-p) -
                    state.majority_lnbeta);
  }
};

TEST_F(PlannedFUN, TabulatedGMatchesTheExactMinorityDistribution) {
  // A narrow minority order statistic (spread about 0.01) around 1.6.
  outcome(80000, 20000, 71001, 19000, 0.5);
  IntegrationPlan plan = plan_outcome(state);
  ASSERT_FALSE(plan.inner.empty());
  tabulate_G(state, plan);
  state.plan = &plan;
  const double minority = concentration(20000, 19000, 0.0).location;
  for (double x : {minority - 0.02, minority, minority + 0.015, minority + 0.3}) {
    const double G = probability_at_or_below(20000, 19000, 0.0, x);
    const double value = FUN(x, &state);
    EXPECT_NEAR(value, f(x) * G, 1e-7 * f(x) + 1e-300) << x;
  }
  EXPECT_EQ(listener.warnings, 0);
}

TEST_F(PlannedFUN, GuardPointIsThePlansLowerEnd) {
  outcome(10, 100000, 5, 1, 0.0);
  IntegrationPlan plan = plan_outcome(state);
  ASSERT_LT(plan.lower, -7.0);
  tabulate_G(state, plan);
  state.plan = &plan;
  EXPECT_EQ(FUN(plan.lower, &state), 0.0);
  EXPECT_EQ(state.FU1_evaluations, 0u);
  // Between the lower end and -6.5 G counts the lowest minority scores.
  const double x = 0.5 * (plan.lower - 6.5);
  EXPECT_NEAR(FUN(x, &state), f(x) * probability_at_or_below(100000, 1, 0.0, x), 1e-6 * f(x));
  EXPECT_GT(state.FU1_evaluations, 0u);
}

TEST_F(PlannedFUN, SplitPlansSkipGWhereTheMajorityDensityUnderflows) {
  outcome(80000, 20000, 71001, 19000, 0.5);
  IntegrationPlan plan = plan_outcome(state);
  tabulate_G(state, plan);
  state.plan = &plan;
  const std::uint64_t before = state.FU1_evaluations;
  EXPECT_EQ(FUN(-2.0, &state), 0.0);  // hundreds of spreads below the majority score
  EXPECT_EQ(state.FU1_evaluations, before);
}

}  // namespace
}  // namespace kemro
