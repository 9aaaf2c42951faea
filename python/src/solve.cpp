// The entry points of ai_solve(): the library's planning solves, whose
// batches of scenarios the library's worker threads compute.
#include "distribution/solve.hpp"

#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "compute.hpp"
#include "distribution/rules.hpp"
#include "entries.hpp"

namespace kemro::python {

namespace {

// The target in the library's words, or its reason as a ValueError.
Target target_from(const std::string& text) {
  Target target;
  std::string error;
  if (!parse_target(text, target, error)) throw std::invalid_argument("target: " + error);
  return target;
}

// An Evaluate that computes each batch on worker threads, so that a solve
// stops between scenarios on Ctrl-C.
Evaluate pool_evaluator(Engine engine, unsigned jobs) {
  return [engine, jobs](const std::vector<Scenario>& batch, bool keep_distribution) {
    return compute_all(batch, engine, keep_distribution, jobs);
  };
}

// The records of the solves as columns named and ordered as the library's
// solve records; numbers are NaN where kemro-grid leaves the field empty (a
// value that is not solved).
py::dict solve_columns(const std::vector<SolveResult>& results, const Target& target,
                       const std::string& solved_for) {
  const std::span<const std::string_view> fields = solve_field_names();
  std::vector<std::vector<SolveCell>> rows;
  for (const SolveResult& r : results) rows.push_back(solve_cells(solved_for, target, r));
  return columns_from_cells(std::vector<std::string>(fields.begin(), fields.end()),
                            solve_cells(solved_for, target, {}), rows);
}

}  // namespace

py::dict solve_d(const CountArray& N, const CountArray& N1, const CountArray& K,
                 const RealArray& alpha, const RealArray& threshold, double d_low, double d_high,
                 const std::string& target, const std::string& engine, long long jobs) {
  const Engine e = engine_named(engine);
  const Target t = target_from(target);
  const unsigned threads = jobs_checked(jobs);
  if (!(d_low < d_high)) throw std::invalid_argument("d: the range to search must rise");
  const std::vector<std::int64_t> n = counts_of(N, "N");
  const std::vector<std::int64_t> n1 = counts_of(N1, "N1", n.size());
  const std::vector<std::int64_t> k = counts_of(K, "K", n.size());
  const std::vector<double> a = reals_of(alpha, "alpha", n.size());
  const std::vector<double> th = reals_of(threshold, "threshold", n.size());
  std::vector<Scenario> bases;
  for (std::size_t i = 0; i < n.size(); ++i) {
    const std::string which = "record " + std::to_string(i + 1) + ": ";
    const RuleLevels levels{a[i], th[i]};
    bases.push_back(valid_scenario(n[i], n1[i], k[i], d_low, e, which, "N1", "K", levels));
    valid_scenario(n[i], n1[i], k[i], d_high, e, which, "N1", "K", levels);
  }
  return solve_columns(solve_effect_size(bases, d_low, d_high, t, pool_evaluator(e, threads)), t,
                       "d");
}

py::dict solve_discrete(const CountArray& range, const RealArray& value, const CountArray& N,
                        const CountArray& N1, const CountArray& K, const RealArray& d,
                        const RealArray& alpha, const RealArray& threshold,
                        const std::string& target, const std::string& solved_for,
                        const std::string& engine, long long jobs) {
  const Engine e = engine_named(engine);
  const Target t = target_from(target);
  const unsigned threads = jobs_checked(jobs);
  const std::vector<std::int64_t> ranges_of = counts_of(range, "range");
  const std::size_t rows = ranges_of.size();
  const std::vector<double> values = reals_of(value, "value", rows);
  const std::vector<std::int64_t> n = counts_of(N, "N", rows);
  const std::vector<std::int64_t> n1 = counts_of(N1, "N1", rows);
  const std::vector<std::int64_t> k = counts_of(K, "K", rows);
  const std::vector<double> effect = reals_of(d, "d", rows);
  const std::vector<double> a = reals_of(alpha, "alpha", rows);
  const std::vector<double> th = reals_of(threshold, "threshold", rows);
  std::vector<DiscreteRange> ranges;
  for (std::size_t i = 0; i < rows; ++i) {
    const auto r = static_cast<std::size_t>(std::max<std::int64_t>(ranges_of[i], 0));
    if (r != ranges.size() && r != ranges.size() + 1) {
      throw std::invalid_argument("range: the ranges must be numbered 1, 2, ... in order");
    }
    if (r > ranges.size()) ranges.emplace_back();
    const std::string which = "record " + std::to_string(r) + ": ";
    ranges.back().values.push_back(values[i]);
    ranges.back().scenarios.push_back(
        valid_scenario(n[i], n1[i], k[i], effect[i], e, which, "N1", "K", {a[i], th[i]}));
  }
  return solve_columns(solve_discrete(ranges, t, pool_evaluator(e, threads), e), t, solved_for);
}

}  // namespace kemro::python
