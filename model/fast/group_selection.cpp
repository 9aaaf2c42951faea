// The G-group joint distribution and its summaries; group_selection.hpp states
// the model and the contract.
//
// Every summary is a sum over the joint outcomes s of P(s) f(s), with f an
// indicator (a four-fifths flag), a count S_g, or a ratio S_g/S_1. Walking the
// joint table costs the product of the groups' ranges; instead the groups are
// split into a line and the rest ("outer" groups):
//
//   top-down: the line is the pair (a, b) of groups with the widest binomial
//     ranges at the node, with the reference as a whenever it is one of the
//     two. For outer counts summing to T, the pair shares R = K - T: S_a = u,
//     S_b = R - u. Every flag "5 S_g N_h < 4 S_h N_g" is linear in u, so it
//     holds on a prefix or a suffix of u; a union of flags is one prefix and
//     one suffix. With prefix sums over u of c(u) f(u), c(u) = b_a(u) b_b(R - u),
//     for f in {1, u, 1/u}, each outer cell reads all its
//     events in O(G^2) instead of walking u. The weight sum_g s_g h_g is
//     T_h + h_a u + h_b (R - u) with T_h from the outer groups, so the sums are
//     taken of c f and of c (h_a u + h_b (R - u)) f separately, all terms
//     positive. The prefix sums are built once per R.
//   cut score: no constraint and no weight; the line is the one group with
//     the widest range (the reference when it is the widest), every other
//     group is outer.
//
// Cells left out. At each node a group's binomial terms below BINOMIAL_FLOOR
// are not stored (beyond about 9 standard deviations); the mass they carry
// is below 1e-17 per group. An outer cell (or a whole branch of them) is
// skipped when the product of its outer binomials, the largest remaining ones
// and the line's total weight (bounded by K max h) is below CELL_FLOOR, so
// the skipped cells of a node carry below 1e-20 each.
//
// The range of Z is found as in outcomes.cpp, from Hoeffding's bound on
// the pooled count above x with pbar(x) = sum_g N_g Q(x + d_g) / N, cut where
// each tail holds below e^-TAIL_EXPONENT. Panels of Gauss-Kronrod 41 start at
// the cutoff, +-5 spreads and the range's ends, and are bisected until
// the largest |Kronrod - Gauss| among the probabilities and rates meets the
// panel's share of TOLERANCE, or the rounding level of the panel's mass.
#include "model/fast/group_selection.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

#include "model/binomial.hpp"
#include "model/normal.hpp"

