// The column catalogue of kemro-grid's summary records: one row per reported
// quantity with its CSV/JSON name, its text-table header, width and decimals,
// its one-line meaning, what a planning solve makes of it and the words a plot
// calls it by. The text, CSV
// and JSON renderers, the --columns option, the help text, the planning
// solves' targets and the R and Python packages' summaries all read this
// table and nothing else.
//
// Wire format (CSV and JSON): the columns appear in catalogue order, every one
// of them in every record. Counts are decimal integers; real numbers are the
// shortest text that reads back as the same double; a value that is not a
// number (an undefined ratio, 0/0, an infinity, any exact value of an
// abandoned scenario) is an empty CSV field or a JSON null. `status` is the
// text "computed" or "abandoned". After `warnings` come the rules' levels
// (`alpha`, `threshold`) and one flag rate P_flag_<rule> per rule of
// distribution/rules.hpp, in its order. Then come how the computation went:
// `engine_status`, `error_estimate` and `evaluations` are the fast engine's
// own result, unchanged (model/fast/outcomes.hpp: the status's name, the
// estimated absolute error summed over all outcomes, the integrand terms
// evaluated); the nested engine has none of them, so they are empty (JSON
// null), and its trouble is counted in `warnings`. `population_status` says
// how far the population values are right (model/fast/population.hpp:
// exact, rate_underflow, ratio_overflow). An empty text is a JSON null.
// Records come in grid order. Columns may be added later; readers should
// select by name, not by position.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "distribution/grid.hpp"

namespace kemro::grid {

// How a column's values look in the text table.
enum class ColumnKind {
  Count,       // whole number, right-aligned
  EffectSize,  // the scenario's d, six significant digits
  Status,      // a text (computed, converged, exact, ...): "-" when empty
  Exact,       // an exact value of the distribution: "-" when abandoned
  Population,  // a population value: known even when abandoned
  Percentile,  // an AI percentile: "-" when abandoned
  Level,       // a rule level of the scenario (alpha, threshold), six significant digits
  Diagnostic,  // a number about the computation, `decimals` significant digits: "-" when NaN
};

// What a planning solve (distribution/solve.hpp) makes of a column that a
// target names. Targets list their quantities in the order of these roles,
// the columns of one role in catalogue order.
enum class SolveRole {
  none,               // not a quantity a target may name
  below_four_fifths,  // P(AI < 0.8): a probability the corner scenarios bound
  undefined,          // P(AI undefined): a probability the corner scenarios bound
  expected_ratio,     // E[AI]: an undefined AI counts as +infinity
  majority_rate,      // E[SRA]: bounded by the corner scenarios' expected hires
  minority_rate,      // E[SRI]: bounded by the corner scenarios' expected hires
  percentile,         // an AI percentile: an undefined AI counts as +infinity
  flag_rate,          // a rule's flag rate: a probability
};

struct Column {
  std::string_view name;    // CSV header and JSON key
  std::string_view header;  // text-table header
  int width = 0;            // text width, the separating blank included
  int decimals = 0;         // text decimals of real values
  ColumnKind kind = ColumnKind::Count;
  bool in_default_text = false;  // shown by the text table without --columns
  std::string_view meaning;      // one line for --help
  SolveRole solve = SolveRole::none;
  std::string_view words;  // on a plot's axis or in its legend; empty: none of its own
};

// Every summary column, in CSV order.
std::span<const Column> summary_catalogue();

// The catalogue position of a column name, or -1.
int column_index(std::string_view name);

// The positions of the default text table's columns, in catalogue order.
std::vector<std::size_t> default_text_columns();

// A comma list of CSV names as positions, in the order given. On failure
// `error` names the unknown or repeated column and lists the valid names.
bool parse_column_list(std::string_view text, std::vector<std::size_t>& columns,
                       std::string& error);

// One value of a record: a count, a real (NaN when undefined) or a text.
using Cell = std::variant<std::int64_t, double, std::string_view>;

// The values of one scenario's record, in catalogue order.
std::vector<Cell> summary_cells(const Scenario& scenario, const ScenarioResult& result);

// The words a plot's axis calls a column by ("Flag rate of Fisher's exact
// test (two-sided)"); the column's meaning where it has none of its own.
std::string column_words(std::size_t column);

// The lines of --help that name and explain every column.
std::string columns_help();

}  // namespace kemro::grid
