#include "model/nested/outcomes.hpp"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdio>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "model/integrator.hpp"

namespace kemro {
namespace {

struct Row {
  std::int32_t m, I, J;
  double prob, result;
};

class Recorder : public OutcomeListener {
 public:
  std::vector<Row> rows;
  std::vector<int> warnings;
  std::vector<int> abnormal;
  void integration_warning(int ier) override { warnings.push_back(ier); }
  void trace_row(std::int32_t m, std::int32_t I, std::int32_t J, double prob,
                 double result) override {
    rows.push_back({m, I, J, prob, result});
  }
  void abnormal_return(int ier) override { abnormal.push_back(ier); }
  void notice(std::string_view) override {}
};

ModelState problem(std::int32_t N1, std::int32_t N2, std::int32_t K, double d = 0.0) {
  ModelState state;
  state.density_constant = normal_density_constant();
  state.d = d;
  state.N1 = N1;
  state.N2 = N2;
  state.K = K;
  return state;
}

std::string fixed5(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.5f", value);
  return text;
}

// ---- Independent reference distributions of S, the number of minority hires ----

double log_choose(double n, double k) {
  return std::lgamma(n + 1.0) - std::lgamma(k + 1.0) - std::lgamma(n - k + 1.0);
}

// P(S <= L + m - 1) for m = 1 .. M, with equal means: cumulative hypergeometric.
std::vector<double> hypergeometric_cdf(int N1, int N2, int K) {
  const int L = std::max(0, K - N1);
  std::vector<double> cdf{0.0};
  double sum = 0.0;
  for (int s = L; s <= std::min(K, N2); ++s) {
    sum += std::exp(log_choose(N2, s) + log_choose(N1, K - s) - log_choose(N1 + N2, K));
    cdf.push_back(sum);
  }
  return cdf;
}

double log_phi_lower(double z) {
  return std::log(0.5 * std::erfc(-z / std::sqrt(2.0)));
}
double log_phi_upper(double z) {
  return std::log(0.5 * std::erfc(z / std::sqrt(2.0)));
}
double log_density(double z) {
  return -0.5 * z * z - 0.5 * std::log(2.0 * M_PI);
}

// Density at x of the K-th best score being the only one at x with exactly s
// minority applicants among the K best (the K-th best included).
double kth_best_density(int N1, int N2, int K, int s, double d, double x) {
  const double up1 = log_phi_upper(x - d), low1 = log_phi_lower(x - d);
  const double up2 = log_phi_upper(x), low2 = log_phi_lower(x);
  double density = 0.0;
  const int above1 = K - s - 1;  // majority K-th best: K-s-1 majority and s minority above it
  if (above1 >= 0 && N1 - 1 - above1 >= 0) {
    density +=
        std::exp(std::log(N1) + log_density(x - d) + log_choose(N1 - 1, above1) + above1 * up1 +
                 (N1 - 1 - above1) * low1 + log_choose(N2, s) + s * up2 + (N2 - s) * low2);
  }
  if (s >= 1 && K - s <= N1) {  // minority K-th best: s-1 minority and K-s majority above it
    density +=
        std::exp(std::log(N2) + log_density(x) + log_choose(N2 - 1, s - 1) + (s - 1) * up2 +
                 (N2 - s) * low2 + log_choose(N1, K - s) + (K - s) * up1 + (N1 - K + s) * low1);
  }
  return density;
}

// P(S <= L + m - 1) for m = 1 .. M, any effect size, by Simpson's rule over the K-th best score.
std::vector<double> selection_cdf(int N1, int N2, int K, double d) {
  const int L = std::max(0, K - N1);
  const double lo = -12.0 + std::min(0.0, d), hi = 12.0 + std::max(0.0, d);
  const int intervals = 8000;
  const double h = (hi - lo) / intervals;
  std::vector<double> cdf{0.0};
  double sum = 0.0;
  for (int s = L; s <= std::min(K, N2); ++s) {
    double integral = 0.0;
    for (int i = 0; i <= intervals; ++i) {
      const double weight = (i == 0 || i == intervals) ? 1.0 : (i % 2 == 1 ? 4.0 : 2.0);
      integral += weight * kth_best_density(N1, N2, K, s, d, lo + i * h);
    }
    sum += integral * h / 3.0;
    cdf.push_back(sum);
  }
  return cdf;
}

// ---- The real nested integration ----

struct StageRun {
  OutcomeStageResult result;
  std::vector<double> PROB;
  Recorder listener;
};

StageRun run_stage(std::int32_t N1, std::int32_t N2, std::int32_t K, double d) {
  static Integrators work;
  StageRun run;
  run.PROB.assign(static_cast<std::size_t>(entries_needed(N1, N2, K)) + 1, -7.0);
  ModelState state = problem(N1, N2, K, d);
  run.result = outcome_stage(state, work, run.PROB, run.listener);
  return run;
}

TEST(OutcomeStage, ReproducesThePublishedTraceValues) {
  struct Case {
    std::int32_t N1, N2, K;
    double d;
    std::vector<std::string> values;
    std::vector<std::pair<int, int>> IJ;
  };
  const std::vector<Case> cases = {
      {2, 1, 1, 0.0, {"0.66667"}, {{2, 1}}},
      {3, 2, 2, 0.0, {"0.30000", "0.90000"}, {{2, 2}, {3, 1}}},
      {3, 2, 2, 0.5, {"0.48016", "0.96058"}, {{2, 2}, {3, 1}}},
      {15,
       5,
       5,
       1.0,
       {"0.69251", "0.96656", "0.99867", "0.99998", "1.00000"},
       {{11, 5}, {12, 4}, {13, 3}, {14, 2}, {15, 1}}},
      {3, 5, 5, 0.0, {"0.17857", "0.71429", "0.98214"}, {{1, 3}, {2, 2}, {3, 1}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.N1 << " " << c.N2 << " " << c.K << " " << c.d);
    const StageRun run = run_stage(c.N1, c.N2, c.K, c.d);
    ASSERT_TRUE(run.result.completed);
    EXPECT_EQ(run.result.M, static_cast<std::int32_t>(c.values.size()) + 1);
    EXPECT_EQ(run.result.L, std::max(0, c.K - c.N1));
    EXPECT_EQ(run.result.first_majority_hires, c.K - run.result.L);
    ASSERT_EQ(run.listener.rows.size(), c.values.size());
    for (std::size_t i = 0; i < c.values.size(); ++i) {
      const Row& row = run.listener.rows[i];
      EXPECT_EQ(row.m, static_cast<std::int32_t>(i) + 1);
      EXPECT_EQ(row.I, c.IJ[i].first);
      EXPECT_EQ(row.J, c.IJ[i].second);
      EXPECT_EQ(fixed5(row.prob), c.values[i]);
      EXPECT_EQ(row.prob, run.PROB[i + 1]);
    }
    EXPECT_TRUE(run.listener.warnings.empty());
    EXPECT_TRUE(run.listener.abnormal.empty());
  }
}

TEST(OutcomeStage, EqualMeansGiveTheCumulativeHypergeometricProbabilities) {
  struct Case {
    std::int32_t N1, N2, K;
  };
  for (const Case& c :
       {Case{3, 2, 2}, Case{3, 5, 5}, Case{15, 5, 5}, Case{10, 10, 8}, Case{200, 50, 40}}) {
    SCOPED_TRACE(testing::Message() << c.N1 << " " << c.N2 << " " << c.K);
    const StageRun run = run_stage(c.N1, c.N2, c.K, 0.0);
    const std::vector<double> exact = hypergeometric_cdf(c.N1, c.N2, c.K);
    ASSERT_TRUE(run.result.completed);
    ASSERT_EQ(run.result.M, static_cast<std::int32_t>(exact.size()) - 1);
    for (std::int32_t m = 1; m < run.result.M; ++m) EXPECT_NEAR(run.PROB[m], exact[m], 2e-6) << m;
  }
}

TEST(OutcomeStage, UnequalMeansAgreeWithAnIndependentIntegral) {
  struct Case {
    std::int32_t N1, N2, K;
    double d;
  };
  for (const Case& c :
       {Case{3, 2, 2, 0.5}, Case{15, 5, 5, 1.0}, Case{3, 7, 5, -2.5}, Case{30, 30, 12, 0.3}}) {
    SCOPED_TRACE(testing::Message() << c.N1 << " " << c.N2 << " " << c.K << " " << c.d);
    const StageRun run = run_stage(c.N1, c.N2, c.K, c.d);
    const std::vector<double> reference = selection_cdf(c.N1, c.N2, c.K, c.d);
    ASSERT_TRUE(run.result.completed);
    ASSERT_EQ(run.result.M, static_cast<std::int32_t>(reference.size()) - 1);
    for (std::int32_t m = 1; m < run.result.M; ++m) {
      EXPECT_NEAR(run.PROB[m], reference[m], 2e-6) << m;
    }
  }
}

TEST(OutcomeStage, HundredApplicantsWithEffectSizeOne) {
  const StageRun run = run_stage(80, 20, 20, 1.0);
  ASSERT_TRUE(run.result.completed);
  EXPECT_EQ(run.result.M, 21);
  const std::vector<double> reference = selection_cdf(80, 20, 20, 1.0);
  double previous = 0.0;
  for (std::int32_t m = 1; m < run.result.M; ++m) {
    EXPECT_NEAR(run.PROB[m], reference[m], 2e-6) << m;
    EXPECT_GE(run.PROB[m], previous - 4e-7) << m;
    EXPECT_LE(run.PROB[m], 1.0) << m;
    previous = run.PROB[m];
  }
  // Every outcome past the last trace row is saturated.
  ASSERT_FALSE(run.listener.rows.empty());
  for (std::int32_t m = run.listener.rows.back().m + 1; m < run.result.M; ++m) {
    EXPECT_EQ(run.PROB[m], 1.0) << m;
  }
  EXPECT_TRUE(run.listener.warnings.empty());
  EXPECT_TRUE(run.listener.abnormal.empty());
}

TEST(OutcomeStage, NotANumberEffectSizeRunsThroughAndReportsTheFailures) {
  const StageRun run = run_stage(3, 2, 2, std::numeric_limits<double>::quiet_NaN());
  EXPECT_TRUE(run.result.completed);
  EXPECT_EQ(run.result.M, 3);
  EXPECT_EQ(run.listener.rows.size(), 2u);
  ASSERT_EQ(run.listener.abnormal.size(), 2u);
  EXPECT_EQ(run.listener.abnormal[0], 6);
}

// Everything the listener hears, in order, with every number exact.
class EventLog : public OutcomeListener {
 public:
  std::vector<std::string> events;
  void integration_warning(int ier) override { add("warning %d", ier); }
  void trace_row(std::int32_t m, std::int32_t I, std::int32_t J, double prob,
                 double result) override {
    add("row %d %d %d %a %a", m, I, J, prob, result);
  }
  void abnormal_return(int ier) override { add("abnormal %d", ier); }
  void notice(std::string_view text) override { events.emplace_back(text); }

 private:
  template <typename... Args>
  void add(const char* format, Args... args) {
    char text[160];
    std::snprintf(text, sizeof text, format, args...);
    events.emplace_back(text);
  }
};

TEST(OutcomeStage, SecondThreadChangesNothing) {
  struct Case {
    std::int32_t N1, N2, K;
    double d;
    bool adapt;  // false: the fixed layout, which retries and gives up on the first case
  };
  // Retries and abandonment; saturation; inner warnings and abnormal returns
  // between the trace rows; a split plan with its notice.
  for (const Case& c : {Case{20, 20, 4, 2.0, false}, Case{80, 20, 20, 1.0, true},
                        Case{3, 2, 2, 1e308, true}, Case{1600, 400, 200, 0.5, true}}) {
    SCOPED_TRACE(testing::Message() << c.N1 << " " << c.N2 << " " << c.K << " " << c.d);
    static Integrators work;
    const auto stage = [&](bool parallel, std::vector<double>& PROB, EventLog& log) {
      ModelState state = problem(c.N1, c.N2, c.K, c.d);
      state.adapt_integration = c.adapt;
      state.parallel_outcomes = parallel;
      PROB.assign(static_cast<std::size_t>(entries_needed(c.N1, c.N2, c.K)) + 1, -7.0);
      const OutcomeStageResult result = outcome_stage(state, work, PROB, log);
      return std::vector<std::uint64_t>{result.completed, std::uint64_t(result.M),
                                        state.FU1_evaluations, state.FUN_evaluations};
    };
    std::vector<double> in_turn, ahead;
    EventLog in_turn_log, ahead_log;
    EXPECT_EQ(stage(true, ahead, ahead_log), stage(false, in_turn, in_turn_log));
    EXPECT_EQ(ahead_log.events, in_turn_log.events);
    ASSERT_EQ(ahead.size(), in_turn.size());
    for (std::size_t m = 0; m < ahead.size(); ++m) {
      EXPECT_EQ(std::bit_cast<std::uint64_t>(ahead[m]), std::bit_cast<std::uint64_t>(in_turn[m]))
          << m;
    }
  }
}

TEST(EntriesNeeded, CountsFeasibleOutcomesInSixtyFourBits) {
  EXPECT_EQ(entries_needed(80, 20, 20), 21);
  EXPECT_EQ(entries_needed(3, 5, 5), 4);
  EXPECT_EQ(entries_needed(15, 5, 5), 6);
  EXPECT_EQ(entries_needed(80, 20, 0), 1);
  EXPECT_EQ(entries_needed(80, 0, 20), 1);
  EXPECT_EQ(entries_needed(3, 2, 10), 1);
  EXPECT_EQ(entries_needed(1000000, 1000000, 1000000), 1000001);
  constexpr std::int32_t big = std::numeric_limits<std::int32_t>::max();
  constexpr std::int32_t small = std::numeric_limits<std::int32_t>::min();
  EXPECT_EQ(entries_needed(small, big, big), 1);
  EXPECT_EQ(entries_needed(big, big, big), std::int64_t{big} + 1);
}

// ---- The retry logic, driven by scripted attempts ----

struct Call {
  std::int32_t m;
  double A, B;
  std::int32_t I, J;
};

class Scripted : public ::testing::Test {
 protected:
  Recorder listener;
  std::vector<double> PROB = std::vector<double>(12, -7.0);
  std::vector<Call> calls;

  // Runs the loop with attempt values value(m, n), n counting the attempts of outcome m from 0.
  OutcomeStageResult run(ModelState state, std::function<double(std::int32_t, int)> value,
                         std::size_t capacity = 12) {
    return outcome_loop(state, std::span<double>(PROB).first(capacity), listener,
                        [&](std::int32_t m, double A, double B) {
                          calls.push_back({m, A, B, state.I, state.J});
                          int n = 0;
                          for (const Call& c : calls) n += (c.m == m);
                          return value(m, n - 1);
                        });
  }

  std::size_t attempts_of(std::int32_t m) const {
    std::size_t n = 0;
    for (const Call& c : calls) n += (c.m == m);
    return n;
  }
};

TEST_F(Scripted, RetriesNarrowTheRangeByOneTenthEach) {
  const auto result = run(problem(3, 2, 2), [](std::int32_t, int n) { return n < 3 ? 1.1 : 0.4; });
  EXPECT_TRUE(result.completed);
  ASSERT_EQ(attempts_of(1), 4u);
  for (int r = 0; r < 4; ++r) {
    EXPECT_NEAR(calls[r].A, -6.5 + 0.1 * r, 1e-12);
    EXPECT_NEAR(calls[r].B, 6.5 - 0.1 * r, 1e-12);
  }
  EXPECT_EQ(calls[1].A, -6.4);
  // The next outcome starts again from the full range.
  EXPECT_EQ(calls[4].A, -6.5);
  EXPECT_EQ(calls[4].B, 6.5);
  ASSERT_EQ(listener.rows.size(), 2u);
  EXPECT_EQ(listener.rows[0].prob, 0.4);
}

TEST_F(Scripted, RetriesNarrowTheRangeTheSetupGave) {
  std::vector<std::int32_t> prepared;
  const auto setup = [&](std::int32_t m) {
    prepared.push_back(m);
    return OutcomeRange{-8.0, 7.25};
  };
  ModelState state = problem(15, 5, 5);
  const auto result =
      outcome_loop(state, PROB, listener, setup, [&](std::int32_t m, double A, double B) {
        calls.push_back({m, A, B, state.I, state.J});
        if (m == 2) return 1.0 - 1e-9;  // saturates the rest
        return calls.size() < 3 ? 1.1 : 0.5;
      });
  EXPECT_TRUE(result.completed);
  ASSERT_EQ(calls.size(), 4u);
  EXPECT_EQ(calls[0].A, -8.0);
  EXPECT_EQ(calls[0].B, 7.25);
  EXPECT_DOUBLE_EQ(calls[2].A, -7.8);
  EXPECT_DOUBLE_EQ(calls[2].B, 7.05);
  // Prepared once per integrated outcome, before its first attempt; never when saturated.
  EXPECT_EQ(prepared, (std::vector<std::int32_t>{1, 2}));
}

TEST_F(Scripted, OvershootsAbandonAfterTwentyFiveRetries) {
  const auto result = run(problem(3, 2, 2), [](std::int32_t, int) { return 1.1; });
  EXPECT_FALSE(result.completed);
  ASSERT_EQ(calls.size(), 26u);
  EXPECT_DOUBLE_EQ(calls.back().A, -4.0);
  EXPECT_DOUBLE_EQ(calls.back().B, 4.0);
  EXPECT_TRUE(listener.rows.empty());
}

TEST_F(Scripted, DecreasesAbandonAfterThirtyFiveRetries) {
  const auto result = run(problem(3, 2, 2), [](std::int32_t m, int) { return m == 1 ? 0.5 : 0.2; });
  EXPECT_FALSE(result.completed);
  ASSERT_EQ(attempts_of(2), 36u);
  EXPECT_DOUBLE_EQ(calls.back().A, -3.0);
  EXPECT_DOUBLE_EQ(calls.back().B, 3.0);
  // The first outcome's trace row and value stay.
  ASSERT_EQ(listener.rows.size(), 1u);
  EXPECT_EQ(PROB[1], 0.5);
}

TEST_F(Scripted, BothTestsShareOneRetryCounter) {
  // 30 decreases, then an overshoot: r = 31 is past the overshoot limit.
  auto result = run(problem(3, 2, 2),
                    [](std::int32_t m, int n) { return m == 1 ? 0.5 : (n < 30 ? 0.2 : 1.1); });
  EXPECT_FALSE(result.completed);
  EXPECT_EQ(attempts_of(2), 31u);

  // 25 overshoots, then 10 decreases (r = 35), then a good value: completed.
  calls.clear();
  listener.rows.clear();
  result = run(problem(3, 2, 2), [](std::int32_t m, int n) {
    if (m == 1) return 0.5;
    return n < 25 ? 1.1 : (n < 35 ? 0.2 : 0.9);
  });
  EXPECT_TRUE(result.completed);
  EXPECT_EQ(attempts_of(2), 36u);
  EXPECT_DOUBLE_EQ(calls.back().A, -3.0);
}

TEST_F(Scripted, ClampsAnExcessUpToTheToleranceAndSaturatesAfterwards) {
  // The largest double whose excess over 1 does not pass 5e-7; the double
  // nearest 1 + 5e-7 lies above that sum and is retried.
  const double nearest = 1.0 + 5e-7;
  const double clamped = std::nextafter(nearest, 0.0);
  ASSERT_LE(clamped - 1.0, 5e-7);
  ASSERT_GT(nearest - 1.0, 5e-7);

  auto result = run(problem(15, 5, 5), [&](std::int32_t, int) { return clamped; });
  EXPECT_TRUE(result.completed);
  EXPECT_EQ(result.M, 6);
  EXPECT_EQ(calls.size(), 1u);
  ASSERT_EQ(listener.rows.size(), 1u);
  EXPECT_EQ(listener.rows[0].prob, 1.0);
  EXPECT_EQ(listener.rows[0].result, clamped);
  for (int m = 1; m <= 5; ++m) EXPECT_EQ(PROB[m], 1.0) << m;

  calls.clear();
  listener.rows.clear();
  result = run(problem(3, 2, 1), [&](std::int32_t, int n) { return n == 0 ? nearest : 0.7; });
  EXPECT_EQ(attempts_of(1), 2u);
  EXPECT_EQ(PROB[1], 0.7);
}

TEST_F(Scripted, RetriesAValueAtThePreviousMinusTheDecreaseTolerance) {
  const double at = 0.5 - 4e-7;
  auto result = run(problem(3, 2, 2), [&](std::int32_t m, int n) {
    if (m == 1) return 0.5;
    return n == 0 ? at : 0.5;  // equal to the previous value is accepted
  });
  EXPECT_TRUE(result.completed);
  EXPECT_EQ(attempts_of(2), 2u);
  EXPECT_EQ(PROB[2], 0.5);

  calls.clear();
  result = run(problem(3, 2, 2),
               [&](std::int32_t m, int) { return m == 1 ? 0.5 : std::nextafter(at, 1.0); });
  EXPECT_EQ(attempts_of(2), 1u);
}

TEST_F(Scripted, FirstValueIsNeverComparedWithAPredecessor) {
  const auto result = run(problem(3, 2, 2), [](std::int32_t m, int) { return m == 1 ? 0.0 : 0.3; });
  EXPECT_TRUE(result.completed);
  EXPECT_EQ(calls.size(), 2u);
  EXPECT_EQ(PROB[1], 0.0);
}

TEST_F(Scripted, SaturationSkipsIntegrationAndTraceRow) {
  auto result = run(problem(3, 2, 2), [](std::int32_t, int) { return 1.0 - 5e-9; });
  EXPECT_TRUE(result.completed);
  EXPECT_EQ(calls.size(), 1u);
  EXPECT_EQ(listener.rows.size(), 1u);
  EXPECT_EQ(PROB[2], 1.0);

  calls.clear();
  listener.rows.clear();
  result = run(problem(3, 2, 2), [](std::int32_t, int) { return 1.0 - 2e-8; });
  EXPECT_EQ(calls.size(), 2u);
  EXPECT_EQ(listener.rows.size(), 2u);
}

TEST_F(Scripted, StoresTheOrderStatisticIndicesBeforeEachAttempt) {
  const auto result = run(problem(3, 5, 5), [](std::int32_t m, int) { return 0.2 * m; });
  EXPECT_TRUE(result.completed);
  EXPECT_EQ(result.L, 2);
  EXPECT_EQ(result.first_majority_hires, 3);
  EXPECT_EQ(result.M, 4);
  ASSERT_EQ(calls.size(), 3u);
  const int expected[3][2] = {{1, 3}, {2, 2}, {3, 1}};
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(calls[i].I, expected[i][0]);
    EXPECT_EQ(calls[i].J, expected[i][1]);
    EXPECT_EQ(listener.rows[i].I, expected[i][0]);
    EXPECT_EQ(listener.rows[i].J, expected[i][1]);
  }
}

TEST_F(Scripted, ProblemsWithoutAnIntegratedOutcomeDoNothing) {
  struct Case {
    std::int32_t N1, N2, K;
  };
  for (const Case& c : {Case{80, 20, 0}, Case{80, 0, 20}, Case{80, 20, 100}, Case{80, 20, 150},
                        Case{0, 0, 0}, Case{0, 20, 5}, Case{80, 20, -3}, Case{12, -2, 3},
                        Case{std::numeric_limits<std::int32_t>::min(), 5,
                             std::numeric_limits<std::int32_t>::max()}}) {
    const auto result = run(problem(c.N1, c.N2, c.K), [](std::int32_t, int) { return 0.5; });
    EXPECT_TRUE(result.completed);
    EXPECT_EQ(result.M, 1);
  }
  EXPECT_TRUE(calls.empty());
  EXPECT_TRUE(listener.rows.empty());
  for (double p : PROB) EXPECT_EQ(p, -7.0);
}

TEST_F(Scripted, RunningOutOfRoomAbandonsWithoutWritingPastTheEnd) {
  const auto result = run(
      problem(15, 5, 5), [](std::int32_t m, int) { return 0.1 * m; }, 3);
  EXPECT_FALSE(result.completed);
  EXPECT_EQ(calls.size(), 2u);
  for (std::size_t i = 3; i < PROB.size(); ++i) EXPECT_EQ(PROB[i], -7.0) << i;
}

}  // namespace
}  // namespace kemro
