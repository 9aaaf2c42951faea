// The expected values and percentiles drawn from a built table.
#include "distribution/summaries.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <vector>

#include "tests/support/reference.hpp"

namespace kemro {
namespace {

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();
using Percentiles = std::array<double, NLDAT.size()>;

// The table for counts N1, N2, K whose first M - 1 cumulative probabilities are prob.
std::unique_ptr<Table> build(std::int32_t N1, std::int32_t N2, std::int32_t K,
                             const std::vector<double>& prob) {
  const std::int32_t L = std::max(0, K - N1);
  const std::int32_t M = std::min(K, N2) - L + 1;
  EXPECT_EQ(static_cast<std::size_t>(M), prob.size() + 1);
  auto table = std::make_unique<Table>(TABLE_CAPACITY);
  std::copy(prob.begin(), prob.end(), table->PROB.begin() + 1);
  build_table(*table, M, L, K, N1, N2);
  return table;
}

// Cumulative probabilities 1..M-1 of a distribution of S over all outcomes.
std::vector<double> all_but_last(std::vector<double> cdf) {
  cdf.pop_back();
  return cdf;
}

TEST(Summaries, ThreeMajorityTwoMinorityTwoHires) {
  const auto table = build(3, 2, 2, {0.25, 0.875});
  const TableSums sums = table_sums(*table);
  EXPECT_NEAR(sums.expected_SRA, 0.375, 1e-15);
  EXPECT_NEAR(sums.expected_SRI, 0.4375, 1e-15);
  EXPECT_NEAR(sums.AI_numerator, 0.9375, 1e-15);
  EXPECT_EQ(sums.defined_ratio_mass, 0.875);
  EXPECT_NEAR(expected_AI(sums), 15.0 / 14.0, 1e-15);
  // Level 25 is reached by equality at the first entry; the undefined entry
  // carries 12.5 %, so levels 90 and 95 give the undefined-ratio code.
  EXPECT_EQ(percentiles(*table), (Percentiles{0.0, 0.0, 0.0, 1.5, 1.5, -1.0, -1.0}));
}

TEST(Summaries, LevelJustMissedMovesToTheNextEntry) {
  const auto table = build(3, 2, 2, {0.2499999, 0.875});
  EXPECT_EQ(percentile(*table, 10), 0.0);
  EXPECT_EQ(percentile(*table, 25), 1.5);
}

TEST(Summaries, SingleCertainEntry) {
  const auto table = build(3, 2, 5, {});
  const TableSums sums = table_sums(*table);
  EXPECT_EQ(sums.expected_SRA, 1.0);
  EXPECT_EQ(sums.expected_SRI, 1.0);
  EXPECT_EQ(expected_AI(sums), 1.0);
  EXPECT_EQ(percentiles(*table), (Percentiles{1.0, 1.0, 1.0, 1.0, 1.0, 1.0, 1.0}));
}

TEST(Summaries, EveryRatioDefinedGivesThePlainMean) {
  const auto table = build(5, 2, 4, {0.2, 0.7});  // AI = 0, 0.5/0.6, 2.5
  const TableSums sums = table_sums(*table);
  EXPECT_NEAR(sums.defined_ratio_mass, 1.0, 1e-15);
  EXPECT_NEAR(expected_AI(sums), 0.5 * (0.5 / 0.6) + 0.3 * 2.5, 1e-15);
}

TEST(Summaries, ExpectedRatesAddUpToTheHires) {
  struct Problem {
    std::int32_t N1, N2, K;
    double d;
  };
  for (const Problem p : {Problem{15, 5, 5, 0.0}, Problem{3, 5, 5, 0.0}, Problem{45, 5, 20, 0.0},
                          Problem{200, 100, 90, 0.0}, Problem{4000, 1000, 500, 0.0},
                          Problem{30, 10, 8, 1.0}, Problem{20, 20, 4, 2.0}}) {
    std::vector<double> cdf;
    if (p.d == 0.0) {
      const std::int32_t L = std::max(0, p.K - p.N1);
      for (std::int32_t t = L; t <= std::min(p.K, p.N2); ++t) {
        cdf.push_back(test::hypergeometric_cdf(p.N1, p.N2, p.K, t));
      }
    } else {
      cdf = test::reference_distribution(p.N1, p.N2, p.K, p.d);
    }
    const TableSums sums = table_sums(*build(p.N1, p.N2, p.K, all_but_last(cdf)));
    EXPECT_NEAR(p.N1 * sums.expected_SRA + p.N2 * sums.expected_SRI, p.K, 1e-12 * p.K)
        << p.N1 << " " << p.N2 << " " << p.K;
  }
}

TEST(Summaries, NoDefinedRatioWithProbabilityGivesNotANumber) {
  const auto table = build(3, 2, 2, {0.0, 0.0});
  const TableSums sums = table_sums(*table);
  EXPECT_EQ(sums.defined_ratio_mass, 0.0);
  EXPECT_TRUE(std::isnan(expected_AI(sums)));
  EXPECT_EQ(percentile(*table, 5), -1.0);
}

TEST(Summaries, EmptyGroupsGiveNotANumber) {
  const TableSums no_majority = table_sums(*build(0, 4, 2, {}));
  EXPECT_TRUE(std::isnan(no_majority.expected_SRA));
  EXPECT_EQ(no_majority.expected_SRI, 0.5);
  EXPECT_TRUE(std::isnan(expected_AI(no_majority)));

  const TableSums no_minority = table_sums(*build(4, 0, 2, {}));
  EXPECT_EQ(no_minority.expected_SRA, 0.5);
  EXPECT_TRUE(std::isnan(no_minority.expected_SRI));
  EXPECT_TRUE(std::isnan(expected_AI(no_minority)));
}

TEST(Percentile, BrokenRunningSums) {
  Table t(3);
  t.M = 3;
  t.AI[1] = 0.5;
  t.AI[2] = 1.0;
  t.AI[3] = 2.0;
  // A NaN running sum counts as reached.
  t.PVSC[1] = 0.1;
  t.PVSC[2] = NaN;
  t.PVSC[3] = 0.9;
  EXPECT_EQ(percentile(t, 5), 0.5);
  EXPECT_EQ(percentile(t, 50), 1.0);
  // A level that no running sum reaches takes the last entry.
  t.PVSC[2] = 0.5;
  EXPECT_EQ(percentile(t, 95), 2.0);
  // An empty table has no percentile.
  t.M = 0;
  EXPECT_TRUE(std::isnan(percentile(t, 50)));
}

}  // namespace
}  // namespace kemro
