// The G-group engine (group_selection_summary): two groups against the
// two-group fast engine; the cut-score rule against a direct sum over the
// binomials; three groups at d = 0 against exact enumeration of the
// multivariate hypergeometric; three and four groups with d != 0 against
// simulation; symmetry under permuting the non-reference groups; the cut
// score for a selection ratio; and refused input.
#include "model/fast/group_selection.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numeric>
#include <ostream>
#include <random>
#include <vector>

#include "distribution/four_fifths.hpp"
#include "distribution/scenario_summary.hpp"
#include "model/normal.hpp"

namespace kemro {

// Names a problem in failure messages (found by argument-dependent lookup).
inline std::ostream& operator<<(std::ostream& out, const GroupProblem& p) {
  out << (p.rule == SelectionRule::top_down ? "top-down K=" : "cut C=");
  if (p.rule == SelectionRule::top_down) {
    out << p.hires;
  } else {
    out << p.cut_score;
  }
  for (std::size_t g = 0; g < p.applicants.size(); ++g)
    out << " N" << g + 1 << "=" << p.applicants[g];
  for (std::size_t g = 0; g < p.d.size(); ++g) out << " d" << g + 1 << "=" << p.d[g];
  return out;
}

namespace {

// The summaries accumulated over explicit outcomes with their probabilities.
struct Tally {
  explicit Tally(const std::vector<std::int32_t>& n)
      : N(n), SR(n.size()), AI(n.size()), below_reference(n.size()), below_highest(n.size()) {}

  void add(const std::vector<std::int32_t>& s, double p) {
    const std::size_t G = N.size();
    total += p;
    bool any_flag = false;
    for (std::size_t g = 0; g < G; ++g) {
      SR[g] += p * s[g] / N[g];
      if (s[0] > 0)
        AI[g] += p * (static_cast<double>(s[g]) / N[g]) / (static_cast<double>(s[0]) / N[0]);
      if (g > 0 && below_four_fifths(s[g], s[0], N[0], N[g])) below_reference[g] += p;
      bool flagged = false;
      for (std::size_t h = 0; h < G; ++h) {
        if (h != g && below_four_fifths(s[g], s[h], N[h], N[g])) flagged = true;
      }
      if (flagged) below_highest[g] += p;
      any_flag = any_flag || flagged;
    }
    if (s[0] > 0) reference_hired += p;
    if (any_flag) any += p;
  }

  // Every summary within `tolerance` (per group, a vector of tolerances).
  void expect_near(const GroupSummary& r, double tolerance) const {
    EXPECT_NEAR(r.total, total, tolerance);
    EXPECT_NEAR(r.P_any_below, any, tolerance);
    EXPECT_NEAR(r.P_reference_hired, reference_hired, tolerance);
    for (std::size_t g = 0; g < N.size(); ++g) {
      SCOPED_TRACE(testing::Message() << "group " << g + 1);
      EXPECT_NEAR(r.expected_SR[g], SR[g], tolerance);
      EXPECT_NEAR(r.expected_AI[g], AI[g] / reference_hired, tolerance);
      EXPECT_NEAR(r.P_below_reference[g], below_reference[g], tolerance);
      EXPECT_NEAR(r.P_below_highest[g], below_highest[g], tolerance);
    }
  }