namespace kemro {
namespace {

constexpr double TAIL_EXPONENT = 50.0;    // each cut tail of Z holds below e^-50 < 2e-22
constexpr double TOLERANCE = 1e-13;       // wanted absolute error of every probability and rate
constexpr double BINOMIAL_FLOOR = 1e-18;  // binomial terms below this at a node are left out
constexpr double CELL_FLOOR = 1e-20;      // outer cells bounded below this are skipped
constexpr double DISTRIBUTION_FLOOR = 1e-300;  // cells of the cut-score distribution kept
constexpr std::int32_t REANCHOR_STEPS = 64;    // ratio steps between saddle-point anchors
// Rounding noise of the integrand relative to its value, as in outcomes.cpp:
// eps (ROUNDING_BASE + ROUNDING_PER_ROOT sqrt(N)).
constexpr double ROUNDING_BASE = 100.0;
constexpr double ROUNDING_PER_ROOT = 4.0;
constexpr double NARROWEST_PANEL = 1e-11;  // relative width below which a panel is not split
constexpr std::array<double, 1> CENTRAL_STEPS = {5.0};            // breakpoints in spreads
constexpr std::int64_t FLAG_NUMERATOR = 5, FLAG_DENOMINATOR = 4;  // 5 S_g N_h < 4 S_h N_g

// QUADPACK's Gauss-Kronrod 41 rule on [0, 1]: abscissae (odd index: the
// Gauss 20-point nodes), Kronrod weights and Gauss weights.
constexpr std::array<double, 21> KRONROD_X = {0.998859031588277663838315576545863,
                                              0.993128599185094924786122388471320,
                                              0.981507877450250259193342994720217,
                                              0.963971927277913791267666131197277,
                                              0.940822633831754753519982722212443,
                                              0.912234428251325905867752441203298,
                                              0.878276811252281976077442995113078,
                                              0.839116971822218823394529061701521,
                                              0.795041428837551198350638833272788,
                                              0.746331906460150792614305070355642,
                                              0.693237656334751384805490711845932,
                                              0.636053680726515025452836696226286,
                                              0.575140446819710315342946036586425,
                                              0.510867001950827098004364050955251,
                                              0.443593175238725103199992213492640,
                                              0.373706088715419560672548177024927,
                                              0.301627868114913004320555356858592,
                                              0.227785851141645078080496195368575,
                                              0.152605465240922675505220241022678,
                                              0.076526521133497333754640409398838,
                                              0.0};
constexpr std::array<double, 21> KRONROD_W = {
    0.003073583718520531501218293246031, 0.008600269855642942198661787950102,
    0.014626169256971252983787960308868, 0.020388373461266523598010231432755,
    0.025882133604951158834505067096153, 0.031287306777032798958543119323801,
    0.036600169758200798030557240707211, 0.041668873327973686263788305936895,
    0.046434821867497674720231880926108, 0.050944573923728691932707670050345,
    0.055195105348285994744832372419777, 0.059111400880639572374967220648594,
    0.062653237554781168025870122174255, 0.065834597133618422111563556969398,
    0.068648672928521619345623411885368, 0.071054423553444068305790361723210,
    0.073030690332786667495189417658913, 0.074582875400499188986581418362488,
    0.075704497684556674659542775376617, 0.076377867672080736705502835038061,
    0.076600711917999656445049901530102};
constexpr std::array<double, 10> GAUSS_W = {
    0.017614007139152118311861962351853, 0.040601429800386941331039952274932,
    0.062672048334109063569506535187042, 0.083276741576704748724758143222046,
    0.101930119817240435036750135480350, 0.118194531961518417312377377711382,
    0.131688638449176626898494499748163, 0.142096109318382051329298325067165,
    0.149172986472603746787828737001969, 0.152753387130725850698084331955098};

// The quantities summed over the joint outcomes: three overall, four per group.
enum Overall : std::size_t { MASS, REFERENCE_HIRED, ANY_BELOW, OVERALL_COUNT };
enum PerGroup : std::size_t { COUNT, BELOW_REFERENCE, BELOW_HIGHEST, AI_SUM, PER_GROUP_COUNT };
std::size_t slot(std::size_t group, PerGroup what) {
  return OVERALL_COUNT + PER_GROUP_COUNT * group + what;
}

// The functions f(u) of the line whose prefix sums are kept.
// Sums of R - u and (R - u)/u follow as R times those of 1 and 1/u, less
// those of u and 1 (for u >= 1); their rounding stays below eps R times the
// line's mass, far below the wanted accuracy of a rate.
enum LineFunction : std::size_t { ONE, U, INV_U, LINE_FUNCTIONS };

// floor(n / A) for A > 0: the quotient through the reciprocal 1/A, truncated,
// then corrected in integers (|n| stays below 2^53, so at most a step or two).
std::int64_t floor_quotient(std::int64_t n, std::int64_t A, double inverse_A) {
  auto t = static_cast<std::int64_t>(static_cast<double>(n) * inverse_A);
  while (t * A > n) --t;
  while ((t + 1) * A <= n) ++t;
  return t;
}

// One group's binomial terms b(s; n, p) over the counts where they reach the floor.
struct Window {
  std::int32_t lo = 0;
  std::vector<double> b;  // b(lo + i; n, p)
  double largest = 0.0;
  std::int32_t hi() const { return lo + static_cast<std::int32_t>(b.size()) - 1; }
  double at(std::int32_t s) const { return b[static_cast<std::size_t>(s - lo)]; }
};

// A group's tails at one argument z = x + d_g: p = Q(z), q = Q(-z), and the hazard.
struct Tails {
  double p = 0.0, q = 0.0, log_p = 0.0, log_q = 0.0, hazard = 0.0;
};
Tails tails_at(double z) {
  Tails t;
  t.p = upper_tail(z);
  t.q = upper_tail(-z);
  t.log_p = log_upper_tail(z);
  t.log_q = log_upper_tail(-z);
  t.hazard = std::exp((z * z) * (-0.5) - LN_SQRT_TWO_PI - t.log_p);  // phi(z)/Q(z)
  return t;
}

// Fills w with b(s; n, p) from the mode floor((n + 1) p) outwards while the
// terms reach `floor`: ratios b(s + 1)/b(s) = (n - s) p / ((s + 1) q),
// re-anchored by the saddle-point form every REANCHOR_STEPS steps.
void fill_window(double n, const Tails& t, double floor, Window& w, std::vector<double>& below) {
  w.b.clear();
  below.clear();
  const double mode = std::clamp(std::floor((n + 1.0) * t.p), 0.0, n);
  const double p_over_q = std::exp(t.log_p - t.log_q), q_over_p = std::exp(t.log_q - t.log_p);
  const auto anchored = [&](double s) {
    return std::exp(log_binomial_probability(s, n, t.p, t.q));
  };
  const double top = anchored(mode);
  w.largest = top;
  w.b.push_back(top);
  double up = top;
  for (double s = mode + 1.0; s <= n; s += 1.0) {
    up = static_cast<std::int64_t>(s - mode) % REANCHOR_STEPS == 0
             ? anchored(s)
             : up * ((n - s + 1.0) / s) * p_over_q;
    if (!(up >= floor)) break;
    w.b.push_back(up);
  }
  double down = top;
  for (double s = mode - 1.0; s >= 0.0; s -= 1.0) {
    down = static_cast<std::int64_t>(mode - s) % REANCHOR_STEPS == 0
               ? anchored(s)
               : down * ((s + 1.0) / (n - s)) * q_over_p;
    if (!(down >= floor)) break;
    below.push_back(down);
  }
  w.lo = static_cast<std::int32_t>(mode) - static_cast<std::int32_t>(below.size());
  w.b.insert(w.b.begin(), below.rbegin(), below.rend());
}

// Where a group sits in the split: outer, or the line's u or R - u.
enum class Role { outer, line_u, line_v };

// Prefix sums over the line's u = lo..hi of c(u) f(u) (plain) and of
// c(u) (h_a u + h_b (R - u)) f(u) (weighted), entry i holding the sum below lo + i.
struct Line {
  std::int32_t lo = 0, hi = -1, R = 0;
  std::array<std::vector<double>, LINE_FUNCTIONS> plain, weighted;
  bool has_weight = false;   // top-down: the weighted sums exist
  bool has_inverse = false;  // the reference is u: the 1/u sums exist

