// Accuracy of the outcome stage over the whole input domain, measured against
// the independent reference of tests/support/reference.hpp: the cumulative
// probabilities, every value a report prints from them, the problems that
// used to give up, a Monte Carlo check of the distribution of minority hires,
// and the unchanged trace of ordinary problems.
#include <gsl/gsl_cdf.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "distribution/analysis.hpp"
#include "distribution/summaries.hpp"
#include "distribution/table.hpp"
#include "model/integrator.hpp"
#include "model/nested/integration_plan.hpp"
#include "model/nested/outcomes.hpp"
#include "report/record_writer.hpp"
#include "tests/support/reference.hpp"

namespace kemro {
namespace {

constexpr double CDF_TOLERANCE = 1e-6;       // largest error allowed in P(S <= t)
constexpr double ROUNDING_MARGIN = 1e-6;     // reference this close to a rounding boundary
constexpr double PRINTING_THRESHOLD = 1e-6;  // a row is printed from this probability on
// What the outer integration's tolerances allow near 1: 1e-8 relative.
constexpr double INTEGRATION_TOLERANCE = 2e-8;

struct Problem {
  std::int32_t N, N1, K;
  double d;
  std::int32_t N2() const { return N - N1; }
};

std::ostream& operator<<(std::ostream& out, const Problem& p) {
  return out << "N=" << p.N << " N1=" << p.N1 << " K=" << p.K << " d=" << p.d;
}

class Recorder : public OutcomeListener {
 public:
  struct Row {
    std::int32_t m, I, J;
    double prob, result;
  };
  std::vector<Row> rows;
  std::vector<std::string> notices;
  std::vector<char> events;  // 'n' notice, 'r' trace row, 'w' warning, 'a' abnormal return
  void integration_warning(int) override { events.push_back('w'); }
  void trace_row(std::int32_t m, std::int32_t I, std::int32_t J, double prob,
                 double result) override {
    rows.push_back({m, I, J, prob, result});
    events.push_back('r');
  }
  void abnormal_return(int) override { events.push_back('a'); }
  void notice(std::string_view text) override {
    notices.emplace_back(text);
    events.push_back('n');
  }
  std::size_t count(char kind) const { return std::count(events.begin(), events.end(), kind); }
};

ModelState state_of(const Problem& p, bool adapt = true) {
  ModelState state;
  state.density_constant = normal_density_constant();
  state.d = p.d;
  state.N1 = p.N1;
  state.N2 = p.N2();
  state.K = p.K;
  state.adapt_integration = adapt;
  return state;
}

Integrators& integrators() {
  static Integrators work;
  return work;
}

struct StageRun {
  OutcomeStageResult result;
  std::vector<double> PROB;
  Recorder trace;
  std::uint64_t FU1_evaluations = 0;
};

// The outcome stage alone, with or without its integration planning.
StageRun run_stage(const Problem& p, bool adapt) {
  StageRun run;
  run.PROB.assign(static_cast<std::size_t>(entries_needed(p.N1, p.N2(), p.K)) + 1, -7.0);
  ModelState state = state_of(p, adapt);
  run.result = outcome_stage(state, integrators(), run.PROB, run.trace);
  run.FU1_evaluations = state.FU1_evaluations;
  return run;
}

// The reference's P(S <= t) for t = L .. min(K, N2) - 1: entries 1 .. M - 1.
std::vector<double> reference_cdf(const Problem& p) {
  std::vector<double> cdf = test::reference_distribution(p.N1, p.N2(), p.K, p.d);
  cdf.pop_back();  // P(S <= min(K, N2)) = 1 is no outcome of the stage
  return cdf;
}

bool same_bits(double a, double b) {
  return std::memcmp(&a, &b, sizeof a) == 0;
}

// ---- Report values ----

// The reference where the outcome stage set a value to exactly 1 (saturated
// after a value within 1e-8 of 1, or clamped) and the reference lies that
// close to 1 too: the stage's own last digits decide those, and the
// entries' tiny probabilities would otherwise weigh on the expected AI
// through its largest ratios.
std::vector<double> as_handed_over(std::vector<double> cdf, const Table& computed) {
  for (std::size_t m = 1; m <= cdf.size(); ++m) {
    if (computed.PROB[m] == 1.0 && 1.0 - cdf[m - 1] <= INTEGRATION_TOLERANCE) cdf[m - 1] = 1.0;
  }
  return cdf;
}

// Whether the procedure's own last digits, not its accuracy, decide which
// entry a percentile is: a percentile level lies right at a reference value.
bool last_digits_decide(const std::vector<double>& cdf) {
  for (double c : cdf) {
    for (std::int32_t level : NLDAT) {
      if (std::fabs(c - level / 100.0) <= ROUNDING_MARGIN) return true;
    }
  }
  return false;
}

// The fixed-point renderings accepted for a value whose reference is r: that
// of r, and that of r +- margin where r lies so close to a rounding boundary.
std::set<std::string> accepted(double r, double margin, int w, int d) {
  return {format_fixed(r - margin, w, d), format_fixed(r, w, d), format_fixed(r + margin, w, d)};
}

void expect_rendered_like(double value, double reference, double margin, int w, int d,
                          const char* what) {
  const std::string shown = format_fixed(value, w, d);
  const std::set<std::string> ok = accepted(reference, margin, w, d);
  EXPECT_TRUE(ok.count(shown) == 1) << what << ": " << shown << " for reference " << reference;
}

// Compares the distribution rows, exact values and percentiles that the
// computed table prints with those the reference gives through the same
// table rules.
void expect_report_values_of_reference(const Problem& p, const Analysis& computed,
                                       const Table& table, const std::vector<double>& cdf) {
  static auto reference_table = std::make_unique<Table>(TABLE_CAPACITY);
  Table& R = *reference_table;
  const std::vector<double> handed_over = as_handed_over(cdf, table);
  std::copy(handed_over.begin(), handed_over.end(), R.PROB.begin() + 1);
  const OutcomeStageResult& o = computed.outcomes;
  build_table(R, o.M, o.L, p.K, p.N1, p.N2());
  ASSERT_EQ(R.M, table.M);

  for (std::int32_t m = 1; m <= R.M; ++m) {
    SCOPED_TRACE(testing::Message() << "entry " << m);
    const bool printed = row_is_printed(table, m);
    if (std::fabs(R.PVS[m] - PRINTING_THRESHOLD) > ROUNDING_MARGIN) {
      EXPECT_EQ(printed, row_is_printed(R, m));
    }
    if (!printed || !row_is_printed(R, m)) continue;
    EXPECT_EQ(format_fixed(table.AI[m], 7, 3), format_fixed(R.AI[m], 7, 3));
    expect_rendered_like(table.PVS[m], R.PVS[m], ROUNDING_MARGIN, 8, 4, "Prob");
    expect_rendered_like(table.PVSC[m], R.PVSC[m], ROUNDING_MARGIN, 8, 4, "CProb");
  }

  const TableSums sums = table_sums(R);
  expect_rendered_like(computed.expected.expected_SRA, sums.expected_SRA, ROUNDING_MARGIN, 9, 5,
                       "expected SRA");
  expect_rendered_like(computed.expected.expected_SRI, sums.expected_SRI, ROUNDING_MARGIN, 9, 5,
                       "expected SRI");
  expect_rendered_like(computed.expected_AI, expected_AI(sums), ROUNDING_MARGIN, 9, 5,
                       "expected AI");
  const auto levels = percentiles(R);
  for (std::size_t k = 0; k < levels.size(); ++k) {
    EXPECT_EQ(format_fixed(computed.percentiles[k], 7, 3), format_fixed(levels[k], 7, 3))
        << "percentile " << NLDAT[k];
  }
}

// ---- The grid ----

// N from 5 to 100000, minority shares 5 % to 50 %, selection ratios 1 % to
// 90 %, d from -3 to 6. The large pools are those whose outcome stage is
// quick: where few outcomes lie below saturation.
const Problem GRID[] = {
    // N = 5 and 12
    {5, 4, 1, -3},
    {5, 4, 1, 6},
    {5, 4, 2, 2},
    {5, 4, 4, 0.5},
    {5, 3, 2, 0},
    {5, 3, 3, -1},
    {5, 3, 4, 6},
    {5, 3, 1, 4},
    {12, 11, 1, 6},
    {12, 11, 7, 2},
    {12, 10, 4, -1},
    {12, 10, 7, -3},
    {12, 10, 7, 6},
    {12, 8, 4, 0.5},
    {12, 8, 7, 0},
    {12, 6, 1, 6},
    {12, 6, 4, 2},
    {12, 6, 7, 1},
    // N = 40
    {40, 38, 4, -1},
    {40, 38, 12, -3},
    {40, 38, 24, 4},
    {40, 32, 4, 0.5},
    {40, 32, 12, 0},
    {40, 32, 24, -1},
    {40, 32, 36, 6},
    {40, 26, 1, 4},
    {40, 26, 12, 1},
    {40, 26, 24, 0.5},
    {40, 20, 4, -3},
    {40, 20, 4, 6},
    {40, 20, 12, 4},
    {40, 20, 24, 2},
    {40, 20, 36, 1},
    // N = 100
    {100, 95, 10, 0},
    {100, 95, 60, -3},
    {100, 95, 90, 4},
    {100, 80, 10, 1},
    {100, 80, 30, 0.5},
    {100, 80, 90, -1},
    {100, 65, 1, 6},
    {100, 65, 30, 2},
    {100, 65, 60, 1},
    {100, 50, 10, -1},
    {100, 50, 30, -3},
    {100, 50, 30, 6},
    {100, 50, 60, 4},
    {100, 50, 90, 2},
    // N = 250
    {250, 238, 25, 0.5},
    {250, 238, 225, -3},
    {250, 200, 25, 2},
    {250, 200, 75, 1},
    {250, 200, 225, 0},
    {250, 162, 2, -1},
    {250, 162, 75, 4},
    {250, 162, 225, 1},
    {250, 125, 25, 0},
    {250, 125, 150, 6},
    // N = 1000
    {1000, 950, 10, 2},
    {1000, 950, 100, 1},
    {1000, 950, 300, 0.5},
    {1000, 950, 900, -1},
    {1000, 800, 10, -3},
    {1000, 800, 100, 4},
    {1000, 800, 300, 2},
    {1000, 650, 10, 0},
    {1000, 650, 600, 4},
    {1000, 650, 900, 2},
    {1000, 500, 10, 1},
    {1000, 500, 900, 6},
    // N = 3000
    {3000, 2850, 300, 2},
    {3000, 2850, 900, 1},
    {3000, 2400, 30, -1},
    {3000, 2400, 900, 4},
    {3000, 1950, 30, 0.5},
    {3000, 1950, 2700, 4},
    {3000, 1500, 30, 2},
    // N = 10000
    {10000, 9500, 100, -3},
    {10000, 9500, 3000, 2},
    {10000, 9500, 1000, 4},
    {10000, 8000, 100, 0},
    {10000, 6500, 100, 1},
    {10000, 5000, 100, 4},
    // N = 30000
    {30000, 28500, 18000, 2},
    {30000, 24000, 300, 0.5},
    {30000, 19500, 300, 2},
    {30000, 15000, 3000, 4},
    // N = 100000
    {100000, 95000, 1000, 0},
    {100000, 95000, 60000, 4},
    {100000, 80000, 1000, 1},
    {100000, 65000, 10000, 2},
    {100000, 50000, 30000, 4},
};

class Grid : public testing::TestWithParam<Problem> {};

TEST_P(Grid, AgreesWithTheReferenceInEveryPrintedValue) {
  const Problem p = GetParam();
  static auto table = std::make_unique<Table>();
  ModelState state = state_of(p);
  const CFUN share{static_cast<double>(p.N1) / p.N};
  Recorder trace;
  const Analysis analysis = analyse(state, share, integrators(), *table, trace);
  ASSERT_TRUE(analysis.outcomes.completed);
  EXPECT_EQ(trace.count('w'), 0u);
  EXPECT_EQ(trace.count('a'), 0u);
  // Every outcome hires K in all, and the point probabilities add up to 1.
  EXPECT_NEAR(p.N1 * analysis.expected.expected_SRA + (p.N - p.N1) * analysis.expected.expected_SRI,
              p.K, 1e-9 * p.K);

  const std::vector<double> cdf = reference_cdf(p);
  ASSERT_EQ(static_cast<std::size_t>(analysis.outcomes.M), cdf.size() + 1);
  for (std::size_t m = 1; m <= cdf.size(); ++m) {
    EXPECT_NEAR(table->PROB[m], cdf[m - 1], CDF_TOLERANCE) << "entry " << m;
  }
  if (!last_digits_decide(cdf)) expect_report_values_of_reference(p, analysis, *table, cdf);
}

std::string problem_name(const testing::TestParamInfo<Problem>& info) {
  const Problem& p = info.param;
  const long tenths = std::lround(p.d * 10.0);
  std::string name = "N";
  for (const std::string& part :
       {std::to_string(p.N), std::string("_N1_"), std::to_string(p.N1), std::string("_K"),
        std::to_string(p.K), std::string(tenths < 0 ? "_dm" : "_d"),
        std::to_string(std::labs(tenths))}) {
    name += part;
  }
  return name;
}

INSTANTIATE_TEST_SUITE_P(Domain, Grid, testing::ValuesIn(GRID), problem_name);

// ---- Problems that used to go wrong ----

TEST(Planned, ProblemsThatGaveUpNowFinishAndAgree) {
  for (const Problem& p :
       {Problem{40, 20, 4, 2.0}, Problem{1000, 500, 2, 2.0}, Problem{10, 5, 2, 4.0}}) {
    SCOPED_TRACE(testing::Message() << p);
    const StageRun plain = run_stage(p, false);
    EXPECT_FALSE(plain.result.completed);  // the fixed range gives up on these

    const StageRun run = run_stage(p, true);
    ASSERT_TRUE(run.result.completed);
    const std::vector<double> cdf = reference_cdf(p);
    ASSERT_EQ(static_cast<std::size_t>(run.result.M), cdf.size() + 1);
    for (std::size_t m = 1; m <= cdf.size(); ++m) {
      EXPECT_NEAR(run.PROB[m], cdf[m - 1], INTEGRATION_TOLERANCE) << m;
    }
    // One notice, the widened range, before the first trace row.
    ASSERT_EQ(run.trace.notices, std::vector<std::string>{std::string(WIDENED_NOTICE)});
    EXPECT_EQ(run.trace.events.front(), 'n');
  }
}

TEST(Planned, LargeEffectSizesKeepTheUpperTail) {
  // P(S = 0) with the 5th best of 30 majority scores around 6: the fixed range
  // cut this to 0.953.
  const StageRun run = run_stage({40, 30, 5, 5.0}, true);
  ASSERT_TRUE(run.result.completed);
  ASSERT_FALSE(run.trace.rows.empty());
  EXPECT_NEAR(run.trace.rows[0].prob, 0.99999997, 5e-9);
  EXPECT_NEAR(run.PROB[1], test::reference_cdf(30, 10, 5, 5.0, 0), INTEGRATION_TOLERANCE);

  const Problem p{100, 50, 2, 4.0};  // was off by 0.039
  const StageRun two = run_stage(p, true);
  ASSERT_TRUE(two.result.completed);
  const std::vector<double> cdf = reference_cdf(p);
  for (std::size_t m = 1; m <= cdf.size(); ++m) {
    EXPECT_NEAR(two.PROB[m], cdf[m - 1], INTEGRATION_TOLERANCE) << m;
  }
}

TEST(Planned, LargePoolsAreSplitAndSaySoOnce) {
  const Problem p{100000, 95000, 1000, 0.0};
  const StageRun run = run_stage(p, true);
  ASSERT_TRUE(run.result.completed);
  EXPECT_EQ(run.trace.notices, std::vector<std::string>{std::string(REFINED_NOTICE)});
  EXPECT_EQ(run.trace.events.front(), 'n');
  const std::vector<double> cdf = reference_cdf(p);
  double plain_error = 0.0;
  const StageRun plain = run_stage(p, false);
  for (std::size_t m = 1; m <= cdf.size(); ++m) {
    EXPECT_NEAR(run.PROB[m], cdf[m - 1], INTEGRATION_TOLERANCE) << m;
    plain_error = std::max(plain_error, std::fabs(plain.PROB[m] - cdf[m - 1]));
  }
  // The fixed layout steps over the narrow order statistics.
  EXPECT_TRUE(plain.trace.notices.empty());
  EXPECT_GT(plain_error, 1e-4);
}

// ---- Ordinary problems keep the fixed layout, bit for bit ----

// Every trace row up to the first outcome whose plan differs from the fixed
// one is bit for bit that of the fixed layout; problems without such an
// outcome give the same trace, the same values, the same work, and no notice.
TEST(Ordinary, TraceIsThatOfTheFixedLayoutWhereNoPlanDiffers) {
  struct Pools {
    std::int32_t N;
    std::vector<double> shares, ratios, effects;
  };
  const std::vector<double> all_effects = {-3.0, -1.0, 0.0, 0.3, 1.0, 3.0};
  const std::vector<Pools> pools = {
      {5, {0.2, 0.5}, {0.2, 0.5, 0.9}, all_effects},
      {20, {0.05, 0.3, 0.5}, {0.05, 0.3, 0.9}, all_effects},
      {100, {0.05, 0.5}, {0.02, 0.3, 0.9}, all_effects},
      {400, {0.05, 0.3}, {0.02, 0.9}, all_effects},
      {1000, {0.05, 0.5}, {0.02}, {-1.0, 0.0, 1.0}},
  };
  std::size_t untouched = 0;
  std::size_t problems = 0;
  for (const Pools& pool : pools) {
    for (double share : pool.shares) {
      for (double ratio : pool.ratios) {
        for (double d : pool.effects) {
          const auto N2 = std::max<std::int32_t>(1, std::lround(pool.N * share));
          const auto K = std::max<std::int32_t>(1, std::lround(pool.N * ratio));
          const Problem p{pool.N, pool.N - N2, K, d};
          SCOPED_TRACE(testing::Message() << p);
          ++problems;
          const StageRun plain = run_stage(p, false);
          const StageRun run = run_stage(p, true);
          std::size_t k = 0;
          for (; k < run.trace.rows.size() && k < plain.trace.rows.size(); ++k) {
            const Recorder::Row& a = run.trace.rows[k];
            const IntegrationPlan plan = plan_outcome(p.N1, p.N2(), p.d, a.I, a.J);
            if (plan.refined() || plan.widened()) break;
            const Recorder::Row& b = plain.trace.rows[k];
            ASSERT_EQ(a.m, b.m);
            ASSERT_EQ(a.I, b.I);
            ASSERT_EQ(a.J, b.J);
            ASSERT_TRUE(same_bits(a.prob, b.prob)) << a.m;
            ASSERT_TRUE(same_bits(a.result, b.result)) << a.m;
          }
          if (k < run.trace.rows.size()) continue;  // a planned outcome: the rest may differ
          ++untouched;
          EXPECT_EQ(run.trace.rows.size(), plain.trace.rows.size());
          EXPECT_TRUE(run.trace.notices.empty());
          EXPECT_EQ(run.FU1_evaluations, plain.FU1_evaluations);
          EXPECT_EQ(run.result.completed, plain.result.completed);
          EXPECT_EQ(run.result.M, plain.result.M);
          for (std::size_t m = 1; m < run.PROB.size(); ++m) {
            EXPECT_TRUE(same_bits(run.PROB[m], plain.PROB[m])) << m;
          }
        }
      }
    }
  }
  // Planning acts in a minority of ordinary problems: where the fixed range
  // would cut off more than 1e-9, mostly of the best majority score when few
  // are hired and d > 0, or of the lowest minority score when nearly all are.
  EXPECT_GT(untouched, problems / 2);
  RecordProperty("untouched", static_cast<int>(untouched));
  RecordProperty("problems", static_cast<int>(problems));
}

// ---- Monte Carlo ----

// The best scores of one group, best first, drawn without the rest: the k-th
// best of n scores N(mean, 1) has upper-tail probability
// 1 - exp(-(E_1/n + E_2/(n-1) + ... + E_k/(n-k+1))) for independent standard
// exponentials E_i.
class BestScores {
 public:
  BestScores(std::int32_t n, double mean) : n_(n), mean_(mean) {}
  void restart() {
    taken_ = 0;
    exponent_ = 0.0;
  }
  double next(std::mt19937_64& rng) {
    if (taken_ == n_) return -INFINITY;
    exponent_ += exponential_(rng) / (n_ - taken_);
    ++taken_;
    return mean_ + gsl_cdf_ugaussian_Qinv(-std::expm1(-exponent_));
  }

