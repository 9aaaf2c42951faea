// kemro-grid's engines and shards: the library's scenario validation per
// engine, bad --engine and --shard values refused before any work, shards run
// through GNU parallel merging into exactly the unsharded output, the fast
// engine agreeing with the nested one over a grid, and the fast engine's result
// carried unchanged into the scenario summary.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "distribution/scenario.hpp"
#include "distribution/scenario_summary.hpp"
#include "model/fast/outcomes.hpp"
#include "tests/support/program_process.hpp"

namespace {

using namespace kemro;
using kemro::testing::make_temp_dir;
using kemro::testing::read_file;
using kemro::testing::run_program;

struct InvalidCase {
  Scenario scenario;
  Engine engine;
  std::string reason;  // empty: valid
};

TEST(ScenarioValidation, EachEngineRefusesWhatItCannotComputeInOneSentence) {
  const InvalidCase cases[] = {
      {{100, 80, 20, 10, 0.5, {}}, Engine::fast, ""},
      {{100, 80, 20, 10, 0.5, {}}, Engine::nested, ""},
      {{1, 1, 0, 1, 0.0, {}}, Engine::fast, "N = 1 is below 2"},
      {{100, 100, 0, 10, 0.0, {}}, Engine::fast, "N1 = 100 is not between 1 and N - 1 = 99"},
      {{100, 80, 20, 100, 0.0, {}}, Engine::nested, "K = 100 is not between 1 and N - 1 = 99"},
      {{100, 80, 21, 10, 0.0, {}}, Engine::fast, "N2 = 21 is not N - N1 = 20"},
      {{100, 80, 20, 10, NAN, {}}, Engine::fast, "d is not finite"},
      {{100, 80, 20, 10, 0.0, {1.5, 0.8}},
       Engine::fast,
       "alpha 1.5 is not between 0 and 1 (exclusive)"},
      {{100, 80, 20, 10, 0.0, {0.05, 0.0}}, Engine::fast, "threshold 0 is not in (0, 1]"},
      {{400000, 200000, 200000, 200000, 0.0, {}},
       Engine::nested,
       "the distribution needs 200001 entries, the nested engine's table holds 150000 (the fast "
       "engine takes up to 10000000)"},
      {{400000, 200000, 200000, 200000, 0.0, {}}, Engine::fast, ""},
      {{10000000, 5000000, 5000000, 5000000, 0.0, {}}, Engine::fast, ""},
      {{10000001, 5000000, 5000001, 10, 0.0, {}},
       Engine::fast,
       "N = 10000001 is above the fast engine's limit of 10000000 applicants"},
      {{10000001, 5000000, 5000001, 10, 0.0, {}}, Engine::nested, ""},
  };
  for (const InvalidCase& c : cases) {
    EXPECT_EQ(scenario_invalid_reason(c.scenario, c.engine), c.reason)
        << c.scenario.N << " " << c.scenario.N1 << " " << c.scenario.K << " "
        << engine_name(c.engine);
  }
  EXPECT_EQ(
      scenario_invalid_reason({3, 3, 0, 1, 0.0, {}}, Engine::fast, "N1 = N - round(N2/N * N)"),
      "N1 = N - round(N2/N * N) = 3 is not between 1 and N - 1 = 2");
}

class GridEngines : public ::testing::Test {
 protected:
  void SetUp() override { dir = make_temp_dir(); }
  void TearDown() override { std::filesystem::remove_all(dir); }
  kemro::testing::ProcessRun grid(std::vector<std::string> args) {
    return run_program(KEMRO_GRID_EXE, args, dir);
  }
  kemro::testing::ProcessRun shell(const std::string& command) {
    return run_program("/bin/sh", {"-c", command}, dir);
  }
  std::filesystem::path dir;
};

const std::vector<std::string> SMALL = {
    "--applicants", "20,40", "--minority-share", "0.3", "--hires", "5,9", "--d", "0,0.5,-1"};

std::vector<std::string> with(std::vector<std::string> args, std::vector<std::string> extra) {
  args.insert(args.end(), extra.begin(), extra.end());
  return args;
}

TEST_F(GridEngines, BadEngineShardOrLimitIsOneLineAndStatusTwoBeforeAnyWork) {
  struct Bad {
    std::vector<std::string> extra;
    std::string message;
  };
  const Bad cases[] = {
      {{"--csv", "--engine", "quick"}, "--engine: 'quick' is not an engine (fast or nested)"},
      {{"--csv", "--engine="}, "--engine: '' is not an engine"},
      {{"--csv", "--shard", "0/3"}, "--shard: shard '0/3' needs 1 <= I <= N <= 100000"},
      {{"--csv", "--shard", "4/3"}, "shard '4/3' needs 1 <= I <= N"},
      {{"--csv", "--shard", "1/0"}, "shard '1/0' needs"},
      {{"--csv", "--shard", "1/100001"}, "shard '1/100001' needs"},
      {{"--csv", "--shard", "1/"}, "'1/' is not a shard I/N"},
      {{"--csv", "--shard", "2"}, "'2' is not a shard I/N"},
      {{"--csv", "--shard", "1/2/3"}, "'1/2/3' is not a shard I/N"},
      {{"--csv", "--shard", "a/3"}, "'a/3' is not a shard I/N"},
      {{"--shard", "1/3"}, "--shard needs --csv or --json"},
      {{"--csv", "--shard", "1/3", "--plot", "p.svg"}, "--shard and --plot exclude each other"},
  };
  for (const Bad& c : cases) {
    const auto r = grid(with(SMALL, c.extra));
    EXPECT_EQ(r.status, 2) << c.message;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err.rfind("kemro-grid: ", 0), 0u) << r.err;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
  }
  const Bad limits[] = {
      {{"--applicants", "10000001", "--majority", "10", "--hires", "5", "--d", "0"},
       "scenario N = 10000001, N1 = 10, K = 5, d = 0: N = 10000001 is above the fast engine's "
       "limit of 10000000 applicants"},
      {{"--applicants", "400000", "--majority", "200000", "--hires", "200000", "--d", "0",
        "--engine", "nested"},
       "scenario N = 400000, N1 = 200000, K = 200000, d = 0: the distribution needs 200001 "
       "entries, the nested engine's table holds 150000 (the fast engine takes up to 10000000)"},
  };
  for (const Bad& c : limits) {
    const auto r = grid(c.extra);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "kemro-grid: " + c.message + "\nTry 'kemro-grid --help' for the options.\n");
  }
}

