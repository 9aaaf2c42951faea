// kemro-grid with several groups (--group-names and the other group options):
// the scenarios they span, their computation by the library's G-group engine
// and their records.
//
// The grid is the product of --applicants (or the sum of --group-counts) and
// --hires, --selection-ratio or --cut-score, in that order.
//
// Records: the library's group record (distribution/group_columns.hpp lists
// its columns; CSV columns in that order, JSON keys alike).
// With --distribution (two groups, a cut score) every record also holds the
// cells (S_<r>, S_<g>, AI, P) of the joint distribution with P >= 1e-300;
// with --csv one record per cell instead, the cell's fields appended.
// Numbers are exact (shortest round trip); undefined ones are empty or null.
// Columns may be added later; readers should select by name.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "model/fast/group_selection.hpp"
#include "tools/grid/options.hpp"

namespace kemro::grid {

struct GroupScenario {
  std::size_t index = 0;  // 1-based position in the grid
  std::int32_t N = 0;
  GroupProblem problem;  // counts, d's, the rule and K or the cut score
};

struct GroupGrid {
  std::vector<std::string> names;
  SelectionRule rule = SelectionRule::top_down;
  std::vector<GroupScenario> scenarios;
};

struct GroupGridOutcome {
  GroupGrid grid;
  std::string error;  // empty when every scenario can be computed
  bool ok() const { return error.empty(); }
};

// The scenarios of the group options (accepted by parse_options). Every one
// is checked (group_problem_invalid_reason) before any is computed; the first
// that cannot be is named in the error.
GroupGridOutcome build_group_grid(const GridOptions& options);

struct GroupResult {
  GroupSummary summary;
  std::vector<CutScoreCell> distribution;  // with --distribution
};

// Computes every scenario on `jobs` threads (0: one per core), in grid order.
std::vector<GroupResult> compute_group_grid(const GroupGrid& grid, bool distribution,
                                            unsigned jobs);

// The records as text table, CSV or JSON.
std::string render_group_records(const GroupGrid& grid, const std::vector<GroupResult>& results,
                                 Format format, bool distribution);

}  // namespace kemro::grid
