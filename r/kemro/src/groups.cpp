// The entry point of ai_summary() with several groups: the library forms and
// checks each scenario's group problem, computes its summary and names its
// record, as kemro-grid does for its group options.
#include "distribution/groups.hpp"

#include <Rcpp.h>

#include <climits>
#include <cmath>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <variant>
#include <vector>

#include "compute.hpp"
#include "distribution/group_record.hpp"

namespace {

// The argument of ai_summary() that each part of a design comes from.
const char* part_argument(kemro::GroupDesignError::Part part) {
  switch (part) {
    case kemro::GroupDesignError::Part::names:
      return "`group_names`";
    case kemro::GroupDesignError::Part::shares:
      return "`group_shares`";
    case kemro::GroupDesignError::Part::counts:
      return "`group_counts`";
    default:
      return "`group_d`";
  }
}

// One column of records: counts become integers (doubles where one does not
// fit R's integers), numbers doubles (NaN as NA), texts strings.
SEXP column_of(const std::vector<std::vector<kemro::GroupRecordCell>>& rows, std::size_t c,
               const kemro::GroupRecordCell& prototype) {
  const auto n = static_cast<R_xlen_t>(rows.size());
  return std::visit(
      [&](const auto& kind) -> SEXP {
        using T = std::decay_t<decltype(kind)>;
        if constexpr (std::is_same_v<T, std::string>) {
          Rcpp::CharacterVector v(n);
          for (R_xlen_t i = 0; i < n; ++i) v[i] = std::get<T>(rows[i][c]);
          return v;
        } else if constexpr (std::is_same_v<T, double>) {
          Rcpp::NumericVector v(n);
          for (R_xlen_t i = 0; i < n; ++i) v[i] = kemro::r::finite_or_na(std::get<T>(rows[i][c]));
          return v;
        } else {
          bool fits = true;
          for (R_xlen_t i = 0; i < n; ++i) fits = fits && std::get<T>(rows[i][c]) <= INT_MAX;
          if (fits) {
            Rcpp::IntegerVector v(n);
            for (R_xlen_t i = 0; i < n; ++i) v[i] = static_cast<int>(std::get<T>(rows[i][c]));
            return v;
          }
          Rcpp::NumericVector v(n);
          for (R_xlen_t i = 0; i < n; ++i) v[i] = static_cast<double>(std::get<T>(rows[i][c]));
          return v;
        }
      },
      prototype);
}

}  // namespace

// `jobs` checked as the entries that compute on the worker pool check it, for
// the several-group summary, which computes on R's thread and so uses none.
// [[Rcpp::export]]
int cpp_jobs_checked(int jobs) {
  return static_cast<int>(kemro::r::jobs_checked(jobs));
}

// The several-group record of each scenario i: N[i] applicants in groups
// `names` (the reference first) by `shares` or `counts` (the other empty)
// with effect sizes `d`, selected by `selection` ("top-down": K = hires[i],
// or round(ratio[i] N) where hires[i] is 0; "cut-score": at cut[i], or where
// it is NA at the cut score whose expected pass rate is ratio[i]). Every
// scenario is checked before any is computed; they are computed in order on
// R's thread, which looks for an interrupt between two.
// [[Rcpp::export]]
Rcpp::List cpp_group_summary(std::vector<std::string> names, std::vector<double> shares,
                             std::vector<int> counts, std::vector<double> d, std::string selection,
                             Rcpp::IntegerVector N, Rcpp::IntegerVector hires,
                             Rcpp::NumericVector ratio, Rcpp::NumericVector cut) {
  kemro::GroupDesign design;
  design.names = names;
  design.shares = shares;
  design.counts.assign(counts.begin(), counts.end());
  design.d = d;
  if (!kemro::selection_rule_from_name(selection, design.rule)) {
    throw std::invalid_argument("`selection` must be \"top-down\" or \"cut-score\"");
  }
  if (const kemro::GroupDesignError e = kemro::group_design_error(design); !e.reason.empty()) {
    throw std::invalid_argument(std::string(part_argument(e.part)) + ": " + e.reason);
  }
  const R_xlen_t n = N.size();
  if (hires.size() != n || ratio.size() != n || cut.size() != n) {
    throw std::invalid_argument("N, hires, ratio and cut must have one length");
  }
  std::vector<kemro::GroupProblem> problems(static_cast<std::size_t>(n));
  for (R_xlen_t i = 0; i < n; ++i) {
    const double C = Rcpp::NumericVector::is_na(cut[i]) ? NAN : cut[i];
    const std::string why = kemro::group_problem_for(design, N[i], hires[i], ratio[i], C,
                                                     problems[static_cast<std::size_t>(i)]);
    if (!why.empty()) {
      throw std::invalid_argument("scenario " + std::to_string(i + 1) +
                                  " (N = " + std::to_string(N[i]) + "): " + why);
    }
  }
  std::vector<std::vector<kemro::GroupRecordCell>> rows;
  for (std::size_t i = 0; i < problems.size(); ++i) {
    Rcpp::checkUserInterrupt();
    rows.push_back(
        kemro::group_record_cells(i + 1, problems[i], kemro::group_selection_summary(problems[i])));
  }
  kemro::GroupProblem prototype;
  prototype.rule = design.rule;
  prototype.applicants.assign(names.size(), 0);
  const std::vector<kemro::GroupRecordCell> kinds =
      kemro::group_record_cells(0, prototype, kemro::GroupSummary{});
  const std::vector<std::string> columns = kemro::group_record_names(names, design.rule);
  Rcpp::List out;
  for (std::size_t c = 0; c < columns.size(); ++c) {
    out.push_back(column_of(rows, c, kinds[c]), columns[c]);
  }
  return out;
}
