// kemro-grid with several groups: two groups through the group options give
// today's two-group columns; shares are rounded by largest remainder; a cut
// score set by a selection ratio and its two-group distribution; every
// refusal of bad group input is one line with status 2 before any work; the
// record's columns by groups and rule, with headers that widen their column.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "distribution/group_columns.hpp"
#include "distribution/groups.hpp"
#include "tests/support/program_process.hpp"

namespace {

using kemro::testing::make_temp_dir;
using kemro::testing::run_program;

// The CSV records of a run as maps from column name to field.
std::vector<std::map<std::string, std::string>> csv_records(const std::string& text) {
  std::vector<std::vector<std::string>> rows;
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    std::vector<std::string> fields;
    std::string field;
    std::istringstream cells(line);
    while (std::getline(cells, field, ',')) fields.push_back(field);
    if (!line.empty() && line.back() == ',') fields.emplace_back();
    rows.push_back(fields);
  }
  std::vector<std::map<std::string, std::string>> records;
  for (std::size_t r = 1; r < rows.size(); ++r) {
    std::map<std::string, std::string> record;
    for (std::size_t c = 0; c < rows[0].size() && c < rows[r].size(); ++c) {
      record[rows[0][c]] = rows[r][c];
    }
    records.push_back(record);
  }
  return records;
}

double number(const std::map<std::string, std::string>& record, const std::string& key) {
  const auto it = record.find(key);
  EXPECT_NE(it, record.end()) << key;
  return it == record.end() ? NAN : std::stod(it->second);
}

class GridGroups : public ::testing::Test {
 protected:
  void SetUp() override { dir = make_temp_dir(); }
  kemro::testing::ProcessRun grid(const std::vector<std::string>& args) {
    return run_program(KEMRO_GRID_EXE, args, dir);
  }
  std::filesystem::path dir;
};

TEST_F(GridGroups, TwoGroupsGiveTodaysColumns) {
  const auto today = grid({"--applicants", "100,400", "--minority-share", "0.3",
                           "--selection-ratio", "0.2", "--d", "0.5", "--csv"});
  const auto groups =
      grid({"--applicants", "100,400", "--group-names", "White,Black", "--group-shares", "0.7,0.3",
            "--group-d", "0,0.5", "--selection-ratio", "0.2", "--csv"});
  ASSERT_EQ(today.status, 0) << today.err;
  ASSERT_EQ(groups.status, 0) << groups.err;
  const auto a = csv_records(today.out), b = csv_records(groups.out);
  ASSERT_EQ(a.size(), 2u);
  ASSERT_EQ(b.size(), 2u);
  for (std::size_t i = 0; i < a.size(); ++i) {
    EXPECT_EQ(b[i].at("N_White"), a[i].at("N1"));
    EXPECT_EQ(b[i].at("N_Black"), a[i].at("N2"));
    EXPECT_EQ(b[i].at("status"), "computed");
    EXPECT_NEAR(number(b[i], "P_below_four_fifths_Black"), number(a[i], "P_below_four_fifths"),
                1e-12);
    EXPECT_NEAR(number(b[i], "expected_AI_Black"), number(a[i], "expected_AI"), 1e-12);
    EXPECT_NEAR(number(b[i], "expected_SR_Black"), number(a[i], "expected_SRI"), 1e-12);
    EXPECT_NEAR(number(b[i], "expected_SR_White"), number(a[i], "expected_SRA"), 1e-12);
  }
}

TEST(GroupCounts, SharesRoundByLargestRemainderToAddUpToN) {
  struct Case {
    std::vector<double> shares;
    std::int32_t N;
    std::vector<std::int32_t> counts;
  };
  const Case cases[] = {{{0.6, 0.2, 0.12, 0.08}, 10000, {6000, 2000, 1200, 800}},
                        {{1.0 / 3, 1.0 / 3, 1.0 / 3}, 100, {34, 33, 33}},
                        {{0.5, 0.25, 0.25}, 7, {3, 2, 2}},
                        {{0.558, 0.247, 0.195}, 77, {43, 19, 15}}};
  for (const Case& c : cases) {
    EXPECT_EQ(kemro::counts_from_shares(c.shares, c.N), c.counts) << c.N;
  }
}

