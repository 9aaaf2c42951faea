// The numbers kemro-grid reports: the same as the interactive program's for
// the same answers, P(AI < 0.8) as the sum of the outcomes it stands for, an
// independent check at d = 0, the structure of the CSV and JSON records, and
// the engine's and the population values' status in them.
#include <gtest/gtest.h>

#include <cctype>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <map>
#include <regex>
#include <string>
#include <utility>
#include <vector>

#include "distribution/columns.hpp"
#include "distribution/table.hpp"
#include "report/catalogue.hpp"
#include "report/grid_records.hpp"
#include "report/json.hpp"
#include "report/numbers.hpp"
#include "report/record_writer.hpp"
#include "tests/support/json_checker.hpp"
#include "tests/support/program_process.hpp"
#include "tools/common/progress.hpp"
#include "tools/grid/options.hpp"

namespace {

using namespace kemro;
using namespace kemro::grid;
using kemro::testing::JsonChecker;
using kemro::testing::make_temp_dir;
using kemro::testing::read_file;
using kemro::testing::split_lines;

std::vector<std::string> split_fields(const std::string& line) {
  std::vector<std::string> fields;
  std::size_t start = 0;
  for (;;) {
    const std::size_t comma = line.find(',', start);
    fields.push_back(line.substr(start, comma == std::string::npos ? comma : comma - start));
    if (comma == std::string::npos) return fields;
    start = comma + 1;
  }
}

// A number written by the grid; the whole field must be the number.
double number(const std::string& field) {
  char* end = nullptr;
  const double v = std::strtod(field.c_str(), &end);
  EXPECT_TRUE(!field.empty() && *end == '\0') << "'" << field << "'";
  return v;
}

struct Csv {
  std::vector<std::string> header;
  std::vector<std::vector<std::string>> rows;

  explicit Csv(const std::string& text) {
    const auto lines = split_lines(text);
    EXPECT_FALSE(lines.empty());
    if (lines.empty()) return;
    header = split_fields(lines[0]);
    for (std::size_t i = 1; i < lines.size(); ++i) {
      rows.push_back(split_fields(lines[i]));
      EXPECT_EQ(rows.back().size(), header.size()) << lines[i];
    }
  }
  const std::string& field(std::size_t row, const std::string& column) const {
    for (std::size_t c = 0; c < header.size(); ++c) {
      if (header[c] == column) return rows.at(row).at(c);
    }
    ADD_FAILURE() << "no column " << column;
    return header.at(0);
  }
  double value(std::size_t row, const std::string& column) const {
    return number(field(row, column));
  }
};

struct Problem {
  std::int32_t N, N1, K;
  double d;
  std::string d_text;
};

class GridResults : public ::testing::Test {
 protected:
  void SetUp() override { dir = make_temp_dir(); }
  void TearDown() override { std::filesystem::remove_all(dir); }

  kemro::testing::ProcessRun grid(std::vector<std::string> args) {
    return kemro::testing::run_program(KEMRO_GRID_EXE, args, dir);
  }
  Csv csv(const Problem& p, bool distribution, const std::string& engine = "fast") {
    std::vector<std::string> args = {
        "--applicants", std::to_string(p.N), "--majority", std::to_string(p.N1),
        "--hires",      std::to_string(p.K), "--d",        p.d_text,
        "--csv",        "--engine",          engine};
    if (distribution) args.push_back("--distribution");
    const auto r = grid(args);
    EXPECT_EQ(r.status, 0) << r.err;
    return Csv(r.out);
  }
  std::vector<std::string> kemro_report(const Problem& p) {
    const auto r = kemro::testing::run_kemro_process(
        "report.txt\n" + std::to_string(p.N) + "\n" + std::to_string(p.N1) + "\n" +
            std::to_string(p.K) + "\n" + p.d_text + "\ny\n",
        dir);
    EXPECT_EQ(r.status, 0) << r.err;
    const auto lines = split_lines(read_file(dir / "report.txt"));
    std::filesystem::remove(dir / "report.txt");  // no overwrite question next time
    return lines;
  }