  // The sum over u in [from, to] (clipped to the line) of c W f with W = T + (h_a u + h_b v).
  double sum(LineFunction f, std::int64_t from, std::int64_t to, double T) const {
    from = std::max<std::int64_t>(from, lo);
    to = std::min<std::int64_t>(to, hi);
    if (from > to) return 0.0;
    const auto i = static_cast<std::size_t>(from - lo), j = static_cast<std::size_t>(to - lo + 1);
    const double plain_sum = plain[f][j] - plain[f][i];
    return has_weight ? T * plain_sum + (weighted[f][j] - weighted[f][i]) : plain_sum;
  }
  double total(LineFunction f, double T) const { return sum(f, lo, hi, T); }
  // The sum of c W (R - u)/u over the whole line.
  double total_v_over_u(double T) const { return R * total(INV_U, T) - sum(ONE, 1, hi, T); }
};

// A union of half-lines of u: u <= prefix_end or u >= suffix_start.
struct Union {
  std::int64_t prefix_end, suffix_start;
};

// The work of one problem.
class Evaluator {
 public:
  Evaluator(const GroupProblem& problem) : problem_(problem) {
    groups_ = static_cast<int>(problem.applicants.size());
    for (int g = 0; g < groups_; ++g) {
      N_.push_back(problem.applicants[static_cast<std::size_t>(g)]);
      d_.push_back(std::clamp(problem.d[static_cast<std::size_t>(g)], -FAST_LARGEST_SEPARATION,
                              FAST_LARGEST_SEPARATION));
    }
    windows_.resize(static_cast<std::size_t>(groups_));
    tails_.resize(static_cast<std::size_t>(groups_));
    role_.assign(static_cast<std::size_t>(groups_), Role::outer);
    counts_.assign(static_cast<std::size_t>(groups_), 0);
    count_scratch_.assign(static_cast<std::size_t>(groups_), 0.0);
    alpha_.assign(static_cast<std::size_t>(groups_), 0);
    beta_.assign(static_cast<std::size_t>(groups_), 0);
    flag_slope_.assign(static_cast<std::size_t>(groups_ * groups_), 0);
    flag_inverse_.assign(static_cast<std::size_t>(groups_ * groups_), 0.0);
    flag_scale_.assign(static_cast<std::size_t>(2 * groups_), 0);
    for (int g = 0; g < groups_; ++g) {
      flag_scale_[g] = FLAG_NUMERATOR * problem.applicants[g];
      flag_scale_[g + groups_] = FLAG_DENOMINATOR * problem.applicants[g];
    }
  }

  int groups() const { return groups_; }
  double applicants(int g) const { return N_[static_cast<std::size_t>(g)]; }
  double d(int g) const { return d_[static_cast<std::size_t>(g)]; }
  std::size_t quantities() const { return OVERALL_COUNT + PER_GROUP_COUNT * groups_; }
  std::uint64_t evaluations() const { return evaluations_; }
  bool finite() const { return finite_; }
  const std::vector<Tails>& tails() const { return tails_; }

  // The top-down integrand's sums at Z = x into `out` (size quantities()).
  void top_down_node(double x, std::vector<double>& out) {
    std::fill(out.begin(), out.end(), 0.0);
    out_ = &out;
    hazard_max_ = 0.0;
    for (int g = 0; g < groups_; ++g) {
      tails_[g] = tails_at(x + d(g));
      fill_window(applicants(g), tails_[g], BINOMIAL_FLOOR, windows_[g], scratch_);
      hazard_max_ = std::max(hazard_max_, tails_[g].hazard);
      if (!std::isfinite(tails_[g].hazard) || !std::isfinite(windows_[g].largest)) finite_ = false;
    }
    if (!finite_) return;
    assign_roles(2);
    const Window& wa = windows_[a_];
    const Window& wb = windows_[b_];
    std::int64_t outer_lo = 0, outer_hi = 0;
    for (int g : outer_) {
      outer_lo += windows_[g].lo;
      outer_hi += windows_[g].hi();
    }
    const std::int64_t K = problem_.hires;
    const double weight_bound = static_cast<double>(K) * hazard_max_;
    for (std::int64_t R = std::max<std::int64_t>(0, K - outer_hi); R <= K - outer_lo; ++R) {
      const std::int64_t lo = std::max<std::int64_t>(wa.lo, R - wb.hi());
      const std::int64_t hi = std::min<std::int64_t>(wa.hi(), R - wb.lo);
      if (lo > hi) continue;
      build_line(static_cast<std::int32_t>(R), static_cast<std::int32_t>(lo),
                 static_cast<std::int32_t>(hi), true);
      line_bound_ = line_.plain[ONE].back() * weight_bound;
      enumerate(0, K - R, 1.0, 0.0, true);
    }
  }

