// The entry points of ai_summary() and ai_distribution(): scenarios computed
// by the library's compute_scenario and reported through kemro-grid's column
// catalogue, so every column the catalogue gains appears here too.
#include <stdexcept>
#include <string>
#include <vector>

#include "compute.hpp"
#include "distribution/columns.hpp"
#include "entries.hpp"
#include "model/composite.hpp"

namespace kemro::python {

namespace {

using grid::Cell;

// The catalogue's column names, in record order.
std::vector<std::string> summary_names() {
  std::vector<std::string> names;
  for (const grid::Column& c : grid::summary_catalogue()) names.emplace_back(c.name);
  return names;
}

// The summary records of the scenarios (1-based indices in `scenario`) as columns.
py::dict summary_columns_of(const std::vector<Scenario>& scenarios,
                            const std::vector<ScenarioResult>& results) {
  std::vector<std::vector<Cell>> rows;
  rows.reserve(results.size());
  for (std::size_t i = 0; i < results.size(); ++i) {
    grid::Scenario s;
    static_cast<Scenario&>(s) = scenarios[i];
    s.index = i + 1;
    rows.push_back(grid::summary_cells(s, results[i]));
  }
  return columns_from_cells(summary_names(),
                            grid::summary_cells(grid::Scenario{}, ScenarioResult{}), rows);
}

}  // namespace

py::list summary_catalogue() {
  py::list columns;
  for (const grid::Column& c : grid::summary_catalogue()) {
    columns.append(
        py::make_tuple(std::string(c.name), std::string(c.header), std::string(c.meaning)));
  }
  return columns;
}

py::dict summary(const CountArray& N, const CountArray& N1, const CountArray& K, const RealArray& d,
                 const RealArray& alpha, const RealArray& threshold, const std::string& engine,
                 long long jobs, const std::string& N1_name, const std::string& K_name) {
  const Engine e = engine_named(engine);
  const unsigned threads = jobs_checked(jobs);
  const std::vector<std::int64_t> n = counts_of(N, "N");
  const std::vector<std::int64_t> n1 = counts_of(N1, "N1", n.size());
  const std::vector<std::int64_t> k = counts_of(K, "K", n.size());
  const std::vector<double> effect = reals_of(d, "d", n.size());
  const std::vector<double> a = reals_of(alpha, "alpha", n.size());
  const std::vector<double> t = reals_of(threshold, "threshold", n.size());
  std::vector<Scenario> scenarios;
  scenarios.reserve(n.size());
  for (std::size_t i = 0; i < n.size(); ++i) {
    scenarios.push_back(valid_scenario(n[i], n1[i], k[i], effect[i], e,
                                       "scenario " + std::to_string(i + 1) + ": ", N1_name, K_name,
                                       {a[i], t[i]}));
  }
  return summary_columns_of(scenarios, compute_all(scenarios, e, false, threads));
}

py::tuple distribution(std::int64_t N, std::int64_t N1, std::int64_t K, double d,
                       const std::string& engine) {
  const Engine e = engine_named(engine);
  const std::vector<Scenario> scenario = {valid_scenario(N, N1, K, d, e, "")};
  std::vector<ScenarioResult> results = compute_all(scenario, e, true, 1);
  const std::vector<DistributionEntry>& entries = results.front().distribution;

  const auto M = static_cast<py::ssize_t>(entries.size());
  py::array_t<std::int64_t> minority(M), majority(M);
  py::array_t<double> AI(M), probability(M), cumulative(M);
  for (py::ssize_t m = 0; m < M; ++m) {
    const DistributionEntry& entry = entries[static_cast<std::size_t>(m)];
    minority.mutable_at(m) = entry.NY;
    majority.mutable_at(m) = entry.NX;
    // The table's code for an undefined ratio is NaN here, as in the summaries.
    AI.mutable_at(m) = entry.AI == UNDEFINED_RATIO ? NAN : entry.AI;
    probability.mutable_at(m) = entry.PVS;
    cumulative.mutable_at(m) = entry.PVSC;
  }
  py::dict table;
  table["minority_hires"] = minority;
  table["majority_hires"] = majority;
  table["AI"] = AI;
  table["probability"] = probability;
  table["cumulative"] = cumulative;
  results.front().distribution.clear();
  return py::make_tuple(table, summary_columns_of(scenario, results));
}

double composite_d(const RealArray& predictor_d, const RealArray& weights,
                   const RealArray& intercorrelations) {
  const std::vector<double> effects = reals_of(predictor_d, "predictor_d");
  const std::vector<double> w = reals_of(weights, "weights");
  const std::vector<double> r = reals_of(intercorrelations, "intercorrelations");
  const std::size_t n = effects.size();
  if (n == 0) throw std::invalid_argument("predictor_d must not be empty");
  std::vector<double> matrix;
  if (r.size() == n * n) {
    matrix = r;
  } else if (r.size() == n * (n - 1) / 2) {
    matrix = matrix_from_upper_triangle(r, n);
  } else {
    throw std::invalid_argument("intercorrelations: " + std::to_string(n) + " predictors need " +
                                std::to_string(n * (n - 1) / 2) +
                                " correlations (the upper triangle) or a " + std::to_string(n) +
                                " x " + std::to_string(n) + " matrix, not " +
                                std::to_string(r.size()) + " values");
  }
  const std::string error = correlation_matrix_error(matrix, n);
  if (!error.empty()) throw std::invalid_argument("intercorrelations: " + error);
  const CompositeEffect composite = composite_effect_size(effects, w, matrix);
  if (!composite.ok()) throw std::invalid_argument("predictor_d with weights: " + composite.error);
  return composite.d;
}

}  // namespace kemro::python