  std::filesystem::path dir;
};

// The line after the first line equal to `heading` at or after `from`.
std::size_t line_after(const std::vector<std::string>& lines, const std::string& heading,
                       std::size_t from = 0) {
  for (std::size_t i = from; i + 1 < lines.size(); ++i) {
    if (lines[i] == heading) return i + 1;
  }
  ADD_FAILURE() << "no line " << heading;
  return 0;
}

std::size_t occurrences(const std::string& text, const std::string& what) {
  std::size_t n = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) {
    ++n;
  }
  return n;
}

// An AI field of the grid as the report shows it: empty means undefined.
double report_ratio(const std::string& field) {
  return field.empty() ? UNDEFINED_RATIO : number(field);
}

std::string fixed(const std::vector<double>& values, int w, int d) {
  std::string line;
  for (double v : values) line += format_fixed(v, w, d);
  return line;
}

const Problem TYPICAL{100, 80, 20, 0.5, "0.5"};
const Problem WITH_UNDEFINED{30, 10, 12, -1.0, "-1.0"};  // S = 12 leaves no majority hire
const Problem MINORITY_FIRST{60, 20, 50, -0.3, "-0.3"};  // K > N1: at least 30 minority hires
const Problem EXACT_FOUR_FIFTHS{9, 4, 6, 0.5, "0.5"};    // S = 3 gives AI = 0.8 exactly

TEST_F(GridResults, EqualTheInteractiveReportForTheSameAnswers) {
  for (const Problem& p : {TYPICAL, WITH_UNDEFINED, MINORITY_FIRST}) {
    SCOPED_TRACE(p.N);
    // The nested engine is the interactive program's: the same digits.
    const std::vector<std::string> report = kemro_report(p);
    const Csv summary = csv(p, false, "nested");
    const Csv outcomes = csv(p, true, "nested");
    ASSERT_EQ(summary.rows.size(), 1u);

    const std::string rates = "      SRA      SRI       AI";
    const std::size_t exact_at = line_after(report, rates);
    EXPECT_EQ(report[exact_at],
              fixed({summary.value(0, "expected_SRA"), summary.value(0, "expected_SRI"),
                     summary.value(0, "expected_AI")},
                    9, 5));
    std::vector<double> percentiles;
    for (const char* name :
         {"AI_P05", "AI_P10", "AI_P25", "AI_P50", "AI_P75", "AI_P90", "AI_P95"}) {
      percentiles.push_back(report_ratio(summary.field(0, name)));
    }
    EXPECT_EQ(report[line_after(report, "    P05    P10    P25    P50    P75    P90    P95")],
              fixed(percentiles, 7, 3));
    EXPECT_EQ(report[line_after(report, rates, exact_at)],
              fixed({summary.value(0, "population_SRA"), summary.value(0, "population_SRI"),
                     summary.value(0, "population_AI")},
                    9, 5));

    // Every distribution row of the report is the grid's outcome with the same S.
    std::map<std::int32_t, std::size_t> row_of_S;
    for (std::size_t i = 0; i < outcomes.rows.size(); ++i) {
      row_of_S[static_cast<std::int32_t>(outcomes.value(i, "S"))] = i;
    }
    std::size_t compared = 0;
    for (std::size_t i = line_after(report, "AIvalue    Prob   CProb     N2     N1");
         i < report.size() && !report[i].empty(); ++i, ++compared) {
      const auto S = static_cast<std::int32_t>(std::stoi(report[i].substr(23, 7)));
      ASSERT_TRUE(row_of_S.count(S)) << report[i];
      const std::size_t r = row_of_S[S];
      const Item items[] = {report_ratio(outcomes.field(r, "AI")), outcomes.value(r, "P"),
                            outcomes.value(r, "cumulative_P"), S,
                            static_cast<std::int32_t>(outcomes.value(r, "majority_hires"))};
      EXPECT_EQ(report[i] + "\n", render_record(records::DISTRIBUTION_ROW, items));
    }
    EXPECT_GT(compared, 3u);
  }
}

