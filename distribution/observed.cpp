// The observed-decision analysis. The formulas, one small function each:
//   SRA = (K - S) / N1, SRI = S / N2, AI = SRI / SRA, shortfall = K N2 / N - S;
//   the tests, the rules' verdicts and the impact ratio's interval come from
//     distribution/rules.hpp and Fisher's test from distribution/hypergeometric.hpp;
//   model: P(S <= s | d), P(S >= s | d) and P(S = s | d) from the fast engine.
// S falls stochastically as d grows, so P(S <= s | d) rises and P(S >= s | d)
// falls in d; each end of the interval is the root of one of them against
// alpha / 2, found by Brent's method on a bracket grown outward from d = 0.
#include "distribution/observed.hpp"

#include <gsl/gsl_errno.h>
#include <gsl/gsl_min.h>
#include <gsl/gsl_roots.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <memory>

#include "distribution/four_fifths.hpp"
#include "model/integrator.hpp"

namespace kemro {
namespace {

constexpr double FIRST_STEP = 1.0;            // first step of a bracket search in d
constexpr int MAX_ROOT_ITERATIONS = 200;      // Brent iterations for one interval end
constexpr int MAX_MINIMUM_ITERATIONS = 200;   // Brent iterations for the ML d
constexpr double MINIMUM_TOLERANCE_D = 1e-9;  // width in d at which the ML d is settled
constexpr int ML_GRID_POINTS = 17;            // grid over the interval that brackets the ML d
constexpr double NEGLIGIBLE_LOG = 1e300;      // -log P stand-in where P(S = s | d) underflows to 0

const double NaN = std::numeric_limits<double>::quiet_NaN();
const double INF = std::numeric_limits<double>::infinity();

// The fast engine's distribution of S for a sequence of d values, remembering
// the worst status it reported.
class Model {
 public:
  Model(std::int32_t N1, std::int32_t N2, std::int32_t K) : N1_(N1), N2_(N2), K_(K) {}

  const OutcomeProbabilities& at(double d) {
    if (!(has_last_ && d == last_d_)) {
      last_ = fast_outcome_probabilities(N1_, N2_, K_, d);
      last_d_ = d;
      has_last_ = true;
      if (static_cast<int>(last_.status) > static_cast<int>(worst_)) worst_ = last_.status;
    }
    return last_;
  }
  EngineStatus worst() const { return worst_; }

