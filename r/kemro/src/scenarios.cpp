// The entry points of ai_distribution() and ai_summary(): scenarios computed
// by the library's compute_scenario on the package's worker threads.
#include <Rcpp.h>

#include <cmath>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

#include "compute.hpp"
#include "distribution/four_fifths.hpp"
#include "distribution/summaries.hpp"
#include "distribution/table.hpp"

using kemro::Engine;
using kemro::Scenario;
using kemro::ScenarioResult;
using namespace kemro::r;

// The distribution of one scenario: the table's entries (empty when the
// computation was abandoned), whether it completed, and its warning count
// (integration warnings, abnormal returns and negative point probabilities,
// as kemro-grid counts them).
// [[Rcpp::export]]
Rcpp::List cpp_distribution(int N, int N1, int K, double d, std::string engine) {
  const Engine e = engine_named(engine);
  const std::vector<Scenario> scenario = {valid_scenario(N, N1, K, d, e, "")};
  WorkAreas work;
  const ScenarioResult r = compute_all(scenario, e, true, 1, work).front();

  const auto M = static_cast<R_xlen_t>(r.distribution.size());
  Rcpp::IntegerVector minority(M), majority(M);
  Rcpp::NumericVector AI(M), probability(M), cumulative(M);
  for (R_xlen_t m = 0; m < M; ++m) {
    const kemro::DistributionEntry& entry = r.distribution[static_cast<std::size_t>(m)];
    minority[m] = entry.NY;
    majority[m] = entry.NX;
    AI[m] = ratio_or_na(entry.AI);
    probability[m] = entry.PVS;
    cumulative[m] = entry.PVSC;
  }
  return Rcpp::List::create(
      Rcpp::Named("minority_hires") = minority, Rcpp::Named("majority_hires") = majority,
      Rcpp::Named("AI") = AI, Rcpp::Named("probability") = probability,
      Rcpp::Named("cumulative") = cumulative, Rcpp::Named("completed") = r.completed,
      Rcpp::Named("warnings") = r.warnings,
      Rcpp::Named("P_below_four_fifths") = r.completed ? r.P_below_four_fifths : NA_REAL,
      Rcpp::Named("P_undefined") = r.completed ? r.P_undefined : NA_REAL);
}

// Whether each outcome (NY minority and NX majority hires of a scenario with
// N1 majority and N2 minority applicants) has AI < 0.8, by the library's
// comparison in whole numbers; NA where a count is NA.
// [[Rcpp::export]]
Rcpp::LogicalVector cpp_below_four_fifths(Rcpp::IntegerVector NY, Rcpp::IntegerVector NX, int N1,
                                          int N2) {
  if (NY.size() != NX.size()) throw std::invalid_argument("NY and NX must have one length");
  Rcpp::LogicalVector below(NY.size());
  for (R_xlen_t i = 0; i < NY.size(); ++i) {
    below[i] = NY[i] == NA_INTEGER || NX[i] == NA_INTEGER
                   ? NA_LOGICAL
                   : static_cast<int>(kemro::below_four_fifths(NY[i], NX[i], N1, N2));
  }
  return below;
}

