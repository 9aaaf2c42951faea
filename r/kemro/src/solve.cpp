// The entry points of ai_solve(): the library's planning solves, whose
// batches of scenarios the package's worker threads compute.
#include "distribution/solve.hpp"

#include <Rcpp.h>

#include <stdexcept>
#include <string>
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

// The results of the solves as R columns; value fields are NA unless solved,
// as kemro-grid leaves them empty.
Rcpp::List solve_columns(const std::vector<kemro::SolveResult>& results,
                         const kemro::Target& target) {
  const auto n = static_cast<R_xlen_t>(results.size());
  Rcpp::NumericVector value(n), stable_from(n), at_value(n), evaluations(n);
  Rcpp::CharacterVector status(n);
  for (R_xlen_t i = 0; i < n; ++i) {
    const kemro::SolveResult& r = results[static_cast<std::size_t>(i)];
    const bool solved = r.status == kemro::SolveStatus::solved;
    value[i] = solved ? finite_or_na(r.value) : NA_REAL;
    stable_from[i] = solved ? finite_or_na(r.stable_from) : NA_REAL;
    at_value[i] = solved ? number_or_na(r.quantity_at_value) : NA_REAL;
    status[i] = std::string(kemro::solve_status_name(r.status));
    evaluations[i] = static_cast<double>(r.evaluations);
  }
  return Rcpp::List::create(
      Rcpp::Named("value") = value, Rcpp::Named("stable_from") = stable_from,
      Rcpp::Named("quantity") = std::string(kemro::quantity_name(target.quantity)),
      Rcpp::Named("target") = kemro::target_text(target),
      Rcpp::Named("quantity_at_value") = at_value, Rcpp::Named("status") = status,
      Rcpp::Named("evaluations") = evaluations);
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
      kemro::solve_effect_size(bases, d_low, d_high, t, pool_evaluator(e, jobs, work)), t);
}

// For each range r = 1, 2, ... (the rows with range[i] == r, in order: the
// value searched and the scenario it gives), the first value meeting the
// target and the value from which on every value meets it.
// [[Rcpp::export]]
Rcpp::List cpp_solve_discrete(Rcpp::IntegerVector range, Rcpp::NumericVector value,
                              Rcpp::IntegerVector N, Rcpp::IntegerVector N1, Rcpp::IntegerVector K,
                              Rcpp::NumericVector d, Rcpp::NumericVector alpha,
                              Rcpp::NumericVector threshold, std::string target, std::string engine,
                              int jobs) {
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
  return solve_columns(kemro::solve_discrete(ranges, t, pool_evaluator(e, jobs, work), e), t);
}
