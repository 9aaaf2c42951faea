// The several-group summary record (group_record.hpp): names and values are
// made side by side by one function, so that they cannot drift apart.
#include "distribution/group_record.hpp"

#include <cmath>
#include <cstddef>
#include <limits>
#include <string_view>

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

// The record's columns for `names` and `rule`; with `problem` and `summary`
// set also its values for scenario `index`.
struct Record {
  std::vector<std::string> names;
  std::vector<GroupRecordCell> cells;
};

Record make_record(const std::vector<std::string>& names, SelectionRule rule, std::size_t index,
                   const GroupProblem* problem, const GroupSummary* summary) {
  Record r;
  const bool cut = rule == SelectionRule::cut_score;
  const bool computed = summary != nullptr && summary->status != EngineStatus::bad_integrand &&
                        summary->status != EngineStatus::invalid_input;
  const auto add = [&](std::string name, auto value) {
    r.names.push_back(std::move(name));
    if (problem != nullptr) r.cells.emplace_back(value());
  };
  const auto exact = [&](auto get) { return [&, get] { return computed ? get(*summary) : NaN; }; };
  add("scenario", [&] { return static_cast<std::int64_t>(index); });
  add("N", [&] {
    std::int64_t N = 0;
    for (std::int32_t n : problem->applicants) N += n;
    return N;
  });
  add("selection", [&] { return std::string(selection_rule_name(rule)); });
  if (cut) {
    add("K", [] { return NaN; });
  } else {
    add("K", [&] { return static_cast<std::int64_t>(problem->hires); });
  }
  add("cut_score", [&] { return cut ? problem->cut_score : NaN; });
  for (std::size_t g = 0; g < names.size(); ++g) {
    add("N_" + names[g], [&, g] { return static_cast<std::int64_t>(problem->applicants[g]); });
  }
  add("status", [&] { return status_name(summary->status); });
  add("error_estimate", exact([](const GroupSummary& x) { return x.abserr; }));
  add("evaluations", [&] { return static_cast<std::int64_t>(summary->evaluations); });
  add("expected_SR_" + names[0], exact([](const GroupSummary& x) { return x.expected_SR[0]; }));
  for (std::size_t g = 1; g < names.size(); ++g) {
    add("P_below_four_fifths_" + names[g],
        exact([g](const GroupSummary& x) { return x.P_below_reference[g]; }));
    add("P_below_four_fifths_vs_highest_" + names[g],
        exact([g](const GroupSummary& x) { return x.P_below_highest[g]; }));
    add("expected_SR_" + names[g], exact([g](const GroupSummary& x) { return x.expected_SR[g]; }));
    add("expected_AI_" + names[g], exact([g](const GroupSummary& x) { return x.expected_AI[g]; }));
  }
  add("P_any_below_four_fifths", exact([](const GroupSummary& x) { return x.P_any_below; }));
  if (cut) {
    add("expected_selected", exact([](const GroupSummary& x) { return x.expected_selected; }));
    add("P_none_selected", exact([](const GroupSummary& x) { return x.P_none_selected; }));
  }
  return r;
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
  return make_record(names, rule, 0, nullptr, nullptr).names;
}

std::vector<GroupRecordCell> group_record_cells(std::size_t index, const GroupProblem& problem,
                                                const GroupSummary& summary) {
  // Only the count of groups matters for the values; placeholder names suffice.
  const std::vector<std::string> names(problem.applicants.size(), "g");
  return make_record(names, problem.rule, index, &problem, &summary).cells;
}

}  // namespace kemro