 private:
  std::int32_t N1_;
  std::int32_t N2_;
  std::int32_t K_;
  OutcomeProbabilities last_;
  double last_d_ = 0.0;
  bool has_last_ = false;
  EngineStatus worst_ = EngineStatus::converged;
};

// Adapts a callable double(double) to GSL's function type.
template <typename F>
double call(double x, void* f) {
  return (*static_cast<F*>(f))(x);
}
template <typename F>
gsl_function gsl_function_of(F& f) {
  return gsl_function{&call<F>, &f};
}

// The d at which the increasing function g reaches `target`: a bracket is grown
// from d = 0 outward (steps 1, 2, 4, ... up to D_SEARCH_LIMIT), then Brent's
// method narrows it to ROOT_TOLERANCE_D. NaN when no bracket is found.
template <typename G>
double increasing_root(G g, double target) {
  auto f = [&](double d) { return g(d) - target; };
  double inner = 0.0;
  double f_inner = f(inner);
  if (f_inner == 0.0) return inner;
  const double direction = f_inner < 0.0 ? 1.0 : -1.0;
  double outer = direction * FIRST_STEP;
  double f_outer = f(outer);
  while (std::isfinite(f_outer) && std::signbit(f_outer) == std::signbit(f_inner)) {
    if (std::abs(outer) >= D_SEARCH_LIMIT) return NaN;
    inner = outer;
    f_inner = f_outer;
    outer = direction * std::min(2.0 * std::abs(outer), D_SEARCH_LIMIT);
    f_outer = f(outer);
  }
  if (!std::isfinite(f_outer) || !std::isfinite(f_inner)) return NaN;
  if (f_outer == 0.0) return outer;

  gsl_function F = gsl_function_of(f);
  std::unique_ptr<gsl_root_fsolver, decltype(&gsl_root_fsolver_free)> solver(
      gsl_root_fsolver_alloc(gsl_root_fsolver_brent), &gsl_root_fsolver_free);
  if (!solver || gsl_root_fsolver_set(solver.get(), &F, std::min(inner, outer),
                                      std::max(inner, outer)) != GSL_SUCCESS) {
    return NaN;
  }
  for (int i = 0; i < MAX_ROOT_ITERATIONS; ++i) {
    if (gsl_root_fsolver_iterate(solver.get()) != GSL_SUCCESS) return NaN;
    const double lo = gsl_root_fsolver_x_lower(solver.get());
    const double hi = gsl_root_fsolver_x_upper(solver.get());
    if (gsl_root_test_interval(lo, hi, ROOT_TOLERANCE_D, 0.0) == GSL_SUCCESS) break;
  }
  return gsl_root_fsolver_root(solver.get());
}

// The d in [low, high] (both finite) that minimises f: the best point of an
// evenly spaced grid (moved outward while it sits at an end), then Brent's
// minimiser between its neighbours. NaN when the grid leaves the search range.
template <typename Objective>
double minimum_between(Objective f, double low, double high) {
  std::array<double, ML_GRID_POINTS> x{};
  std::array<double, ML_GRID_POINTS> y{};
  std::size_t best = 0;
  for (;;) {
    const double width = high - low;
    for (std::size_t i = 0; i < x.size(); ++i) {
      x[i] = low + width * static_cast<double>(i) / static_cast<double>(x.size() - 1);
      y[i] = f(x[i]);
    }
    best = static_cast<std::size_t>(std::min_element(y.begin(), y.end()) - y.begin());
    if (best > 0 && best + 1 < x.size()) break;
    if (std::max(std::abs(low), std::abs(high)) >= D_SEARCH_LIMIT) return NaN;
    // The minimum sits at an end: look one width further in that direction.
    const double shift = best == 0 ? -width : width;
    low = std::clamp(low + shift, -D_SEARCH_LIMIT, D_SEARCH_LIMIT);
    high = std::clamp(high + shift, -D_SEARCH_LIMIT, D_SEARCH_LIMIT);
  }
  if (!(y[best] < y[best - 1] && y[best] < y[best + 1])) return x[best];  // flat at rounding

  gsl_function F = gsl_function_of(f);
  std::unique_ptr<gsl_min_fminimizer, decltype(&gsl_min_fminimizer_free)> minimizer(
      gsl_min_fminimizer_alloc(gsl_min_fminimizer_brent), &gsl_min_fminimizer_free);
  if (!minimizer ||
      gsl_min_fminimizer_set_with_values(minimizer.get(), &F, x[best], y[best], x[best - 1],
                                         y[best - 1], x[best + 1], y[best + 1]) != GSL_SUCCESS) {
    return x[best];
  }
  for (int i = 0; i < MAX_MINIMUM_ITERATIONS; ++i) {
    if (gsl_min_fminimizer_iterate(minimizer.get()) != GSL_SUCCESS) break;
    const double lo = gsl_min_fminimizer_x_lower(minimizer.get());
    const double hi = gsl_min_fminimizer_x_upper(minimizer.get());
    if (gsl_min_test_interval(lo, hi, MINIMUM_TOLERANCE_D, 0.0) == GSL_SUCCESS) break;
  }
  return gsl_min_fminimizer_x_minimum(minimizer.get());
}

// SRA = (K - S) / N1
double majority_rate(const ObservedResult& r) {
  return static_cast<double>(r.K - r.S) / r.N1;
}

// SRI = S / N2
double minority_rate(const ObservedResult& r) {
  return static_cast<double>(r.S) / r.N2;
}

// shortfall = K N2 / N - S
double shortfall(const ObservedResult& r) {
  return static_cast<double>(r.K) * r.N2 / r.N - r.S;
}

}  // namespace

EffectSizeEstimate estimate_effect_size(std::int32_t N1, std::int32_t N2, std::int32_t K,
                                        std::int32_t S, double alpha) {
  const GslErrorsAsCodes gsl_errors;
  Model model(N1, N2, K);
  EffectSizeEstimate e;
  const bool smallest = S == smallest_outcome(N1, K);
  const bool largest = S == largest_outcome(N2, K);
  // S = smallest: P(S >= s | d) = 1 for every d, no upper end, and P(S = s | d)
  // rises without bound in d; S = largest: the mirror image.
  e.d_lower = largest
                  ? -INF
                  : increasing_root([&](double d) { return model.at(d).at_most(S); }, alpha / 2.0);
  e.d_upper =
      smallest ? INF
               : increasing_root([&](double d) { return -model.at(d).at_least(S); }, -alpha / 2.0);
  if (smallest || largest) {
    e.d_ml = smallest ? INF : -INF;
  } else if (std::isfinite(e.d_lower) && std::isfinite(e.d_upper)) {
    auto minus_log = [&](double d) {
      const double p = model.at(d).probability(S);
      return p > 0.0 ? -std::log(p) : NEGLIGIBLE_LOG;
    };
    e.d_ml = minimum_between(minus_log, e.d_lower, e.d_upper);
  } else {
    e.d_ml = NaN;
  }
  e.engine = model.worst();
  if (std::isnan(e.d_lower) || std::isnan(e.d_upper) || std::isnan(e.d_ml)) {
    e.status = EstimateStatus::no_bracket;
  }
  if (e.engine != EngineStatus::converged) e.status = EstimateStatus::engine_failed;
  return e;
}

ObservedAnalysis analyse_observed(const ObservedCounts& counts, std::span<const double> d_values,
                                  double alpha, double threshold) {
  const GslErrorsAsCodes gsl_errors;
  ObservedAnalysis analysis;
  analysis.error = observed_counts_error(counts);
  if (analysis.error.empty()) analysis.error = observed_parameters_error(d_values, alpha);
  const RuleLevels levels{alpha, threshold};
  if (analysis.error.empty()) analysis.error = rule_levels_error(levels);
  if (!analysis.ok()) return analysis;

  ObservedResult base;
  base.N = static_cast<std::int32_t>(counts.N);
  base.N1 = static_cast<std::int32_t>(counts.N1);
  base.N2 = static_cast<std::int32_t>(counts.N - counts.N1);
  base.K = static_cast<std::int32_t>(counts.K);
  base.S = static_cast<std::int32_t>(counts.S);
  base.SRA = majority_rate(base);
  base.SRI = minority_rate(base);
  base.AI = base.K > base.S ? base.SRI / base.SRA : NaN;
  base.four_fifths_violated = below_four_fifths(base.S, base.K - base.S, base.N1, base.N2);
  base.shortfall = shortfall(base);
  const ZTest z = two_proportion_z(base.N1, base.N2, base.K, base.S);
  base.z = z.z;
  base.p_z_two_sided = z.p_two_sided;
  const FisherTest fisher = fisher_test(base.N1, base.N2, base.K, base.S);
  base.p_fisher_one_sided = fisher.one_sided;
  base.p_fisher_two_sided = fisher.two_sided;
  base.p_fisher_mid_p = fisher.mid_p;
  const ZTest z_ir = log_ratio_z(base.N1, base.N2, base.K, base.S);
  base.z_ir = z_ir.z;
  base.p_z_ir = z_ir.p_two_sided;
  const RatioInterval interval = impact_ratio_interval(base.N1, base.N2, base.K, base.S, alpha);
  base.AI_lower = interval.lower;
  base.AI_upper = interval.upper;
  base.AI_interval_missing = interval.missing;
  base.threshold = threshold;
  base.flags = rule_flags(base.N1, base.N2, base.K, base.S, levels);
  base.four_fifths_survives_flip =
      base.flags[static_cast<std::size_t>(rule_index("four_fifths_flip"))];
  base.false_flag_rates = false_flag_rates(base.N1, base.N2, base.K, levels);
  const EffectSizeEstimate e = estimate_effect_size(base.N1, base.N2, base.K, base.S, alpha);
  base.d_ml = e.d_ml;
  base.d_lower = e.d_lower;
  base.d_upper = e.d_upper;
  base.alpha = alpha;
  base.estimate = e.status;

  for (double d : d_values) {
    ObservedResult r = base;
    r.d = d;
    const OutcomeProbabilities model = fast_outcome_probabilities(r.N1, r.N2, r.K, d);
    r.P_S_at_most_observed = model.at_most(r.S);
    // AI rises with S wherever it is defined (S < K), so AI <= observed AI is S <= s;
    // without a majority hire the observed AI is undefined and so is this.
    r.P_AI_at_most_observed = std::isnan(r.AI) ? NaN : r.P_S_at_most_observed;
    r.engine =
        static_cast<int>(model.status) > static_cast<int>(e.engine) ? model.status : e.engine;
    if (r.engine != EngineStatus::converged) r.estimate = EstimateStatus::engine_failed;
    analysis.results.push_back(r);
  }
  return analysis;
}

}  // namespace kemro
