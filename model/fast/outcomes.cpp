// The fast exact engine: every outcome's probability from one adaptive
// Gauss-Kronrod integration over the score Z of the K-th highest scorer.
//
// With the binomial identities N1 b(k - 1; N1 - 1, p) = (k/p) b(k; N1, p) and
// N2 b(s - 1; N2 - 1, p) = (s/p) b(s; N2, p) the integrand of outcomes.hpp
// becomes one product of two binomials times a weight:
//
//   P(S = s) = integral of g(s; x) w(s; x) dx,
//   g(s; x)  = b(K - s; N1, p1) b(s; N2, p2)       (K - s majority and s minority scores above x),
//   w(s; x)  = (K - s) h1(x) + s h2(x),            h1 = phi(x - d)/p1, h2 = phi(x)/p2,
//
// where h1 and h2 are the hazard rates of the two groups at x, taken from the
// logarithms of density and upper tail so that they stay finite where p1 or
// p2 underflow.
//
// The range of Z. Z > b exactly when at least K of the N scores exceed b, and
// Z < a exactly when at most K - 1 do. The count of scores above x is a sum of
// independent Bernoulli variables with mean N pbar(x), pbar = (N1 p1 + N2 p2)/N,
// so Hoeffding's bound gives P(count >= K) <= exp(-N D(K/N || pbar(b))) for
// pbar(b) < K/N and P(count <= K - 1) <= exp(-N D((K - 1)/N || pbar(a))) for
// pbar(a) > (K - 1)/N, D the Bernoulli relative entropy. The range [a, b] is
// where both exponents reach TAIL_EXPONENT: each cut tail holds less than
// e^-700 < 1e-304 of probability, so no outcome loses more than that.
//
// At one node x, g(s) is log-concave in s with the ratio
//   g(s + 1)/g(s) = c (K - s)(N2 - s) / ((N1 - K + s + 1)(s + 1)),  c = q1 p2 / (p1 q2).
// Its mode is found by bisection on that ratio; ln g at the mode comes from
// the saddle-point binomial (binomial.hpp), and the neighbours from the ratio,
// re-anchored every REANCHOR_STEPS steps so that the rounding of the products
// stays near 1e-14 relative. The walk stops on each side where g w falls below
// NODE_FLOOR, since it only decreases away from the mode.
//
// Panels start at the spread of Z around the population cutoff and double in
// width outwards; each is bisected until the sum over outcomes of
// |Kronrod 21 - Gauss 10| meets its share of TOLERANCE (its width over the
// range's), or is at the rounding level of the panel's own sums. Nodes are
// offsets t from the cutoff, so that the panels tile the range exactly, and
// each group's tails at x = cutoff + t are corrected to first order for the
// rounding of that sum: the binomials magnify a relative change of p by about
// sqrt(N), and Z may concentrate within a few ulps of x.
//
// The window is the contiguous run of outcomes whose sums reach WINDOW_FLOOR;
// P(S <= s) and P(S >= s) are compensated running sums from either end.
#include "model/fast/outcomes.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <span>

#include "model/binomial.hpp"
#include "model/normal.hpp"

