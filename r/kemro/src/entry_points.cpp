// The package's entry points into the KEMRO library, called from R only
// through the unexported cpp_ functions. The R wrappers check and recycle the
// arguments; each entry checks every scenario again with the library's own
// validation and throws std::invalid_argument with its reason. The generated
// wrappers (RcppExports.cpp, BEGIN_RCPP/END_RCPP) turn that and every other
// C++ exception into an R error, so none reaches R itself. Nothing here
// prints: trouble is counted and R decides what to show.
#include <Rcpp.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "distribution/observed.hpp"
#include "distribution/scenario.hpp"
#include "distribution/scenario_summary.hpp"
#include "distribution/solve.hpp"
#include "distribution/summaries.hpp"
#include "distribution/table.hpp"

namespace {

using kemro::Engine;
using kemro::Scenario;
using kemro::ScenarioResult;
using kemro::ScenarioWork;

// How often the main thread looks for an interrupt from the R console while
// worker threads compute.
constexpr std::chrono::milliseconds INTERRUPT_POLL{100};

// The engine of that name, or an R error naming the argument.
Engine engine_named(const std::string& name) {
  Engine engine = Engine::fast;
  if (!kemro::engine_from_name(name, engine)) {
    throw std::invalid_argument("`engine` must be \"fast\" or \"nested\", not \"" + name + "\"");
  }
  return engine;
}

// One scenario from the counts; throws the library's reason when `engine`
// cannot compute it. `which` names the scenario in the message ("" for one).
Scenario valid_scenario(int N, int N1, int K, double d, Engine engine, const std::string& which) {
  const Scenario s{N, N1, N - N1, K, d};
  const std::string reason = kemro::scenario_invalid_reason(s, engine);
  if (!reason.empty()) throw std::invalid_argument(which + reason);
  return s;
}

// A value for R: NaN and infinities (an undefined ratio, 0/0) become NA, as
// they are empty fields in kemro-grid's CSV.
double finite_or_na(double value) {
  return std::isfinite(value) ? value : NA_REAL;
}

// An AI from the table or its percentiles: the undefined-ratio code becomes NA.
double ratio_or_na(double AI) {
  return AI == kemro::UNDEFINED_RATIO ? NA_REAL : finite_or_na(AI);
}

// The work areas of the computing threads, made on R's thread and kept for
// as many batches as a solve hands over.
struct WorkAreas {
  std::vector<std::unique_ptr<ScenarioWork>> areas;

  // At least `count` work areas.
  void reserve(std::size_t count) {
    while (areas.size() < count) areas.push_back(std::make_unique<ScenarioWork>());
  }
};

// Computes every scenario on up to `jobs` threads (0: one per core), results
// in scenario order. The calling thread only waits and looks for an interrupt
// from the R console; on one, the workers finish their current scenario, take
// no other, and the interrupt goes on to R once they have joined. An exception
// in a worker is passed on the same way.
std::vector<ScenarioResult> compute_all(const std::vector<Scenario>& scenarios, Engine engine,
                                        bool keep_distribution, unsigned jobs, WorkAreas& work) {
  const std::size_t total = scenarios.size();
  std::vector<ScenarioResult> results(total);
  if (total == 0) return results;
  if (jobs == 0) jobs = std::max(1u, std::thread::hardware_concurrency());
  const std::size_t threads = std::min<std::size_t>(jobs, total);
  work.reserve(threads);

  std::atomic<std::size_t> next{0};
  std::atomic<bool> stop{false};
  std::size_t finished = 0;  // workers that have ended, under `mutex`
  std::exception_ptr failure;
  std::mutex mutex;
  std::condition_variable worker_ended;
  {
    std::vector<std::jthread> pool;
    for (std::size_t t = 0; t < threads; ++t) {
      pool.emplace_back([&, w = work.areas[t].get()] {
        try {
          for (std::size_t i = next++; i < total && !stop; i = next++) {
            results[i] = kemro::compute_scenario(scenarios[i], engine, keep_distribution, *w);
          }
        } catch (...) {
          const std::lock_guard lock(mutex);
          if (!failure) failure = std::current_exception();
          stop = true;
        }
        const std::lock_guard lock(mutex);
        ++finished;
        worker_ended.notify_one();
      });
    }
    std::unique_lock lock(mutex);
    while (finished < threads) {
      worker_ended.wait_for(lock, INTERRUPT_POLL);
      if (finished == threads) break;
      lock.unlock();
      try {
        Rcpp::checkUserInterrupt();
      } catch (...) {
        stop = true;
        throw;  // the pool joins while the interrupt unwinds
      }
      lock.lock();
    }
  }  // the pool joins here
  if (failure) std::rethrow_exception(failure);
  return results;
}

}  // namespace

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
      Rcpp::Named("warnings") = r.warnings);
}

