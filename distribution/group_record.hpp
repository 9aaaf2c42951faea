// The summary record of a several-group scenario as the R and Python
// packages return it: the columns kemro-grid writes for its group options
// (group_columns.hpp), with the same names, order and values, made from the
// problem and the library's GroupSummary without further arithmetic.
// Counts are whole numbers, texts strings; a value that is undefined, or
// any value of an abandoned scenario, is NaN.
#pragma once

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

#include "model/fast/group_selection.hpp"

namespace kemro {

// The groups of a run as the packages take them: names (the reference
// first), shares or counts (one of the two empty) and effect sizes.
struct GroupDesign {
  std::vector<std::string> names;
  std::vector<double> shares;
  std::vector<std::int32_t> counts;
  std::vector<double> d;
  SelectionRule rule = SelectionRule::top_down;
};

// What a refusal of the design is about, so that each front end can name its
// own argument, and why (a sentence from distribution/groups.hpp).
struct GroupDesignError {
  enum class Part { none, names, shares, counts, d } part = Part::none;
  std::string reason;
};

// Checks the names, then the shares or the counts (exactly one given; counts
// must be positive and fit the engine), then the d's.
GroupDesignError group_design_error(const GroupDesign& design);

// The problem of N applicants of an accepted design, as kemro-grid forms it:
// the counts given or by largest remainder from the shares (given counts
// must add up to N); under top-down `hires`, or when it is 0
// round(selection_ratio N); under a cut score `cut_score`, or when it is NaN
// the cut score at which the expected pass rate is `selection_ratio`.
// Returns why the problem cannot be computed, or an empty text.
std::string group_problem_for(const GroupDesign& design, std::int32_t N, std::int32_t hires,
                              double selection_ratio, double cut_score, GroupProblem& problem);

// One value of a record: a count, a number or a text.
using GroupRecordCell = std::variant<std::int64_t, double, std::string>;

// The column names for groups `names` (the reference first) under `rule`.
std::vector<std::string> group_record_names(const std::vector<std::string>& names,
                                            SelectionRule rule);

// The values of scenario `index` (1-based) in the order of group_record_names,
// for a problem with as many groups as names and its summary. Under a cut
// score K is a number (NaN), under top-down a count, so that each column
// keeps one type across the scenarios of one rule.
std::vector<GroupRecordCell> group_record_cells(std::size_t index, const GroupProblem& problem,
                                                const GroupSummary& summary);

}  // namespace kemro
