#include "tests/support/reference.hpp"

#include <gsl/gsl_cdf.h>
#include <gsl/gsl_errno.h>
#include <gsl/gsl_integration.h>
#include <gsl/gsl_math.h>
#include <gsl/gsl_sf_erf.h>
#include <gsl/gsl_sf_gamma.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <memory>
#include <stdexcept>
#include <string>

namespace kemro::test {

namespace {

constexpr double EPSREL = 1e-12;     // relative accuracy asked of each piece of an integral
constexpr double EPSABS = 1e-16;     // absolute accuracy asked of each piece of an integral
constexpr std::size_t LIMIT = 2000;  // most subintervals per piece
constexpr double SPREADS = 60.0;     // the range reaches this many spreads either side
constexpr double CLIP = 40.0;        // and never beyond d +- CLIP, where the density is < 1e-340
constexpr double LOG_TAIL_SWITCH = -30.0;  // below this, ln Phi comes from ln erfc
// Breakpoints around each concentration, in spreads from its location.
constexpr std::array<double, 7> BREAKS = {-40.0, -10.0, -3.0, 0.0, 3.0, 10.0, 40.0};

// ---------------------------------------------------------------- d = 0

// Compensated (Neumaier) summation: the total keeps the low-order bits that
// a plain running sum loses when small terms follow large ones.
class CompensatedSum {
 public:
  void add(double x) {
    const double t = sum_ + x;
    compensation_ += std::fabs(sum_) >= std::fabs(x) ? (sum_ - t) + x : (x - t) + sum_;
    sum_ = t;
  }
  double value() const { return sum_ + compensation_; }

 private:
  double sum_ = 0.0;
  double compensation_ = 0.0;
};

// p(s + 1) / p(s) = (N2 - s)(K - s) / ((s + 1)(N1 - K + s + 1)) for the hypergeometric p
double hypergeometric_ratio(double N1, double N2, double K, double s) {
  return ((N2 - s) * (K - s)) / ((s + 1.0) * (N1 - K + s + 1.0));
}

// ---------------------------------------------------------------- any d

// Switches GSL's error handler off while alive, so that failures come back
// as status codes instead of ending the process.
class QuietGsl {
 public:
  QuietGsl() : previous_(gsl_set_error_handler_off()) {}
  ~QuietGsl() { gsl_set_error_handler(previous_); }
  QuietGsl(const QuietGsl&) = delete;
  QuietGsl& operator=(const QuietGsl&) = delete;

