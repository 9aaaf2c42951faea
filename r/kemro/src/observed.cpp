// The entry point of ai_observed(): the library's observed-decision analysis.
#include "distribution/observed.hpp"

#include <Rcpp.h>

#include <cmath>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "compute.hpp"
#include "distribution/group_pairs.hpp"
#include "distribution/groups.hpp"
#include "distribution/rules.hpp"

using kemro::r::number_or_na;

namespace {

// The estimate's status as kemro-observed writes it.
const char* estimate_status_name(kemro::EstimateStatus status) {
  switch (status) {
    case kemro::EstimateStatus::converged:
      return "converged";
    case kemro::EstimateStatus::no_bracket:
      return "no_bracket";
    case kemro::EstimateStatus::engine_failed:
      return "engine_failed";
  }
  return "engine_failed";
}

// The columns kemro-observed writes after status: the further tests, the
// impact ratio's interval and, for each rule of the library's table, whether
// it flags the decision and its false-flag rate at this size.
void add_rule_columns(Rcpp::List& out, const std::vector<kemro::ObservedResult>& results) {
  const auto n = static_cast<R_xlen_t>(results.size());
  const auto numbers = [&](double kemro::ObservedResult::*field, const char* name) {
    Rcpp::NumericVector v(n);
    for (R_xlen_t i = 0; i < n; ++i)
      v[i] = number_or_na(results[static_cast<std::size_t>(i)].*field);
    out.push_back(v, name);
  };
  numbers(&kemro::ObservedResult::p_fisher_mid_p, "p_fisher_mid_p");
  numbers(&kemro::ObservedResult::z_ir, "z_ir");
  numbers(&kemro::ObservedResult::p_z_ir, "p_z_ir");
  numbers(&kemro::ObservedResult::AI_lower, "AI_lower");
  numbers(&kemro::ObservedResult::AI_upper, "AI_upper");
  Rcpp::CharacterVector missing(n);
  Rcpp::LogicalVector survives(n);
  for (R_xlen_t i = 0; i < n; ++i) {
    const kemro::ObservedResult& r = results[static_cast<std::size_t>(i)];
    if (r.AI_interval_missing.empty()) {
      missing[i] = NA_STRING;
    } else {
      missing[i] = std::string(r.AI_interval_missing);
    }
    survives[i] = r.four_fifths_survives_flip;
  }
  out.push_back(missing, "AI_interval_missing");
  out.push_back(survives, "four_fifths_survives_flip");
  numbers(&kemro::ObservedResult::threshold, "threshold");
  for (std::size_t k = 0; k < kemro::RULE_COUNT; ++k) {
    Rcpp::LogicalVector flags(n);
    for (R_xlen_t i = 0; i < n; ++i) flags[i] = results[static_cast<std::size_t>(i)].flags[k];
    out.push_back(flags, "flags_" + std::string(kemro::RULES[k].name));
  }
  for (std::size_t k = 0; k < kemro::RULE_COUNT; ++k) {
    Rcpp::NumericVector rates(n);
    for (R_xlen_t i = 0; i < n; ++i) {
      rates[i] = number_or_na(results[static_cast<std::size_t>(i)].false_flag_rates[k]);
    }
    out.push_back(rates, "false_flag_rate_" + std::string(kemro::RULES[k].name));
  }
}

// The records of the results as the columns of kemro-observed's CSV, in its order.
Rcpp::List observed_columns(const std::vector<kemro::ObservedResult>& results) {
  const auto n = static_cast<R_xlen_t>(results.size());
  Rcpp::IntegerVector rN(n), rN1(n), rN2(n), rK(n), rS(n);
  Rcpp::LogicalVector violated(n);
  Rcpp::CharacterVector status(n);
  constexpr int NUMBERS = 15;  // the numeric columns between S and status, less the flag
  std::vector<Rcpp::NumericVector> numbers;
  for (int v = 0; v < NUMBERS; ++v) numbers.emplace_back(n);
  for (R_xlen_t i = 0; i < n; ++i) {
    const kemro::ObservedResult& r = results[static_cast<std::size_t>(i)];
    rN[i] = r.N;
    rN1[i] = r.N1;
    rN2[i] = r.N2;
    rK[i] = r.K;
    rS[i] = r.S;
    violated[i] = r.four_fifths_violated;
    status[i] = estimate_status_name(r.estimate);
    const double row[NUMBERS] = {r.SRA,
                                 r.SRI,
                                 r.AI,
                                 r.shortfall,
                                 r.z,
                                 r.p_z_two_sided,
                                 r.p_fisher_one_sided,
                                 r.p_fisher_two_sided,
                                 r.d,
                                 r.P_S_at_most_observed,
                                 r.P_AI_at_most_observed,
                                 r.d_ml,
                                 r.d_lower,
                                 r.d_upper,
                                 r.alpha};
    for (int v = 0; v < NUMBERS; ++v) numbers[v][i] = number_or_na(row[v]);
  }
  const char* number_names[NUMBERS] = {"SRA",
                                       "SRI",
                                       "AI",
                                       "shortfall",
                                       "z",
                                       "p_z_two_sided",
                                       "p_fisher_one_sided",
                                       "p_fisher_two_sided",
                                       "d",
                                       "P_S_at_most_observed",
                                       "P_AI_at_most_observed",
                                       "d_ml",
                                       "d_lower",
                                       "d_upper",
                                       "alpha"};
  Rcpp::List out;
  out.push_back(rN, "N");
  out.push_back(rN1, "N1");
  out.push_back(rN2, "N2");
  out.push_back(rK, "K");
  out.push_back(rS, "S");
  for (int v = 0; v < 3; ++v) out.push_back(numbers[v], number_names[v]);
  out.push_back(violated, "four_fifths_violated");
  for (int v = 3; v < NUMBERS; ++v) out.push_back(numbers[v], number_names[v]);
  out.push_back(status, "status");
  add_rule_columns(out, results);
  return out;
}

}  // namespace