TEST_F(GridResults, FourFifthsProbabilityIsTheSumOfItsOutcomes) {
  for (const Problem& p : {TYPICAL, WITH_UNDEFINED, MINORITY_FIRST, EXACT_FOUR_FIFTHS}) {
    SCOPED_TRACE(p.N);
    const Csv summary = csv(p, false);
    const Csv outcomes = csv(p, true);
    const std::int32_t N2 = p.N - p.N1;
    double below = 0.0;
    double undefined = 0.0;
    double total = 0.0;
    for (std::size_t i = 0; i < outcomes.rows.size(); ++i) {
      const double S = outcomes.value(i, "S");
      const double NX = outcomes.value(i, "majority_hires");
      const double P = outcomes.value(i, "P");
      EXPECT_EQ(S + NX, p.K);
      EXPECT_EQ(outcomes.field(i, "AI").empty(), NX == 0);
      // (S / N2) / (NX / N1) < 4/5 in exact integer arithmetic
      if (NX > 0 && 5 * S * p.N1 < 4 * NX * N2) below += P;
      if (NX == 0) undefined += P;
      total += P;
    }
    EXPECT_DOUBLE_EQ(summary.value(0, "P_below_four_fifths"), below);
    EXPECT_DOUBLE_EQ(summary.value(0, "P_undefined"), undefined);
    EXPECT_NEAR(total, 1.0, 1e-9);
  }
  const Csv exact = csv(EXACT_FOUR_FIFTHS, true);
  // The outcome S = 3 has AI = (3/5)/(3/4) = 0.8 exactly; its double falls just
  // below 0.8, yet it does not count: only S = 2 (AI = 0.4) does.
  ASSERT_EQ(exact.value(1, "S"), 3.0);
  EXPECT_LT(exact.value(1, "AI"), 0.8);
  EXPECT_EQ(csv(EXACT_FOUR_FIFTHS, false).value(0, "P_below_four_fifths"), exact.value(0, "P"));
}

// ln C(n, k)
double log_choose(int n, int k) {
  return std::lgamma(n + 1.0) - std::lgamma(k + 1.0) - std::lgamma(n - k + 1.0);
}

TEST_F(GridResults, WithoutEffectSizeTheMinorityHiresAreHypergeometric) {
  // With d = 0 every hire is a random draw: P(S = s) = C(N2, s) C(N1, K - s) / C(N, K).
  const Problem p{50, 40, 10, 0.0, "0"};
  const Csv summary = csv(p, false);
  const Csv outcomes = csv(p, true);
  ASSERT_EQ(outcomes.rows.size(), 11u);
  double below = 0.0;
  for (int s = 0; s <= 10; ++s) {
    const double P = std::exp(log_choose(10, s) + log_choose(40, 10 - s) - log_choose(50, 10));
    EXPECT_NEAR(outcomes.value(static_cast<std::size_t>(s), "P"), P, 1e-6) << s;
    if (s <= 1) below += P;  // AI = (s/10)/((10-s)/40) < 0.8 exactly for s = 0, 1
  }
  EXPECT_NEAR(summary.value(0, "P_below_four_fifths"), below, 1e-6);
  EXPECT_NEAR(summary.value(0, "expected_SRI"), 0.2, 1e-6);
  EXPECT_NEAR(summary.value(0, "population_AI"), 1.0, 1e-12);
}

TEST_F(GridResults, OrderAndNumbersDoNotDependOnTheThreads) {
  const std::vector<std::string> args = {"--applicants", "20,40",   "--minority-share",
                                         "0.3",          "--hires", "5",
                                         "--d",          "1,0,0.5", "--csv"};
  auto with_jobs = [&](const char* jobs) {
    auto a = args;
    a.insert(a.end(), {"--jobs", jobs});
    return grid(a);
  };
  const auto one = with_jobs("1");
  ASSERT_EQ(one.status, 0) << one.err;
  EXPECT_EQ(one.err, "");  // no progress line: standard error is not a terminal
  EXPECT_EQ(with_jobs("2").out, one.out);
  EXPECT_EQ(with_jobs("5").out, one.out);

  const Csv table(one.out);
  ASSERT_EQ(table.rows.size(), 6u);
  const double N[] = {20, 20, 20, 40, 40, 40};
  const double d[] = {1, 0, 0.5, 1, 0, 0.5};
  for (std::size_t i = 0; i < 6; ++i) {
    EXPECT_EQ(table.value(i, "N"), N[i]);
    EXPECT_EQ(table.value(i, "d"), d[i]);
    EXPECT_EQ(table.value(i, "N2"), N[i] * 0.3);
  }
}