 private:
  std::int32_t n_;
  double mean_;
  std::int32_t taken_ = 0;
  double exponent_ = 0.0;
  std::exponential_distribution<double> exponential_;
};

// How many of the K best of one simulated applicant pool are minority applicants.
std::int32_t simulated_minority_hires(BestScores& majority, BestScores& minority, std::int32_t K,
                                      std::mt19937_64& rng) {
  majority.restart();
  minority.restart();
  double x = majority.next(rng);
  double y = minority.next(rng);
  std::int32_t S = 0;
  for (std::int32_t hired = 0; hired < K; ++hired) {
    if (y > x) {
      ++S;
      y = minority.next(rng);
    } else {
      x = majority.next(rng);
    }
  }
  return S;
}

// Pearson's statistic over cells pooled from the left until each expects at
// least five; returns the statistic and the number of pooled cells.
std::pair<double, std::size_t> chi_square(const std::vector<double>& expected,
                                          const std::vector<double>& observed) {
  constexpr double LEAST_EXPECTED = 5.0;
  std::vector<std::pair<double, double>> cells;  // expected, observed
  std::pair<double, double> open{0.0, 0.0};
  for (std::size_t s = 0; s < expected.size(); ++s) {
    open.first += expected[s];
    open.second += observed[s];
    if (open.first >= LEAST_EXPECTED) {
      cells.push_back(open);
      open = {0.0, 0.0};
    }
  }
  if (!cells.empty()) {
    cells.back().first += open.first;
    cells.back().second += open.second;
  }
  double statistic = 0.0;
  for (const auto& [e, o] : cells) statistic += (o - e) * (o - e) / e;
  return {statistic, cells.size()};
}

TEST(MonteCarlo, SimulatedSelectionsFollowTheComputedDistribution) {
  constexpr int SELECTIONS = 1000000;
  constexpr double LEVEL = 0.001;
  std::mt19937_64 rng(20240611);
  for (const Problem& p : {Problem{50, 40, 5, 0.5}, Problem{50, 40, 5, 1.0},
                           Problem{200, 150, 10, 0.5}, Problem{200, 150, 10, 1.0}}) {
    SCOPED_TRACE(testing::Message() << p);
    const StageRun run = run_stage(p, true);
    ASSERT_TRUE(run.result.completed);
    const std::int32_t L = run.result.L;
    const auto M = static_cast<std::size_t>(run.result.M);
    std::vector<double> expected(M);
    for (std::size_t m = 1; m <= M; ++m) {
      const double upper = m < M ? run.PROB[m] : 1.0;
      const double lower = m > 1 ? run.PROB[m - 1] : 0.0;
      expected[m - 1] = (upper - lower) * SELECTIONS;
    }
    std::vector<double> observed(M, 0.0);
    BestScores majority(p.N1, p.d);
    BestScores minority(p.N2(), 0.0);
    for (int n = 0; n < SELECTIONS; ++n) {
      observed[simulated_minority_hires(majority, minority, p.K, rng) - L] += 1.0;
    }
    const auto [statistic, cells] = chi_square(expected, observed);
    ASSERT_GE(cells, 3u);
    EXPECT_LT(statistic, gsl_cdf_chisq_Qinv(LEVEL, static_cast<double>(cells - 1)));
  }
}

}  // namespace
}  // namespace kemro
