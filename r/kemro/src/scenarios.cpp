// The entry points of ai_distribution() and ai_summary(): scenarios computed
// by the library's compute_scenario on the package's worker threads, and
// summarised through the library's column catalogue, so that every column
// the catalogue gains reaches ai_summary() too.
#include <Rcpp.h>

#include <cmath>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "compute.hpp"
#include "distribution/columns.hpp"
#include "distribution/four_fifths.hpp"
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

namespace {

using kemro::grid::Cell;

// The R type of each summary column, in catalogue order: that of its cells
// (a count is an integer, a text a character string, any other value a double).
std::vector<SEXPTYPE> summary_types() {
  std::vector<SEXPTYPE> types;
  for (const Cell& cell : kemro::grid::summary_cells(kemro::grid::Scenario{}, ScenarioResult{})) {
    types.push_back(std::holds_alternative<std::int64_t>(cell) ? INTSXP
                    : std::holds_alternative<double>(cell)     ? REALSXP
                                                               : STRSXP);
  }
  return types;
}

// The catalogue's column names, in record order.
Rcpp::CharacterVector summary_names() {
  Rcpp::CharacterVector names;
  for (const kemro::grid::Column& c : kemro::grid::summary_catalogue()) {
    names.push_back(std::string(c.name));
  }
  return names;
}

}  // namespace

// The columns of ai_summary() as the library's catalogue gives them, in
// record order: each one's name, R type ("integer", "double" or
// "character") and the words a plot calls it by ("" when it has none).
// [[Rcpp::export]]
Rcpp::DataFrame cpp_summary_columns() {
  Rcpp::CharacterVector type, words;
  for (SEXPTYPE t : summary_types()) type.push_back(Rf_type2char(t));
  for (const kemro::grid::Column& c : kemro::grid::summary_catalogue()) {
    words.push_back(std::string(c.words));
  }
  return Rcpp::DataFrame::create(Rcpp::Named("name") = summary_names(), Rcpp::Named("type") = type,
                                 Rcpp::Named("words") = words,
                                 Rcpp::Named("stringsAsFactors") = false);
}

// The words a plot calls each scenario option by, named by the option as
// kemro-grid spells it ("applicants", "minority-share", ...).
// [[Rcpp::export]]
Rcpp::CharacterVector cpp_option_words() {
  Rcpp::CharacterVector words;
  Rcpp::CharacterVector names;
  for (const kemro::grid::DimensionOption& o : kemro::grid::DIMENSION_OPTIONS) {
    words.push_back(std::string(o.words));
    names.push_back(std::string(o.name));
  }
  words.names() = names;
  return words;
}

// The summary of every scenario (N[i], N1[i], K[i], d[i]) with the rules'
// levels (alpha[i], threshold[i]), all six of one length, as the columns of
// the library's catalogue (kemro-grid's CSV summary) in its order; scenario
// is the 1-based index. Values that kemro-grid's CSV leaves empty are NA:
// those of an abandoned scenario, undefined ratios, and the fast engine's
// status, error estimate and evaluation count for the nested engine. `jobs`
// worker threads compute (0: one per core).
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
  const unsigned threads = jobs_checked(jobs);
  std::vector<Scenario> scenarios;
  scenarios.reserve(static_cast<std::size_t>(n));
  for (R_xlen_t i = 0; i < n; ++i) {
    scenarios.push_back(valid_scenario(N[i], N1[i], K[i], d[i], e,
                                       "scenario " + std::to_string(i + 1) + ": ",
                                       {alpha[i], threshold[i]}));
  }
  WorkAreas work;
  const std::vector<ScenarioResult> results = compute_all(scenarios, e, false, threads, work);

  const std::vector<SEXPTYPE> types = summary_types();
  Rcpp::List out(types.size());
  for (std::size_t c = 0; c < types.size(); ++c) out[c] = Rf_allocVector(types[c], n);
  for (R_xlen_t i = 0; i < n; ++i) {
    kemro::grid::Scenario s;
    static_cast<Scenario&>(s) = scenarios[static_cast<std::size_t>(i)];
    s.index = static_cast<std::size_t>(i + 1);
    const std::vector<Cell> cells =
        kemro::grid::summary_cells(s, results[static_cast<std::size_t>(i)]);
    for (std::size_t c = 0; c < cells.size(); ++c) {
      SEXP column = out[c];
      if (types[c] == INTSXP) {
        INTEGER(column)[i] = static_cast<int>(std::get<std::int64_t>(cells[c]));
      } else if (types[c] == REALSXP) {
        REAL(column)[i] = finite_or_na(std::get<double>(cells[c]));
      } else {
        const std::string_view text = std::get<std::string_view>(cells[c]);
        SET_STRING_ELT(column, i,
                       text.empty()
                           ? NA_STRING
                           : Rf_mkCharLenCE(text.data(), static_cast<int>(text.size()), CE_UTF8));
      }
    }
  }
  out.names() = summary_names();
  return out;
}