namespace kemro {
namespace {

constexpr double TAIL_EXPONENT = 700.0;        // each cut tail of Z has probability below e^-700
constexpr double TOLERANCE = 1e-13;            // wanted sum over outcomes of the absolute error
constexpr double NODE_FLOOR = 1e-305;          // g w below this at a node is left out
constexpr double LOG_NODE_FLOOR = -702.28845;  // ln NODE_FLOOR, rounded up
constexpr double WINDOW_FLOOR = 1e-300;  // outcomes below this at the window's ends are not stored
constexpr std::int32_t REANCHOR_STEPS = 64;  // ratio steps between saddle-point anchors
// The integrand's values carry a relative rounding noise of about
// eps (ROUNDING_BASE + ROUNDING_PER_ROOT sqrt(N)): ln g moves by (k - n p)/(p q)
// ~ sqrt(n) per unit of relative error in p. A panel whose |K - G| is at that
// level of its own mass cannot be improved by splitting it.
constexpr double ROUNDING_BASE = 100.0;
constexpr double ROUNDING_PER_ROOT = 4.0;
constexpr double NARROWEST_PANEL = 1e-11;  // relative width below which a panel is not split
constexpr double LOG_RATIO_LIMIT = 700.0;  // beyond it c over- or underflows
constexpr std::array<double, 9> CENTRAL_STEPS = {-4, -3, -2, -1, 0, 1, 2, 3, 4};  // in spreads
constexpr double FIRST_DOUBLING = 8.0;  // outer breakpoints at 8, 16, 32, ... spreads

// Gauss-Kronrod 21 abscissae on [0, 1] (odd index: the Gauss 10-point nodes) and weights.
constexpr std::array<double, 11> KRONROD_X = {0.99565716302580809,
                                              0.97390652851717174,
                                              0.93015749135570824,
                                              0.86506336668898454,
                                              0.7808177265864169,
                                              0.67940956829902444,
                                              0.56275713466860466,
                                              0.43339539412924721,
                                              0.2943928627014602,
                                              0.14887433898163122,
                                              0.0};
constexpr std::array<double, 11> KRONROD_W = {
    0.011694638867371874, 0.032558162307964725, 0.054755896574351995, 0.075039674810919957,
    0.093125454583697601, 0.10938715880229764,  0.12349197626206584,  0.13470921731147334,
    0.14277593857706009,  0.14773910490133849,  0.1494455540029169};
constexpr std::array<double, 5> GAUSS_W = {0.066671344308688138, 0.14945134915058059,
                                           0.21908636251598204, 0.26926671930999635,
                                           0.29552422471475287};

// The problem in doubles, with the feasible outcomes L..U.
struct Problem {
  double N1 = 0.0, N2 = 0.0, N = 0.0, K = 0.0, d = 0.0;
  std::int32_t L = 0, U = 0;
};

// The origin of the integration variable t = x - origin.x, near where Z
// concentrates: nodes are offsets from it, so that the panels tile exactly and
// the rounding of x = origin.x + t and y = origin.y + t is known. origin.y is
// origin.x - d rounded once, which shifts d by at most half an ulp of x.
struct Origin {
  double x = 0.0, y = 0.0;
};

// Upper tails, their complements and logarithms, and the hazards at one x.
struct NodeTails {
  double p1 = 0.0, q1 = 0.0, p2 = 0.0, q2 = 0.0;
  double log_c = 0.0;         // ln(q1 p2 / (p1 q2))
  double h1 = 0.0, h2 = 0.0;  // phi(x - d)/p1, phi(x)/p2
  double log_wmax = 0.0;      // ln(K max(h1, h2)), a bound on ln w(s)
};

// fl(a + b) and the exact residual (a + b) - fl(a + b), by Knuth's two-sum.
struct RoundedSum {
  double sum = 0.0, residual = 0.0;
};
RoundedSum two_sum(double a, double b) {
  const double sum = a + b;
  const double b_part = sum - a;
  return {sum, (a - (sum - b_part)) + (b - b_part)};
}

// One group's tails at the exact argument z + r, z a double and r its rounding
// residual, to first order in r: Q(z + r) = Q(z)(1 - h r) with the hazard
// h = phi(z)/Q(z), and Q(-z - r) = Q(-z)(1 + h' r) with h' = phi(z)/Q(-z).
// Where Z concentrates within a few ulps of x (N = 1e7 near x = 100 after a
// large d), the residual moves the binomials by sqrt(N) times its relative size.
struct GroupTails {
  double p = 0.0, q = 0.0, log_p = 0.0, log_q = 0.0;
  double log_hazard = 0.0;  // ln(phi(z)/p)
};
GroupTails group_tails(RoundedSum z) {
  GroupTails g;
  const double log_phi = (z.sum * z.sum) * (-0.5) - LN_SQRT_TWO_PI;
  const double log_upper = log_upper_tail(z.sum), log_lower = log_upper_tail(-z.sum);
  const double upper_shift = std::exp(log_phi - log_upper) * z.residual;  // h r
  const double lower_shift = std::exp(log_phi - log_lower) * z.residual;  // h' r
  g.p = upper_tail(z.sum) * (1.0 - upper_shift);
  g.q = upper_tail(-z.sum) * (1.0 + lower_shift);
  g.log_p = log_upper - upper_shift;
  g.log_q = log_lower + lower_shift;
  g.log_hazard = log_phi - g.log_p;
  return g;
}

// The tails at the node x = origin + t: the minority's at x and the majority's
// at y = x - d, both formed from the offset t so that their rounding is known.
NodeTails node_tails(const Problem& problem, const Origin& origin, double t) {
  const GroupTails majority = group_tails(two_sum(origin.y, t));
  const GroupTails minority = group_tails(two_sum(origin.x, t));
  NodeTails n;
  n.p1 = majority.p;
  n.q1 = majority.q;
  n.p2 = minority.p;
  n.q2 = minority.q;
  n.log_c = (majority.log_q - majority.log_p) + (minority.log_p - minority.log_q);
  n.h1 = std::exp(majority.log_hazard);
  n.h2 = std::exp(minority.log_hazard);
  n.log_wmax = std::log(problem.K) + std::max(majority.log_hazard, minority.log_hazard);
  return n;
}

// ln g(s; x) = ln b(K - s; N1, p1) + ln b(s; N2, p2)
double log_g(const Problem& problem, const NodeTails& t, std::int32_t s) {
  const double s_d = static_cast<double>(s);
  return log_binomial_probability(problem.K - s_d, problem.N1, t.p1, t.q1) +
         log_binomial_probability(s_d, problem.N2, t.p2, t.q2);
}

// The mode of g(.; x): the first s in L..U - 1 with g(s + 1) < g(s), else U.
std::int32_t conditional_mode(const Problem& problem, const NodeTails& t) {
  if (t.log_c >= LOG_RATIO_LIMIT) return problem.U;
  if (t.log_c <= -LOG_RATIO_LIMIT) return problem.L;
  const double c = std::exp(t.log_c);
  // g(s + 1) < g(s)  <=>  c (K - s)(N2 - s) < (N1 - K + s + 1)(s + 1); true at U - 1 or beyond
  const auto falls_after = [&](std::int32_t s) {
    const double s_d = static_cast<double>(s);
    return c * ((problem.K - s_d) * (problem.N2 - s_d)) <
           (problem.N1 - problem.K + s_d + 1.0) * (s_d + 1.0);
  };
  std::int32_t lo = problem.L, hi = problem.U;  // the answer lies in lo..hi
  while (lo < hi) {
    const std::int32_t mid = lo + (hi - lo) / 2;
    if (falls_after(mid)) {
      hi = mid;
    } else {
      lo = mid + 1;
    }
  }
  return lo;
}

// The values g(s) w(s) of one node over the contiguous s where they reach the floor.
struct NodeValues {
  std::int32_t first = 0;
  std::vector<double> values;  // for s = first, first + 1, ...
  std::uint64_t terms = 0;     // outcomes evaluated
  bool finite = true;
};

// w(s) = (K - s) h1 + s h2
double weight_at(const Problem& problem, const NodeTails& t, std::int32_t s) {
  const double s_d = static_cast<double>(s);
  return (problem.K - s_d) * t.h1 + s_d * t.h2;
}

// Fills `out` with g w at the node x = origin.x + offset, walking from the
// mode in both directions; `below` is scratch space for the downward walk.
void evaluate_node(const Problem& problem, const Origin& origin, double offset, NodeValues& out,
                   std::vector<double>& below) {
  out.values.clear();
  below.clear();
  out.terms = 0;
  const NodeTails tails = node_tails(problem, origin, offset);
  const std::int32_t mode = conditional_mode(problem, tails);
  out.first = mode;
  // v = g(s) * K max(h1, h2) >= g(s) w(s); the stored value is v w(s) / (K max(h1, h2)).
  const double log_v = log_g(problem, tails, mode) + tails.log_wmax;
  if (std::isnan(log_v)) {
    out.finite = false;
    return;
  }
  if (!(log_v >= LOG_NODE_FLOOR)) return;
  const double v = std::exp(log_v);
  const double inverse_wmax = std::exp(-tails.log_wmax);  // <= 1/v: finite
  const double c = std::exp(std::clamp(tails.log_c, -LOG_RATIO_LIMIT, LOG_RATIO_LIMIT));
  const double K = problem.K, N2 = problem.N2, A = problem.N1 - problem.K;

  out.values.push_back(v * weight_at(problem, tails, mode) * inverse_wmax);
  // Upwards: g(s + 1) = g(s) c (K - s)(N2 - s) / ((A + s + 1)(s + 1)).
  double up = v;
  for (std::int32_t s = mode + 1; s <= problem.U; ++s) {
    if ((s - mode) % REANCHOR_STEPS == 0) {
      up = std::exp(log_g(problem, tails, s) + tails.log_wmax);
    } else {
      const double r = static_cast<double>(s - 1);
      up *= c * ((K - r) * (N2 - r)) / ((A + r + 1.0) * (r + 1.0));
    }
    if (!(up >= NODE_FLOOR)) break;
    out.values.push_back(up * weight_at(problem, tails, s) * inverse_wmax);
  }
  // Downwards: g(s - 1) = g(s) (A + s) s / (c (K - s + 1)(N2 - s + 1)).
  double down = v;
  for (std::int32_t s = mode - 1; s >= problem.L; --s) {
    if ((mode - s) % REANCHOR_STEPS == 0) {
      down = std::exp(log_g(problem, tails, s) + tails.log_wmax);
    } else {
      const double r = static_cast<double>(s + 1);
      down *= ((A + r) * r) / (c * ((K - r + 1.0) * (N2 - r + 1.0)));
    }
    if (!(down >= NODE_FLOOR)) break;
    below.push_back(down * weight_at(problem, tails, s) * inverse_wmax);
  }
  out.terms = out.values.size() + below.size();
  if (!below.empty()) {
    out.first = mode - static_cast<std::int32_t>(below.size());
    out.values.insert(out.values.begin(), below.rbegin(), below.rend());
  }
  for (double value : out.values) {
    if (!std::isfinite(value)) out.finite = false;
  }
}

// Values indexed by outcome over a contiguous range that grows as values arrive.
class OutcomeSums {
 public:
  void clear() {
    values_.clear();
    first_ = 0;
  }
  // values_[s - first] += weight * values[i] for s = first + i.
  void add(std::int32_t first, std::span<const double> values, double weight) {
    if (values.empty()) return;
    cover(first, first + static_cast<std::int32_t>(values.size()) - 1);
    double* target = values_.data() + (first - first_);
    for (std::size_t i = 0; i < values.size(); ++i) target[i] += weight * values[i];
  }
  std::int32_t first() const { return first_; }
  std::span<const double> values() const { return values_; }