// The summary of every scenario (N[i], N1[i], K[i], d[i]), all four of one
// length, as the columns of kemro-grid's CSV summary in its order; values of
// an abandoned scenario are NA, as undefined values are. `jobs` worker
// threads compute (0: one per core).
// [[Rcpp::export]]
Rcpp::List cpp_summary(Rcpp::IntegerVector N, Rcpp::IntegerVector N1, Rcpp::IntegerVector K,
                       Rcpp::NumericVector d, std::string engine, int jobs) {
  const Engine e = engine_named(engine);
  const R_xlen_t n = N.size();
  if (N1.size() != n || K.size() != n || d.size() != n) {
    throw std::invalid_argument("N, N1, K and d must have one length");
  }
  if (jobs < 0) throw std::invalid_argument("`jobs` must not be negative");
  std::vector<Scenario> scenarios;
  scenarios.reserve(static_cast<std::size_t>(n));
  for (R_xlen_t i = 0; i < n; ++i) {
    scenarios.push_back(
        valid_scenario(N[i], N1[i], K[i], d[i], e, "scenario " + std::to_string(i + 1) + ": "));
  }
  WorkAreas work;
  const std::vector<ScenarioResult> results =
      compute_all(scenarios, e, false, static_cast<unsigned>(jobs), work);

  Rcpp::IntegerVector index(n), N2(n), warnings(n);
  Rcpp::CharacterVector status(n);
  constexpr int VALUES = 8;  // the summary's numbers before the percentiles
  std::vector<Rcpp::NumericVector> values, percentiles;
  for (int v = 0; v < VALUES; ++v) values.emplace_back(n);
  for (std::size_t k = 0; k < kemro::NLDAT.size(); ++k) percentiles.emplace_back(n);
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
  return out;
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

namespace {

// The target in the library's words, or its reason as an R error.
kemro::Target target_from(const std::string& text) {
  kemro::Target target;
  std::string error;
  if (!kemro::parse_target(text, target, error)) throw std::invalid_argument("`target`: " + error);
  return target;
}

// An Evaluate that computes each batch on the package's worker threads, so
// that a solve can be interrupted from the R console between scenarios.
// The work areas live as long as the solve, not one batch.
kemro::Evaluate pool_evaluator(Engine engine, int jobs, WorkAreas& work) {
  if (jobs < 0) throw std::invalid_argument("`jobs` must not be negative");
  return [engine, jobs, &work](const std::vector<Scenario>& batch, bool keep_distribution) {
    return compute_all(batch, engine, keep_distribution, static_cast<unsigned>(jobs), work);
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
                       double d_low, double d_high, std::string target, std::string engine,
                       int jobs) {
  const Engine e = engine_named(engine);
  const kemro::Target t = target_from(target);
  if (!(d_low < d_high)) throw std::invalid_argument("the range of d must rise");
  WorkAreas work;
  std::vector<Scenario> bases;
  for (R_xlen_t i = 0; i < N.size(); ++i) {
    const std::string which = "record " + std::to_string(i + 1) + ": ";
    bases.push_back(valid_scenario(N[i], N1[i], K[i], d_low, e, which));
    valid_scenario(N[i], N1[i], K[i], d_high, e, which);
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
                              Rcpp::NumericVector d, std::string target, std::string engine,
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
    ranges.back().scenarios.push_back(valid_scenario(N[i], N1[i], K[i], d[i], e, which));
  }
  return solve_columns(kemro::solve_discrete(ranges, t, pool_evaluator(e, jobs, work)), t);
}