  std::vector<std::int32_t> N;
  std::vector<double> SR, AI, below_reference, below_highest;
  double total = 0.0, reference_hired = 0.0, any = 0.0;
};

TEST(GroupSelection, TwoGroupsEqualTheTwoGroupEngine) {
  struct Case {
    std::int32_t N1, N2, K;
    double d;
  };
  const Case cases[] = {{80, 20, 20, 0.5},    {600, 400, 100, 1.0}, {9000, 1000, 1000, 0.0},
                        {30, 70, 50, -0.4},   {5, 3, 1, 2.0},       {5000, 5000, 5000, 0.3},
                        {1990, 10, 1500, 0.8}};
  ScenarioWork work;
  for (const Case& c : cases) {
    const GroupProblem problem{{c.N1, c.N2}, {0.0, c.d}, SelectionRule::top_down, c.K, 0.0};
    SCOPED_TRACE(testing::Message() << problem);
    const GroupSummary r = group_selection_summary(problem);
    Scenario scenario;
    scenario.N = c.N1 + c.N2;
    scenario.N1 = c.N1;
    scenario.N2 = c.N2;
    scenario.K = c.K;
    scenario.d = c.d;
    const ScenarioResult today = compute_scenario(scenario, Engine::fast, false, work);
    ASSERT_EQ(r.status, EngineStatus::converged);
    EXPECT_LT(r.abserr, 1e-12);
    EXPECT_GT(r.evaluations, 0u);
    EXPECT_NEAR(r.expected_SR[0], today.expected_SRA, 1e-12);
    EXPECT_NEAR(r.expected_SR[1], today.expected_SRI, 1e-12);
    EXPECT_NEAR(r.expected_AI[1], today.expected_AI, 1e-12);
    EXPECT_NEAR(r.P_below_reference[1], today.P_below_four_fifths, 1e-12);
    EXPECT_NEAR(1.0 - r.P_reference_hired, today.P_undefined, 1e-12);
    EXPECT_NEAR(r.expected_selected, c.K, 1e-9);
    EXPECT_EQ(r.P_none_selected, 0.0);
  }
}

// b(k; n, p) directly, for the small n of the reference sums.
double binomial(int k, int n, double p) {
  return std::exp(std::lgamma(n + 1.0) - std::lgamma(k + 1.0) - std::lgamma(n - k + 1.0)) *
         std::pow(p, k) * std::pow(1.0 - p, n - k);
}

TEST(GroupSelection, CutScoreEqualsTheDirectSumOverBothBinomials) {
  struct Case {
    std::int32_t N1, N2;
    double d, C;
  };
  const Case cases[] = {
      {40, 15, 0.8, 0.5}, {100, 100, 0.0, 1.0}, {12, 30, -0.5, -1.0}, {60, 9, 1.5, 2.5}};
  for (const Case& c : cases) {
    const GroupProblem problem{{c.N1, c.N2}, {0.0, c.d}, SelectionRule::cut_score, 0, c.C};
    SCOPED_TRACE(testing::Message() << problem);
    Tally tally({c.N1, c.N2});
    const double p1 = upper_tail(c.C), p2 = upper_tail(c.C + c.d);
    for (int s1 = 0; s1 <= c.N1; ++s1) {
      for (int s2 = 0; s2 <= c.N2; ++s2) {
        tally.add({s1, s2}, binomial(s1, c.N1, p1) * binomial(s2, c.N2, p2));
      }
    }
    const GroupSummary r = group_selection_summary(problem);
    ASSERT_EQ(r.status, EngineStatus::converged);
    tally.expect_near(r, 1e-13);
    EXPECT_NEAR(r.expected_selected, c.N1 * p1 + c.N2 * p2, 1e-11);
    EXPECT_NEAR(r.P_none_selected, std::pow(1.0 - p1, c.N1) * std::pow(1.0 - p2, c.N2), 1e-14);
    // The distribution's cells hold the same probabilities (relative to the
    // rounding of the reference's log-gamma values).
    double total = 0.0;
    for (const CutScoreCell& cell : cut_score_distribution(c.N1, c.N2, c.d, c.C)) {
      total += cell.probability;
      EXPECT_NEAR(cell.probability,
                  binomial(cell.reference, c.N1, p1) * binomial(cell.other, c.N2, p2),
                  1e-12 * cell.probability);
    }
    EXPECT_NEAR(total, 1.0, 1e-13);
  }
}

// ln C(n, k)
double log_choose(int n, int k) {
  return std::lgamma(n + 1.0) - std::lgamma(k + 1.0) - std::lgamma(n - k + 1.0);
}

TEST(GroupSelection, ThreeGroupsAtNoDifferenceFollowTheMultivariateHypergeometric) {
  struct Case {
    std::int32_t N1, N2, N3, K;
  };
  const Case cases[] = {{30, 12, 8, 10}, {20, 20, 20, 30}, {43, 19, 15, 8}, {7, 2, 1, 9}};
  for (const Case& c : cases) {
    const GroupProblem problem{
        {c.N1, c.N2, c.N3}, {0.0, 0.0, 0.0}, SelectionRule::top_down, c.K, 0.0};
    SCOPED_TRACE(testing::Message() << problem);
    Tally tally({c.N1, c.N2, c.N3});
    const double all = log_choose(c.N1 + c.N2 + c.N3, c.K);
    for (int s1 = 0; s1 <= std::min(c.N1, c.K); ++s1) {
      for (int s2 = 0; s2 <= std::min(c.N2, c.K - s1); ++s2) {
        const int s3 = c.K - s1 - s2;
        if (s3 > c.N3) continue;
        const double p =
            std::exp(log_choose(c.N1, s1) + log_choose(c.N2, s2) + log_choose(c.N3, s3) - all);
        tally.add({s1, s2, s3}, p);
      }
    }
    const GroupSummary r = group_selection_summary(problem);
    ASSERT_EQ(r.status, EngineStatus::converged);
    tally.expect_near(r, 1e-12);
  }
}

// Top-down selections simulated: scores drawn, the K best hired, the outcomes tallied.
Tally simulate(const GroupProblem& p, int replications, std::uint64_t seed) {
  std::mt19937_64 random(seed);
  std::normal_distribution<double> normal;
  std::vector<std::pair<double, std::size_t>> scores;
  Tally tally(p.applicants);
  std::vector<std::int32_t> s(p.applicants.size());
  for (int r = 0; r < replications; ++r) {
    scores.clear();
    for (std::size_t g = 0; g < p.applicants.size(); ++g) {
      for (std::int32_t i = 0; i < p.applicants[g]; ++i)
        scores.push_back({normal(random) - p.d[g], g});
    }
    std::nth_element(scores.begin(), scores.begin() + p.hires, scores.end(),
                     [](const auto& x, const auto& y) { return x.first > y.first; });
    std::fill(s.begin(), s.end(), 0);
    for (std::int32_t i = 0; i < p.hires; ++i) ++s[scores[static_cast<std::size_t>(i)].second];
    tally.add(s, 1.0 / replications);
  }
  return tally;
}

// |exact - simulated| within 4 standard errors of a mean of `n` draws of a
// quantity with the given second moment (for an indicator, its probability),
// plus the rounding of a million additions.
void expect_within_four_errors(double exact, double simulated, double second_moment, int n,
                               const char* what) {
  const double variance = std::max(second_moment - exact * exact, 0.0);
  EXPECT_LE(std::fabs(exact - simulated), 4.0 * std::sqrt(variance / n) + 1e-9) << what;
}

TEST(GroupSelection, ThreeAndFourGroupsWithDifferencesAgreeWithSimulation) {
#ifdef KEMRO_SANITIZED
  constexpr int REPLICATIONS = 100000;  // the instrumented build is about 20 times slower
#else
  constexpr int REPLICATIONS = 1000000;
#endif
  const GroupProblem problems[] = {
      {{20, 15, 10}, {0.0, 0.5, 1.0}, SelectionRule::top_down, 12, 0.0},
      {{20, 10, 8, 6}, {0.0, 1.0, -0.3, 0.6}, SelectionRule::top_down, 10, 0.0}};
  std::uint64_t seed = 20240521;
  for (const GroupProblem& p : problems) {
    SCOPED_TRACE(testing::Message() << p);
    const GroupSummary r = group_selection_summary(p);
    ASSERT_EQ(r.status, EngineStatus::converged);
    const Tally sim = simulate(p, REPLICATIONS, seed++);
    expect_within_four_errors(r.P_any_below, sim.any, r.P_any_below, REPLICATIONS, "any");
    for (std::size_t g = 0; g < p.applicants.size(); ++g) {
      SCOPED_TRACE(testing::Message() << "group " << g + 1);
      expect_within_four_errors(r.P_below_reference[g], sim.below_reference[g],
                                r.P_below_reference[g], REPLICATIONS, "below reference");
      expect_within_four_errors(r.P_below_highest[g], sim.below_highest[g], r.P_below_highest[g],
                                REPLICATIONS, "below highest");
      // S_g / N_g lies in [0, 1]: its second moment is at most its mean.
      expect_within_four_errors(r.expected_SR[g], sim.SR[g], r.expected_SR[g], REPLICATIONS,
                                "selection rate");
    }
  }
}

TEST(GroupSelection, PermutingTheOtherGroupsPermutesTheirSummaries) {
  const GroupProblem problems[] = {
      {{500, 120, 80, 40}, {0.0, 0.8, 0.2, 0.5}, SelectionRule::top_down, 150, 0.0},
      {{300, 90, 60, 30}, {0.0, 0.4, 1.1, -0.2}, SelectionRule::cut_score, 0, 0.7}};
  for (const GroupProblem& p : problems) {
    SCOPED_TRACE(testing::Message() << p);
    const GroupSummary r = group_selection_summary(p);
    std::vector<std::size_t> order = {1, 2, 3};
    while (std::next_permutation(order.begin(), order.end())) {
      GroupProblem q = p;
      for (std::size_t i = 0; i < 3; ++i) {
        q.applicants[i + 1] = p.applicants[order[i]];
        q.d[i + 1] = p.d[order[i]];
      }
      const GroupSummary s = group_selection_summary(q);
      EXPECT_NEAR(s.P_any_below, r.P_any_below, 1e-13);
      for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_NEAR(s.expected_SR[i + 1], r.expected_SR[order[i]], 1e-13);
        EXPECT_NEAR(s.expected_AI[i + 1], r.expected_AI[order[i]], 1e-12);
        EXPECT_NEAR(s.P_below_reference[i + 1], r.P_below_reference[order[i]], 1e-13);
        EXPECT_NEAR(s.P_below_highest[i + 1], r.P_below_highest[order[i]], 1e-13);
      }
    }
  }
}

TEST(GroupSelection, CutScoreForARatioPassesThatShareOnAverage) {
  const std::vector<std::int32_t> n = {43, 19, 15};
  const std::vector<double> d = {0.0, 1.0, 0.6};
  for (const double ratio : {0.05, 0.3, 0.5, 0.9}) {
    const double C = cut_score_for_ratio(n, d, ratio);
    const GroupSummary r = group_selection_summary({n, d, SelectionRule::cut_score, 0, C});
    EXPECT_NEAR(r.expected_selected / 77.0, ratio, 1e-12) << ratio;
  }
  EXPECT_TRUE(std::isnan(cut_score_for_ratio(n, d, 1.0)));
  EXPECT_TRUE(std::isnan(cut_score_for_ratio(n, {0.0, 1.0}, 0.5)));
}

TEST(GroupSelection, RefusesProblemsOutsideTheDomain) {
  const double inf = std::numeric_limits<double>::infinity();
  const GroupProblem refused[] = {
      {{10}, {0.0}, SelectionRule::top_down, 2, 0.0},  // one group
      {{5, 5, 5, 5, 5, 5, 5}, std::vector<double>(7, 0.0), SelectionRule::top_down, 2, 0.0},
      {{10, 5}, {0.3, 0.0}, SelectionRule::top_down, 2, 0.0},            // d_1 != 0
      {{10, 0}, {0.0, 0.0}, SelectionRule::top_down, 2, 0.0},            // empty group
      {{10, 5}, {0.0, inf}, SelectionRule::top_down, 2, 0.0},            // d not finite
      {{10, 5}, {0.0, 0.5}, SelectionRule::top_down, 15, 0.0},           // K = N
      {{10, 5}, {0.0, 0.5}, SelectionRule::top_down, 0, 0.0},            // K = 0
      {{10, 5}, {0.0, 0.5}, SelectionRule::cut_score, 0, inf},           // C not finite
      {{10, 5}, {0.0}, SelectionRule::top_down, 2, 0.0},                 // d's missing
      {{900000, 200000}, {0.0, 0.5}, SelectionRule::top_down, 2, 0.0}};  // too many
  for (const GroupProblem& p : refused) {
    EXPECT_EQ(group_selection_summary(p).status, EngineStatus::invalid_input) << p;
  }
  EXPECT_TRUE(cut_score_distribution(10, 0, 0.0, 0.0).empty());
}

}  // namespace
}  // namespace kemro
