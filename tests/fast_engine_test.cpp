// The fast engine (fast_outcome_probabilities, analyse_fast): agreement with
// exact hypergeometric sums at d = 0, with the independent integral of
// tests/support and with the nested engine; properties every result must
// have (no NaN or negative value, points summing to 1, monotone cumulative
// values, the hires balance through analyse_fast, the symmetry of swapping
// the groups); closed forms for two applicants; pinned values, error
// estimates, statuses and evaluation counts; and refused input.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <ostream>
#include <vector>

#include "distribution/analysis.hpp"
#include "model/fast/outcomes.hpp"
#include "model/normal.hpp"
#include "tests/support/reference.hpp"

namespace kemro {
namespace {

struct Problem {
  std::int32_t N1, N2, K;
  double d;
};

std::ostream& operator<<(std::ostream& out, const Problem& p) {
  return out << "N1=" << p.N1 << " N2=" << p.N2 << " K=" << p.K << " d=" << p.d;
}

OutcomeProbabilities compute(const Problem& p) {
  return fast_outcome_probabilities(p.N1, p.N2, p.K, p.d);
}

std::int32_t last_outcome(const OutcomeProbabilities& r) {
  return r.first + static_cast<std::int32_t>(r.point.size()) - 1;
}

// d = 0: P(S <= t) is a hypergeometric sum; checked for every t of the window
// and a margin on both sides.
constexpr Problem HYPERGEOMETRIC_PROBLEMS[] = {
    {1, 1, 1, 0.0},
    {5, 5, 3, 0.0},
    {80, 20, 10, 0.0},
    {999, 1, 500, 0.0},
    {1, 999, 998, 0.0},
    {950, 50, 100, 0.0},
    {5000, 95000, 1, 0.0},
    {50000, 50000, 99999, 0.0},
    {80000, 20000, 10000, 0.0},
};

TEST(FastEngine, EqualMeansGiveTheHypergeometricDistribution) {
  for (const Problem& p : HYPERGEOMETRIC_PROBLEMS) {
    const OutcomeProbabilities r = compute(p);
    ASSERT_EQ(r.status, EngineStatus::converged) << p;
    for (std::int32_t t = r.first - 20; t <= last_outcome(r) + 20; ++t) {
      EXPECT_NEAR(r.at_most(t), test::hypergeometric_cdf(p.N1, p.N2, p.K, t), 1e-12)
          << p << " t=" << t;
    }
  }
}

// Any d: against the independent integral, at the window's ends and at the
// outcomes where P(S <= t) first reaches each probe level.
constexpr Problem REFERENCE_PROBLEMS[] = {
    {1, 1, 1, 8.0},
    {1, 1, 1, -8.0},
    {1, 4, 1, 3.0},
    {3, 2, 4, -2.5},
    {999, 1, 1, -8.0},
    {999, 1, 999, 8.0},
    {50, 950, 1, 4.0},
    {50, 950, 999, -4.0},
    {700, 300, 100, 1.0},
    {4000, 1000, 2500, -1.0},
    {500, 9500, 300, 8.0},
    {60000, 40000, 5000, 0.3},
    {800000, 200000, 100000, 0.5},
};
constexpr double PROBE_LEVELS[] = {1e-12, 1e-6, 0.01, 0.3, 0.5, 0.7, 0.99, 1 - 1e-6};

TEST(FastEngine, AgreesWithTheIndependentIntegralAcrossTheDomain) {
  for (const Problem& p : REFERENCE_PROBLEMS) {
#ifdef KEMRO_SANITIZED
    if (p.N1 + p.N2 > 10000) continue;  // minutes under the instrumentation
#endif
    const OutcomeProbabilities r = compute(p);
    ASSERT_EQ(r.status, EngineStatus::converged) << p;
    std::vector<std::int32_t> probes = {r.first - 1, r.first, last_outcome(r) - 1};
    for (const double level : PROBE_LEVELS) {
      std::int32_t t = r.first;
      while (t < last_outcome(r) && r.at_most(t) < level) ++t;
      probes.push_back(t);
    }
    for (const std::int32_t t : probes) {
      EXPECT_NEAR(r.at_most(t), test::reference_cdf(p.N1, p.N2, p.K, p.d, t), 1e-10)
          << p << " t=" << t;
    }
  }
}

// Swapping the groups and negating d is the same selection seen from the
// other group: S becomes K - S.
TEST(FastEngine, SwappingTheGroupsTurnsSIntoKMinusS) {
  for (const Problem& p : REFERENCE_PROBLEMS) {
    const OutcomeProbabilities r = compute(p);
    const OutcomeProbabilities swapped = compute({p.N2, p.N1, p.K, -p.d});
    for (std::int32_t s = r.first; s <= last_outcome(r); ++s) {
      const double a = r.probability(s), b = swapped.probability(p.K - s);
      EXPECT_NEAR(a, b, 1e-14 + 1e-10 * a) << p << " s=" << s;
    }
  }
}

// Two applicants, one hired: the minority one is hired when its score is the
// higher, with probability Q(d/sqrt(2)) however small, and exactly 0 where that
// is below the smallest double (d = 60). The engine bounds the absolute error;
// this checks that far-tail values keep 1e-10 relative as well.
TEST(FastEngine, TwoApplicantsFollowTheClosedFormToTheFarTail) {
  for (const double d : {-60.0, -30.0, -8.0, -1.0, 0.0, 0.5, 8.0, 30.0, 60.0}) {
    const OutcomeProbabilities r = fast_outcome_probabilities(1, 1, 1, d);
    const double minority = upper_tail(d / std::sqrt(2.0));
    EXPECT_NEAR(r.probability(1), minority, 1e-10 * minority) << "d=" << d;
    EXPECT_NEAR(r.probability(0), 1.0 - minority, 1e-15) << "d=" << d;
  }
}

// Extreme problems: properties that must hold whatever the values.
constexpr Problem EXTREME_PROBLEMS[] = {
    {1, 1, 1, 60.0},
    {1, 1, 1, -1e300},
    {1, 99, 50, 8.0},
    {99, 1, 1, -8.0},
    {2, 5, 6, 0.1},
    {10, 10, 19, 8.0},
    {9999, 1, 1, 8.0},
    {1, 9999, 9999, -8.0},
    {900, 100, 400, 3.5},
    {980000, 20000, 490000, 150.0},  // Z within ulps of 100: node rounding matters
    {3092981, 49728, 1505467, 157.9},
    {300000, 150000, 149000, 0.3},
    {9000000, 1000000, 1, -8.0},
    {8000000, 2000000, 1000000, 0.5},
};

TEST(FastEngine, EveryResultIsADistribution) {
  for (const Problem& p : EXTREME_PROBLEMS) {
#ifdef KEMRO_SANITIZED
    if (p.N1 + p.N2 > 1000000) continue;
#endif
    const OutcomeProbabilities r = compute(p);
    ASSERT_EQ(r.status, EngineStatus::converged) << p;
    ASSERT_FALSE(r.point.empty()) << p;
    EXPECT_GE(r.first, std::max(0, p.K - p.N1)) << p;
    EXPECT_LE(last_outcome(r), std::min(p.K, p.N2)) << p;
    EXPECT_GE(r.point.front(), 1e-300) << p;
    EXPECT_GE(r.point.back(), 1e-300) << p;
    double sum = 0.0, previous = 0.0;
    for (std::int32_t s = r.first - 1; s <= last_outcome(r) + 1; ++s) {
      const double point = r.probability(s), below = r.at_most(s), above = r.at_least(s);
      ASSERT_TRUE(point >= 0.0 && below >= previous && below <= 1.0 && above >= 0.0 && above <= 1.0)
          << p << " s=" << s << ": " << point << " " << below << " " << above;
      previous = below;
      sum += point;
    }
    EXPECT_NEAR(sum, 1.0, 1e-13) << p;
    EXPECT_LT(r.abserr, 1e-12) << p;
  }
}

TEST(FastEngine, OutOfDomainInputComputesNothing) {
  const Problem refused[] = {
      {0, 5, 1, 0.0},  {5, 0, 1, 0.0}, {5, 5, 0, 0.0},      {5, 5, 10, 0.0},
      {-1, 5, 1, 0.0}, {5, 5, 1, NAN}, {5, 5, 1, INFINITY}, {5000000, 5000001, 1, 0.0}};
  for (const Problem& p : refused) {
    const OutcomeProbabilities r = compute(p);
    EXPECT_EQ(r.status, EngineStatus::invalid_input) << p;
    EXPECT_TRUE(r.point.empty()) << p;
    EXPECT_EQ(r.evaluations, 0u) << p;
    EXPECT_EQ(r.at_most(0), 0.0) << p;
  }
}

// What the numerics did on three problems, pinned: window, status, counts,
// the error estimate to 20 %, and values that the other tests check for accuracy.
struct Pinned {
  Problem problem;
  std::int32_t first;
  std::size_t size;
  std::uint64_t evaluations;
  double abserr;
  std::int32_t s;
  double at_most;
};

constexpr Pinned PINNED[] = {
    {{700, 300, 100, 1.0}, 0, 101, 38539, 5.37e-16, 10, 0.98297162983156},
    {{80000, 20000, 10000, 0.5}, 71, 1981, 754365, 3.01e-15, 1000, 0.99998944022578},
    {{1, 1, 1, 8.0}, 0, 2, 1065, 4.15e-15, 0, 0.99999999229137},
};

TEST(FastEngine, PinnedWindowsCountsAndErrorEstimates) {
  for (const Pinned& pin : PINNED) {
    const OutcomeProbabilities r = compute(pin.problem);
    EXPECT_EQ(r.status, EngineStatus::converged) << pin.problem;
    EXPECT_EQ(r.first, pin.first) << pin.problem;
    EXPECT_EQ(r.point.size(), pin.size) << pin.problem;
    EXPECT_EQ(r.evaluations, pin.evaluations) << pin.problem;
    EXPECT_NEAR(r.abserr, pin.abserr, 0.2 * pin.abserr) << pin.problem;
    EXPECT_NEAR(r.at_most(pin.s), pin.at_most, 1e-13) << pin.problem;
  }
}

// A panel limit below what the problem needs stops the refinement: the
// estimate comes back with its larger error estimate and status 1; no limit at all is refused.
TEST(FastEngine, PanelLimitReturnsTheEstimateWithItsStatus) {
  const Problem p = {80000, 20000, 10000, 0.5};
  const OutcomeProbabilities full = compute(p);
  const OutcomeProbabilities limited = fast_outcome_probabilities(p.N1, p.N2, p.K, p.d, 1);
  EXPECT_EQ(limited.status, EngineStatus::subdivision_limit);
  EXPECT_GT(limited.abserr, full.abserr);
  EXPECT_LT(limited.evaluations, full.evaluations);
  for (std::int32_t s = full.first; s <= last_outcome(full); ++s) {
    EXPECT_NEAR(limited.at_most(s), full.at_most(s), limited.abserr) << "s=" << s;
  }
  EXPECT_EQ(fast_outcome_probabilities(p.N1, p.N2, p.K, p.d, 0).status,
            EngineStatus::invalid_input);
}

// The nested engine where it is itself within 1e-9 of the reference.
TEST(AnalyseFast, AgreesWithTheNestedEngineAndBalancesTheHires) {
  const Problem problems[] = {{700, 300, 100, 1.0}, {1500, 500, 400, 0.5}, {20, 180, 30, -1.0}};
  auto table = std::make_unique<Table>();
  auto nested_table = std::make_unique<Table>();
  for (const Problem& p : problems) {
    ModelState state = problem_state(p.N1, p.N2, p.K, p.d);
    state.parallel_outcomes = false;
    ModelState nested_state = state;
    const CFUN share{static_cast<double>(p.N1) / static_cast<double>(p.N1 + p.N2)};
    const Analysis fast = analyse_fast(state, share, *table);
    ASSERT_TRUE(fast.outcomes.completed) << p;
    EXPECT_TRUE(fast.negative_probabilities.empty()) << p;
    const double hires = p.N1 * fast.expected.expected_SRA + p.N2 * fast.expected.expected_SRI;
    EXPECT_NEAR(hires, p.K, 1e-12 * p.K) << p;

    Integrators work;
    struct Silent final : OutcomeListener {
      void integration_warning(int) override {}
      void trace_row(std::int32_t, std::int32_t, std::int32_t, double, double) override {}
      void abnormal_return(int) override {}
      void notice(std::string_view) override {}
    } silent;
    const Analysis nested = analyse(nested_state, share, work, *nested_table, silent);
    ASSERT_TRUE(nested.outcomes.completed) << p;
    const OutcomeProbabilities r = compute(p);
    for (std::int32_t m = 1; m < nested.outcomes.M; ++m) {
      const std::int32_t t = nested.outcomes.L + m - 1;
      const double reference = test::reference_cdf(p.N1, p.N2, p.K, p.d, t);
      if (std::fabs(nested_table->PROB[m] - reference) > 1e-9) continue;
      EXPECT_NEAR(r.at_most(t), nested_table->PROB[m], 1e-8) << p << " t=" << t;
    }
    for (std::int32_t m = 1; m <= table->M; ++m) {
      EXPECT_NEAR(table->PROB[m], r.at_most(fast.outcomes.L + m - 1), 1e-15) << p << " m=" << m;
    }
  }
}

}  // namespace
}  // namespace kemro