  // The cut-score sums at the cut score C into `out`.
  void cut_score_sums(double C, std::vector<double>& out) {
    std::fill(out.begin(), out.end(), 0.0);
    out_ = &out;
    for (int g = 0; g < groups_; ++g) {
      tails_[g] = tails_at(C + d(g));
      fill_window(applicants(g), tails_[g], BINOMIAL_FLOOR, windows_[g], scratch_);
    }
    assign_roles(1);
    build_line(0, windows_[a_].lo, windows_[a_].hi(), false);
    line_bound_ = line_.plain[ONE].back();
    enumerate(0, 0, 1.0, 1.0, false);
  }

 private:
  // The line's groups: the `line_groups` widest windows (ties to the lower
  // index), with the reference as u whenever it is among them.
  void assign_roles(int line_groups) {
    std::vector<int> order(static_cast<std::size_t>(groups_));
    for (int g = 0; g < groups_; ++g) order[g] = g;
    std::stable_sort(order.begin(), order.end(),
                     [&](int x, int y) { return windows_[x].b.size() > windows_[y].b.size(); });
    std::fill(role_.begin(), role_.end(), Role::outer);
    a_ = order[0];
    b_ = line_groups == 2 ? order[1] : -1;
    if (b_ == 0) std::swap(a_, b_);
    role_[a_] = Role::line_u;
    if (b_ >= 0) role_[b_] = Role::line_v;
    outer_.clear();
    for (int g = 0; g < groups_; ++g) {
      if (role_[g] == Role::outer) outer_.push_back(g);
      beta_[g] = role_[g] == Role::outer ? 0 : role_[g] == Role::line_u ? 1 : -1;
    }
    // A = 5 N_h beta_g - 4 N_g beta_h for every ordered pair (g, h).
    for (int g = 0; g < groups_; ++g) {
      for (int h = 0; h < groups_; ++h) {
        const std::int64_t A = flag_scale_[h] * beta_[g] - flag_scale_[g + groups_] * beta_[h];
        flag_slope_[g * groups_ + h] = A;
        flag_inverse_[g * groups_ + h] = A == 0 ? 0.0 : 1.0 / static_cast<double>(A > 0 ? A : -A);
      }
    }
    // The largest product of the outer binomials from each position on.
    rest_largest_.assign(outer_.size() + 1, 1.0);
    later_lo_.assign(outer_.size(), 0);
    later_hi_.assign(outer_.size(), 0);
    for (std::size_t i = outer_.size(); i-- > 0;) {
      rest_largest_[i] = rest_largest_[i + 1] * windows_[outer_[i]].largest;
      if (i + 1 < outer_.size()) {
        later_lo_[i] = later_lo_[i + 1] + windows_[outer_[i + 1]].lo;
        later_hi_[i] = later_hi_[i + 1] + windows_[outer_[i + 1]].hi();
      }
    }
  }

  // The prefix sums of the line over u = lo..hi, with v = R - u for top-down.
  void build_line(std::int32_t R, std::int32_t lo, std::int32_t hi, bool top_down) {
    Line& l = line_;
    l.lo = lo;
    l.hi = hi;
    l.R = R;
    l.has_weight = top_down;
    l.has_inverse = a_ == 0;
    const std::size_t size = static_cast<std::size_t>(hi - lo) + 2;
    const double ha = tails_[a_].hazard, hb = top_down ? tails_[b_].hazard : 0.0;
    std::array<double, LINE_FUNCTIONS> plain_sum{}, weighted_sum{};
    for (std::size_t f = 0; f < LINE_FUNCTIONS; ++f) {
      l.plain[f].resize(size);
      l.plain[f][0] = 0.0;
      if (top_down) {
        l.weighted[f].resize(size);
        l.weighted[f][0] = 0.0;
      }
    }
    const Window& wa = windows_[a_];
    for (std::int32_t u = lo; u <= hi; ++u) {
      const double ud = u, vd = R - u;
      const double c = top_down ? wa.at(u) * windows_[b_].at(R - u) : wa.at(u);
      const std::array<double, LINE_FUNCTIONS> f = {1.0, ud, u > 0 ? 1.0 / ud : 0.0};
      const double w = c * (ha * ud + hb * vd);
      const std::size_t i = static_cast<std::size_t>(u - lo) + 1;
      for (std::size_t k = 0; k < LINE_FUNCTIONS; ++k) {
        plain_sum[k] += c * f[k];
        l.plain[k][i] = plain_sum[k];
        if (top_down) {
          weighted_sum[k] += w * f[k];
          l.weighted[k][i] = weighted_sum[k];
        }
      }
    }
    evaluations_ += static_cast<std::uint64_t>(hi - lo + 1);
  }

