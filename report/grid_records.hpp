// The three renderings of a computed grid: an aligned text table for reading,
// CSV and JSON for scripts. CSV and JSON carry every number losslessly (the
// shortest text that reads back as the same double); a value that is not a
// number (an undefined ratio, 0/0) is an empty CSV field or a JSON null, and
// an infinity is Inf or -Inf in CSV and the string "Inf" or "-Inf" in JSON,
// as R and pandas read it back with its sign. The columns of the summary records and their meaning
// are in distribution/columns.hpp.
//
// Every rendering is a stream: a head, one piece per scenario in grid order,
// and a tail. Any prefix of the scenarios, head and tail included, is a whole
// document (CSV rows whole, the JSON array closed), which is what an
// interrupted run writes.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "distribution/grid.hpp"
#include "report/json.hpp"
#include "report/numbers.hpp"

namespace kemro::grid {

using cli::exact_number;

// The record formats of kemro-grid.
enum class Format { Text, Csv, Json };

// An AI value from the table or its summaries: NaN stands for UNDEFINED_RATIO.
double ratio_value(double AI);

// Writes the records of a grid as they come, in grid order.
class RecordStream {
 public:
  // `text_columns`: catalogue positions shown by the text table (empty: the
  // default ones). The text widths are fixed here, from the grid alone.
  RecordStream(const Grid& grid, Format format, bool distribution,
               std::vector<std::size_t> text_columns = {});
  // The header line, or the opening of the JSON array.
  std::string head() const;
  // The records of scenario `index`; call in grid order.
  std::string record(std::size_t index, const ScenarioResult& result);
  // The closing of the JSON array; in the text table the distributions of the
  // scenarios written so far.
  std::string tail();

 private:
  const Grid& grid_;
  Format format_;
  bool distribution_;
  std::vector<std::size_t> columns_;  // text table only
  std::vector<int> widths_;           // of columns_
  cli::JsonArray json_;               // JSON only
  std::string held_;                  // text distributions, written after the table
};

// Column names of the summary records, in CSV order (also the JSON keys).
std::vector<std::string> summary_columns();
// Column names of the distribution records of --csv --distribution.
std::vector<std::string> distribution_columns();

// One header line and one line per scenario; with `distribution`, one line per
// scenario and outcome S instead (an abandoned scenario gets one line without S).
std::string render_csv(const Grid& grid, const std::vector<ScenarioResult>& results,
                       bool distribution);

// A JSON array with one object per scenario (one per line); with
// `distribution`, each object also holds its outcomes under "distribution".
std::string render_json(const Grid& grid, const std::vector<ScenarioResult>& results,
                        bool distribution);

// The aligned table of the default columns (or `columns`); with
// `distribution`, followed by each scenario's outcomes.
std::string render_text(const Grid& grid, const std::vector<ScenarioResult>& results,
                        bool distribution, const std::vector<std::size_t>& columns = {});

// A real value in a text column of `width` characters (one blank at least):
// fixed with `decimals`, or in fewer significant digits when that is too wide.
std::string fit_number(double value, int width, int decimals);

}  // namespace kemro::grid
