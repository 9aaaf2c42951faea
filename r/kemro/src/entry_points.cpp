// The package's entry points into the KEMRO library, called from R only
// through the unexported cpp_ functions. Arguments arrive checked by the R
// wrappers; each entry checks them again and throws std::invalid_argument,
// which the generated wrappers (RcppExports.cpp, BEGIN_RCPP/END_RCPP) turn
// into an R error like every other C++ exception, so none reaches R itself.
// Nothing here prints: trouble is counted and R decides what to show.
#include <Rcpp.h>

#include <cmath>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>

#include "distribution/analysis.hpp"
#include "distribution/observed.hpp"
#include "distribution/table.hpp"
#include "model/integrator.hpp"
#include "model/model_state.hpp"
#include "model/outcomes.hpp"

namespace {

using kemro::Analysis;
using kemro::Table;

// Counts what the outcome stage reports as trouble; trace rows and notices
// are not wanted in R.
class CountingListener final : public kemro::OutcomeListener {
 public:
  void integration_warning(int) override { ++count; }
  void trace_row(std::int32_t, std::int32_t, std::int32_t, double, double) override {}
  void abnormal_return(int) override { ++count; }
  void notice(std::string_view) override {}

  int count = 0;
};

// The counts of one scenario, as the R wrappers pass them.
struct Counts {
  std::int32_t N1 = 0;
  std::int32_t N2 = 0;
  std::int32_t K = 0;
  double d = 0.0;
};

// Throws unless 1 <= N1, 1 <= N2, 1 <= K <= N1 + N2 - 1, a finite d and a
// distribution that fits the table: the domain of every engine.
void check_counts(const Counts& c) {
  const std::int64_t N = std::int64_t{c.N1} + c.N2;
  if (c.N1 < 1 || c.N2 < 1 || N > INT32_MAX) {
    throw std::invalid_argument("N1 and N2 must be at least 1 with N1 + N2 < 2^31");
  }
  if (c.K < 1 || c.K >= N) throw std::invalid_argument("K must lie between 1 and N - 1");
  if (!std::isfinite(c.d)) throw std::invalid_argument("d must be finite");
  const std::int64_t needed = kemro::entries_needed(c.N1, c.N2, c.K);
  if (needed > kemro::TABLE_CAPACITY) {
    throw std::invalid_argument("the distribution needs " + std::to_string(needed) +
                                " entries, the table holds " +
                                std::to_string(kemro::TABLE_CAPACITY));
  }
}

// A model state for one scenario, ready for an analysis.
kemro::ModelState model_state(const Counts& c) {
  kemro::ModelState state;
  state.density_constant = kemro::normal_density_constant();
  state.d = c.d;
  state.N1 = c.N1;
  state.N2 = c.N2;
  state.K = c.K;
  return state;
}

// The majority share N1 / N that the population stage reads.
kemro::CFUN majority_share(const Counts& c) {
  return {static_cast<double>(c.N1) / static_cast<double>(std::int64_t{c.N1} + c.N2)};
}

// AI with the table's undefined-ratio code turned into R's NA.
double ratio_or_na(double AI) {
  return AI == kemro::UNDEFINED_RATIO ? NA_REAL : AI;
}

// The engine of that name, or an error naming the argument.
kemro::Engine engine_named(const std::string& name) {
  if (name == "fast") return kemro::Engine::fast;
  if (name == "nested") return kemro::Engine::nested;
  throw std::invalid_argument("`engine` must be \"fast\" or \"nested\", not \"" + name + "\"");
}

}  // namespace

// The distribution of one scenario: the table's entries (empty when the
// computation was abandoned), whether it completed, and its warning count
// (integration warnings, abnormal returns and negative point probabilities,
// as kemro-grid counts them, and a fast estimate that stopped short of its
// tolerance).
// [[Rcpp::export]]
Rcpp::List cpp_distribution(int N, int N1, int K, double d, std::string engine) {
  const Counts counts{N1, N - N1, K, d};
  check_counts(counts);
  const kemro::Engine e = engine_named(engine);
  kemro::ModelState state = model_state(counts);
  kemro::Integrators work;
  const auto table = std::make_unique<Table>();
  CountingListener listener;
  const Analysis analysis =
      kemro::analyse_with(e, state, majority_share(counts), work, *table, listener);

  const bool completed = analysis.outcomes.completed;
  const std::int32_t M = completed ? table->M : 0;
  Rcpp::IntegerVector minority(M), majority(M);
  Rcpp::NumericVector AI(M), probability(M), cumulative(M);
  for (std::int32_t m = 1; m <= M; ++m) {
    minority[m - 1] = table->NY[m];
    majority[m - 1] = table->NX[m];
    AI[m - 1] = ratio_or_na(table->AI[m]);
    probability[m - 1] = table->PVS[m];
    cumulative[m - 1] = table->PVSC[m];
  }
  const bool short_of_tolerance = analysis.engine_status != kemro::EngineStatus::converged;
  const int warnings = listener.count + static_cast<int>(analysis.negative_probabilities.size()) +
                       (completed && short_of_tolerance ? 1 : 0);
  return Rcpp::List::create(
      Rcpp::Named("minority_hires") = minority, Rcpp::Named("majority_hires") = majority,
      Rcpp::Named("AI") = AI, Rcpp::Named("probability") = probability,
      Rcpp::Named("cumulative") = cumulative, Rcpp::Named("completed") = completed,
      Rcpp::Named("warnings") = warnings);
}

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

// A value for R that keeps infinities (an unbounded end of the interval for d)
// and turns NaN (an undefined AI, an end not found) into NA.
double number_or_na(double value) {
  return std::isnan(value) ? NA_REAL : value;
}

}  // namespace

// The observed-decision analysis of kemro-observed for one decision (N, N1,
// K, S) and every model effect size in `d`: one record per d, as the columns
// of kemro-observed's CSV in its order. The library validates the counts and
// parameters and its reason becomes the R error.
// [[Rcpp::export]]
Rcpp::List cpp_observed(int N, int N1, int K, int S, Rcpp::NumericVector d, double alpha) {
  const kemro::ObservedCounts counts{N, N1, K, S};
  const std::vector<double> d_values(d.begin(), d.end());
  const kemro::ObservedAnalysis analysis = kemro::analyse_observed(counts, d_values, alpha);
  if (!analysis.ok()) throw std::invalid_argument(analysis.error);

  const auto n = static_cast<R_xlen_t>(analysis.results.size());
  Rcpp::IntegerVector rN(n), rN1(n), rN2(n), rK(n), rS(n);
  Rcpp::LogicalVector violated(n);
  Rcpp::CharacterVector status(n);
  constexpr int NUMBERS = 15;  // the numeric columns between S and status, less the flag
  std::vector<Rcpp::NumericVector> numbers;
  for (int v = 0; v < NUMBERS; ++v) numbers.emplace_back(n);
  for (R_xlen_t i = 0; i < n; ++i) {
    const kemro::ObservedResult& r = analysis.results[static_cast<std::size_t>(i)];
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
  return out;
}
