// The column catalogue of kemro-grid's summary records and the cells of one
// record (the table and its contract: columns.hpp).
#include "distribution/columns.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

namespace kemro::grid {

namespace {

constexpr int COUNT_WIDTH = 7;
constexpr int D_WIDTH = 9;
constexpr int VALUE_WIDTH = 11;
constexpr int VALUE_DECIMALS = 5;
constexpr int PERCENTILE_WIDTH = 7;
constexpr int PERCENTILE_DECIMALS = 3;
constexpr int STATUS_WIDTH = 10;
constexpr int WARNINGS_WIDTH = 6;
constexpr int ENGINE_STATUS_WIDTH = 18;      // "subdivision_limit" and a blank
constexpr int POPULATION_STATUS_WIDTH = 15;  // "rate_underflow" and a blank
constexpr int ERROR_WIDTH = 10;
constexpr int ERROR_DIGITS = 3;  // an error estimate needs its size, not its digits
constexpr int EVALUATIONS_WIDTH = 12;
constexpr int EVALUATIONS_DIGITS = 15;  // every count below 1e15 in full

using K = ColumnKind;
using S = SolveRole;

// The words of a scenario option (distribution/grid.hpp), for the column
// that holds its value.
constexpr std::string_view option_words(std::string_view option) {
  for (const DimensionOption& o : DIMENSION_OPTIONS) {
    if (o.name == option) return o.words;
  }
  throw "no such scenario option";  // not a constant expression: the build fails
}

// clang-format off
constexpr std::array<Column, 25> BASE_COLUMNS = {{
  {"scenario", "#", COUNT_WIDTH, 0, K::Count, false, "index in the whole grid (shards merge on it)"},
  {"N", "N", COUNT_WIDTH, 0, K::Count, true, "applicants", S::none, option_words("applicants")},
  {"N1", "N1", COUNT_WIDTH, 0, K::Count, true, "majority applicants", S::none,
   option_words("majority")},
  {"N2", "N2", COUNT_WIDTH, 0, K::Count, true, "minority applicants, N - N1", S::none,
   "Minority applicants"},
  {"K", "K", COUNT_WIDTH, 0, K::Count, true, "hires", S::none, option_words("hires")},
  {"d", "d", D_WIDTH, 0, K::EffectSize, true, "effect size (composite: --predictor-d)", S::none,
   option_words("d")},
  {"status", "status", STATUS_WIDTH, 0, K::Status, false, "computed, or abandoned (integration gave up)"},
  {"P_below_four_fifths", "P(AI<0.8)", VALUE_WIDTH, VALUE_DECIMALS, K::Exact, true,
   "P(AI defined, below 0.8); 0.8 is not below", S::below_four_fifths,
   "P(AI < 0.8)"},
  {"P_undefined", "P(undef)", VALUE_WIDTH, VALUE_DECIMALS, K::Exact, true,
   "P(no majority hire: AI undefined)", S::undefined, "P(AI undefined)"},
  {"expected_SRA", "E[SRA]", VALUE_WIDTH, VALUE_DECIMALS, K::Exact, true,
   "expected majority selection rate", S::majority_rate,
   "Expected majority selection rate"},
  {"expected_SRI", "E[SRI]", VALUE_WIDTH, VALUE_DECIMALS, K::Exact, true,
   "expected minority selection rate", S::minority_rate,
   "Expected minority selection rate"},
  {"expected_AI", "E[AI]", VALUE_WIDTH, VALUE_DECIMALS, K::Exact, true,
   "expected AI over the defined ratios", S::expected_ratio, "Expected AI"},
  {"population_SRA", "pop SRA", VALUE_WIDTH, VALUE_DECIMALS, K::Population, false,
   "majority rate, infinitely large pool", S::none, "Population majority selection rate"},
  {"population_SRI", "pop SRI", VALUE_WIDTH, VALUE_DECIMALS, K::Population, false,
   "minority rate, infinitely large pool", S::none, "Population minority selection rate"},
  {"population_AI", "pop AI", VALUE_WIDTH, VALUE_DECIMALS, K::Population, false,
   "AI, infinitely large pool", S::none, "Population AI"},
  {"AI_P05", "P05", PERCENTILE_WIDTH, PERCENTILE_DECIMALS, K::Percentile, false,
   "5th percentile of AI", S::percentile, "5th percentile of AI"},
  {"AI_P10", "P10", PERCENTILE_WIDTH, PERCENTILE_DECIMALS, K::Percentile, false,
   "10th percentile of AI", S::percentile, "10th percentile of AI"},
  {"AI_P25", "P25", PERCENTILE_WIDTH, PERCENTILE_DECIMALS, K::Percentile, false,
   "25th percentile of AI", S::percentile, "Lower quartile of AI"},
  {"AI_P50", "P50", PERCENTILE_WIDTH, PERCENTILE_DECIMALS, K::Percentile, false,
   "median of AI", S::percentile, "Median AI"},
  {"AI_P75", "P75", PERCENTILE_WIDTH, PERCENTILE_DECIMALS, K::Percentile, false,
   "75th percentile of AI", S::percentile, "Upper quartile of AI"},
  {"AI_P90", "P90", PERCENTILE_WIDTH, PERCENTILE_DECIMALS, K::Percentile, false,
   "90th percentile of AI", S::percentile, "90th percentile of AI"},
  {"AI_P95", "P95", PERCENTILE_WIDTH, PERCENTILE_DECIMALS, K::Percentile, false,
   "95th percentile of AI", S::percentile, "95th percentile of AI"},
  {"warnings", "warn", WARNINGS_WIDTH, 0, K::Count, true,
   "numerical warnings (integration, P < 0)"},
  {"alpha", "alpha", D_WIDTH, 0, K::Level, false, "the rules' two-sided level (--alpha)"},
  {"threshold", "T", D_WIDTH, 0, K::Level, false, "the four-fifths rule's threshold (--threshold)"},
}};
// clang-format on

// How the computation went, after the flag rates so that every earlier
// column keeps its position. The nested engine has no status, error estimate
// or evaluation count of the fast engine's kind: those cells are empty.
// clang-format off
constexpr std::array<Column, 4> COMPUTATION_COLUMNS = {{
  {"engine_status", "engine", ENGINE_STATUS_WIDTH, 0, K::Status, false,
   "fast engine's end (converged, roundoff, ...)"},
  {"error_estimate", "abserr", ERROR_WIDTH, ERROR_DIGITS, K::Diagnostic, false,
   "fast engine's estimated absolute error"},
  {"evaluations", "evals", EVALUATIONS_WIDTH, EVALUATIONS_DIGITS, K::Diagnostic, false,
   "integrand terms the fast engine evaluated"},
  {"population_status", "pop status", POPULATION_STATUS_WIDTH, 0, K::Status, false,
   "exact, rate_underflow or ratio_overflow"},
}};
// clang-format on

// The base columns, one flag-rate column per rule in the rules' order, then
// the computation's columns.
constexpr std::size_t CATALOGUE_SIZE =
    BASE_COLUMNS.size() + RULE_COUNT + COMPUTATION_COLUMNS.size();
constexpr std::array<Column, CATALOGUE_SIZE> whole_catalogue() {
  std::array<Column, CATALOGUE_SIZE> all{};
  for (std::size_t i = 0; i < BASE_COLUMNS.size(); ++i) all[i] = BASE_COLUMNS[i];
  for (std::size_t r = 0; r < RULE_COUNT; ++r) {
    all[BASE_COLUMNS.size() + r] = {RULES[r].column,  RULES[r].header, VALUE_WIDTH,
                                    VALUE_DECIMALS,   K::Exact,        false,
                                    RULES[r].meaning, S::flag_rate};
  }
  for (std::size_t i = 0; i < COMPUTATION_COLUMNS.size(); ++i) {
    all[BASE_COLUMNS.size() + RULE_COUNT + i] = COMPUTATION_COLUMNS[i];
  }
  return all;
}
constexpr auto CATALOGUE = whole_catalogue();
constexpr std::size_t FIRST_RULE_COLUMN = BASE_COLUMNS.size();

// The first percentile column; the percentiles follow in NLDAT order.
constexpr std::size_t FIRST_PERCENTILE = 15;
static_assert(CATALOGUE[FIRST_PERCENTILE].name == "AI_P05");
static_assert(CATALOGUE[FIRST_PERCENTILE + NLDAT.size()].name == "warnings");

std::string valid_names() {
  std::string names;
  for (const Column& c : CATALOGUE) {
    if (!names.empty()) names += ", ";
    names += c.name;
  }
  return names;
}

}  // namespace

std::span<const Column> summary_catalogue() {
  return CATALOGUE;
}

int column_index(std::string_view name) {
  for (std::size_t i = 0; i < CATALOGUE.size(); ++i) {
    if (CATALOGUE[i].name == name) return static_cast<int>(i);
  }
  return -1;
}

std::vector<std::size_t> default_text_columns() {
  std::vector<std::size_t> columns;
  for (std::size_t i = 0; i < CATALOGUE.size(); ++i) {
    if (CATALOGUE[i].in_default_text) columns.push_back(i);
  }
  return columns;
}

bool parse_column_list(std::string_view text, std::vector<std::size_t>& columns,
                       std::string& error) {
  columns.clear();
  std::size_t start = 0;
  for (;;) {
    const std::size_t comma = text.find(',', start);
    const std::string_view name =
        text.substr(start, comma == std::string_view::npos ? comma : comma - start);
    const int at = column_index(name);
    if (at < 0) {
      error = "unknown column '" + std::string(name) + "'; the columns are " + valid_names();
      return false;
    }
    for (std::size_t c : columns) {
      if (c == static_cast<std::size_t>(at)) {
        error = "column '" + std::string(name) + "' is named twice";
        return false;
      }
    }
    columns.push_back(static_cast<std::size_t>(at));
    if (comma == std::string_view::npos) return true;
    start = comma + 1;
  }
}

std::vector<Cell> summary_cells(const Scenario& s, const ScenarioResult& r) {
  const double NaN = std::numeric_limits<double>::quiet_NaN();
  const auto exact = [&](double v) { return r.completed ? v : NaN; };
  const auto ratio = [&](double AI) { return r.completed && AI != UNDEFINED_RATIO ? AI : NaN; };
  std::vector<Cell> cells = {static_cast<std::int64_t>(s.index),
                             std::int64_t{s.N},
                             std::int64_t{s.N1},
                             std::int64_t{s.N2},
                             std::int64_t{s.K},
                             s.d,
                             std::string_view(r.completed ? "computed" : "abandoned"),
                             exact(r.P_below_four_fifths),
                             exact(r.P_undefined),
                             exact(r.expected_SRA),
                             exact(r.expected_SRI),
                             exact(r.expected_AI),
                             r.population.SRA,
                             r.population.SRI,
                             r.population.AI};
  for (double p : r.percentiles) cells.emplace_back(ratio(p));
  cells.emplace_back(std::int64_t{r.warnings});
  cells.emplace_back(s.levels.alpha);
  cells.emplace_back(s.levels.threshold);
  for (double p : r.P_flag) cells.emplace_back(exact(p));
  // The fast engine's own result; the nested engine has none (empty, null).
  const bool fast = r.engine == Engine::fast;
  cells.emplace_back(std::string_view(fast ? engine_status_name(r.engine_status) : ""));
  cells.emplace_back(fast ? r.error_estimate : NaN);
  cells.emplace_back(fast ? static_cast<double>(r.evaluations) : NaN);
  cells.emplace_back(std::string_view(population_status_name(r.population_status)));
  return cells;
}

std::string column_words(std::size_t column) {
  if (column >= FIRST_RULE_COLUMN && column < FIRST_RULE_COLUMN + RULE_COUNT) {
    return "Flag rate of " + std::string(RULES[column - FIRST_RULE_COLUMN].words);
  }
  if (CATALOGUE[column].name == "P_below_four_fifths") return "P(AI < 0.8)";
  return std::string(CATALOGUE.at(column).meaning);
}

std::string columns_help() {
  // Two columns of names, then the meaning, one line per column.
  // A longer name pushes its line's header and meaning one blank after it.
  constexpr std::size_t NAME_WIDTH = 21;
  constexpr std::size_t HEADER_WIDTH = 11;
  const auto pad = [](std::string& line, std::size_t width) {
    line.resize(std::max(width, line.size() + 1), ' ');
  };
  std::string text;
  for (const Column& c : CATALOGUE) {
    std::string line = "  " + std::string(c.name);
    pad(line, 2 + NAME_WIDTH);
    line += c.header;
    pad(line, line.size() - c.header.size() + HEADER_WIDTH);
    text += line + std::string(c.meaning) + (c.in_default_text ? " *" : "") + "\n";
  }
  return text;
}

}  // namespace kemro::grid
