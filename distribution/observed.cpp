// The observed-decision analysis. The formulas, one small function each:
//   SRA = (K - S) / N1, SRI = S / N2, AI = SRI / SRA, shortfall = K N2 / N - S;
//   z = (SRA - SRI) / sqrt(p (1 - p) (1/N1 + 1/N2)) with the pooled rate p = K / N;
//   Fisher: S is hypergeometric (K draws from N2 minority and N1 majority)
//     once the margins are fixed; one-sided P(S <= s), two-sided the sum over
//     the outcomes x with P(x) <= P(s) (1 + 1e-7), the usual relative tolerance
//     that keeps tables equal up to rounding together. The point probability
//     is a ratio of binomial probabilities with p = K/N,
//       h(x) = b(x; N2, p) b(K - x; N1, p) / b(K; N, p),
//     each from the saddle-point form of model/binomial.hpp, so that it keeps
//     its relative accuracy for every N (differences of log-factorials, as in
//     GSL's hypergeometric functions, lose about N log N times the rounding:
//     1.5e-8 of a probability near 1 at N = 1e7). A tail is summed from its
//     inner end outward with the ratio of neighbouring terms, on the side of
//     the mode where the terms fall, and the other side's tail is 1 minus it;
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
#include "model/binomial.hpp"
#include "model/integrator.hpp"

namespace kemro {
namespace {

constexpr double FISHER_RELATIVE_TOLERANCE = 1e-7;  // tables this close in probability tie
constexpr double TAIL_TOLERANCE = 1e-17;      // a tail's terms stop below this share of its sum
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

std::int32_t smallest_outcome(std::int32_t N1, std::int32_t K) {
  return std::max(0, K - N1);
}

std::int32_t largest_outcome(std::int32_t N2, std::int32_t K) {
  return std::min(K, N2);
}

// The hypergeometric distribution of S at d = 0 (K draws, N2 minority among N).
class Hypergeometric {
 public:
  Hypergeometric(std::int32_t N1, std::int32_t N2, std::int32_t K)
      : N1_(N1), N2_(N2), K_(K), low_(smallest_outcome(N1, K)), high_(largest_outcome(N2, K)) {
    const double N = static_cast<double>(N1) + N2;
    p_ = K / N;
    q_ = (N - K) / N;
    log_all_ = log_binomial_probability(K, N, p_, q_);
    const std::int64_t mode =
        (std::int64_t{K} + 1) * (std::int64_t{N2} + 1) / (std::int64_t{N1} + N2 + 2);
    mode_ = static_cast<std::int32_t>(std::clamp<std::int64_t>(mode, low_, high_));
  }

  std::int32_t low() const { return low_; }
  std::int32_t high() const { return high_; }
  std::int32_t mode() const { return mode_; }

  // h(x) = b(x; N2, p) b(K - x; N1, p) / b(K; N, p)
  double point(std::int32_t x) const {
    if (x < low_ || x > high_) return 0.0;
    return std::exp(log_binomial_probability(x, N2_, p_, q_) +
                    log_binomial_probability(K_ - x, N1_, p_, q_) - log_all_);
  }

  // P(S <= s)
  double at_most(std::int32_t s) const {
    if (s < low_) return 0.0;
    if (s >= high_) return 1.0;
    return s <= mode_ ? lower_tail(s) : 1.0 - upper_tail(s + 1);
  }

  // P(S >= s)
  double at_least(std::int32_t s) const {
    if (s <= low_) return 1.0;
    if (s > high_) return 0.0;
    return s > mode_ ? upper_tail(s) : 1.0 - lower_tail(s - 1);
  }

 private:
  // P(S <= s) for s <= mode, where the terms fall from s downward:
  // h(x - 1) = h(x) x (N1 - K + x) / ((N2 - x + 1) (K - x + 1)).
  double lower_tail(std::int32_t s) const {
    double term = point(s);
    double sum = term;
    for (std::int32_t x = s; x > low_ && term > sum * TAIL_TOLERANCE; --x) {
      term *= static_cast<double>(x) * (static_cast<double>(N1_) - K_ + x) /
              ((static_cast<double>(N2_) - x + 1) * (static_cast<double>(K_) - x + 1));
      sum += term;
    }
    return sum;
  }

  // P(S >= s) for s > mode, where the terms fall from s upward:
  // h(x + 1) = h(x) (N2 - x) (K - x) / ((x + 1) (N1 - K + x + 1)).
  double upper_tail(std::int32_t s) const {
    double term = point(s);
    double sum = term;
    for (std::int32_t x = s; x < high_ && term > sum * TAIL_TOLERANCE; ++x) {
      term *= (static_cast<double>(N2_) - x) * (static_cast<double>(K_) - x) /
              ((static_cast<double>(x) + 1) * (static_cast<double>(N1_) - K_ + x + 1));
      sum += term;
    }
    return sum;
  }

  std::int32_t N1_;
  std::int32_t N2_;
  std::int32_t K_;
  std::int32_t low_;
  std::int32_t high_;
  std::int32_t mode_ = 0;
  double p_ = 0.0;
  double q_ = 0.0;
  double log_all_ = 0.0;  // ln b(K; N, p)
};

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

FisherTest fisher_test(std::int32_t N1, std::int32_t N2, std::int32_t K, std::int32_t S) {
  const Hypergeometric h(N1, N2, K);
  FisherTest t;
  t.one_sided = h.at_most(S);

  // The distribution rises up to its mode and falls after it, so the outcomes
  // no more probable than s form a lower tail low..a and an upper tail b..high.
  const double threshold = h.point(S) * (1.0 + FISHER_RELATIVE_TOLERANCE);
  if (h.point(h.mode()) <= threshold) {
    t.two_sided = 1.0;
    return t;
  }
  // a: the last x in low..mode with h(x) <= threshold (low - 1 when none).
  std::int32_t below = h.low() - 1;
  std::int32_t above = h.mode();  // h(mode) > threshold
  while (above - below > 1) {
    const std::int32_t mid = below + (above - below) / 2;
    (h.point(mid) <= threshold ? below : above) = mid;
  }
  const std::int32_t a = below;
  // b: the first x in mode..high with h(x) <= threshold (high + 1 when none).
  below = h.mode();
  above = h.high() + 1;
  while (above - below > 1) {
    const std::int32_t mid = below + (above - below) / 2;
    (h.point(mid) <= threshold ? above : below) = mid;
  }
  const std::int32_t b = above;
  t.two_sided = std::min(h.at_most(a) + h.at_least(b), 1.0);
  return t;
}

ZTest two_proportion_z(std::int32_t N1, std::int32_t N2, std::int32_t K, std::int32_t S) {
  const double N = static_cast<double>(N1) + N2;
  const double pooled = K / N;
  // z = (SRA - SRI) / sqrt(p (1 - p) (1/N1 + 1/N2)); 1 <= K <= N - 1 keeps the root positive.
  const double standard_error =
      std::sqrt(pooled * (1.0 - pooled) * (1.0 / N1 + 1.0 / static_cast<double>(N2)));
  ZTest t;
  t.z = (static_cast<double>(K - S) / N1 - static_cast<double>(S) / N2) / standard_error;
  t.p_two_sided = std::erfc(std::abs(t.z) / std::sqrt(2.0));  // 2 (1 - Phi(|z|))
  return t;
}

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
                                  double alpha) {
  const GslErrorsAsCodes gsl_errors;
  ObservedAnalysis analysis;
  analysis.error = observed_counts_error(counts);
  if (analysis.error.empty()) analysis.error = observed_parameters_error(d_values, alpha);
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