// The observed-decision analysis of kemro-observed for each decision i
// (N[i], N1[i], K[i], S[i]) at model effect size d[i], all five of one
// length: one record per decision, as the columns of kemro-observed's CSV in
// its order. The library validates the counts and parameters and its reason
// becomes the R error. The R console can interrupt between decisions.
// [[Rcpp::export]]
Rcpp::List cpp_observed(Rcpp::IntegerVector N, Rcpp::IntegerVector N1, Rcpp::IntegerVector K,
                        Rcpp::IntegerVector S, Rcpp::NumericVector d, double alpha,
                        double threshold) {
  const R_xlen_t decisions = N.size();
  if (N1.size() != decisions || K.size() != decisions || S.size() != decisions ||
      d.size() != decisions) {
    throw std::invalid_argument("N, N1, K, S and d must have one length");
  }
  std::vector<kemro::ObservedResult> results;
  results.reserve(static_cast<std::size_t>(decisions));
  for (R_xlen_t i = 0; i < decisions; ++i) {
    Rcpp::checkUserInterrupt();
    const kemro::ObservedCounts counts{N[i], N1[i], K[i], S[i]};
    const double d_value = d[i];
    const kemro::ObservedAnalysis one =
        kemro::analyse_observed(counts, std::span<const double>(&d_value, 1), alpha, threshold);
    if (!one.ok()) {
      throw std::invalid_argument(
          decisions > 1 ? "decision " + std::to_string(i + 1) + ": " + one.error : one.error);
    }
    results.push_back(one.results.front());
  }

  return observed_columns(results);
}

// kemro-observed's records for several groups (names[g] with applicants[g]
// and hires[g]): each group compared with the reference (`reference`, or
// when empty the group with the highest selection rate) on the counts of the
// two alone, only the group `minority` when it is set, one record per pair
// and d value; then the fields group, reference and P_any_flag_fair, as for
// applicant data. A pair that cannot be analysed is an error that names it.
// [[Rcpp::export]]
Rcpp::List cpp_observed_groups(std::vector<std::string> names, std::vector<double> applicants,
                               std::vector<double> hires, std::string reference,
                               std::string minority, std::vector<double> d, double alpha,
                               double threshold) {
  std::vector<kemro::GroupCount> groups;
  std::vector<std::int64_t> all_applicants, all_hires;
  for (std::size_t g = 0; g < names.size(); ++g) {
    const auto a = static_cast<std::int64_t>(applicants[g]);
    const auto h = static_cast<std::int64_t>(hires[g]);
    groups.push_back({names[g], a, h});
    all_applicants.push_back(a);
    all_hires.push_back(h);
  }
  if (groups.empty()) throw std::invalid_argument("`groups` must not be empty");
  const std::vector<kemro::GroupPair> pairs = kemro::compare_groups(groups, reference, minority);
  // Every pair is checked before any is analysed.
  for (const kemro::GroupPair& p : pairs) {
    std::string why = p.unanalysable;
    if (why.empty()) why = kemro::observed_counts_error(p.counts);
    if (!why.empty()) throw std::invalid_argument(p.group + " against " + p.reference + ": " + why);
  }
  const double fair = kemro::fair_flag_probability(all_applicants, all_hires);
  std::vector<kemro::ObservedResult> results;
  std::vector<std::string> compared, against;
  for (const kemro::GroupPair& p : pairs) {
    Rcpp::checkUserInterrupt();
    const kemro::ObservedAnalysis one = kemro::analyse_observed(p.counts, d, alpha, threshold);
    if (!one.ok()) throw std::invalid_argument(one.error);
    for (const kemro::ObservedResult& r : one.results) {
      results.push_back(r);
      compared.push_back(p.group);
      against.push_back(p.reference);
    }
  }
  Rcpp::List out = observed_columns(results);
  out.push_back(Rcpp::wrap(compared), "group");
  out.push_back(Rcpp::wrap(against), "reference");
  out.push_back(Rcpp::NumericVector(results.size(), kemro::r::number_or_na(fair)),
                "P_any_flag_fair");
  return out;
}