// The summary of every scenario (N[i], N1[i], K[i], d[i]) with the rules'
// levels (alpha[i], threshold[i]), all six of one length, as the columns of
// kemro-grid's CSV summary in its order; values of
// an abandoned scenario are NA, as undefined values are, and so are the fast
// engine's status, error estimate and evaluation count for the nested engine. `jobs` worker
// threads compute (0: one per core).
// [[Rcpp::export]]
Rcpp::List cpp_summary(Rcpp::IntegerVector N, Rcpp::IntegerVector N1, Rcpp::IntegerVector K,
                       Rcpp::NumericVector d, Rcpp::NumericVector alpha,
                       Rcpp::NumericVector threshold, std::string engine, int jobs) {
  const Engine e = engine_named(engine);
  const R_xlen_t n = N.size();
  if (N1.size() != n || K.size() != n || d.size() != n || alpha.size() != n ||
      threshold.size() != n) {
    throw std::invalid_argument("N, N1, K, d, alpha and threshold must have one length");
  }
  if (jobs < 0) throw std::invalid_argument("`jobs` must not be negative");
  std::vector<Scenario> scenarios;
  scenarios.reserve(static_cast<std::size_t>(n));
  for (R_xlen_t i = 0; i < n; ++i) {
    scenarios.push_back(valid_scenario(N[i], N1[i], K[i], d[i], e,
                                       "scenario " + std::to_string(i + 1) + ": ",
                                       {alpha[i], threshold[i]}));
  }
  WorkAreas work;
  const std::vector<ScenarioResult> results =
      compute_all(scenarios, e, false, static_cast<unsigned>(jobs), work);

  Rcpp::IntegerVector index(n), N2(n), warnings(n);
  Rcpp::CharacterVector status(n), engine_status(n), population_status(n);
  Rcpp::NumericVector error_estimate(n), evaluations(n);
  constexpr int VALUES = 8;  // the summary's numbers before the percentiles
  std::vector<Rcpp::NumericVector> values, percentiles;
  for (int v = 0; v < VALUES; ++v) values.emplace_back(n);
  for (std::size_t k = 0; k < kemro::NLDAT.size(); ++k) percentiles.emplace_back(n);
  std::vector<Rcpp::NumericVector> flag_rates;
  for (std::size_t k = 0; k < kemro::RULE_COUNT; ++k) flag_rates.emplace_back(n);
  for (R_xlen_t i = 0; i < n; ++i) {
    const ScenarioResult& r = results[static_cast<std::size_t>(i)];
    index[i] = static_cast<int>(i + 1);
    N2[i] = N[i] - N1[i];
    status[i] = r.completed ? "computed" : "abandoned";
    warnings[i] = r.warnings;
    const double exact[] = {r.P_below_four_fifths, r.P_undefined, r.expected_SRA, r.expected_SRI,
                            r.expected_AI};
    for (int v = 0; v < 5; ++v) values[v][i] = r.completed ? finite_or_na(exact[v]) : NA_REAL;
    values[5][i] = finite_or_na(r.population.SRA);
    values[6][i] = finite_or_na(r.population.SRI);
    values[7][i] = finite_or_na(r.population.AI);
    for (std::size_t k = 0; k < kemro::NLDAT.size(); ++k) {
      percentiles[k][i] = r.completed ? ratio_or_na(r.percentiles[k]) : NA_REAL;
    }
    for (std::size_t k = 0; k < kemro::RULE_COUNT; ++k) {
      flag_rates[k][i] = r.completed ? finite_or_na(r.P_flag[k]) : NA_REAL;
    }
    // The fast engine's own result; the nested engine has none (NA).
    const bool fast = r.engine == Engine::fast;
    engine_status[i] =
        fast ? Rcpp::String(kemro::engine_status_name(r.engine_status)) : Rcpp::String(NA_STRING);
    error_estimate[i] = fast ? r.error_estimate : NA_REAL;
    evaluations[i] = fast ? static_cast<double>(r.evaluations) : NA_REAL;
    population_status[i] = kemro::population_status_name(r.population_status);
  }

  Rcpp::List out;
  out.push_back(index, "scenario");
  out.push_back(N, "N");
  out.push_back(N1, "N1");
  out.push_back(N2, "N2");
  out.push_back(K, "K");
  out.push_back(d, "d");
  out.push_back(status, "status");
  const char* value_names[VALUES] = {"P_below_four_fifths", "P_undefined",  "expected_SRA",
                                     "expected_SRI",        "expected_AI",  "population_SRA",
                                     "population_SRI",      "population_AI"};
  for (int v = 0; v < VALUES; ++v) out.push_back(values[v], value_names[v]);
  for (std::size_t k = 0; k < kemro::NLDAT.size(); ++k) {
    char name[16];
    std::snprintf(name, sizeof name, "AI_P%02d", static_cast<int>(kemro::NLDAT[k]));
    out.push_back(percentiles[k], name);
  }
  out.push_back(warnings, "warnings");
  out.push_back(alpha, "alpha");
  out.push_back(threshold, "threshold");
  for (std::size_t k = 0; k < kemro::RULE_COUNT; ++k) {
    out.push_back(flag_rates[k], std::string(kemro::RULES[k].column));
  }
  out.push_back(engine_status, "engine_status");
  out.push_back(error_estimate, "error_estimate");
  out.push_back(evaluations, "evaluations");
  out.push_back(population_status, "population_status");
  return out;
}
