// The three renderings of a computed grid: an aligned text table for reading,
// CSV and JSON for scripts. CSV and JSON carry every number losslessly (the
// shortest text that reads back as the same double); a value that is not a
// number (an undefined ratio, 0/0, an infinity) is an empty CSV field or a
// JSON null.
#pragma once

#include <string>
#include <vector>

#include "tools/common/numbers.hpp"
#include "tools/grid/options.hpp"
#include "tools/grid/scenario.hpp"

namespace kemro::grid {

using cli::exact_number;

// An AI value from the table or its summaries: NaN stands for UNDEFINED_RATIO.
double ratio_value(double AI);

// Column names of the summary records, in CSV order (also the JSON keys). The
// first, `scenario`, is the 1-based index of the scenario in the whole grid,
// so that the records of shards (--shard) merge by sorting on it.
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

// The aligned table; with `distribution`, followed by each scenario's outcomes.
std::string render_text(const Grid& grid, const std::vector<ScenarioResult>& results,
                        bool distribution);

}  // namespace kemro::grid
