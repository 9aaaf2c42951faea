// Planning solves: discrete answers equal to those of computing every value
// of the range, the d found within what its tolerance allows, unreachable
// targets reported as such, targets parsed or refused, every target quantity
// a column of the summary catalogue, the fields of a solve's record, and
// kemro-grid's refusals of solve command lines before any work.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "distribution/columns.hpp"
#include "distribution/solve.hpp"
#include "tests/support/program_process.hpp"
#include "tools/grid/options.hpp"

namespace {

using namespace kemro;
using kemro::testing::make_temp_dir;
using kemro::testing::run_program;

// N from `low` to `high` at a fixed minority share and selection ratio, as kemro-grid derives them.
DiscreteRange applicants(std::int32_t low, std::int32_t high, double share, double ratio,
                         double d) {
  DiscreteRange r;
  for (std::int32_t N = low; N <= high; ++N) {
    const auto N2 = static_cast<std::int32_t>(std::llround(share * N));
    const auto K = static_cast<std::int32_t>(std::llround(ratio * N));
    r.values.push_back(N);
    r.scenarios.push_back({N, N - N2, N2, K, d, {}});
  }
  return r;
}

// The first meeting value and the stable one, found by computing every value.
struct Brute {
  double first = NAN;
  double stable = NAN;
};
Brute every_value(const DiscreteRange& r, const Target& t, const Evaluate& evaluate) {
  const std::vector<ScenarioResult> results = evaluate(r.scenarios, false);
  Brute b;
  std::size_t stable = results.size();
  for (std::size_t i = results.size(); i-- > 0;) {
    const bool meets = meets_target(quantity_value(results[i], t.quantity), t);
    if (meets) b.first = r.values[i];
    if (meets && stable == i + 1) stable = i;
  }
  if (stable < results.size()) b.stable = r.values[stable];
  return b;
}

Target target(const std::string& text) {
  Target t;
  std::string error;
  EXPECT_TRUE(parse_target(text, t, error)) << text << ": " << error;
  return t;
}

TEST(DiscreteSolve, AnswersEqualThoseOfComputingEveryValueOfTheRange) {
  struct Case {
    DiscreteRange range;
    std::string target;
  };
  const Case cases[] = {
      {applicants(10, 400, 0.2, 0.2, 0.0), "P_below_four_fifths<=0.3"},
      {applicants(10, 400, 0.2, 0.2, 0.0), "P_below_four_fifths<=0.2"},
      {applicants(20, 300, 0.3, 0.1, 0.3), "P_below_four_fifths>=0.6"},
      {applicants(10, 200, 0.1, 0.3, -0.5), "P_undefined<=0.01"},
      {applicants(10, 150, 0.25, 0.2, 0.2), "AI_P50>=0.8"},
      {applicants(10, 150, 0.25, 0.2, 0.0), "expected_AI<=1.02"},
      {applicants(10, 400, 0.2, 0.2, 0.3), "expected_SRI>=0.15"},
      {applicants(10, 400, 0.3, 0.1, 0.5), "expected_SRA<=0.13"},
  };
  const Evaluate evaluate = sequential_evaluator(Engine::fast);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.target + " from N = " + std::to_string(c.range.scenarios.front().N));
    const Target t = target(c.target);
    const Brute expected = every_value(c.range, t, evaluate);
    const SolveResult found = solve_discrete({c.range}, t, evaluate, Engine::fast).front();
    ASSERT_EQ(found.status,
              std::isnan(expected.first) ? SolveStatus::not_reached : SolveStatus::solved);
    if (!std::isnan(expected.first)) {
      EXPECT_EQ(found.value, expected.first);
      EXPECT_TRUE(meets_target(found.quantity_at_value, t));
    }
    EXPECT_EQ(std::isnan(found.stable_from), std::isnan(expected.stable));
    if (!std::isnan(expected.stable)) {
      EXPECT_EQ(found.stable_from, expected.stable);
    }
    EXPECT_LE(found.evaluations, 2 * c.range.values.size() + 1);
  }
}

