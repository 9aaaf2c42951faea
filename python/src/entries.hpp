// The functions the extension module kemro._kemro exports (module.cpp binds
// them). Each takes one-dimensional arrays of equal length prepared by the
// Python layer and returns columns as a dict of arrays (texts as lists).
#pragma once

#include <pybind11/pybind11.h>

#include <cstdint>
#include <string>
#include <vector>

#include "compute.hpp"

namespace kemro::python {

// (name, text header, meaning) of every summary column, in record order.
py::list summary_catalogue();

// kemro-grid's summary record of each scenario (N[i], N1[i], K[i], d[i]) with
// the rules deciding at (alpha[i], threshold[i]), as columns named as in its
// CSV; `jobs` worker threads (0: one per core).
// `N1_name` and `K_name` say how N1 and K were formed, for the refusals.
py::dict summary(const CountArray& N, const CountArray& N1, const CountArray& K, const RealArray& d,
                 const RealArray& alpha, const RealArray& threshold, const std::string& engine,
                 long long jobs, const std::string& N1_name, const std::string& K_name);

// The several-group summary record of each scenario i: N[i] applicants in
// groups `names` (the reference first) by `shares` or `counts` (the other
// empty) with effect sizes `d`, selected by `selection` ("top-down" with K =
// hires[i], or round(selection_ratio[i] N) where hires[i] is 0; "cut-score"
// at cut_score[i], or where it is NaN at the cut score of selection_ratio[i]).
// Columns named as kemro-grid's group records; the design's refusals name
// the argument (group_names, group_shares, group_counts, group_d).
py::dict group_summary(const std::vector<std::string>& names, const RealArray& shares,
                       const CountArray& counts, const RealArray& d, const std::string& selection,
                       const CountArray& N, const CountArray& hires,
                       const RealArray& selection_ratio, const RealArray& cut_score,
                       long long jobs);

// The distribution of one scenario, (table columns, summary columns): the
// outcomes S = minority_hires with majority_hires, AI (NaN when undefined),
// probability and cumulative probability; the table is empty when the
// computation was abandoned.
py::tuple distribution(std::int64_t N, std::int64_t N1, std::int64_t K, double d,
                       const std::string& engine);

// The composite's effect size for the predictors' effect sizes, their weights
// (empty: all 1) and their correlations, either the upper triangle row by row
// or the whole matrix row by row.
double composite_d(const RealArray& predictor_d, const RealArray& weights,
                   const RealArray& intercorrelations);

// For each base scenario (its rules at alpha[i] and threshold[i]), the d in
// [d_low, d_high] at which the target's quantity equals its value (the
// library's bisection).
py::dict solve_d(const CountArray& N, const CountArray& N1, const CountArray& K,
                 const RealArray& alpha, const RealArray& threshold, double d_low, double d_high,
                 const std::string& target, const std::string& engine, long long jobs);

// For each range r = 1, 2, ... (the rows with range[i] == r, in order: the
// value searched and the scenario it gives), the first value meeting the
// target and the value from which on every value meets it; `solved_for` is
// the option searched as kemro-grid names it.
py::dict solve_discrete(const CountArray& range, const RealArray& value, const CountArray& N,
                        const CountArray& N1, const CountArray& K, const RealArray& d,
                        const RealArray& alpha, const RealArray& threshold,
                        const std::string& target, const std::string& solved_for,
                        const std::string& engine, long long jobs);

// (name, meaning) of every observed-decision column, in record order.
py::list observed_catalogue();

// kemro-observed's records for each decision (N[i], N1[i], K[i], S[i]) and
// every d, decisions outermost, the rules deciding at alpha and threshold;
// every decision is checked before any is analysed.
py::dict observed(const CountArray& N, const CountArray& N1, const CountArray& K,
                  const CountArray& S, const RealArray& d, double alpha, double threshold);

// kemro-observed's records for several groups of one decision (names[g]
// with applicants[g] and hires[g]): each group against the reference
// (`reference`, or when empty the highest selection rate), only `minority`
// when it is set, one record per pair and d, ending in group, reference and
// P_any_flag_fair as for applicant data. Every pair is checked before any is
// analysed; one that cannot be is a ValueError naming it.
py::dict observed_groups(const std::vector<std::string>& names, const CountArray& applicants,
                         const CountArray& hires, const std::string& reference,
                         const std::string& minority, const RealArray& d, double alpha,
                         double threshold);

}  // namespace kemro::python