TEST_F(GridEngines, ShardsRunThroughGnuParallelMergeIntoTheUnshardedOutput) {
  struct Merge {
    std::vector<std::string> extra;
    std::string merge;  // the shell command that merges shard1..3 into its output
  };
  const std::string csv_merge =
      "{ head -n 1 shard1; tail -q -n +2 shard1 shard2 shard3 | sort -t, -k1,1n -s; }";
  const std::string json_merge =
      "{ echo '['; grep -h '^ {' shard1 shard2 shard3 | sed 's/},$/}/' | sort -t: -k2,2n |"
      " sed '$!s/$/,/'; echo ']'; }";
  const Merge cases[] = {
      {{"--csv"}, csv_merge},
      {{"--csv", "--distribution"}, csv_merge},
      {{"--json"}, json_merge},
  };
  for (const Merge& c : cases) {
    SCOPED_TRACE(c.extra.back());
    const auto whole = grid(with(SMALL, c.extra));
    ASSERT_EQ(whole.status, 0) << whole.err;
    std::string command = "parallel --will-cite -j 3 " + std::string(KEMRO_GRID_EXE);
    for (const std::string& a : with(SMALL, c.extra)) command += " '" + a + "'";
    command += " --shard {}/3 '>' shard{} ::: 1 2 3 && " + c.merge;
    const auto merged = shell(command);
    ASSERT_EQ(merged.status, 0) << merged.err;
    EXPECT_EQ(merged.out, whole.out);
    EXPECT_NE(read_file(dir / "shard2"), read_file(dir / "shard1"));
  }
}

TEST(FastEngine, AgreesWithTheNestedEngineOverAGrid) {
  // Both engines integrate to about 1e-10; the summaries agree far closer than
  // any printed digit, and the percentiles (table entries) exactly.
  constexpr double TOLERANCE = 1e-7;
  ScenarioWork work;
  for (const std::int32_t N : {12, 50, 200}) {
    for (const double d : {-1.0, 0.0, 0.3, 1.5}) {
      const Scenario s{N, N * 3 / 4, N - N * 3 / 4, N / 5, d, {}};
      SCOPED_TRACE(::testing::Message() << "N = " << N << ", d = " << d);
      const ScenarioResult fast = compute_scenario(s, Engine::fast, false, work);
      const ScenarioResult nested = compute_scenario(s, Engine::nested, false, work);
      ASSERT_TRUE(fast.completed && nested.completed);
      EXPECT_NEAR(fast.P_below_four_fifths, nested.P_below_four_fifths, TOLERANCE);
      EXPECT_NEAR(fast.P_undefined, nested.P_undefined, TOLERANCE);
      EXPECT_NEAR(fast.expected_SRA, nested.expected_SRA, TOLERANCE);
      EXPECT_NEAR(fast.expected_SRI, nested.expected_SRI, TOLERANCE);
      EXPECT_NEAR(fast.expected_AI, nested.expected_AI, TOLERANCE);
      EXPECT_EQ(fast.percentiles, nested.percentiles);
      EXPECT_EQ(fast.population.AI, nested.population.AI);
    }
  }
}