TEST(GridJsonChecker, TellsWellFormedFromMalformed) {
  for (const char* good : {"[]", "[\n {\"a\": 1, \"b\": null}\n]", "-0.5e-07", "{\"x\": [1, 2]}"}) {
    EXPECT_TRUE(JsonChecker(good).well_formed()) << good;
  }
  for (const char* bad : {"[1,]", "{\"a\" 1}", "[nan]", "01", "1.", "[1] 2", "{\"a\": }"}) {
    EXPECT_FALSE(JsonChecker(bad).well_formed()) << bad;
  }
}

TEST_F(GridResults, CsvAndJsonCarryTheDocumentedColumns) {
  const std::vector<std::string> scenario = {"--applicants", "30", "--majority", "10",
                                             "--hires",      "12", "--d",        "-1,-2"};
  auto with = [&](std::vector<std::string> extra) {
    auto a = scenario;
    a.insert(a.end(), extra.begin(), extra.end());
    const auto r = grid(a);
    EXPECT_EQ(r.status, 0) << r.err;
    return r.out;
  };
  const Csv summary(with({"--csv"}));
  EXPECT_EQ(summary.header, summary_columns());
  ASSERT_EQ(summary.rows.size(), 2u);
  EXPECT_EQ(summary.field(1, "status"), "computed");
  // At d = -2 more than 5 % of the draws hire no majority applicant: P95 is undefined.
  EXPECT_GT(summary.value(1, "P_undefined"), 0.05);
  EXPECT_EQ(summary.field(1, "AI_P95"), "");

  const Csv outcomes(with({"--csv", "--distribution"}));
  EXPECT_EQ(outcomes.header, distribution_columns());
  EXPECT_EQ(outcomes.rows.size(), 2u * 11u);  // S = 2 .. 12 for each d

  for (bool distribution : {false, true}) {
    const std::string text =
        with(distribution ? std::vector<std::string>{"--json", "--distribution"}
                          : std::vector<std::string>{"--json"});
    EXPECT_TRUE(JsonChecker(text).well_formed()) << text;
    const auto lines = split_lines(text);
    ASSERT_EQ(lines.size(), 4u);  // the brackets and one line per scenario
    for (std::size_t r = 0; r < 2; ++r) {
      // Every summary column in CSV order, with the CSV's value (or null for an empty field).
      const std::string& record = lines[r + 1];
      std::size_t at = 0;
      for (std::size_t c = 0; c < summary.header.size(); ++c) {
        const std::string& cell = summary.rows[r][c];
        const bool text = summary_catalogue()[c].kind == ColumnKind::Status;
        const std::string value = cell.empty() ? "null" : text ? "\"" + cell + "\"" : cell;
        const std::size_t found = record.find("\"" + summary.header[c] + "\": " + value, at);
        ASSERT_NE(found, std::string::npos) << summary.header[c] << " in " << record;
        at = found;
      }
      if (distribution) {
        EXPECT_NE(record.find(", \"distribution\": [{\"S\": 2, \"majority_hires\": 10, \"AI\": "),
                  std::string::npos);
        EXPECT_NE(record.find("{\"S\": 12, \"majority_hires\": 0, \"AI\": null, \"P\": "),
                  std::string::npos);
        EXPECT_EQ(occurrences(record, "\"cumulative_P\": "), 11u);
      }
    }
  }
}