TEST(DiscreteSolve, BoundsSpareMostOfALongApplicantRange) {
  // d = 0: P(AI < 0.8) falls with N in a saw-tooth; the blocks far from the
  // crossing are decided by their ends alone.
  const DiscreteRange range = applicants(10, 3000, 0.2, 0.1, 0.0);
  const SolveResult r = solve_discrete({range}, target("P_below_four_fifths<=0.1"),
                                       sequential_evaluator(Engine::fast), Engine::fast)
                            .front();
  ASSERT_EQ(r.status, SolveStatus::solved);
  EXPECT_LT(r.evaluations, range.values.size() / 3);
  EXPECT_LE(r.value, r.stable_from);
}

TEST(EffectSizeSolve, QuantityAtTheSolutionIsTheTargetWithinTheToleranceInD) {
  struct Case {
    Scenario base;
    std::string target;
  };
  const Case cases[] = {
      {{100, 80, 20, 10, 0.0, {}}, "P_below_four_fifths=0.5"},
      {{60, 40, 20, 12, 0.0, {}}, "expected_SRI=0.15"},
      {{200, 150, 50, 40, 0.0, {}}, "AI_P50=0.5"},
  };
  const Evaluate evaluate = sequential_evaluator(Engine::fast);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.target);
    const Target t = target(c.target);
    const SolveResult r = solve_effect_size({c.base}, -3.0, 6.0, t, evaluate).front();
    ASSERT_EQ(r.status, SolveStatus::solved);
    // The quantity one tolerance either side of the d found brackets the target.
    std::vector<Scenario> sides = {c.base, c.base};
    sides[0].d = r.value - D_TOLERANCE;
    sides[1].d = r.value + D_TOLERANCE;
    const auto q = evaluate(sides, false);
    const double below = quantity_value(q[0], t.quantity) - t.value;
    const double above = quantity_value(q[1], t.quantity) - t.value;
    EXPECT_LE(below * above, 0.0) << below << " " << above;
    EXPECT_LT(std::abs(r.quantity_at_value - t.value),
              std::max(std::abs(below), std::abs(above)) + 1e-12);
  }
}

TEST(Solves, UnreachableTargetsAreReportedAsSuch) {
  const Evaluate evaluate = sequential_evaluator(Engine::fast);
  // At d = 0 P(AI < 0.8) is never 0.999 in [-0.5, 0.1].
  const SolveResult d = solve_effect_size({{50, 40, 10, 10, 0.0, {}}}, -0.5, 0.1,
                                          target("P_below_four_fifths=0.999"), evaluate)
                            .front();
  EXPECT_EQ(d.status, SolveStatus::not_reached);
  EXPECT_TRUE(std::isnan(d.value));
  const SolveResult n =
      solve_discrete({applicants(10, 60, 0.2, 0.2, 0.0)}, target("P_below_four_fifths<=0.0001"),
                     evaluate, Engine::fast)
          .front();
  EXPECT_EQ(n.status, SolveStatus::not_reached);
  EXPECT_TRUE(std::isnan(n.value) && std::isnan(n.stable_from));
  EXPECT_EQ(solve_status_name(n.status), "not reached");
}

// An Evaluate that computes nothing: each scenario `engine` can compute gets a
// completed result with expected_SRI 0.5, except in the batches without
// distributions when `fail_last` (the discrete solve's last batch); the
// scenarios the engine cannot compute are counted and left not completed.
struct StubEvaluator {
  Engine engine = Engine::fast;
  bool fail_last = false;
  std::size_t refused = 0;
  Evaluate evaluate() {
    return [this](const std::vector<Scenario>& batch, bool keep_distribution) {
      std::vector<ScenarioResult> results(batch.size());
      for (std::size_t i = 0; i < batch.size(); ++i) {
        const bool computable = scenario_invalid_reason(batch[i], engine).empty();
        refused += computable ? 0 : 1;
        results[i].completed = computable && (keep_distribution || !fail_last);
        results[i].expected_SRI = 0.5;
      }
      return results;
    };
  }
};