// A worker's work area holds what its scenarios need, not what the nested
// engine could take: nothing for the fast engine, and a table as long as the
// current nested scenario's distribution.
TEST(ScenarioWork, HoldsOnlyWhatItsScenarioNeeds) {
  struct Step {
    Scenario scenario;
    Engine engine;
    std::size_t entries;  // the table's room afterwards, index 0 included
    bool integrators;     // whether the integration work areas are allocated
  };
  const Step steps[] = {
      {{1000, 700, 300, 100, 1.0, {}}, Engine::fast, 0, false},
      {{50, 30, 20, 15, 0.5, {}}, Engine::nested, 17, true},
      {{20, 19, 1, 1, 0.0, {}}, Engine::nested, 3, true},
      {{1000, 700, 300, 100, 1.0, {}}, Engine::fast, 3, true},
  };
  ScenarioWork work;
  EXPECT_EQ(work.table.PROB.capacity(), 0u);
  EXPECT_FALSE(work.integrators.outer.allocated() || work.integrators.inner.allocated());
  for (const Step& step : steps) {
    const Scenario& s = step.scenario;
    SCOPED_TRACE(::testing::Message() << "N = " << s.N << ", K = " << s.K);
    ASSERT_TRUE(compute_scenario(s, step.engine, false, work).completed);
    EXPECT_EQ(work.table.PROB.size(), step.entries);
    EXPECT_LE(work.table.PROB.capacity(), 2 * step.entries);
    EXPECT_LE(work.table.AI.capacity(), 2 * step.entries);
    EXPECT_EQ(work.integrators.outer.allocated(), step.integrators);
  }
}

// The fast engine's result reaches the summary unchanged, and its summaries
// equal, bit for bit, those of the table that analyse_fast builds from the same
// probabilities; the nested engine leaves the engine's three fields at their
// defaults and counts its own trouble.
TEST(ComputeScenario, CarriesTheFastResultAndSummarisesAsTheTableDoes) {
  const Scenario scenarios[] = {
      {1000, 700, 300, 100, 1.0, {}},  // pinned in fast_engine_test: 38539 evaluations
      {50, 49, 1, 49, 0.0, {}},        // every outcome but one without majority hires
      {20, 2, 18, 19, -3.0, {}},       // hires exceed the minority
      {400, 100, 300, 5, 8.0, {}},     // a window of one or two outcomes
  };
  ScenarioWork work;
  for (const Scenario& s : scenarios) {
    SCOPED_TRACE(::testing::Message()
                 << "N = " << s.N << ", N1 = " << s.N1 << ", K = " << s.K << ", d = " << s.d);
    const ScenarioResult r = compute_scenario(s, Engine::fast, true, work);
    const OutcomeProbabilities engine = fast_outcome_probabilities(s.N1, s.N2, s.K, s.d);
    EXPECT_EQ(r.engine, Engine::fast);
    EXPECT_EQ(r.engine_status, engine.status);
    EXPECT_EQ(r.error_estimate, engine.abserr);
    EXPECT_EQ(r.evaluations, engine.evaluations);

    ModelState state = problem_state(s.N1, s.N2, s.K, s.d);
    const Analysis table = analyse_fast(state, CFUN{double(s.N1) / double(s.N)}, work.table);
    ASSERT_TRUE(r.completed && table.outcomes.completed);
    EXPECT_EQ(r.expected_SRA, table.expected.expected_SRA);
    EXPECT_EQ(r.expected_SRI, table.expected.expected_SRI);
    if (std::isnan(table.expected_AI)) {
      EXPECT_TRUE(std::isnan(r.expected_AI));
    } else {
      EXPECT_EQ(r.expected_AI, table.expected_AI);
    }
    EXPECT_EQ(r.percentiles, table.percentiles);
    EXPECT_EQ(r.warnings, static_cast<int>(table.negative_probabilities.size()));
    ASSERT_EQ(r.distribution.size(), static_cast<std::size_t>(work.table.M));
    for (std::int32_t m = 1; m <= work.table.M; ++m) {
      const DistributionEntry& e = r.distribution[static_cast<std::size_t>(m - 1)];
      EXPECT_EQ(e.NY, work.table.NY[m]) << "m = " << m;
      EXPECT_EQ(e.NX, work.table.NX[m]) << "m = " << m;
      EXPECT_EQ(e.AI, work.table.AI[m]) << "m = " << m;
      EXPECT_EQ(e.PVS, work.table.PVS[m]) << "m = " << m;
      EXPECT_EQ(e.PVSC, work.table.PVSC[m]) << "m = " << m;
    }

    const ScenarioResult nested = compute_scenario(s, Engine::nested, false, work);
    EXPECT_EQ(nested.engine, Engine::nested);
    EXPECT_EQ(nested.engine_status, EngineStatus::converged);
    EXPECT_EQ(nested.error_estimate, 0.0);
    EXPECT_EQ(nested.evaluations, 0u);
  }
}

}  // namespace
