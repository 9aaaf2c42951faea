#include "model/nested/population.hpp"

#include <gsl/gsl_errno.h>
#include <gsl/gsl_roots.h>

#include <algorithm>
#include <cmath>
#include <memory>

#include "model/integrator.hpp"
#include "model/normal.hpp"

namespace kemro {
namespace {

constexpr double SEARCH_LOW = -8.0;              // lower end of the cutoff search interval
constexpr double SEARCH_HIGH = 8.0;              // upper end of the cutoff search interval
constexpr double ROOT_EPSABS = 1e-9;             // absolute tolerance on the cutoff
constexpr double ROOT_EPSREL = 1e-8;             // relative tolerance on the cutoff
constexpr int MAX_EVALUATIONS = 500;             // most evaluations of FUN1 in one search
constexpr int EVALUATIONS_BEFORE_ITERATING = 4;  // both ends, checked here and by the solver

using SolverPtr = std::unique_ptr<gsl_root_fsolver, decltype(&gsl_root_fsolver_free)>;

// Brent's method on [low, high], where FUN1 has finite values of opposite sign
// at the ends; returns the best estimate when the interval is small enough,
// the evaluations run out or the solver stops.
double brent_root(gsl_function& f, double low, double high) {
  SolverPtr solver(gsl_root_fsolver_alloc(gsl_root_fsolver_brent), &gsl_root_fsolver_free);
  if (!solver || gsl_root_fsolver_set(solver.get(), &f, low, high) != GSL_SUCCESS) return low;
  for (int evaluations = EVALUATIONS_BEFORE_ITERATING; evaluations < MAX_EVALUATIONS;
       ++evaluations) {
    if (gsl_root_fsolver_iterate(solver.get()) != GSL_SUCCESS) break;
    const double lo = gsl_root_fsolver_x_lower(solver.get());
    const double hi = gsl_root_fsolver_x_upper(solver.get());
    if (gsl_root_test_interval(lo, hi, ROOT_EPSABS, ROOT_EPSREL) == GSL_SUCCESS) break;
  }
  return gsl_root_fsolver_root(solver.get());
}

// Whether FUN1 has finite values of opposite sign at the two ends.
bool brackets_zero(double f_low, double f_high) {
  return std::isfinite(f_low) && std::isfinite(f_high) &&
         std::signbit(f_low) != std::signbit(f_high);
}

// The zero of FUN1 in [-8, 8]. Without a sign change there, the zero may lie
// beyond: for a large |d| the majority scores, and with them the cutoff, sit
// far from the minority's. The search then moves out to [d - 8, d + 8] joined
// with [-8, 8]. Where that fails too (no zero at all, as for K = 0 or K = N),
// the end of [-8, 8] where |FUN1| is smaller.
double population_cutoff(CutoffParams& params) {
  gsl_function f{&FUN1, &params};
  const double f_low = FUN1(SEARCH_LOW, &params);
  const double f_high = FUN1(SEARCH_HIGH, &params);
  if (f_low == 0.0) return SEARCH_LOW;
  if (f_high == 0.0) return SEARCH_HIGH;
  if (brackets_zero(f_low, f_high)) return brent_root(f, SEARCH_LOW, SEARCH_HIGH);

  const double d = params.state->d;
  if (std::isfinite(d)) {
    const double wide_low = std::min(SEARCH_LOW, d + SEARCH_LOW);
    const double wide_high = std::max(SEARCH_HIGH, d + SEARCH_HIGH);
    if (brackets_zero(FUN1(wide_low, &params), FUN1(wide_high, &params))) {
      return brent_root(f, wide_low, wide_high);
    }
  }
  return std::fabs(f_high) < std::fabs(f_low) ? SEARCH_HIGH : SEARCH_LOW;
}

}  // namespace

double FUN1(double u, void* params) {
  const auto& p = *static_cast<const CutoffParams*>(params);
  const double r = p.share->majority_share;
  const double a = 1.0 - PHID(u - p.state->d);
  const double b = 1.0 - PHID(u);
  const double N = static_cast<double>(p.state->N1) + static_cast<double>(p.state->N2);
  return (r * a + (1.0 - r) * b) - static_cast<double>(p.state->K) / N;
}

PopulationValues population_stage(const ModelState& state, const CFUN& share) {
  const QuietGslErrors quiet;
  CutoffParams params{&state, &share};
  PopulationValues values;
  values.cutoff = population_cutoff(params);
  values.SRA = 1.0 - PHID(values.cutoff - state.d);
  values.SRI = 1.0 - PHID(values.cutoff);
  values.AI = values.SRI / values.SRA;
  return values;
}

}  // namespace kemro