TEST(DiscreteSolve, BlockCornersAreComputedOnlyWhereTheEngineInUseCan) {
  // Each scenario fits the nested engine's table, but the corner (N1 min, N2
  // max, K max) of a block holding both needs 160001 entries.
  DiscreteRange range;
  for (int i = 0; i < 40; ++i) {
    range.values.push_back(i);
    range.scenarios.push_back(i % 2 == 0 ? Scenario{200010, 200000, 10, 160000, 0.0, {}}
                                         : Scenario{500000, 300000, 200000, 5, 0.0, {}});
  }
  StubEvaluator stub{Engine::nested};
  const SolveResult r =
      solve_discrete({range}, target("expected_SRI>=0.1"), stub.evaluate(), Engine::nested).front();
  EXPECT_EQ(stub.refused, 0u);
  EXPECT_EQ(r.status, SolveStatus::solved);
  EXPECT_EQ(r.value, 0.0);
}

TEST(DiscreteSolve, AValueWhoseQuantityCannotBeComputedLeavesTheSearchAbandoned) {
  // The corners decide every block; the quantity at the first value, computed
  // last and alone, fails.
  StubEvaluator stub{Engine::fast, true};
  const SolveResult r = solve_discrete({applicants(100, 200, 0.2, 0.2, 0.0)},
                                       target("expected_SRI>=0.1"), stub.evaluate(), Engine::fast)
                            .front();
  EXPECT_EQ(r.status, SolveStatus::abandoned);
  EXPECT_TRUE(std::isnan(r.quantity_at_value));
}

TEST(SolveTargets, ReadOrRefusedWithAReason) {
  struct Case {
    std::string text;
    std::string error;  // empty: accepted and written back the same
  };
  const Case cases[] = {
      {"P_below_four_fifths<=0.05", ""},
      {"AI_P95>=1.25", ""},
      {"expected_AI=0.9", ""},
      {"P_undefined=0", ""},
      {"P_below_four_fifths", "'P_below_four_fifths' has no comparison"},
      {"P_below_four_fifths<0.05", ""},
      {"AI_P50>0.8", ""},
      {"P_below_four_fifths~0.05", "has no comparison (QUANTITY=VALUE, <=, >=, < or >)"},
      {"P_below_four_fifths=<0.05", "the target value '<0.05' is not a finite number"},
      {"P_below<=0.05", "unknown quantity 'P_below' (one of P_below_four_fifths"},
      {"P_below_four_fifths<=1.5", "a probability, is not between 0 and 1"},
      {"P_undefined>=-0.1", "is not between 0 and 1"},
      {"expected_AI=nan", "the target value 'nan' is not a finite number"},
      {"expected_AI=", "the target value '' is not a finite number"},
      {"expected_AI=1x", "the target value '1x'"},
  };
  for (const Case& c : cases) {
    Target t;
    std::string error;
    const bool ok = parse_target(c.text, t, error);
    EXPECT_EQ(ok, c.error.empty()) << c.text << ": " << error;
    if (ok)
      EXPECT_EQ(target_text(t), c.text);
    else
      EXPECT_NE(error.find(c.error), std::string::npos) << c.text << ": " << error;
  }
}