TEST(GridRendering, AnAbandonedScenarioIsReportedAsSuchNotAsNumbers) {
  GridOptions o;
  o.applicants = {100};
  o.majority = {80};
  o.hires = {20};
  o.d = {0.5};
  const Grid grid = build_grid(o).grid;
  ScenarioResult r;
  r.completed = false;
  r.population = {0.1, 0.22399, 0.10405, 0.46454};
  r.P_below_four_fifths = 0.25;  // stale values must not leak out
  r.expected_AI = 0.5;
  const std::vector<ScenarioResult> results = {r};

  const Csv summary(render_csv(grid, results, false));
  EXPECT_EQ(summary.field(0, "status"), "abandoned");
  EXPECT_EQ(summary.field(0, "P_below_four_fifths"), "");
  EXPECT_EQ(summary.field(0, "expected_AI"), "");
  EXPECT_EQ(summary.field(0, "AI_P50"), "");
  EXPECT_EQ(summary.field(0, "population_SRA"), "0.22399");

  const Csv outcomes(render_csv(grid, results, true));
  ASSERT_EQ(outcomes.rows.size(), 1u);
  EXPECT_EQ(outcomes.field(0, "status"), "abandoned");
  EXPECT_EQ(outcomes.field(0, "P"), "");

  const std::string json = render_json(grid, results, false);
  EXPECT_NE(json.find("\"status\": \"abandoned\", \"P_below_four_fifths\": null"),
            std::string::npos);
  const std::string text = render_text(grid, results, true);
  EXPECT_NE(text.find("abandoned"), std::string::npos);
  EXPECT_EQ(text.find("0.25"), std::string::npos);
}

struct ComputationCase {
  std::vector<std::string> args;
  std::string engine_status, evaluations, population_status;
  std::string population_AI;  // "" when not checked
};

// The fast engine's status, error estimate and evaluation count (pinned in
// fast_engine_test), none of them for the nested engine, and the population
// values' status where the rates leave double's range (|d| large).
TEST_F(GridResults, EngineAndPopulationStatusReachCsvAndJson) {
  const std::vector<std::string> pinned = {"--applicants", "1000", "--majority", "700",
                                           "--hires",      "100",  "--d",        "1"};
  const auto at = [](const std::string& d) {
    return std::vector<std::string>{"--applicants", "100", "--majority", "80",
                                    "--hires",      "20",  "--d=" + d};
  };
  std::vector<std::string> nested = pinned;
  nested.insert(nested.end(), {"--engine", "nested"});
  const ComputationCase cases[] = {
      {pinned, "converged", "38539", "exact", ""},
      {nested, "", "", "exact", ""},
      {at("1e7"), "converged", "", "rate_underflow", "0"},
      {at("-40"), "converged", "", "exact", ""},
      {at("-100"), "converged", "", "ratio_overflow", "Inf"},
  };
  for (const ComputationCase& c : cases) {
    std::string command;
    for (const std::string& a : c.args) command += a + " ";
    SCOPED_TRACE(command);
    std::vector<std::string> args = c.args;
    args.push_back("--csv");
    const auto run = grid(args);
    ASSERT_EQ(run.status, 0) << run.err;
    const Csv summary(run.out);
    EXPECT_EQ(summary.field(0, "status"), "computed");
    EXPECT_EQ(summary.field(0, "warnings"), "0");
    EXPECT_EQ(summary.field(0, "engine_status"), c.engine_status);
    EXPECT_EQ(summary.field(0, "population_status"), c.population_status);
    if (!c.evaluations.empty()) {
      EXPECT_EQ(summary.field(0, "evaluations"), c.evaluations);
    }
    if (c.engine_status.empty()) {
      EXPECT_EQ(summary.field(0, "error_estimate"), "");
      EXPECT_EQ(summary.field(0, "evaluations"), "");
    } else {
      const double error = summary.value(0, "error_estimate");
      EXPECT_TRUE(error > 0.0 && error < 1e-13) << error;
      EXPECT_GT(summary.value(0, "evaluations"), 0.0);
    }
    if (!c.population_AI.empty()) {
      EXPECT_EQ(summary.field(0, "population_AI"), c.population_AI);
    }
    if (c.population_status == "exact") {
      EXPECT_TRUE(std::isfinite(summary.value(0, "population_AI")));
    }

    args.back() = "--json";
    const auto json = grid(args);
    ASSERT_EQ(json.status, 0) << json.err;
    const std::string status = c.engine_status.empty() ? "null" : "\"" + c.engine_status + "\"";
    EXPECT_NE(json.out.find("\"engine_status\": " + status + ", \"error_estimate\": "),
              std::string::npos)
        << json.out;
    EXPECT_NE(json.out.find("\"population_status\": \"" + c.population_status + "\""),
              std::string::npos);
  }
}