  // The outer cells from outer position i on: top-down, their counts sum to
  // `rest`; `product` is the binomial product so far and T_h the weight so far.
  void enumerate(std::size_t i, std::int64_t rest, double product, double T_h, bool top_down) {
    if (product * rest_largest_[i] * line_bound_ < CELL_FLOOR) return;
    if (i == outer_.size()) {
      if (top_down && rest != 0) return;
      cell(product, T_h);
      return;
    }
    const int g = outer_[i];
    const Window& w = windows_[g];
    std::int64_t from = w.lo, to = w.hi();
    if (top_down) {
      from = std::max(from, rest - later_hi_[i]);
      to = std::min(to, rest - later_lo_[i]);
    }
    const double hazard = top_down ? tails_[g].hazard : 0.0;
    for (std::int64_t s = from; s <= to; ++s) {
      counts_[g] = s;
      enumerate(i + 1, rest - s, product * w.at(static_cast<std::int32_t>(s)),
                T_h + static_cast<double>(s) * hazard, top_down);
    }
  }

  // The half-lines of u where 5 S_g N_h < 4 S_h N_g, that is A u + B < 0 with
  // S_k = alpha_k + beta_k u, added to `u_union`.
  void add_flag(std::size_t g, std::size_t h, Union& u_union) const {
    const std::size_t pair = g * groups_ + h;
    const std::int64_t A = flag_slope_[pair];
    const std::int64_t B = flag_scale_[h] * alpha_[g] - flag_scale_[g + groups_] * alpha_[h];
    if (A == 0) {
      if (B < 0) u_union.prefix_end = line_.hi;  // holds everywhere
    } else if (A > 0) {                          // u <= floor((-B - 1) / A)
      u_union.prefix_end =
          std::max(u_union.prefix_end, floor_quotient(-B - 1, A, flag_inverse_[pair]));
    } else {  // u >= floor(B / -A) + 1
      u_union.suffix_start =
          std::min(u_union.suffix_start, floor_quotient(B, -A, flag_inverse_[pair]) + 1);
    }
  }

  Union empty_union() const { return {line_.lo - 1, line_.hi + 1}; }

  // The sum of c W over the union's u.
  // `all` is the sum over the whole line. A lone prefix or suffix is read
  // directly (small sums keep their relative accuracy), a union of both as the
  // whole less the run between them.
  double union_sum(const Union& u, double T, double all) const {
    if (u.prefix_end + 1 >= u.suffix_start) return all;
    if (u.suffix_start > line_.hi) return line_.sum(ONE, line_.lo, u.prefix_end, T);
    if (u.prefix_end < line_.lo) return line_.sum(ONE, u.suffix_start, line_.hi, T);
    return all - line_.sum(ONE, u.prefix_end + 1, u.suffix_start - 1, T);
  }

  // The sum of c W S_g over the line for group g, from the sums of c W
  // (`all`) and of c W u (`u_sum`) over the line.
  double count_sum(int g, double all, double u_sum) const {
    switch (role_[g]) {
      case Role::line_u:
        return u_sum;
      case Role::line_v:
        return line_.R * all - u_sum;
      default:
        return static_cast<double>(counts_[g]) * all;
    }
  }

  // Adds one outer cell's contributions: its line summed with every event.
  void cell(double product, double T) {
    ++evaluations_;
    std::vector<double>& out = *out_;
    const double all = line_.total(ONE, T), u_sum = line_.total(U, T);
    for (int g = 0; g < groups_; ++g) {
      alpha_[g] = role_[g] == Role::outer ? counts_[g] : role_[g] == Role::line_v ? line_.R : 0;
    }
    out[MASS] += product * all;
    std::vector<double>& count = count_scratch_;
    for (int g = 0; g < groups_; ++g) {
      count[g] = count_sum(g, all, u_sum);
      out[slot(g, COUNT)] += product * count[g];
    }
    // The reference's hires and the AI numerators sum of S_g / S_1.
    if (role_[0] == Role::outer) {
      if (counts_[0] > 0) {
        out[REFERENCE_HIRED] += product * all;
        const double inverse = 1.0 / static_cast<double>(counts_[0]);
        for (int g = 1; g < groups_; ++g) out[slot(g, AI_SUM)] += product * count[g] * inverse;
      }
    } else {  // the reference is u
      out[REFERENCE_HIRED] += product * line_.sum(ONE, 1, line_.hi, T);
      for (int g = 1; g < groups_; ++g) {
        const double s = role_[g] == Role::line_v
                             ? line_.total_v_over_u(T)
                             : static_cast<double>(counts_[g]) * line_.total(INV_U, T);
        out[slot(g, AI_SUM)] += product * s;
      }
    }
    Union any = empty_union();
    for (std::size_t g = 0; g < static_cast<std::size_t>(groups_); ++g) {
      Union highest = empty_union();
      if (g != 0) {
        add_flag(g, 0, highest);
        out[slot(g, BELOW_REFERENCE)] += product * union_sum(highest, T, all);
      }
      for (std::size_t h = 1; h < static_cast<std::size_t>(groups_); ++h) {
        if (h != g) add_flag(g, h, highest);
      }
      out[slot(g, BELOW_HIGHEST)] += product * union_sum(highest, T, all);
      any.prefix_end = std::max(any.prefix_end, highest.prefix_end);
      any.suffix_start = std::min(any.suffix_start, highest.suffix_start);
    }
    out[ANY_BELOW] += product * union_sum(any, T, all);
  }