TEST(SolveTargets, NameExactlyTheCatalogueColumnsWithASolveRole) {
  using grid::SolveRole;
  ScenarioWork work;
  const ScenarioResult r = compute_scenario({60, 10, 50, 5, 0.4, {}}, Engine::fast, false, work);
  ASSERT_TRUE(r.completed);
  const std::vector<grid::Cell> cells = grid::summary_cells(grid::Scenario{}, r);
  const std::span<const grid::Column> catalogue = grid::summary_catalogue();
  for (std::size_t c = 0; c < catalogue.size(); ++c) {
    const grid::Column& column = catalogue[c];
    Target t;
    std::string error;
    const bool ok = parse_target(std::string(column.name) + "=0.5", t, error);
    ASSERT_EQ(ok, column.solve != SolveRole::none) << column.name << ": " << error;
    if (!ok) continue;
    EXPECT_EQ(quantity_name(t.quantity), column.name);
    // A solve's plot names the quantity in words; a rule's flag rate by its column.
    EXPECT_EQ(column.words.empty(), column.solve == SolveRole::flag_rate) << column.name;
    const bool probability = column.solve == SolveRole::below_four_fifths ||
                             column.solve == SolveRole::undefined ||
                             column.solve == SolveRole::flag_rate;
    EXPECT_EQ(is_probability(t.quantity), probability) << column.name;
    // The quantity is the record's value; an undefined ratio is +infinity.
    const double cell = std::get<double>(cells[c]);
    EXPECT_EQ(quantity_value(r, t.quantity), std::isnan(cell) ? INFINITY : cell) << column.name;
  }
  // The refusal lists them by role: the four-fifths probabilities, the
  // expected AI and rates, the percentiles, then the rules' flag rates.
  std::string expected =
      "unknown quantity 'x' (one of P_below_four_fifths P_undefined expected_AI expected_SRA "
      "expected_SRI AI_P05 AI_P10 AI_P25 AI_P50 AI_P75 AI_P90 AI_P95";
  for (const Rule& rule : RULES) expected.append(" ").append(rule.column);
  Target t;
  std::string error;
  EXPECT_FALSE(parse_target("x=1", t, error));
  EXPECT_EQ(error, expected + ")");
}

TEST(SolveRecords, GiveEveryNamedFieldAndLeaveUnsolvedValuesEmpty) {
  Target t;
  std::string error;
  ASSERT_TRUE(parse_target("AI_P50>=0.8", t, error)) << error;
  struct Case {
    SolveResult result;
    std::vector<SolveCell> cells;
  };
  const Case cases[] = {
      {{SolveStatus::solved, 40, 44, 0.85, 12},
       {"applicants", 40.0, 44.0, "AI_P50", "AI_P50>=0.8", 0.85, "solved", std::int64_t{12}}},
      {{SolveStatus::not_reached, 40, 44, 0.85, 7},
       {"applicants", NAN, NAN, "AI_P50", "AI_P50>=0.8", NAN, "not reached", std::int64_t{7}}},
  };
  for (const Case& c : cases) {
    const std::vector<SolveCell> cells = solve_cells("applicants", t, c.result);
    ASSERT_EQ(cells.size(), solve_field_names().size());
    for (std::size_t k = 0; k < cells.size(); ++k) {
      const std::string_view name = solve_field_names()[k];
      ASSERT_EQ(cells[k].index(), c.cells[k].index()) << name;
      if (const auto* real = std::get_if<double>(&cells[k])) {
        const double expected = std::get<double>(c.cells[k]);
        EXPECT_TRUE(std::isnan(expected) ? std::isnan(*real) : *real == expected) << name;
      } else {
        EXPECT_EQ(cells[k], c.cells[k]) << name;
      }
    }
  }
}

TEST(SolveTargets, StrictComparisonsExcludeTheTargetValueItself) {
  struct Case {
    const char* target;
    double quantity;
    bool met;
  } cases[] = {
      {"P_below_four_fifths<=0.1", 0.1, true},
      {"P_below_four_fifths<0.1", 0.1, false},
      {"P_below_four_fifths<0.1", 0.09, true},
      {"AI_P50>=0.8", 0.8, true},
      {"AI_P50>0.8", 0.8, false},
      {"AI_P50>0.8", 0.81, true},
  };
  for (const Case& c : cases) {
    Target t;
    std::string error;
    ASSERT_TRUE(parse_target(c.target, t, error)) << error;
    EXPECT_EQ(meets_target(c.quantity, t), c.met) << c.target << " at " << c.quantity;
  }
}

