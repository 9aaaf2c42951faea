// The several-group summary record (group_record.hpp): its values are read
// off the column list of group_columns.hpp, one quantity per column, so that
// names and values cannot drift apart.
#include "distribution/group_record.hpp"

#include <cmath>
#include <cstddef>
#include <limits>
#include <string_view>

#include "distribution/group_columns.hpp"
#include "distribution/groups.hpp"

namespace kemro {

namespace {

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();

std::string status_name(EngineStatus status) {
  switch (status) {
    case EngineStatus::converged:
      return "computed";
    case EngineStatus::subdivision_limit:
      return "subdivision_limit";
    case EngineStatus::roundoff:
      return "roundoff";
    default:
      return "abandoned";
  }
}

// The value of column `c` for scenario `index`.
GroupRecordCell cell(const GroupColumn& c, std::size_t index, const GroupProblem& problem,
                     const GroupSummary& summary) {
  using Q = GroupQuantity;
  const bool cut = problem.rule == SelectionRule::cut_score;
  const bool computed = summary.status != EngineStatus::bad_integrand &&
                        summary.status != EngineStatus::invalid_input;
  // The summary's values only where it was computed (an empty summary has none).
  const auto exact = [&](auto get) { return computed ? get() : NaN; };
  const std::size_t g = c.group;
  switch (c.quantity) {
    case Q::scenario:
      return static_cast<std::int64_t>(index);
    case Q::N: {
      std::int64_t N = 0;
      for (std::int32_t n : problem.applicants) N += n;
      return N;
    }
    case Q::selection:
      return std::string(selection_rule_name(problem.rule));
    case Q::K:
      if (cut) return NaN;
      return static_cast<std::int64_t>(problem.hires);
    case Q::cut_score:
      return cut ? problem.cut_score : NaN;
    case Q::applicants:
      return static_cast<std::int64_t>(problem.applicants[g]);
    case Q::status:
      return status_name(summary.status);
    case Q::error_estimate:
      return exact([&] { return summary.abserr; });
    case Q::evaluations:
      return static_cast<std::int64_t>(summary.evaluations);
    case Q::expected_SR:
      return exact([&] { return summary.expected_SR[g]; });
    case Q::P_below_reference:
      return exact([&] { return summary.P_below_reference[g]; });
    case Q::P_below_highest:
      return exact([&] { return summary.P_below_highest[g]; });
    case Q::expected_AI:
      return exact([&] { return summary.expected_AI[g]; });
    case Q::P_any_below:
      return exact([&] { return summary.P_any_below; });
    case Q::expected_selected:
      return exact([&] { return summary.expected_selected; });
    case Q::P_none_selected:
      return exact([&] { return summary.P_none_selected; });
  }
  return NaN;
}

}  // namespace

GroupDesignError group_design_error(const GroupDesign& design) {
  using Part = GroupDesignError::Part;
  const std::size_t G = design.names.size();
  if (std::string e = group_names_error(design.names); !e.empty()) return {Part::names, e};
  if (design.shares.empty() == design.counts.empty()) {
    return {design.shares.empty() ? Part::shares : Part::counts,
            "give either the shares or the counts of the groups"};
  }
  if (!design.shares.empty()) {
    if (std::string e = group_shares_error(design.shares, G); !e.empty()) return {Part::shares, e};
  } else {
    std::int64_t total = 0;
    for (std::int32_t n : design.counts) total += n;
    if (std::string e = group_counts_error(design.counts, G, total); !e.empty()) {
      return {Part::counts, e};
    }
  }
  if (std::string e = group_d_error(design.d, G); !e.empty()) return {Part::d, e};
  return {};
}

std::string group_problem_for(const GroupDesign& design, std::int32_t N, std::int32_t hires,
                              double selection_ratio, double cut_score, GroupProblem& problem) {
  if (design.counts.empty()) {
    problem.applicants = counts_from_shares(design.shares, N);
  } else {
    if (std::string e = group_counts_error(design.counts, design.names.size(), N); !e.empty()) {
      return e;
    }
    problem.applicants = design.counts;
  }
  problem.d = design.d;
  problem.rule = design.rule;
  if (design.rule == SelectionRule::top_down) {
    problem.hires =
        hires != 0
            ? hires
            : static_cast<std::int32_t>(std::llround(selection_ratio * static_cast<double>(N)));
  } else {
    problem.cut_score = !std::isnan(cut_score)
                            ? cut_score
                            : cut_score_for_ratio(problem.applicants, design.d, selection_ratio);
  }
  return group_problem_invalid_reason(problem);
}

std::vector<std::string> group_record_names(const std::vector<std::string>& names,
                                            SelectionRule rule) {
  std::vector<std::string> record;
  for (GroupColumn& c : group_record_columns(names, rule)) record.push_back(std::move(c.name));
  return record;
}

std::vector<GroupRecordCell> group_record_cells(std::size_t index, const GroupProblem& problem,
                                                const GroupSummary& summary) {
  // Only the count of groups matters for the values; placeholder names suffice.
  const std::vector<std::string> names(problem.applicants.size(), "g");
  std::vector<GroupRecordCell> cells;
  for (const GroupColumn& c : group_record_columns(names, problem.rule)) {
    cells.push_back(cell(c, index, problem, summary));
  }
  return cells;
}

}  // namespace kemro
