// The entry point of ai_observed(): the library's analysis of actual hiring
// decisions, reported through kemro-observed's record columns.
#include "distribution/observed.hpp"

#include <stdexcept>
#include <string>
#include <vector>

#include "compute.hpp"
#include "distribution/group_pairs.hpp"
#include "distribution/rules.hpp"
#include "entries.hpp"
#include "report/observed_records.hpp"

namespace kemro::python {

py::list observed_catalogue() {
  py::list columns;
  for (const observed::Column& c : observed::record_columns()) {
    columns.append(py::make_tuple(std::string(c.name), std::string(c.meaning)));
  }
  return columns;
}

py::dict observed(const CountArray& N, const CountArray& N1, const CountArray& K,
                  const CountArray& S, const RealArray& d, double alpha, double threshold) {
  const std::vector<std::int64_t> n = counts_of(N, "N");
  const std::vector<std::int64_t> n1 = counts_of(N1, "N1", n.size());
  const std::vector<std::int64_t> k = counts_of(K, "K", n.size());
  const std::vector<std::int64_t> s = counts_of(S, "S", n.size());
  const std::vector<double> d_values = reals_of(d, "d");

  // Every decision is checked before any is analysed.
  std::string parameters = observed_parameters_error(d_values, alpha);
  if (parameters.empty()) parameters = rule_levels_error({alpha, threshold});
  if (!parameters.empty()) throw std::invalid_argument(parameters);
  std::vector<ObservedCounts> decisions;
  for (std::size_t i = 0; i < n.size(); ++i) {
    decisions.push_back({n[i], n1[i], k[i], s[i]});
    const std::string error = observed_counts_error(decisions.back());
    if (!error.empty()) {
      throw std::invalid_argument("decision " + std::to_string(i + 1) + ": " + error);
    }
  }

  // Each decision is analysed without the interpreter's lock; between two,
  // Python may handle a signal (Ctrl-C), whose exception ends the call.
  std::vector<std::vector<observed::RecordCell>> rows;
  for (const ObservedCounts& counts : decisions) {
    if (PyErr_CheckSignals() != 0) throw py::error_already_set();
    const py::gil_scoped_release release;
    const ObservedAnalysis analysis = analyse_observed(counts, d_values, alpha, threshold);
    for (const ObservedResult& r : analysis.results) rows.push_back(observed::record_cells(r));
  }
  std::vector<std::string> names;
  for (const observed::Column& c : observed::record_columns()) names.emplace_back(c.name);
  return columns_from_cells(names, observed::record_cells(ObservedResult{}), rows);
}

py::dict observed_groups(const std::vector<std::string>& names, const CountArray& applicants,
                         const CountArray& hires, const std::string& reference,
                         const std::string& minority, const RealArray& d, double alpha,
                         double threshold) {
  const std::vector<std::int64_t> a = counts_of(applicants, "group_applicants", names.size());
  const std::vector<std::int64_t> h = counts_of(hires, "group_hires", names.size());
  const std::vector<double> d_values = reals_of(d, "d");
  std::string parameters = observed_parameters_error(d_values, alpha);
  if (parameters.empty()) parameters = rule_levels_error({alpha, threshold});
  if (!parameters.empty()) throw std::invalid_argument(parameters);
  if (names.empty()) throw std::invalid_argument("groups: no groups");
  std::vector<GroupCount> counts;
  std::vector<observed::GroupTally> tallies;
  for (std::size_t g = 0; g < names.size(); ++g) {
    counts.push_back({names[g], a[g], h[g]});
    tallies.push_back({names[g], a[g], h[g]});
  }
  // Every pair is checked before any is analysed.
  std::vector<observed::Case> cases;
  for (GroupPair& p : compare_groups(counts, reference, minority)) {
    std::string why = p.unanalysable;
    if (why.empty()) why = observed_counts_error(p.counts);
    if (!why.empty()) throw std::invalid_argument(p.group + " against " + p.reference + ": " + why);
    observed::Case c;
    c.group = std::move(p.group);
    c.reference = std::move(p.reference);
    c.counts = p.counts;
    c.groups = tallies;
    cases.push_back(std::move(c));
  }

  // Each pair is analysed without the interpreter's lock; between two,
  // Python may handle a signal (Ctrl-C), whose exception ends the call.
  std::vector<std::vector<observed::RecordCell>> rows;
  for (const observed::Case& c : cases) {
    if (PyErr_CheckSignals() != 0) throw py::error_already_set();
    observed::CaseResult result;
    std::string error;
    {
      const py::gil_scoped_release release;
      result = observed::analyse_case(c, d_values, alpha, threshold, error);
    }
    if (!error.empty()) throw std::invalid_argument(error);
    for (const ObservedResult& r : result.records) {
      std::vector<observed::RecordCell> row = observed::record_cells(r);
      row.emplace_back(c.group);
      row.emplace_back(c.reference);
      row.emplace_back(result.P_any_flag_fair);
      rows.push_back(std::move(row));
    }
  }
  std::vector<std::string> columns;
  for (const observed::Column& c : observed::record_columns()) columns.emplace_back(c.name);
  std::vector<observed::RecordCell> kinds = observed::record_cells(ObservedResult{});
  for (const char* name : {"group", "reference"}) {
    columns.emplace_back(name);
    kinds.emplace_back(std::string());
  }
  columns.emplace_back("P_any_flag_fair");
  kinds.emplace_back(0.0);
  return columns_from_cells(columns, kinds, rows);
}

}  // namespace kemro::python
