// The adverse impact rules and their flag rates: every P_flag_* of a computed
// scenario against an independent brute-force evaluation of the rules' own
// definitions (at d = 0 over exact hypergeometric terms, at d != 0 over the
// independent integral of tests/support and against a simulation of top-down
// selection); the observed decision's verdicts and the impact ratio's
// interval; and the refusals of bad levels, rules and quantities.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <ostream>
#include <random>
#include <vector>

#include "distribution/observed.hpp"
#include "distribution/rules.hpp"
#include "distribution/scenario_summary.hpp"
#include "distribution/solve.hpp"
#include "tests/support/program_process.hpp"
#include "tests/support/reference.hpp"

namespace kemro {
namespace {

// A scenario and the rules' levels; the threshold also as an exact fraction
// (num / den) so that the reference decides the four-fifths rule without rounding.
struct Case {
  std::int32_t N1, N2, K;
  double d;
  double alpha;
  double z_critical;  // z_{1-alpha/2}, written out
  std::int64_t threshold_num, threshold_den;
};

std::ostream& operator<<(std::ostream& out, const Case& c) {
  return out << "N1=" << c.N1 << " N2=" << c.N2 << " K=" << c.K << " d=" << c.d
             << " alpha=" << c.alpha << " T=" << c.threshold_num << "/" << c.threshold_den;
}

constexpr double Z_975 = 1.959963984540054;   // z_{0.975}
constexpr double Z_995 = 2.5758293035489004;  // z_{0.995}

using Real = long double;

// ln C(n, k) from log-gamma in extended precision.
Real log_choose(std::int64_t n, std::int64_t k) {
  return std::lgamma(static_cast<Real>(n) + 1) - std::lgamma(static_cast<Real>(k) + 1) -
         std::lgamma(static_cast<Real>(n - k) + 1);
}

// The hypergeometric terms of S = lo..hi, normalised in extended precision.
std::vector<Real> hypergeometric_terms(const Case& c, std::int32_t lo, std::int32_t hi) {
  std::vector<Real> h;
  Real total = 0;
  const Real all = log_choose(std::int64_t{c.N1} + c.N2, c.K);
  for (std::int32_t s = lo; s <= hi; ++s) {
    h.push_back(std::exp(log_choose(c.N2, s) + log_choose(c.N1, c.K - s) - all));
    total += h.back();
  }
  for (Real& x : h) x /= total;
  return h;
}

// Every rule's verdict on each outcome lo..hi, straight from the definitions:
// p-values by brute-force sums, the statistics in extended precision.
std::vector<std::array<bool, RULE_COUNT>> reference_flags(const Case& c) {
  const std::int32_t lo = std::max(0, c.K - c.N1);
  const std::int32_t hi = std::min(c.K, c.N2);
  const std::vector<Real> h = hypergeometric_terms(c, lo, hi);
  const std::size_t n = h.size();
  const Real N = static_cast<Real>(c.N1) + c.N2;
  const Real P = c.K / N;
  const auto four_fifths = [&](std::int64_t s) {
    const std::int64_t a = c.K - s;
    return a > 0 && s <= c.N2 &&
           static_cast<Real>(s) * c.N1 * c.threshold_den <
               static_cast<Real>(c.threshold_num) * a * c.N2;
  };
  std::vector<std::array<bool, RULE_COUNT>> flags(n);
  std::vector<Real> sorted(h);
  std::sort(sorted.begin(), sorted.end());
  Real below = 0;
  for (std::size_t i = 0; i < n; ++i) {
    const std::int64_t s = lo + static_cast<std::int64_t>(i);
    const std::int64_t a = c.K - s;
    const Real sra = static_cast<Real>(a) / c.N1;
    const Real sri = static_cast<Real>(s) / c.N2;
    const Real one_sided = below + h[i];
    const Real mid_p = below + h[i] / 2;
    below += h[i];
    Real two_sided = 0;
    for (Real x : sorted) {
      if (x <= h[i] * (1 + 1e-7L)) two_sided += x;
    }
    const Real z =
        (sra - sri) /
        std::sqrt(P * (1 - P) * (1 / static_cast<Real>(c.N1) + 1 / static_cast<Real>(c.N2)));
    const bool z_ir =
        a > 0 &&
        (s == 0 || std::log(sri / sra) / std::sqrt((1 - P) / (P * c.N2) + (1 - P) / (P * c.N1)) <=
                       -c.z_critical);
    const bool fisher = sri < sra && two_sided < c.alpha;
    const bool ff = four_fifths(s);
    const bool z_flag = z >= c.z_critical;
    flags[i] = {ff,
                z_flag,
                z_ir,
                fisher,
                one_sided < c.alpha / 2,
                mid_p < c.alpha / 2,
                ff && z_flag,
                ff && fisher,
                ff && four_fifths(s + 1)};
  }
  return flags;
}

ScenarioResult computed(const Case& c) {
  ScenarioWork work;
  const Scenario s{c.N1 + c.N2, c.N1,
                   c.N2,        c.K,
                   c.d,         {c.alpha, static_cast<double>(c.threshold_num) / c.threshold_den}};
  return compute_scenario(s, Engine::fast, false, work);
}

// The share of `reps` simulated top-down selections each rule flags: N1
// scores N(d, 1), N2 scores N(0, 1), the K best hired.
std::array<double, RULE_COUNT> simulated_rates(const Case& c, int reps) {
  const std::vector<std::array<bool, RULE_COUNT>> flags = reference_flags(c);
  const std::int32_t lo = std::max(0, c.K - c.N1);
  std::mt19937_64 random(20240611);
  std::normal_distribution<double> normal;
  std::vector<std::pair<double, bool>> scores(static_cast<std::size_t>(c.N1 + c.N2));
  std::array<double, RULE_COUNT> counts{};
  for (int r = 0; r < reps; ++r) {
    for (std::size_t i = 0; i < scores.size(); ++i) {
      const bool minority = i >= static_cast<std::size_t>(c.N1);
      scores[i] = {normal(random) + (minority ? 0.0 : c.d), minority};
    }
    std::nth_element(scores.begin(), scores.begin() + c.K, scores.end(),
                     [](const auto& x, const auto& y) { return x.first > y.first; });
    std::int32_t s = 0;
    for (std::int32_t i = 0; i < c.K; ++i) s += scores[static_cast<std::size_t>(i)].second;
    for (std::size_t k = 0; k < RULE_COUNT; ++k)
      counts[k] += flags[static_cast<std::size_t>(s - lo)][k];
  }
  for (double& x : counts) x /= reps;
  return counts;
}

TEST(RuleFlagRates, AgreeWithIndependentSumsAndSimulation) {
  constexpr int REPLICATIONS = 1000000;
  struct Row {
    Case c;
    bool simulate;
  };
  // clang-format off
  const Row rows[] = {
    {{40, 10, 5, 0.0, 0.05, Z_975, 4, 5}, false},
    {{160, 40, 20, 0.0, 0.05, Z_975, 4, 5}, false},
    {{400, 100, 50, 0.0, 0.01, Z_995, 4, 5}, false},
    {{300, 200, 100, 0.0, 0.05, Z_975, 9, 10}, false},
    {{99, 1, 10, 0.0, 0.05, Z_975, 4, 5}, false},            // one minority applicant
    {{20, 30, 1, 0.0, 0.05, Z_975, 4, 5}, false},            // K = 1
    {{20, 30, 49, 0.0, 0.05, Z_975, 4, 5}, false},           // K = N - 1
    {{500, 500, 500, 0.0, 0.05, Z_975, 1, 1}, false},        // symmetric: ties in Fisher's test
    {{900000, 100000, 1000, 0.0, 0.05, Z_975, 4, 5}, false}, // N = 10^6
    {{999990, 10, 999999, 0.0, 0.05, Z_975, 4, 5}, false},  // N = 10^6, K = N - 1
    {{160, 40, 20, 0.5, 0.05, Z_975, 4, 5}, false},
    {{800, 200, 100, 0.3, 0.05, Z_975, 4, 5}, false},
    {{30, 10, 8, 0.5, 0.05, Z_975, 4, 5}, true},
    {{40, 20, 12, 1.0, 0.01, Z_995, 3, 4}, true},
  };
  // clang-format on
  for (const Row& row : rows) {
    const Case& c = row.c;
    const ScenarioResult r = computed(c);
    ASSERT_TRUE(r.completed) << c;
    const std::int32_t lo = std::max(0, c.K - c.N1);
    const std::vector<std::array<bool, RULE_COUNT>> flags = reference_flags(c);
    std::vector<Real> p;  // the distribution of S: exact at d = 0, the reference integral else
    if (c.d == 0.0) {
      p = hypergeometric_terms(c, lo, std::min(c.K, c.N2));
    } else {
      const std::vector<double> cdf = test::reference_distribution(c.N1, c.N2, c.K, c.d);
      for (std::size_t i = 0; i < cdf.size(); ++i) p.push_back(cdf[i] - (i ? cdf[i - 1] : 0.0));
    }
    std::array<double, RULE_COUNT> expected{};
    for (std::size_t k = 0; k < RULE_COUNT; ++k) {
      Real sum = 0;
      for (std::size_t i = 0; i < p.size(); ++i) sum += flags[i][k] ? p[i] : 0;
      expected[k] = static_cast<double>(sum);
    }
    const double tolerance = c.d == 0.0 ? 1e-12 : 1e-10;
    for (std::size_t k = 0; k < RULE_COUNT; ++k) {
      EXPECT_NEAR(r.P_flag[k], expected[k], tolerance) << c << " rule " << RULES[k].name;
    }
    // The four-fifths rule at 0.8 is today's P(AI < 0.8).
    if (c.threshold_num == 4 && c.threshold_den == 5) {
      EXPECT_EQ(r.P_flag[0], r.P_below_four_fifths) << c;
    }
    // At d = 0 the flag rates are also the false-flag rates kemro-observed reports.
    if (c.d == 0.0) {
      const RuleRates rates = false_flag_rates(
          c.N1, c.N2, c.K, {c.alpha, static_cast<double>(c.threshold_num) / c.threshold_den});
      for (std::size_t k = 0; k < RULE_COUNT; ++k) {
        EXPECT_NEAR(rates[k], expected[k], 1e-12) << c << " rule " << RULES[k].name;
      }
    }
    if (!row.simulate) continue;
    const std::array<double, RULE_COUNT> simulated = simulated_rates(c, REPLICATIONS);
    for (std::size_t k = 0; k < RULE_COUNT; ++k) {
      const double se = std::sqrt(r.P_flag[k] * (1.0 - r.P_flag[k]) / REPLICATIONS);
      EXPECT_NEAR(simulated[k], r.P_flag[k], 4.0 * se + 1e-12) << c << " rule " << RULES[k].name;
    }
  }
}

TEST(ObservedRules, VerdictsAreTheRuleTableOnTheCountsAndTheIntervalIsMorrisLobsenz) {
  // Majority 25 of 43 hired, minority 6 of 19.
  const ObservedCounts counts{62, 43, 31, 6};
  const std::vector<double> ds = {0.0};
  const ObservedAnalysis a = analyse_observed(counts, ds, 0.05);
  ASSERT_TRUE(a.ok()) << a.error;
  const ObservedResult& r = a.results.front();
  const RuleFlags flags = rule_flags(43, 19, 31, 6, {});
  EXPECT_EQ(r.flags, flags);
  const RuleRates rates = false_flag_rates(43, 19, 31, {});
  EXPECT_EQ(r.false_flag_rates, rates);
  // ln AI -+ 1.96 sqrt((1 - SRI)/s + (1 - SRA)/a) with SRI = 6/19, SRA = 25/43:
  // ln 0.5431579 = -0.6103552, half width 1.959964 * sqrt(0.1140351 + 0.0167442) = 0.7087900.
  EXPECT_NEAR(r.AI_lower, 0.2673638, 1e-7);
  EXPECT_NEAR(r.AI_upper, 1.1034424, 1e-7);
  EXPECT_TRUE(r.AI_interval_missing.empty());
  EXPECT_EQ(r.four_fifths_survives_flip,
            flags[static_cast<std::size_t>(rule_index("four_fifths_flip"))]);
  // No minority hire: no interval, and the reason says why.
  const ObservedAnalysis none = analyse_observed({62, 43, 31, 0}, ds, 0.05);
  ASSERT_TRUE(none.ok());
  EXPECT_TRUE(std::isnan(none.results.front().AI_lower));
  EXPECT_NE(none.results.front().AI_interval_missing.find("s = 0"), std::string_view::npos);
}

TEST(RuleInput, BadLevelsRulesAndQuantitiesAreRefusedBeforeAnyWork) {
  struct Row {
    std::vector<std::string> args;
    const char* message;
  };
  const std::vector<std::string> base = {
      "--applicants", "100", "--minority-share", "0.2", "--hires", "10", "--d", "0"};
  const Row rows[] = {
      {{"--alpha", "0"}, "--alpha 0 is not between 0 and 1 (exclusive)"},
      {{"--alpha", "0.05,1"}, "--alpha 1 is not between 0 and 1 (exclusive)"},
      {{"--threshold", "1.5"}, "--threshold 1.5 is not in (0, 1]"},
      {{"--threshold", "0"}, "--threshold 0 is not in (0, 1]"},
      {{"--y", "P_flag_bogus"}, "unknown column 'P_flag_bogus'"},
      {{"--solve", "d", "--target", "P_flag_nope=0.8"}, "unknown quantity 'P_flag_nope'"},
  };
  const auto dir = testing::make_temp_dir();
  for (const Row& row : rows) {
    std::vector<std::string> args = base;
    if (row.args.front() == "--solve") args.back() = "0:2";  // the range of d solved for
    args.insert(args.end(), row.args.begin(), row.args.end());
    if (row.args.front() == "--y") args.insert(args.end(), {"--plot", "p.svg"});
    const testing::ProcessRun run = testing::run_program(KEMRO_GRID_EXE, args, dir);
    EXPECT_EQ(run.status, 2) << row.message;
    EXPECT_NE(run.err.find(row.message), std::string::npos) << run.err;
    EXPECT_TRUE(run.out.empty()) << row.message;
  }
  EXPECT_FALSE(std::filesystem::exists(dir / "p.svg"));
  // Every rule's quantity is a probability target.
  for (std::size_t k = 0; k < RULE_COUNT; ++k) {
    Target t;
    std::string error;
    EXPECT_TRUE(parse_target(std::string(RULES[k].column) + ">=0.8", t, error)) << error;
    EXPECT_EQ(t.quantity, rule_quantity(k));
    EXPECT_FALSE(parse_target(std::string(RULES[k].column) + ">=1.5", t, error));
  }
}

}  // namespace
}  // namespace kemro