 private:
  gsl_error_handler_t* previous_;
};

// ln phi(z) = -z^2/2 - ln(2 pi)/2
double log_phi(double z) {
  return -0.5 * z * z - 0.5 * std::log(2.0 * M_PI);
}

// ln Phi(z), accurate in both tails: from Q(z) above 0, P(z) below, erfc far below
double log_Phi(double z) {
  if (z >= 0.0) return std::log1p(-gsl_cdf_ugaussian_Q(z));
  if (z >= LOG_TAIL_SWITCH) return std::log(gsl_cdf_ugaussian_P(z));
  return gsl_sf_log_erfc(-z / M_SQRT2) - M_LN2;
}

// What multiplies the majority density in the integrand.
enum class Factor {
  one,    // 1: the density alone, whose integral normalises the others
  below,  // P(X_(J) <= y)
  above,  // P(X_(J) > y)
};

// One outcome's integrals: the I-th smallest majority score Y_(I) and the
// J-th smallest minority score X_(J); P(S <= t) = P(X_(J) < Y_(I)).
struct Outcome {
  double N1 = 0.0, N2 = 0.0, I = 0.0, J = 0.0, d = 0.0;
  double majority_lnbeta = 0.0;  // ln B(I, N1 - I + 1)
  Factor factor = Factor::one;
  int status = GSL_SUCCESS;  // first failure of the incomplete beta function
};

// ln f(y) = ln phi(y-d) + (I-1) ln Phi(y-d) + (N1-I) ln Phi(d-y) - ln B(I, N1-I+1)
double log_majority_density(double y, const Outcome& o) {
  const double z = y - o.d;
  return log_phi(z) + (o.I - 1.0) * log_Phi(z) + (o.N1 - o.I) * log_Phi(-z) - o.majority_lnbeta;
}

// P(X_(J) <= y) = I_Phi(y)(J, N2-J+1) and P(X_(J) > y) = I_Q(y)(N2-J+1, J):
// the one whose argument is at most 1/2 is evaluated, the other is 1 minus it.
struct MinorityDistribution {
  double below;
  double above;
};
MinorityDistribution minority_distribution(double y, Outcome& o) {
  const double a = o.J;
  const double b = o.N2 - o.J + 1.0;
  const double P = gsl_cdf_ugaussian_P(y);
  const bool from_below = P <= 0.5;
  gsl_sf_result r;
  const int status = from_below ? gsl_sf_beta_inc_e(a, b, P, &r)
                                : gsl_sf_beta_inc_e(b, a, gsl_cdf_ugaussian_Q(y), &r);
  if (status != GSL_SUCCESS && status != GSL_EUNDRFLW && o.status == GSL_SUCCESS) o.status = status;
  return from_below ? MinorityDistribution{r.val, 1.0 - r.val}
                    : MinorityDistribution{1.0 - r.val, r.val};
}

// f(y) times the outcome's factor
double integrand(double y, void* params) {
  auto& o = *static_cast<Outcome*>(params);
  const double density = std::exp(log_majority_density(y, o));
  switch (o.factor) {
    case Factor::below:
      return density * minority_distribution(y, o).below;
    case Factor::above:
      return density * minority_distribution(y, o).above;
    default:
      return density;
  }
}

// Where the i-th smallest of n scores N(mu, 1) concentrates: location
// mu + Phi^-1(p) and spread sqrt(p(1-p)/(n+2)) / phi(Phi^-1(p)), p = i/(n+1)
struct Concentration {
  double location;
  double spread;
};
Concentration concentration(double i, double n, double mu) {
  const double p = i / (n + 1.0);
  const double z = gsl_cdf_ugaussian_Pinv(p);
  return {mu + z, std::sqrt(p * (1.0 - p) / (n + 2.0)) / std::exp(log_phi(z))};
}

// The integration range around the majority order statistic, cut into pieces
// at breakpoints around both concentrations; returns the piece edges in order.
std::vector<double> piece_edges(const Outcome& o) {
  const Concentration majority = concentration(o.I, o.N1, o.d);
  const Concentration minority = concentration(o.J, o.N2, 0.0);
  const double lo = std::max(majority.location - SPREADS * majority.spread, o.d - CLIP);
  const double hi = std::min(majority.location + SPREADS * majority.spread, o.d + CLIP);
  std::vector<double> edges = {lo, hi};
  for (const Concentration& c : {majority, minority}) {
    for (double k : BREAKS) {
      const double x = c.location + k * c.spread;
      if (x > lo && x < hi) edges.push_back(x);
    }
  }
  std::sort(edges.begin(), edges.end());
  edges.erase(std::unique(edges.begin(), edges.end()), edges.end());
  return edges;
}

struct WorkspaceFree {
  void operator()(gsl_integration_workspace* w) const { gsl_integration_workspace_free(w); }
};

// The integral of f(y) times the factor over the whole range, piece by piece.
double integrate(Outcome& o, Factor factor) {
  o.factor = factor;
  const std::unique_ptr<gsl_integration_workspace, WorkspaceFree> workspace(
      gsl_integration_workspace_alloc(LIMIT));
  gsl_function f{&integrand, &o};
  const std::vector<double> edges = piece_edges(o);
  CompensatedSum total;
  for (std::size_t k = 0; k + 1 < edges.size(); ++k) {
    double result = 0.0;
    double abserr = 0.0;
    const int status = gsl_integration_qag(&f, edges[k], edges[k + 1], EPSABS, EPSREL, LIMIT,
                                           GSL_INTEG_GAUSS61, workspace.get(), &result, &abserr);
    // A round-off report means the tolerance is below what doubles resolve: accepted.
    if (status != GSL_SUCCESS && status != GSL_EROUND) {
      throw std::runtime_error("reference integration failed: " +
                               std::string(gsl_strerror(status)));
    }
    total.add(result);
  }
  if (o.status != GSL_SUCCESS) {
    throw std::runtime_error("incomplete beta function failed: " +
                             std::string(gsl_strerror(o.status)));
  }
  return total.value();
}

}  // namespace

double hypergeometric_cdf(std::int32_t N1, std::int32_t N2, std::int32_t K, std::int32_t t) {
  const std::int32_t L = std::max(0, K - N1);
  const std::int32_t U = std::min(K, N2);
  if (t < L) return 0.0;
  if (t >= U) return 1.0;
  // The terms relative to the most likely one, walking outwards from it by
  // the ratio of neighbours; the common factor cancels in the quotient below.
  const double mode_estimate = std::floor((K + 1.0) * (N2 + 1.0) / (N1 + N2 + 2.0));
  const auto mode = static_cast<std::int32_t>(std::clamp<double>(mode_estimate, L, U));
  CompensatedSum below;  // s <= t
  CompensatedSum above;  // s > t
  auto add = [&](std::int32_t s, double term) { (s <= t ? below : above).add(term); };
  add(mode, 1.0);
  double term = 1.0;
  for (std::int32_t s = mode; s < U && term > 0.0; ++s) {
    term *= hypergeometric_ratio(N1, N2, K, s);
    add(s + 1, term);
  }
  term = 1.0;
  for (std::int32_t s = mode; s > L && term > 0.0; --s) {
    term /= hypergeometric_ratio(N1, N2, K, s - 1);
    add(s - 1, term);
  }
  const double lower = below.value();
  const double upper = above.value();
  // The smaller side is summed directly, the larger one as its complement.
  return lower <= upper ? lower / (lower + upper) : 1.0 - upper / (lower + upper);
}

double reference_cdf(std::int32_t N1, std::int32_t N2, std::int32_t K, double d, std::int32_t t) {
  const std::int32_t L = std::max(0, K - N1);
  const std::int32_t U = std::min(K, N2);
  if (t < L) return 0.0;
  if (t >= U) return 1.0;
  const QuietGsl quiet;
  Outcome o;
  o.N1 = N1;
  o.N2 = N2;
  o.I = static_cast<double>(N1) - static_cast<double>(K - t) + 1.0;
  o.J = static_cast<double>(N2) - static_cast<double>(t);
  o.d = d;
  o.majority_lnbeta = gsl_sf_lnbeta(o.I, o.N1 - o.I + 1.0);
  // Dividing by the density's own integral cancels the rounding error of
  // the large log-beta term, which would otherwise scale every value.
  const double mass = integrate(o, Factor::one);
  const double lower = integrate(o, Factor::below) / mass;
  if (lower <= 0.5) return lower;
  // Near 1 the small complement is integrated instead, to full relative accuracy.
  return 1.0 - integrate(o, Factor::above) / mass;
}

std::vector<double> reference_distribution(std::int32_t N1, std::int32_t N2, std::int32_t K,
                                           double d) {
  const std::int32_t L = std::max(0, K - N1);
  const std::int32_t U = std::min(K, N2);
  std::vector<double> values;
  for (std::int32_t t = L; t <= U; ++t) {
    // Once a value rounds to 1 the larger ones do too: P(S <= t) grows with t.
    const bool saturated = !values.empty() && values.back() == 1.0;
    values.push_back(saturated ? 1.0 : reference_cdf(N1, N2, K, d, t));
  }
  return values;
}

}  // namespace kemro::test
