// The entry points of ai_solve(): the library's planning solves, whose
// batches of scenarios the package's worker threads compute.
#include "distribution/solve.hpp"

#include <Rcpp.h>

#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "compute.hpp"

using kemro::Engine;
using kemro::Scenario;
using kemro::ScenarioResult;
using namespace kemro::r;

namespace {

// The target in the library's words, or its reason as an R error.
kemro::Target target_from(const std::string& text) {
  kemro::Target target;
  std::string error;
  if (!kemro::parse_target(text, target, error)) throw std::invalid_argument("`target`: " + error);
  return target;
}

// An Evaluate that computes each batch on the library's worker pool, so
// that a solve can be interrupted from the R console between scenarios.
// The work areas live as long as the solve, not one batch.
kemro::Evaluate pool_evaluator(Engine engine, int jobs, WorkAreas& work) {
  const unsigned threads = jobs_checked(jobs);
  return [engine, threads, &work](const std::vector<Scenario>& batch, bool keep_distribution) {
    return compute_all(batch, engine, keep_distribution, threads, work);
  };
}

// The records of the solves as R columns named and ordered as the library's
// solve records: counts as integers, texts as strings, numbers as doubles
// with NA where kemro-grid leaves the field empty (a value that is not solved).
Rcpp::List solve_columns(const std::vector<kemro::SolveResult>& results,
                         const kemro::Target& target, const std::string& solved_for) {
  const std::span<const std::string_view> names = kemro::solve_field_names();
  const auto n = static_cast<R_xlen_t>(results.size());
  std::vector<std::vector<kemro::SolveCell>> rows;
  for (const kemro::SolveResult& r : results) {
    rows.push_back(kemro::solve_cells(solved_for, target, r));
  }
  // Each field's R type is that of its cells.
  const std::vector<kemro::SolveCell> kinds = kemro::solve_cells(solved_for, target, {});
  const auto cell = [&](R_xlen_t i, std::size_t c) -> const kemro::SolveCell& {
    return rows[static_cast<std::size_t>(i)][c];
  };
  Rcpp::List out(names.size());
  Rcpp::CharacterVector column_names;
  for (std::size_t c = 0; c < names.size(); ++c) {
    column_names.push_back(std::string(names[c]));
    if (std::holds_alternative<std::int64_t>(kinds[c])) {
      Rcpp::IntegerVector v(n);
      for (R_xlen_t i = 0; i < n; ++i) v[i] = static_cast<int>(std::get<std::int64_t>(cell(i, c)));
      out[c] = v;
    } else if (std::holds_alternative<double>(kinds[c])) {
      Rcpp::NumericVector v(n);
      for (R_xlen_t i = 0; i < n; ++i) v[i] = number_or_na(std::get<double>(cell(i, c)));
      out[c] = v;
    } else {
      Rcpp::CharacterVector v(n);
      for (R_xlen_t i = 0; i < n; ++i) v[i] = std::get<std::string>(cell(i, c));
      out[c] = v;
    }
  }
  out.names() = column_names;
  return out;
}

}  // namespace

// For each base scenario (N[i], N1[i], K[i]), the d in [d_low, d_high] at
// which the target's quantity equals its value, by the library's bisection.
// [[Rcpp::export]]
Rcpp::List cpp_solve_d(Rcpp::IntegerVector N, Rcpp::IntegerVector N1, Rcpp::IntegerVector K,
                       Rcpp::NumericVector alpha, Rcpp::NumericVector threshold, double d_low,
                       double d_high, std::string target, std::string engine, int jobs) {
  const Engine e = engine_named(engine);
  const kemro::Target t = target_from(target);
  if (!(d_low < d_high)) throw std::invalid_argument("the range of d must rise");
  WorkAreas work;
  std::vector<Scenario> bases;
  for (R_xlen_t i = 0; i < N.size(); ++i) {
    const std::string which = "record " + std::to_string(i + 1) + ": ";
    const kemro::RuleLevels levels{alpha[i], threshold[i]};
    bases.push_back(valid_scenario(N[i], N1[i], K[i], d_low, e, which, levels));
    valid_scenario(N[i], N1[i], K[i], d_high, e, which, levels);
  }
  return solve_columns(
      kemro::solve_effect_size(bases, d_low, d_high, t, pool_evaluator(e, jobs, work)), t, "d");
}

// For each range r = 1, 2, ... (the rows with range[i] == r, in order: the
// value searched and the scenario it gives), the first value meeting the
// target and the value from which on every value meets it; `solved_for` is
// the option searched as kemro-grid names it.
// [[Rcpp::export]]
Rcpp::List cpp_solve_discrete(Rcpp::IntegerVector range, Rcpp::NumericVector value,
                              Rcpp::IntegerVector N, Rcpp::IntegerVector N1, Rcpp::IntegerVector K,
                              Rcpp::NumericVector d, Rcpp::NumericVector alpha,
                              Rcpp::NumericVector threshold, std::string target,
                              std::string solved_for, std::string engine, int jobs) {
  const Engine e = engine_named(engine);
  const kemro::Target t = target_from(target);
  WorkAreas work;
  std::vector<kemro::DiscreteRange> ranges;
  for (R_xlen_t i = 0; i < range.size(); ++i) {
    const auto r = static_cast<std::size_t>(std::max(range[i], 0));
    if (r != ranges.size() && r != ranges.size() + 1) {
      throw std::invalid_argument("the ranges must be numbered 1, 2, ... in order");
    }
    if (r > ranges.size()) ranges.emplace_back();
    const std::string which = "record " + std::to_string(r) + ": ";
    ranges.back().values.push_back(value[i]);
    ranges.back().scenarios.push_back(
        valid_scenario(N[i], N1[i], K[i], d[i], e, which, {alpha[i], threshold[i]}));
  }
  return solve_columns(kemro::solve_discrete(ranges, t, pool_evaluator(e, jobs, work), e), t,
                       solved_for);
}