  const GroupProblem& problem_;
  int groups_ = 0;
  std::vector<double> N_, d_;
  std::vector<Window> windows_;
  std::vector<Tails> tails_;
  std::vector<double> scratch_;
  std::vector<Role> role_;
  std::vector<int> outer_;
  std::vector<double> rest_largest_;
  std::vector<std::int64_t> counts_;   // the outer groups' counts of the current cell
  std::vector<double> count_scratch_;  // each group's count summed over the current line
  std::vector<std::int64_t> later_lo_, later_hi_;
  std::vector<std::int64_t> alpha_, beta_;  // S_g = alpha_g + beta_g u in the current cell
  std::vector<std::int64_t> flag_slope_;    // A of each ordered pair (g, h), at g * G + h
  std::vector<double> flag_inverse_;        // 1/|A| of each pair (0 where A = 0)
  std::vector<std::int64_t>
      flag_scale_;  // 5 N_g, then 4 N_g  // sums of the outer windows' ends from i + 1 on
  int a_ = 0, b_ = -1;
  Line line_;
  double line_bound_ = 0.0, hazard_max_ = 0.0;
  std::vector<double>* out_ = nullptr;
  std::uint64_t evaluations_ = 0;
  bool finite_ = true;
};

// pbar(x) = sum_g N_g Q(x + d_g) / N and 1 - pbar(x) = sum_g N_g Q(-x - d_g) / N.
struct ShareAbove {
  double above = 0.0, below = 0.0;
};
ShareAbove share_above(const Evaluator& e, double N, double x) {
  ShareAbove s;
  for (int g = 0; g < e.groups(); ++g) {
    s.above += e.applicants(g) * upper_tail(x + e.d(g));
    s.below += e.applicants(g) * upper_tail(-x - e.d(g));
  }
  return {s.above / N, s.below / N};
}

// The search interval for x: every group's mean -d_g within NORMAL_REACH of its ends.
struct Reach {
  double bottom = 0.0, top = 0.0;
};
Reach search_reach(const Evaluator& e) {
  double lowest = 0.0, highest = 0.0;
  for (int g = 0; g < e.groups(); ++g) {
    lowest = std::min(lowest, -e.d(g));
    highest = std::max(highest, -e.d(g));
  }
  return {lowest - NORMAL_REACH, highest + NORMAL_REACH};
}

// The cutoff u with pbar(u) = K/N, the spread of Z around it and the range [a, b].
struct ZRange {
  double cutoff = 0.0, spread = 0.0, a = 0.0, b = 0.0;
};
ZRange z_range(const Evaluator& e, double N, double K) {
  const Reach reach = search_reach(e);
  const double share = K / N;
  ZRange r;
  r.cutoff = switch_point(reach.bottom, reach.top,
                          [&](double x) { return share_above(e, N, x).above <= share; });
  double density = 0.0;  // the pooled density at the cutoff
  for (int g = 0; g < e.groups(); ++g) {
    const double z = r.cutoff + e.d(g);
    density += e.applicants(g) * std::exp((z * z) * (-0.5) - LN_SQRT_TWO_PI);
  }
  density /= N;
  r.spread = std::sqrt(share * (1.0 - share) / N) / density;  // sqrt(p (1 - p)/N) / f(u)
  if (!(r.spread > 0.0) || !std::isfinite(r.spread)) r.spread = 1.0;
  r.b = switch_point(r.cutoff, reach.top, [&](double x) {
    const ShareAbove s = share_above(e, N, x);
    return s.above < share && bernoulli_divergence(N, share, s.above, s.below) >= TAIL_EXPONENT;
  });
  const double share_below = (K - 1.0) / N;
  r.a = -switch_point(-r.cutoff, -reach.bottom, [&](double minus_x) {
    const ShareAbove s = share_above(e, N, -minus_x);
    return s.above > share_below &&
           bernoulli_divergence(N, share_below, s.above, s.below) >= TAIL_EXPONENT;
  });
  return r;
}

// Breakpoints: the range's ends, the cutoff and +-CENTRAL_STEPS spreads inside.
std::vector<double> breakpoints(const ZRange& r) {
  std::vector<double> points = {r.a, r.b};
  const auto add = [&](double x) {
    if (x > r.a && x < r.b) points.push_back(x);
  };
  add(r.cutoff);
  for (const double step : CENTRAL_STEPS) {
    add(r.cutoff - step * r.spread);
    add(r.cutoff + step * r.spread);
  }
  std::sort(points.begin(), points.end());
  points.erase(std::unique(points.begin(), points.end()), points.end());
  return points;
}

// The largest |Kronrod - Gauss| among the probabilities and the rates.
double panel_error(const Evaluator& e, const std::vector<double>& kronrod,
                   const std::vector<double>& gauss) {
  double error = 0.0;
  for (std::size_t i = 0; i < OVERALL_COUNT; ++i) {
    error = std::max(error, std::fabs(kronrod[i] - gauss[i]));
  }
  for (int g = 0; g < e.groups(); ++g) {
    for (const PerGroup what : {COUNT, BELOW_REFERENCE, BELOW_HIGHEST}) {
      const std::size_t i = slot(static_cast<std::size_t>(g), what);
      const double scale = what == COUNT ? 1.0 / e.applicants(g) : 1.0;
      error = std::max(error, std::fabs(kronrod[i] - gauss[i]) * scale);
    }
  }
  return error;
}

// The top-down sums, integrated over Z.
struct Integrated {
  std::vector<double> sums;
  double abserr = 0.0;
  EngineStatus status = EngineStatus::converged;
};

Integrated integrate_top_down(Evaluator& e, double N, double K, std::int32_t max_panels) {
  const ZRange range = z_range(e, N, K);
  const double range_width = range.b - range.a;
  const double rounding_level =
      std::numeric_limits<double>::epsilon() * (ROUNDING_BASE + ROUNDING_PER_ROOT * std::sqrt(N));
  const std::size_t n = e.quantities();
  Integrated result;
  result.sums.assign(n, 0.0);
  std::vector<double> node(n), kronrod(n), gauss(n);

  struct Panel {
    double lo, hi;
  };
  const std::vector<double> points = breakpoints(range);
  std::vector<Panel> pending;
  for (std::size_t i = points.size() - 1; i > 0; --i) pending.push_back({points[i - 1], points[i]});
  std::int32_t panels = 0;
  while (!pending.empty()) {
    const Panel panel = pending.back();
    pending.pop_back();
    std::fill(kronrod.begin(), kronrod.end(), 0.0);
    std::fill(gauss.begin(), gauss.end(), 0.0);
    const double center = 0.5 * (panel.lo + panel.hi), half = 0.5 * (panel.hi - panel.lo);
    for (std::size_t j = 0; j < KRONROD_X.size(); ++j) {
      for (const double side : {-1.0, 1.0}) {
        if (j + 1 == KRONROD_X.size() && side > 0.0) break;  // the centre once
        e.top_down_node(center + side * half * KRONROD_X[j], node);
        for (std::size_t i = 0; i < n; ++i) {
          kronrod[i] += half * KRONROD_W[j] * node[i];
          if (j % 2 == 1) gauss[i] += half * GAUSS_W[j / 2] * node[i];
        }
      }
    }
    ++panels;
    if (!e.finite()) {
      result.status = EngineStatus::bad_integrand;
      return result;
    }
    const double error = panel_error(e, kronrod, gauss);
    const double width = panel.hi - panel.lo;
    const bool settled =
        error <= TOLERANCE * width / range_width || error <= rounding_level * kronrod[MASS];
    const double mid = 0.5 * (panel.lo + panel.hi);
    const bool splittable =
        width > NARROWEST_PANEL * std::max(1.0, std::fabs(mid)) && mid > panel.lo && mid < panel.hi;
    const bool at_limit = panels + static_cast<std::int32_t>(pending.size()) >= max_panels;
    if (settled || !splittable || at_limit) {
      if (!settled && result.status == EngineStatus::converged) {
        result.status = at_limit ? EngineStatus::subdivision_limit : EngineStatus::roundoff;
      }
      for (std::size_t i = 0; i < n; ++i) result.sums[i] += kronrod[i];
      result.abserr += error;
      continue;
    }
    pending.push_back({mid, panel.hi});
    pending.push_back({panel.lo, mid});
  }
  return result;
}

bool valid_problem(const GroupProblem& p, std::int32_t max_panels) {
  const std::size_t G = p.applicants.size();
  if (G < static_cast<std::size_t>(GROUPS_MIN) || G > static_cast<std::size_t>(GROUPS_MAX) ||
      p.d.size() != G || max_panels < 1) {
    return false;
  }
  std::int64_t N = 0;
  for (std::size_t g = 0; g < G; ++g) {
    if (p.applicants[g] < 1 || !std::isfinite(p.d[g])) return false;
    N += p.applicants[g];
  }
  if (p.d[0] != 0.0 || N > GROUPS_MAX_APPLICANTS) return false;
  if (p.rule == SelectionRule::top_down) return p.hires >= 1 && p.hires <= N - 1;
  return std::isfinite(p.cut_score);
}

// The summaries from the sums over the joint outcomes.
GroupSummary summarise(const Evaluator& e, const std::vector<double>& sums) {
  GroupSummary s;
  const int G = e.groups();
  s.total = sums[MASS];
  s.P_reference_hired = sums[REFERENCE_HIRED];
  s.P_any_below = sums[ANY_BELOW];
  for (int g = 0; g < G; ++g) {
    const double count = sums[slot(static_cast<std::size_t>(g), COUNT)];
    s.expected_SR.push_back(count / e.applicants(g));
    s.expected_selected += count;
    s.P_below_reference.push_back(g == 0 ? 0.0 : sums[slot(g, BELOW_REFERENCE)]);
    s.P_below_highest.push_back(sums[slot(g, BELOW_HIGHEST)]);
    // E[AI_g | S_1 > 0] = (N_1 / N_g) sum P S_g/S_1 / P(S_1 > 0); 0/0 gives NaN.
    const double ratio_sum = g == 0 ? sums[REFERENCE_HIRED] : sums[slot(g, AI_SUM)];
    s.expected_AI.push_back(e.applicants(0) / e.applicants(g) * ratio_sum / sums[REFERENCE_HIRED]);
  }
  return s;
}

}  // namespace

GroupSummary group_selection_summary(const GroupProblem& problem, std::int32_t max_panels) {
  if (!valid_problem(problem, max_panels)) return {};
  Evaluator e(problem);
  double N = 0.0;
  for (int g = 0; g < e.groups(); ++g) N += e.applicants(g);
  if (problem.rule == SelectionRule::top_down) {
    const Integrated integrated = integrate_top_down(e, N, problem.hires, max_panels);
    if (integrated.status == EngineStatus::bad_integrand) {
      GroupSummary failed;
      failed.status = EngineStatus::bad_integrand;
      failed.evaluations = e.evaluations();
      return failed;
    }
    GroupSummary s = summarise(e, integrated.sums);
    s.status = integrated.status;
    s.abserr = integrated.abserr;
    s.evaluations = e.evaluations();
    return s;
  }
  std::vector<double> sums(e.quantities());
  e.cut_score_sums(problem.cut_score, sums);
  GroupSummary s = summarise(e, sums);
  s.status = EngineStatus::converged;
  s.abserr = std::fabs(1.0 - s.total);
  s.evaluations = e.evaluations();
  // P(no one passes) = prod_g q_g^N_g
  double log_none = 0.0;
  for (int g = 0; g < e.groups(); ++g) log_none += e.applicants(g) * e.tails()[g].log_q;
  s.P_none_selected = std::exp(log_none);
  return s;
}

double cut_score_for_ratio(const std::vector<std::int32_t>& applicants,
                           const std::vector<double>& d, double ratio) {
  if (!(ratio > 0.0 && ratio < 1.0) || applicants.size() != d.size() || applicants.empty()) {
    return std::numeric_limits<double>::quiet_NaN();
  }
  double N = 0.0, lowest = 0.0, highest = 0.0;
  for (std::size_t g = 0; g < d.size(); ++g) {
    N += applicants[g];
    lowest = std::min(lowest, -d[g]);
    highest = std::max(highest, -d[g]);
  }
  const auto share_passing = [&](double C) {
    double passing = 0.0;
    for (std::size_t g = 0; g < d.size(); ++g) passing += applicants[g] * upper_tail(C + d[g]);
    return passing / N;
  };
  return switch_point(lowest - NORMAL_REACH, highest + NORMAL_REACH,
                      [&](double C) { return share_passing(C) <= ratio; });
}

std::vector<CutScoreCell> cut_score_distribution(std::int32_t N1, std::int32_t N2, double d,
                                                 double cut_score) {
  GroupProblem problem{{N1, N2}, {0.0, d}, SelectionRule::cut_score, 0, cut_score};
  std::vector<CutScoreCell> cells;
  if (!valid_problem(problem, 1)) return cells;
  std::array<Window, 2> windows;
  std::vector<double> scratch;
  const std::array<double, 2> n = {static_cast<double>(N1), static_cast<double>(N2)};
  const std::array<double, 2> shift = {
      0.0, std::clamp(d, -FAST_LARGEST_SEPARATION, FAST_LARGEST_SEPARATION)};
  for (std::size_t g = 0; g < 2; ++g) {
    fill_window(n[g], tails_at(cut_score + shift[g]), DISTRIBUTION_FLOOR, windows[g], scratch);
  }
  for (std::int32_t s1 = windows[0].lo; s1 <= windows[0].hi(); ++s1) {
    for (std::int32_t s2 = windows[1].lo; s2 <= windows[1].hi(); ++s2) {
      const double p = windows[0].at(s1) * windows[1].at(s2);
      if (p >= DISTRIBUTION_FLOOR) cells.push_back({s1, s2, p});
    }
  }
  return cells;
}

}  // namespace kemro