TEST(GridSolveCommandLine, BadSolvesAreOneLineAndStatusTwoBeforeAnyWork) {
  const std::filesystem::path dir = make_temp_dir();
  const std::vector<std::string> base = {"--minority-share", "0.2", "--selection-ratio", "0.1"};
  struct Case {
    std::vector<std::string> args;
    std::string message;
  };
  const Case cases[] = {
      {{"--solve", "applicants", "--applicants", "100", "--d", "0", "--target", "P_undefined<=0.1"},
       "--applicants: when solving for it, give a range start:stop or start:stop:step, not '100'"},
      {{"--solve", "hires", "--applicants", "10:100", "--d", "0", "--target", "P_undefined<=0.1"},
       "--solve: 'hires' is not an option to solve for"},
      {{"--solve", "applicants", "--applicants", "10:100", "--d", "0", "--target",
        "P_sometimes<=0.1"},
       "--target: unknown quantity 'P_sometimes'"},
      {{"--solve", "applicants", "--applicants", "10:100", "--d", "0", "--target", "P_undefined"},
       "--target: 'P_undefined' has no comparison"},
      {{"--solve", "applicants", "--applicants", "10:100", "--d", "0", "--target",
        "P_undefined=0.1"},
       "solving for applicants needs a target QUANTITY<=VALUE, QUANTITY>=VALUE, QUANTITY<VALUE "
       "or QUANTITY>VALUE"},
      {{"--solve", "d", "--applicants", "100", "--d", "-3:6", "--target", "P_undefined<=0.1"},
       "solving for d needs a target QUANTITY=VALUE"},
      {{"--solve", "d", "--applicants", "100", "--d", "-3:6:1", "--target", "P_undefined=0.1"},
       "--d: when solving for it, give a range start:stop, not '-3:6:1'"},
      {{"--solve", "d", "--applicants", "100", "--d", "-3:6", "--target",
        "P_below_four_fifths=1.2"},
       "is not between 0 and 1"},
      {{"--solve", "d", "--applicants", "100", "--d", "-3:6", "--target", "P_undefined=0.1",
        "--distribution"},
       "--solve and --distribution exclude each other"},
      {{"--solve", "d", "--applicants", "100", "--d", "0", "--target", "expected_AI=1"},
       "--d: when solving for it, give a range start:stop, not '0'"},
      {{"--solve", "d", "--applicants", "100", "--target", "expected_AI=1"},
       "--solve d needs --d as a range start:stop"},
      {{"--applicants", "100", "--d", "0", "--target", "expected_AI=1"}, "--target needs --solve"},
      {{"--solve", "applicants", "--applicants", "1:100", "--d", "0", "--target",
        "P_undefined<=0.1"},
       "scenario N = 1, N1 = 1, K = 0, d = 0: N = 1 is below 2"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = base;
    args.insert(args.end(), c.args.begin(), c.args.end());
    const auto r = run_program(KEMRO_GRID_EXE, args, dir);
    EXPECT_EQ(r.status, 2) << c.message;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err.rfind("kemro-grid: ", 0), 0u) << r.err;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
  }
  std::filesystem::remove_all(dir);
}

TEST(GridSolveCommandLine, ASolveWithoutAnAnswerEndsWithStatusThreeAfterItsRecords) {
  // With d = 50 the one hire is the majority's with probability 1 at every N,
  // so no block is decided by its corners and the search meets the limit.
  const auto r = run_program(
      KEMRO_GRID_EXE,
      {"--solve", "applicants", "--applicants", "10:10009", "--majority", "5", "--hires", "1",
       "--d", "50", "--target", "P_below_four_fifths>=1", "--csv", "--jobs", "2"},
      make_temp_dir(), 600);
  EXPECT_EQ(r.status, 3) << r.err;
  EXPECT_NE(r.out.find(",evaluation limit,20000,"), std::string::npos) << r.out;
  EXPECT_EQ(r.err,
            "kemro-grid: 1 of 1 solves ended without an answer at the evaluation limit (20000 "
            "scenarios); a narrower range finds it\n");
}

}  // namespace