 private:
  // Grows the range to include lo..hi, filling new entries with 0.
  void cover(std::int32_t lo, std::int32_t hi) {
    if (values_.empty()) {
      first_ = lo;
      values_.assign(static_cast<std::size_t>(hi - lo + 1), 0.0);
      return;
    }
    if (lo < first_) {
      values_.insert(values_.begin(), static_cast<std::size_t>(first_ - lo), 0.0);
      first_ = lo;
    }
    const std::int32_t last = first_ + static_cast<std::int32_t>(values_.size()) - 1;
    if (hi > last) values_.resize(values_.size() + static_cast<std::size_t>(hi - last), 0.0);
  }

  std::int32_t first_ = 0;
  std::vector<double> values_;
};

// The work of one call: the problem, its range and the running sums.
struct Integration {
  Problem problem;
  Origin origin;
  double range_width = 0.0;
  double rounding_level = 0.0;  // relative noise of the integrand's values
  OutcomeSums total;            // accepted panels' Kronrod sums
  OutcomeSums kronrod, gauss;   // the current panel's
  NodeValues node;
  std::vector<double> scratch;
  double abserr = 0.0;
  std::uint64_t evaluations = 0;
  std::int32_t panels = 0;
  std::int32_t max_panels = FAST_MAX_PANELS;
  EngineStatus status = EngineStatus::converged;
};

// Kronrod and Gauss sums of the panel [lo, hi] into work.kronrod and work.gauss;
// returns the sum over outcomes of |Kronrod - Gauss|, and the Kronrod mass through `mass`.
double integrate_panel(Integration& work, double lo, double hi, double& mass) {
  work.kronrod.clear();
  work.gauss.clear();
  const double center = 0.5 * (lo + hi);
  const double half = 0.5 * (hi - lo);
  for (std::size_t j = 0; j < KRONROD_X.size(); ++j) {
    const bool gauss_node = j % 2 == 1;
    for (const double side : {-1.0, 1.0}) {
      if (j + 1 == KRONROD_X.size() && side > 0.0) break;  // the centre once
      evaluate_node(work.problem, work.origin, center + side * half * KRONROD_X[j], work.node,
                    work.scratch);
      work.evaluations += work.node.terms;
      if (!work.node.finite) work.status = EngineStatus::bad_integrand;
      work.kronrod.add(work.node.first, work.node.values, half * KRONROD_W[j]);
      if (gauss_node) work.gauss.add(work.node.first, work.node.values, half * GAUSS_W[j / 2]);
    }
  }
  // |K - G| summed over the Kronrod range (the Gauss range lies inside it).
  double error = 0.0;
  mass = 0.0;
  const std::span<const double> k = work.kronrod.values();
  const std::span<const double> g = work.gauss.values();
  const std::int32_t offset = work.gauss.first() - work.kronrod.first();
  for (std::size_t i = 0; i < k.size(); ++i) {
    const std::int64_t gi = static_cast<std::int64_t>(i) - offset;
    const double gv = gi >= 0 && gi < static_cast<std::int64_t>(g.size()) ? g[gi] : 0.0;
    error += std::fabs(k[i] - gv);
    mass += k[i];
  }
  return error;
}

// Integrates over the breakpoints, bisecting every panel until it meets its share.
void integrate(Integration& work, const std::vector<double>& breakpoints) {
  struct Panel {
    double lo, hi;
  };
  std::vector<Panel> pending;
  for (std::size_t i = breakpoints.size() - 1; i > 0; --i) {
    pending.push_back({breakpoints[i - 1], breakpoints[i]});
  }
  while (!pending.empty()) {
    const Panel panel = pending.back();
    pending.pop_back();
    double mass = 0.0;
    const double error = integrate_panel(work, panel.lo, panel.hi, mass);
    ++work.panels;
    const double width = panel.hi - panel.lo;
    const bool settled =
        error <= TOLERANCE * width / work.range_width || error <= work.rounding_level * mass;
    const double mid = 0.5 * (panel.lo + panel.hi);
    const bool splittable =
        width > NARROWEST_PANEL * std::max(1.0, std::fabs(mid)) && mid > panel.lo && mid < panel.hi;
    const bool at_limit =
        work.panels + static_cast<std::int32_t>(pending.size()) >= work.max_panels;
    if (settled || !splittable || at_limit || work.status == EngineStatus::bad_integrand) {
      if (!settled && work.status == EngineStatus::converged) {
        work.status = at_limit ? EngineStatus::subdivision_limit : EngineStatus::roundoff;
      }
      work.total.add(work.kronrod.first(), work.kronrod.values(), 1.0);
      work.abserr += error;
      continue;
    }
    pending.push_back({mid, panel.hi});
    pending.push_back({panel.lo, mid});
  }
}

// pbar(x) = (N1 Q(x - d) + N2 Q(x))/N and 1 - pbar(x) = (N1 Q(d - x) + N2 Q(-x))/N.
struct ShareAbove {
  double above = 0.0, below = 0.0;
};
ShareAbove share_above(const Problem& problem, double x) {
  return {(problem.N1 * upper_tail(x - problem.d) + problem.N2 * upper_tail(x)) / problem.N,
          (problem.N1 * upper_tail(problem.d - x) + problem.N2 * upper_tail(-x)) / problem.N};
}

// The cutoff u with pbar(u) = K/N, the spread of Z around it and the range [a, b].
struct ZRange {
  double cutoff = 0.0, spread = 0.0, a = 0.0, b = 0.0;
};

ZRange z_range(const Problem& problem) {
  const double top = std::max(0.0, problem.d) + NORMAL_REACH;
  const double bottom = std::min(0.0, problem.d) - NORMAL_REACH;
  const double share = problem.K / problem.N;
  ZRange r;
  r.cutoff =
      switch_point(bottom, top, [&](double x) { return share_above(problem, x).above <= share; });
  // sqrt(p (1 - p)/N) / f(u), f the pooled density
  const double u = r.cutoff;
  const double density =
      (problem.N1 * std::exp(-0.5 * (u - problem.d) * (u - problem.d) - LN_SQRT_TWO_PI) +
       problem.N2 * std::exp(-0.5 * u * u - LN_SQRT_TWO_PI)) /
      problem.N;
  r.spread = std::sqrt(share * (1.0 - share) / problem.N) / density;
  if (!(r.spread > 0.0) || !std::isfinite(r.spread)) r.spread = 1.0;
  r.b = switch_point(u, top, [&](double x) {
    const ShareAbove s = share_above(problem, x);
    return s.above < share &&
           bernoulli_divergence(problem.N, share, s.above, s.below) >= TAIL_EXPONENT;
  });
  const double share_below = (problem.K - 1.0) / problem.N;
  r.a = -switch_point(-u, -bottom, [&](double minus_x) {
    const ShareAbove s = share_above(problem, -minus_x);
    return s.above > share_below &&
           bernoulli_divergence(problem.N, share_below, s.above, s.below) >= TAIL_EXPONENT;
  });
  return r;
}

// Breakpoints as offsets t from the cutoff: 0, +-1..4 spreads, then +- 8, 16,
// 32, ... spreads, inside [a, b] - cutoff.
std::vector<double> initial_breakpoints(const ZRange& r) {
  const double a = r.a - r.cutoff, b = r.b - r.cutoff;
  std::vector<double> points = {a, b};
  const auto add = [&](double t) {
    if (t > a && t < b) points.push_back(t);
  };
  for (const double step : CENTRAL_STEPS) add(step * r.spread);
  for (double reach = FIRST_DOUBLING * r.spread; - reach > a || reach < b; reach *= 2.0) {
    add(-reach);
    add(reach);
  }
  std::sort(points.begin(), points.end());
  points.erase(std::unique(points.begin(), points.end()), points.end());
  return points;
}

// Neumaier-compensated running sums: sums[i] = sum of values[0..i].
void running_sums(std::span<const double> values, std::span<double> sums) {
  double sum = 0.0, compensation = 0.0;
  for (std::size_t i = 0; i < values.size(); ++i) {
    const double t = sum + values[i];
    compensation +=
        std::fabs(sum) >= std::fabs(values[i]) ? (sum - t) + values[i] : (values[i] - t) + sum;
    sum = t;
    sums[i] = sum + compensation;
  }
}

bool valid_input(std::int32_t N1, std::int32_t N2, std::int32_t K, double d,
                 std::int32_t max_panels) {
  const std::int64_t N = static_cast<std::int64_t>(N1) + static_cast<std::int64_t>(N2);
  return N1 >= 1 && N2 >= 1 && N <= FAST_MAX_APPLICANTS && K >= 1 && K <= N - 1 &&
         std::isfinite(d) && max_panels >= 1;
}

}  // namespace

OutcomeProbabilities fast_outcome_probabilities(std::int32_t N1, std::int32_t N2, std::int32_t K,
                                                double d, std::int32_t max_panels) {
  OutcomeProbabilities result;
  if (!valid_input(N1, N2, K, d, max_panels)) return result;

  Integration work;
  work.max_panels = max_panels;
  Problem& p = work.problem;
  p.N1 = N1;
  p.N2 = N2;
  p.N = static_cast<double>(N1) + static_cast<double>(N2);
  p.K = K;
  p.d = std::clamp(d, -FAST_LARGEST_SEPARATION, FAST_LARGEST_SEPARATION);
  p.L = std::max(0, K - N1);
  p.U = std::min(K, N2);

  const ZRange range = z_range(p);
  work.origin = {range.cutoff, range.cutoff - p.d};
  work.range_width = range.b - range.a;
  work.rounding_level =
      std::numeric_limits<double>::epsilon() * (ROUNDING_BASE + ROUNDING_PER_ROOT * std::sqrt(p.N));
  integrate(work, initial_breakpoints(range));

  // Trim the ends below the window floor.
  const std::span<const double> sums = work.total.values();
  std::size_t begin = 0, end = sums.size();
  while (begin < end && sums[begin] < WINDOW_FLOOR) ++begin;
  while (end > begin && sums[end - 1] < WINDOW_FLOOR) --end;
  result.status = work.status;
  result.abserr = work.abserr;
  result.evaluations = work.evaluations;
  if (begin == end || result.status == EngineStatus::bad_integrand) {
    // A non-finite value, or nothing that reached the floor (which only a
    // failed integration can give): no window, so nothing NaN is handed out.
    result.status = EngineStatus::bad_integrand;
    return result;
  }
  result.first = work.total.first() + static_cast<std::int32_t>(begin);
  result.point.assign(sums.begin() + static_cast<std::ptrdiff_t>(begin),
                      sums.begin() + static_cast<std::ptrdiff_t>(end));
  const std::size_t size = result.point.size();
  result.lower.resize(size);
  result.upper.resize(size);
  running_sums(result.point, result.lower);
  std::vector<double> reversed(result.point.rbegin(), result.point.rend());
  std::vector<double> reversed_sums(size);
  running_sums(reversed, reversed_sums);
  std::copy(reversed_sums.rbegin(), reversed_sums.rend(), result.upper.begin());
  return result;
}

// A result without a window (invalid input) has no probabilities: all three give 0.
double OutcomeProbabilities::probability(std::int64_t s) const {
  const std::int64_t i = s - first;
  if (i < 0 || i >= static_cast<std::int64_t>(point.size())) return 0.0;
  return point[static_cast<std::size_t>(i)];
}

double OutcomeProbabilities::at_most(std::int64_t s) const {
  const std::int64_t i = s - first;
  const auto size = static_cast<std::int64_t>(point.size());
  if (size == 0 || i < 0) return 0.0;
  if (i >= size - 1) return 1.0;
  const double below = lower[static_cast<std::size_t>(i)];
  return below <= 0.5 ? below : 1.0 - upper[static_cast<std::size_t>(i + 1)];
}

double OutcomeProbabilities::at_least(std::int64_t s) const {
  const std::int64_t i = s - first;
  const auto size = static_cast<std::int64_t>(point.size());
  if (size == 0) return 0.0;
  if (i <= 0) return 1.0;
  if (i >= size) return 0.0;
  const double above = upper[static_cast<std::size_t>(i)];
  return above <= 0.5 ? above : 1.0 - lower[static_cast<std::size_t>(i - 1)];
}

const char* engine_status_name(EngineStatus status) {
  switch (status) {
    case EngineStatus::converged:
      return "converged";
    case EngineStatus::subdivision_limit:
      return "subdivision_limit";
    case EngineStatus::roundoff:
      return "roundoff";
    case EngineStatus::bad_integrand:
      return "bad_integrand";
    case EngineStatus::invalid_input:
      break;
  }
  return "invalid_input";
}

}  // namespace kemro