// A status other than converged is shown by its name, not counted as a warning.
TEST(GridRendering, AnUnconvergedEstimateKeepsItsValuesAndNamesItsStatus) {
  GridOptions o;
  o.applicants = {100};
  o.majority = {80};
  o.hires = {20};
  o.d = {0.5};
  const Grid grid = build_grid(o).grid;
  ScenarioResult r;
  r.completed = true;
  r.engine_status = EngineStatus::subdivision_limit;
  r.error_estimate = 2.5e-9;
  r.evaluations = 1234;
  r.P_below_four_fifths = 0.25;
  const std::vector<ScenarioResult> results = {r};
  const Csv summary(render_csv(grid, results, false));
  EXPECT_EQ(summary.field(0, "engine_status"), "subdivision_limit");
  EXPECT_EQ(summary.field(0, "error_estimate"), "2.5e-09");
  EXPECT_EQ(summary.field(0, "evaluations"), "1234");
  EXPECT_EQ(summary.field(0, "warnings"), "0");
  EXPECT_EQ(summary.field(0, "P_below_four_fifths"), "0.25");
}

TEST(GridRendering, NumbersAreLosslessAndUndefinedValuesEmpty) {
  EXPECT_EQ(exact_number(0.1), "0.1");
  EXPECT_EQ(number(exact_number(1.0 / 3.0)), 1.0 / 3.0);
  EXPECT_EQ(number(exact_number(2.1259488613978306e-09)), 2.1259488613978306e-09);
  EXPECT_EQ(exact_number(std::nan("")), "");
  EXPECT_EQ(exact_number(HUGE_VAL), "");
  // Infinities keep their sign: Inf and -Inf in CSV, strings in JSON, NaN null.
  EXPECT_EQ(cli::signed_number(-HUGE_VAL), "-Inf");
  EXPECT_EQ(cli::signed_number(0.1), "0.1");
  EXPECT_EQ(cli::json_number(HUGE_VAL), "\"Inf\"");
  EXPECT_EQ(cli::json_number(-HUGE_VAL), "\"-Inf\"");
  EXPECT_EQ(cli::json_number(std::nan("")), "null");
  EXPECT_TRUE(std::isnan(ratio_value(UNDEFINED_RATIO)));
  EXPECT_EQ(ratio_value(0.0), 0.0);
}

TEST(GridRendering, TextTablesShowDigitsAsAskedAndADashWhenUndefined) {
  const struct {
    double value;
    int digits;
    const char* text;
  } rows[] = {
      {0.5, 6, "0.5"},           {2.0 / 3.0, 6, "0.666667"},
      {1234567.8, 7, "1234568"}, {12345678.9, 7, "1.234568e+07"},
      {1.5e-16, 3, "1.5e-16"},   {std::nan(""), 3, "-"},
  };
  for (const auto& r : rows) EXPECT_EQ(cli::short_number(r.value, r.digits), r.text) << r.value;
}

TEST(GridRendering, JsonListsHoldTheirElementsOnOneLine) {
  EXPECT_EQ(cli::json_list({}), "[]");
  EXPECT_EQ(cli::json_list({"1"}), "[1]");
  EXPECT_EQ(cli::json_list({"{\"S\": 0}", "{\"S\": 1}"}), "[{\"S\": 0}, {\"S\": 1}]");
}

// The times on a progress line: "3.4 s, about 8 s left", or "10.0 s" on the last.
const std::string PROGRESS_TIMES = "\\d+\\.\\d s(, about \\d+ (s|min) left)?";

