// How messages show numbers: a value that was typed as 1.1, or that a range
// reached as 1.1, is echoed as 1.1 (the shortest text that reads back as the
// same double), not as its 17-digit expansion. End to end over kemro-grid's
// and kemro-observed's refusals, and over the library's shared formatting.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <string>
#include <vector>

#include "distribution/observed.hpp"
#include "distribution/rules.hpp"
#include "model/composite.hpp"
#include "model/message_text.hpp"
#include "tests/support/program_process.hpp"

namespace kemro {
namespace {

TEST(MessageNumbers, ShortestTextReadsBackAsTheSameDouble) {
  constexpr double INF = std::numeric_limits<double>::infinity();
  const struct {
    double value;
    const char* text;
  } rows[] = {
      {1.1, "1.1"},
      {0.1 + 0.2, "0.30000000000000004"},
      {1e-05, "1e-05"},
      {123456789.0, "123456789"},
      {-0.0, "-0"},
      {DBL_MAX, "1.7976931348623157e+308"},
      {DBL_TRUE_MIN, "5e-324"},
      {INF, "inf"},
      {-INF, "-inf"},
      {std::numeric_limits<double>::quiet_NaN(), "nan"},
  };
  for (const auto& row : rows) {
    const std::string text = message::number_text(row.value);
    EXPECT_EQ(text, row.text);
    if (std::isfinite(row.value)) {
      EXPECT_EQ(std::strtod(text.c_str(), nullptr), row.value) << text;
    }
  }
}

TEST(MessageNumbers, LibraryChecksEchoTheValueGiven) {
  const struct {
    std::string error;
    const char* expected;
  } rows[] = {
      {rule_levels_error({1.1, 0.8}), "alpha 1.1 is not between 0 and 1 (exclusive)"},
      {rule_levels_error({0.05, 1.1}), "threshold 1.1 is not in (0, 1]"},
      {observed_parameters_error(std::vector<double>{0.0}, 1.1),
       "alpha = 1.1 is not between 0 and 1 (exclusive)"},
      {correlation_matrix_error(std::vector<double>{1.0, 0.3, 0.3, 1.1}, 2),
       "r(2,2) = 1.1 is outside [-1, 1]"},
  };
  for (const auto& row : rows) EXPECT_EQ(row.error, row.expected);
}

TEST(MessageNumbers, ToolsRefuseWithTheNumbersAsTyped) {
  const auto dir = testing::make_temp_dir();
  testing::write_file(dir / "r.csv", "0.9,0.3\n0.3,1\n");
  const std::vector<std::string> grid = {"--applicants",      "100", "--minority-share", "0.2",
                                         "--selection-ratio", "0.1"};
  const std::vector<std::string> observed = {"--applicants", "200", "--majority",       "150",
                                             "--hires",      "40",  "--minority-hires", "3"};
  const struct {
    const char* program;
    const std::vector<std::string>& base;
    std::vector<std::string> args;
    const char* message;
  } rows[] = {
      {KEMRO_GRID_EXE,
       grid,
       {"--d", "0", "--alpha", "1.1"},
       "kemro-grid: --alpha 1.1 is not between 0 and 1 (exclusive)\n"},
      {KEMRO_GRID_EXE,
       grid,
       {"--d", "0", "--threshold", "1.1"},
       "kemro-grid: --threshold 1.1 is not in (0, 1]\n"},
      // A value no one typed, reached by a range in exact decimal steps.
      {KEMRO_GRID_EXE,
       grid,
       {"--d", "0", "--alpha", "0.1:1.1:0.5"},
       "kemro-grid: --alpha 1.1 is not between 0 and 1 (exclusive)\n"},
      {KEMRO_GRID_EXE,
       grid,
       {"--predictor-d", "0.5,0.5", "--intercorrelations", "1.1"},
       "kemro-grid: --intercorrelations: r(1,2) = 1.1 is outside [-1, 1]\n"},
      {KEMRO_GRID_EXE,
       grid,
       {"--predictor-d", "0.5,0.5", "--intercorrelations", "r.csv"},
       "kemro-grid: --intercorrelations: r(1,1) = 0.9 is not 1\n"},
      {KEMRO_OBSERVED_EXE,
       observed,
       {"--alpha", "1.1"},
       "kemro-observed: --alpha: '1.1' is not between 0 and 1 (exclusive)\n"},
      {KEMRO_OBSERVED_EXE,
       observed,
       {"--threshold", "1.10"},
       "kemro-observed: --threshold: '1.10' is not in (0, 1]\n"},
  };
  for (const auto& row : rows) {
    std::vector<std::string> args = row.base;
    args.insert(args.end(), row.args.begin(), row.args.end());
    const testing::ProcessRun run = testing::run_program(row.program, args, dir);
    EXPECT_EQ(run.status, 2) << row.message;
    EXPECT_EQ(run.err.substr(0, run.err.find('\n') + 1), row.message);
    EXPECT_TRUE(run.out.empty()) << row.message;
  }
}

}  // namespace
}  // namespace kemro