TEST_F(GridGroups, CutScoreFromARatioAndItsDistribution) {
  const auto r =
      grid({"--group-names", "A,B", "--group-counts", "40,20", "--group-d", "0,1", "--selection",
            "cut-score", "--selection-ratio", "0.25", "--json", "--distribution"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("\"selection\": \"cut-score\""), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("\"expected_selected\": 15"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("\"distribution\": [{\"S_A\": "), std::string::npos) << r.out;
  const auto csv = grid({"--group-names", "A,B,C", "--group-counts", "40,20,17", "--group-d",
                         "0,1,0.5", "--cut-score", "0.5,1", "--csv"});
  ASSERT_EQ(csv.status, 0) << csv.err;
  const auto records = csv_records(csv.out);
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0].at("N"), "77");
  EXPECT_EQ(records[0].at("K"), "");
  EXPECT_EQ(records[1].at("cut_score"), "1");
  for (const char* key : {"P_below_four_fifths_B", "P_below_four_fifths_vs_highest_C",
                          "expected_AI_C", "P_any_below_four_fifths", "P_none_selected"}) {
    EXPECT_GE(number(records[0], key), 0.0) << key;
  }
}

TEST_F(GridGroups, BadGroupInputIsOneLineWithStatusTwo) {
  const std::vector<std::string> base = {"--applicants", "100", "--selection-ratio", "0.2"};
  struct Case {
    std::vector<std::string> args;
    std::string message;
  };
  const Case cases[] = {
      {{"--group-names", "A,B", "--group-shares", "0.7,0.4", "--group-d", "0,1"}, "add up to 1.1"},
      {{"--group-names", "A,B", "--group-counts", "70,20", "--group-d", "0,1"}, "not N = 100"},
      {{"--group-names", "A,B", "--group-shares", "0.7,0.3", "--group-d", "0.2,1"}, "must be 0"},
      {{"--group-names", "A,B,C,D,E,F,G", "--group-shares", "0.7,0.3", "--group-d", "0,1"},
       "7 groups"},
      {{"--group-names", "A,A", "--group-shares", "0.7,0.3", "--group-d", "0,1"}, "twice"},
      {{"--group-names", "A,B-C", "--group-shares", "0.7,0.3", "--group-d", "0,1"}, "'B-C' is not"},
      {{"--group-names", "A,B", "--group-shares", "0.7,0.3", "--group-d", "0,1", "--d", "1"},
       "--d cannot be combined"},
      {{"--group-names", "A,B", "--group-shares", "0.7,0.3", "--group-d", "0,1", "--hires", "20"},
       "exclude each other"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = base;
    args.insert(args.end(), c.args.begin(), c.args.end());
    const auto r = grid(args);
    EXPECT_EQ(r.status, 2) << c.message;
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    EXPECT_EQ(r.err.rfind("kemro-grid: ", 0), 0u) << r.err;
  }
  const auto infinite = grid(
      {"--group-names", "A,B", "--group-counts", "7,3", "--group-d", "0,1", "--cut-score", "inf"});
  EXPECT_EQ(infinite.status, 2);
  EXPECT_NE(infinite.err.find("not a finite number"), std::string::npos) << infinite.err;
}

}  // namespace

namespace {

TEST(GroupColumns, NamesFollowTheGroupsAndTheRuleAndLongNamesWidenTheirColumn) {
  using kemro::SelectionRule;
  const std::vector<std::string> names = {"White", "Hispanic_applicants", "Asian"};
  std::vector<std::string> top_down;
  for (const auto& c : kemro::group_record_columns(names, SelectionRule::top_down)) {
    top_down.push_back(c.name);
  }
  const std::vector<std::string> expected = {"scenario",
                                             "N",
                                             "selection",
                                             "K",
                                             "cut_score",
                                             "N_White",
                                             "N_Hispanic_applicants",
                                             "N_Asian",
                                             "status",
                                             "error_estimate",
                                             "evaluations",
                                             "expected_SR_White",
                                             "P_below_four_fifths_Hispanic_applicants",
                                             "P_below_four_fifths_vs_highest_Hispanic_applicants",
                                             "expected_SR_Hispanic_applicants",
                                             "expected_AI_Hispanic_applicants",
                                             "P_below_four_fifths_Asian",
                                             "P_below_four_fifths_vs_highest_Asian",
                                             "expected_SR_Asian",
                                             "expected_AI_Asian",
                                             "P_any_below_four_fifths"};
  EXPECT_EQ(top_down, expected);
  const auto cut = kemro::group_record_columns(names, SelectionRule::cut_score);
  ASSERT_EQ(cut.size(), expected.size() + 2);
  EXPECT_EQ(cut[cut.size() - 2].name, "expected_selected");
  EXPECT_EQ(cut.back().name, "P_none_selected");
  // Every header fits its column with a blank to spare, short ones keep the least width.
  for (const auto& c : cut) {
    EXPECT_GT(c.width, static_cast<int>(c.header.size())) << c.name;
    if (c.name == "P_below_four_fifths_vs_highest_Hispanic_applicants") {
      EXPECT_EQ(c.header, "P<0.8hi Hispanic_applicants");
      EXPECT_EQ(c.width, 28);
    }
    if (c.name == "N_Asian") {
      EXPECT_EQ(c.width, 8);
    }
  }
}

}  // namespace