// Records written to the progress line's terminal: the line is erased before
// each and drawn again after it, so that no record starts on it; a run that
// stops ends the erased line with its count too.
TEST(GridProgress, MakesWayForRecordsOnTheSameTerminal) {
  // Steps: a digit n is update(n), c clear_for_output, w a record, f finish(1).
  const auto shown = [](char n) {
    return "\r\x1b\\[Kkemro-grid: " + std::string(1, n) + "/4 scenarios, " + PROGRESS_TIMES;
  };
  const std::string erased_then_record = "\r\x1b\\[K R\n";
  const std::pair<std::string, std::string> cases[] = {
      {"1cwc2cw4c",
       shown('1') + erased_then_record + shown('2') + erased_then_record + shown('4') + "\n"},
      {"c1cwf", shown('1') + erased_then_record + shown('1') + "\n"},
  };
  for (const auto& [steps, expected] : cases) {
    std::FILE* terminal = std::tmpfile();
    ASSERT_NE(terminal, nullptr);
    cli::Progress progress(terminal, "kemro-grid", "scenarios", 4, true, 0.0);
    for (const char step : steps) {
      if (std::isdigit(static_cast<unsigned char>(step))) progress.update(step - '0');
      if (step == 'c') progress.clear_for_output();
      if (step == 'w') std::fputs(" R\n", terminal);
      if (step == 'f') progress.finish(1);
    }
    std::string written(static_cast<std::size_t>(std::ftell(terminal)), '\0');
    std::rewind(terminal);
    written.resize(std::fread(written.data(), 1, written.size(), terminal));
    std::fclose(terminal);
    EXPECT_TRUE(std::regex_match(written, std::regex(expected)))
        << steps << ": " << ::testing::PrintToString(written);
  }
}

// kemro-grid's text table on the terminal its progress line is on, as in an
// interactive shell: every progress line is erased or ended before a row comes.
TEST(GridProgress, RowsOnTheTerminalNeverRunIntoTheProgressLine) {
  const auto dir = make_temp_dir();
  // About 9000 scenarios: long enough for the line to appear (after 1 s).
  const kemro::testing::ProcessRun run =
      kemro::testing::run_on_terminal(KEMRO_GRID_EXE,
                                      {"--applicants", "100:3000:1", "--minority-share", "0.2",
                                       "--selection-ratio", "0.1", "--d", "0,0.5,1", "--jobs", "1"},
                                      dir);
  std::filesystem::remove_all(dir);
  ASSERT_EQ(run.status, 0);
  const std::regex line("kemro-grid: \\d+/8703 scenarios, " + PROGRESS_TIMES);
  std::size_t lines = 0;
  for (auto it = std::sregex_iterator(run.out.begin(), run.out.end(), line);
       it != std::sregex_iterator(); ++it, ++lines) {
    const std::string after =
        run.out.substr(static_cast<std::size_t>(it->position() + it->length()), 3);
    EXPECT_TRUE(after == "\r\x1b[" || after.substr(0, 1) == "\n")
        << ::testing::PrintToString(it->str() + after);
  }
  EXPECT_GT(lines, 0u) << "the run was too quick to show its progress";
  EXPECT_NE(run.out.find("   3000 "), std::string::npos);  // the last row
}

TEST(GridProgress, SilentWhenDisabledOrQuick) {
  // 37 left at 1.25 s per 3: 15.4 s, rounded up.
  EXPECT_EQ(cli::progress_text(3, 40, 1.25, "scenarios"), "3/40 scenarios, 1.2 s, about 16 s left");
  EXPECT_EQ(cli::progress_text(40, 40, 9.96, "scenarios"), "40/40 scenarios, 10.0 s");
  EXPECT_EQ(cli::progress_text(2, 40, 19.0, "cases"), "2/40 cases, 19.0 s, about 6 min left");
  std::FILE* sink = std::tmpfile();
  ASSERT_NE(sink, nullptr);
  cli::Progress disabled(sink, "kemro-grid", "scenarios", 4, false);
  disabled.update(1);
  disabled.update(4);
  cli::Progress quick(sink, "kemro-grid", "scenarios", 4,
                      true);  // finished before the delay: nothing shown
  quick.update(2);
  quick.update(4);
  EXPECT_EQ(std::ftell(sink), 0);
  std::fclose(sink);
}

}  // namespace
