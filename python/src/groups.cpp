// The entry point of ai_summary() with several groups: kemro-grid's
// several-group scenarios, formed and checked by the library, computed by
// kemro-grid's group computation and reported as the library's group record.
#include "distribution/groups.hpp"

#include <pybind11/stl.h>

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "compute.hpp"
#include "distribution/group_record.hpp"
#include "entries.hpp"
#include "tools/grid/groups.hpp"

namespace kemro::python {

namespace {

// Scenarios handed to each worker between two looks for Ctrl-C: a few, so
// that the threads stay busy and an interrupt waits for at most a few
// scenarios (each a few milliseconds to about a second).
constexpr std::size_t SCENARIOS_PER_WORKER = 2;

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
  grid::GroupGrid groups;
  groups.names = names;
  groups.rule = design.rule;
  for (std::size_t i = 0; i < n.size(); ++i) {
    grid::GroupScenario s;
    s.index = i + 1;
    s.N = static_cast<std::int32_t>(n[i]);
    const std::string why = group_problem_for(design, s.N, static_cast<std::int32_t>(k[i]),
                                              ratio[i], cut[i], s.problem);
    if (!why.empty()) {
      throw std::invalid_argument("scenario " + std::to_string(i + 1) +
                                  " (N = " + std::to_string(n[i]) + "): " + why);
    }
    groups.scenarios.push_back(std::move(s));
  }

  // Computed a few scenarios at a time without the interpreter's lock, so
  // that Ctrl-C stops the run between two such batches.
  std::vector<std::vector<GroupRecordCell>> rows;
  const unsigned workers =
      threads != 0 ? threads : std::max(1u, std::thread::hardware_concurrency());
  const std::size_t batch = std::size_t{workers} * SCENARIOS_PER_WORKER;
  for (std::size_t first = 0; first < groups.scenarios.size(); first += batch) {
    if (PyErr_CheckSignals() != 0) throw py::error_already_set();
    grid::GroupGrid part{groups.names, groups.rule, {}};
    for (std::size_t i = first; i < std::min(first + batch, groups.scenarios.size()); ++i) {
      part.scenarios.push_back(groups.scenarios[i]);
    }
    std::vector<grid::GroupResult> results;
    {
      const py::gil_scoped_release release;
      results = grid::compute_group_grid(part, false, threads);
    }
    for (std::size_t i = 0; i < results.size(); ++i) {
      const grid::GroupScenario& s = part.scenarios[i];
      rows.push_back(group_record_cells(s.index, s.problem, results[i].summary));
    }
  }
  const std::vector<std::string> columns = group_record_names(names, design.rule);
  GroupProblem prototype;
  prototype.rule = design.rule;
  prototype.applicants.assign(names.size(), 0);
  return columns_from_cells(columns, group_record_cells(0, prototype, GroupSummary{}), rows);
}

}  // namespace kemro::python
