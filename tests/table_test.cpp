// The sampling distribution table: entries, rates and ratios built from the
// cumulative probabilities, the negative-probability warnings, and which
// entries get a distribution row.
#include "distribution/table.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <vector>

namespace kemro {
namespace {

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();

struct Built {
  std::unique_ptr<Table> table = std::make_unique<Table>(TABLE_CAPACITY);
  std::vector<NegativeProbability> warnings;
};

// The table for counts N1, N2, K whose first M - 1 cumulative probabilities are prob.
Built build(std::int32_t N1, std::int32_t N2, std::int32_t K, const std::vector<double>& prob) {
  const std::int32_t L = std::max(0, K - N1);
  const std::int32_t M = std::min(K, N2) - L + 1;
  EXPECT_EQ(static_cast<std::size_t>(M), prob.size() + 1);
  Built b;
  std::copy(prob.begin(), prob.end(), b.table->PROB.begin() + 1);
  b.warnings = build_table(*b.table, M, L, K, N1, N2);
  return b;
}

std::vector<std::int32_t> printed_entries(const Table& table) {
  std::vector<std::int32_t> entries;
  for (std::int32_t m = 1; m <= table.M; ++m) {
    if (row_is_printed(table, m)) entries.push_back(m);
  }
  return entries;
}

using Entries = std::vector<std::int32_t>;

TEST(BuildTable, ThreeMajorityTwoMinorityTwoHires) {
  const Built b = build(3, 2, 2, {0.25, 0.875});
  const Table& t = *b.table;
  ASSERT_EQ(t.M, 3);
  EXPECT_EQ(t.PROB[3], 1.0);
  EXPECT_EQ(Entries(t.NY.begin() + 1, t.NY.begin() + 4), (Entries{0, 1, 2}));
  EXPECT_EQ(Entries(t.NX.begin() + 1, t.NX.begin() + 4), (Entries{2, 1, 0}));
  EXPECT_DOUBLE_EQ(t.SR1[1], 2.0 / 3.0);
  EXPECT_DOUBLE_EQ(t.SR1[2], 1.0 / 3.0);
  EXPECT_EQ(t.SR1[3], 0.0);
  EXPECT_EQ(t.SR2[1], 0.0);
  EXPECT_EQ(t.SR2[2], 0.5);
  EXPECT_EQ(t.SR2[3], 1.0);
  EXPECT_EQ(t.AI[1], 0.0);
  EXPECT_DOUBLE_EQ(t.AI[2], 1.5);
  EXPECT_EQ(t.AI[3], UNDEFINED_RATIO);
  EXPECT_EQ(t.PVS[1], 0.25);
  EXPECT_EQ(t.PVS[2], 0.625);
  EXPECT_EQ(t.PVS[3], 0.125);
  EXPECT_EQ(t.PVSC[2], 0.875);
  EXPECT_EQ(t.PVSC[3], 1.0);
  EXPECT_TRUE(b.warnings.empty());
  EXPECT_EQ(printed_entries(t), (Entries{1, 2, 3}));
}

TEST(BuildTable, EveryApplicantHiredGivesOneCertainEntry) {
  const Built b = build(3, 2, 5, {});
  const Table& t = *b.table;
  ASSERT_EQ(t.M, 1);
  EXPECT_EQ(t.NY[1], 2);
  EXPECT_EQ(t.NX[1], 3);
  EXPECT_EQ(t.SR1[1], 1.0);
  EXPECT_EQ(t.SR2[1], 1.0);
  EXPECT_EQ(t.AI[1], 1.0);
  EXPECT_EQ(t.PVS[1], 1.0);
  EXPECT_EQ(t.PVSC[1], 1.0);
  EXPECT_EQ(printed_entries(t), (Entries{1}));
}

TEST(BuildTable, HiresBeyondOneGroupsSize) {
  // More hires than majority applicants: the first entry has minority hires.
  const Built more_than_N1 = build(2, 5, 4, {0.2, 0.7});
  const Table& a = *more_than_N1.table;
  EXPECT_EQ(Entries(a.NY.begin() + 1, a.NY.begin() + 4), (Entries{2, 3, 4}));
  EXPECT_EQ(Entries(a.NX.begin() + 1, a.NX.begin() + 4), (Entries{2, 1, 0}));
  EXPECT_DOUBLE_EQ(a.AI[1], 0.4);
  EXPECT_DOUBLE_EQ(a.AI[2], 1.2);
  EXPECT_EQ(a.AI[3], UNDEFINED_RATIO);

  // More hires than minority applicants: every entry has majority hires.
  const Built more_than_N2 = build(5, 2, 4, {0.2, 0.7});
  const Table& b = *more_than_N2.table;
  EXPECT_EQ(Entries(b.NY.begin() + 1, b.NY.begin() + 4), (Entries{0, 1, 2}));
  EXPECT_EQ(Entries(b.NX.begin() + 1, b.NX.begin() + 4), (Entries{4, 3, 2}));
  EXPECT_EQ(b.AI[1], 0.0);
  EXPECT_DOUBLE_EQ(b.AI[2], 0.5 / 0.6);
  EXPECT_DOUBLE_EQ(b.AI[3], 2.5);
}

TEST(BuildTable, NegativePointProbabilityWarnsOnceAndStays) {
  const Built b = build(3, 3, 3, {0.3, 0.29994, 0.8});
  ASSERT_EQ(b.warnings.size(), 1u);
  EXPECT_EQ(b.warnings[0].m, 1);
  EXPECT_EQ(b.warnings[0].PROB_m, 0.3);
  EXPECT_EQ(b.warnings[0].PROB_next, 0.29994);
  EXPECT_NEAR(b.table->PVS[2], -6e-5, 1e-15);
  EXPECT_NEAR(b.table->PVSC[2], 0.29994, 1e-15);
  EXPECT_EQ(printed_entries(*b.table), (Entries{1, 3, 4}));

  // Within the tolerance a negative value passes silently, still without a row.
  const Built silent = build(3, 3, 3, {0.3, 0.29996, 0.8});
  EXPECT_TRUE(silent.warnings.empty());
  EXPECT_EQ(printed_entries(*silent.table), (Entries{1, 3, 4}));
}

TEST(BuildTable, SmallPointProbabilities) {
  // 4e-7 has no row but counts in the next running sum; 1.96e-5 has a row.
  const Built b = build(3, 3, 3, {0.5, 0.5000004, 0.50002});
  const Table& t = *b.table;
  EXPECT_EQ(printed_entries(t), (Entries{1, 3, 4}));
  EXPECT_NEAR(t.PVS[2], 4e-7, 1e-15);
  EXPECT_NEAR(t.PVS[3], 1.96e-5, 1e-15);
  EXPECT_NEAR(t.PVSC[3], 0.50002, 1e-15);
}

TEST(BuildTable, SaturatedOutcomesHaveNoRows) {
  const Built b = build(3, 3, 3, {0.9, 1.0, 1.0});
  EXPECT_EQ(printed_entries(*b.table), (Entries{1, 2}));
}

TEST(BuildTable, EmptyGroupsGiveNotANumber) {
  const Built no_majority = build(0, 4, 2, {});
  EXPECT_TRUE(std::isnan(no_majority.table->SR1[1]));
  EXPECT_EQ(no_majority.table->SR2[1], 0.5);
  EXPECT_TRUE(std::isnan(no_majority.table->AI[1]));

  const Built no_minority = build(4, 0, 2, {});
  EXPECT_EQ(no_minority.table->SR1[1], 0.5);
  EXPECT_TRUE(std::isnan(no_minority.table->SR2[1]));
  EXPECT_TRUE(std::isnan(no_minority.table->AI[1]));
}

TEST(BuildTable, CountOutsideTheCapacityBuildsNothing) {
  Table t(TABLE_CAPACITY);
  for (std::int32_t M : {0, -3, TABLE_CAPACITY + 1}) {
    t.M = 7;
    EXPECT_TRUE(build_table(t, M, 0, 5, 5, 5).empty());
    EXPECT_EQ(t.M, 0);
    EXPECT_FALSE(row_is_printed(t, 1));
  }
  // The full capacity is usable up to its last entry.
  std::fill(t.PROB.begin(), t.PROB.end(), 0.5);
  build_table(t, TABLE_CAPACITY, 0, TABLE_CAPACITY - 1, TABLE_CAPACITY, TABLE_CAPACITY - 1);
  EXPECT_EQ(t.NY[TABLE_CAPACITY], TABLE_CAPACITY - 1);
  EXPECT_EQ(t.NX[TABLE_CAPACITY], 0);
  EXPECT_EQ(t.PVSC[TABLE_CAPACITY], 1.0);
}

// size_table: exactly M + 1 elements in every array, the entries up to M kept,
// an allocation reused only while it is at most twice what M needs.
TEST(SizeTable, HoldsWhatTheProblemNeeds) {
  struct Case {
    std::int32_t before;   // entries the table had room for
    std::int32_t M;        // asked for
    std::size_t capacity;  // of each array afterwards
  };
  const Case cases[] = {
      {0, 10, 11},                                   // grown from nothing
      {TABLE_CAPACITY, 10, 11},                      // a full table given back
      {15, 10, 16},                                  // reused: 16 <= 2 * 11
      {10, 20, 21},                                  // grown exactly, not doubled
      {10, TABLE_CAPACITY + 5, TABLE_CAPACITY + 1},  // at most the capacity
      {10, -1, 1},                                   // no entry
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.before << " -> " << c.M);
    Table t(c.before);
    for (std::int32_t m = 1; m <= c.before; ++m) t.PROB[m] = t.AI[m] = m, t.NY[m] = m;
    t.M = c.before;
    size_table(t, c.M);
    const std::int32_t kept = std::clamp(c.M, 0, TABLE_CAPACITY);
    EXPECT_EQ(t.M, std::min(c.before, kept));
    for (std::size_t size : {t.PROB.size(), t.PVS.size(), t.PVSC.size(), t.NY.size(), t.NX.size(),
                             t.SR1.size(), t.SR2.size(), t.AI.size()}) {
      EXPECT_EQ(size, static_cast<std::size_t>(kept) + 1);
    }
    EXPECT_EQ(t.PROB.capacity(), c.capacity);
    EXPECT_EQ(t.NX.capacity(), c.capacity);
    for (std::int32_t m = 1; m <= kept; ++m) {
      const double value = m <= c.before ? m : 0.0;
      ASSERT_EQ(t.PROB[m], value) << m;
      ASSERT_EQ(t.AI[m], value) << m;
      ASSERT_EQ(t.NY[m], value) << m;
    }
  }
  // build_table grows a table too short for its entries and shrinks none.
  Table empty;
  EXPECT_EQ(empty.PROB.capacity(), 0u);
  build_table(empty, 3, 0, 2, 3, 2);
  EXPECT_EQ(empty.AI.size(), 4u);
  Table full(TABLE_CAPACITY);
  build_table(full, 3, 0, 2, 3, 2);
  EXPECT_EQ(full.AI.size(), static_cast<std::size_t>(TABLE_CAPACITY) + 1);
}

// A table filled by hand: PVS, PVSC and AI of entries 1..M.
Table hand_table(std::vector<double> pvs, std::vector<double> pvsc, std::vector<double> ai) {
  Table t(static_cast<std::int32_t>(pvs.size()));
  t.M = static_cast<std::int32_t>(pvs.size());
  std::copy(pvs.begin(), pvs.end(), t.PVS.begin() + 1);
  std::copy(pvsc.begin(), pvsc.end(), t.PVSC.begin() + 1);
  std::copy(ai.begin(), ai.end(), t.AI.begin() + 1);
  return t;
}

TEST(RowIsPrinted, AfterTheRunningSumReachesOneOnlyUndefinedRatios) {
  const Table t = hand_table({0.5, 0.5, 0.1, 0.1}, {0.5, 1.0, 1.1, 1.2}, {0.5, 1.0, 2.0, -1.0});
  EXPECT_EQ(printed_entries(t), (Entries{1, 2, 4}));
}

TEST(RowIsPrinted, NotANumber) {
  // A NaN probability is never printed; a NaN running sum before it skips nothing.
  const Table t = hand_table({0.5, NaN, 0.2, 0.3}, {0.5, NaN, NaN, 1.0}, {0.5, 1.0, 2.0, 3.0});
  EXPECT_EQ(printed_entries(t), (Entries{1, 3, 4}));
}

}  // namespace
}  // namespace kemro
