// The entry point of ai_summary() with several groups: kemro-grid's
// several-group scenarios, formed and checked by the library, computed by its
// several-group engine on its worker pool and reported as its group record.
#include "distribution/groups.hpp"

#include <pybind11/stl.h>

#include <cmath>
#include <stdexcept>
#include <string>
#include <vector>

#include "compute.hpp"
#include "distribution/group_record.hpp"
#include "distribution/worker_pool.hpp"
#include "entries.hpp"

namespace kemro::python {

namespace {

// The argument of ai_summary that each part of a design comes from.
const char* part_argument(GroupDesignError::Part part) {
  switch (part) {
    case GroupDesignError::Part::names:
      return "group_names";
    case GroupDesignError::Part::shares:
      return "group_shares";
    case GroupDesignError::Part::counts:
      return "group_counts";
    default:
      return "group_d";
  }
}

}  // namespace

py::dict group_summary(const std::vector<std::string>& names, const RealArray& shares,
                       const CountArray& counts, const RealArray& d, const std::string& selection,
                       const CountArray& N, const CountArray& hires,
                       const RealArray& selection_ratio, const RealArray& cut_score,
                       long long jobs) {
  const unsigned threads = jobs_checked(jobs);
  GroupDesign design;
  design.names = names;
  design.shares = reals_of(shares, "group_shares");
  for (std::int64_t c : counts_of(counts, "group_counts")) {
    if (c < 1 || c > INT32_MAX) {
      throw std::invalid_argument("group_counts: " + std::to_string(c) +
                                  " is not between 1 and 2^31 - 1");
    }
    design.counts.push_back(static_cast<std::int32_t>(c));
  }
  design.d = reals_of(d, "group_d");
  if (!selection_rule_from_name(selection, design.rule)) {
    throw std::invalid_argument("selection must be \"top-down\" or \"cut-score\", not \"" +
                                selection + "\"");
  }
  if (const GroupDesignError e = group_design_error(design); !e.reason.empty()) {
    throw std::invalid_argument(std::string(part_argument(e.part)) + ": " + e.reason);
  }
  const std::vector<std::int64_t> n = counts_of(N, "N");
  const std::vector<std::int64_t> k = counts_of(hires, "K", n.size());
  const std::vector<double> ratio = reals_of(selection_ratio, "selection_ratio", n.size());
  const std::vector<double> cut = reals_of(cut_score, "cut_score", n.size());

  // Every scenario is formed and checked before any is computed.
  std::vector<GroupProblem> problems(n.size());
  for (std::size_t i = 0; i < n.size(); ++i) {
    const std::string why =
        group_problem_for(design, static_cast<std::int32_t>(n[i]), static_cast<std::int32_t>(k[i]),
                          ratio[i], cut[i], problems[i]);
    if (!why.empty()) {
      throw std::invalid_argument("scenario " + std::to_string(i + 1) +
                                  " (N = " + std::to_string(n[i]) + "): " + why);
    }
  }

  // Computed by the library's engine on the worker pool without the
  // interpreter's lock; Ctrl-C stops the pool between two scenarios.
  WorkAreas<NoWorkArea> none;
  const std::vector<GroupSummary> summaries = compute_interruptible(
      problems.size(), threads, none,
      [&](std::size_t i, NoWorkArea&) { return group_selection_summary(problems[i]); });
  std::vector<std::vector<GroupRecordCell>> rows;
  for (std::size_t i = 0; i < summaries.size(); ++i) {
    rows.push_back(group_record_cells(i + 1, problems[i], summaries[i]));
  }
  const std::vector<std::string> columns = group_record_names(names, design.rule);
  GroupProblem prototype;
  prototype.rule = design.rule;
  prototype.applicants.assign(names.size(), 0);
  return columns_from_cells(columns, group_record_cells(0, prototype, GroupSummary{}), rows);
}

}  // namespace kemro::python
