// The hypergeometric distribution of S and Fisher's exact test.
//   h(x) = b(x; N2, p) b(K - x; N1, p) / b(K; N, p) with p = K / N, each
//     binomial from the saddle-point form of model/binomial.hpp, so that h keeps
//     its relative accuracy for every N (differences of log-factorials lose
//     about N log N times the rounding: 1.5e-8 of a probability near 1 at N = 1e7);
//   a tail is summed from its inner end outward with the ratio of neighbouring
//     terms, on the side of the mode where the terms fall, and the other side's
//     tail is 1 minus it;
//   Fisher's one-sided p = P(S <= s); mid-P = P(S < s) + h(s) / 2; two-sided p =
//     the sum of h(x) over the x with h(x) <= h(s) (1 + 1e-7).
// fisher_p_values walks from the mode outward with the same ratios until the
// terms fall below NEGLIGIBLE_POINT; the ratio recurrence loses about one
// rounding per step, 1e-12 of a term at most 4500 steps from the mode, which
// holds at least 40 standard deviations of every scenario the engines take.
#include "distribution/hypergeometric.hpp"

#include <algorithm>
#include <cmath>

#include "model/binomial.hpp"

namespace kemro {
namespace {

constexpr double TAIL_TOLERANCE = 1e-17;  // a tail's terms stop below this share of its sum

}  // namespace

std::int32_t smallest_outcome(std::int32_t N1, std::int32_t K) {
  return std::max(0, K - N1);
}

std::int32_t largest_outcome(std::int32_t N2, std::int32_t K) {
  return std::min(K, N2);
}

Hypergeometric::Hypergeometric(std::int32_t N1, std::int32_t N2, std::int32_t K)
    : N1_(N1), N2_(N2), K_(K), low_(smallest_outcome(N1, K)), high_(largest_outcome(N2, K)) {
  const double N = static_cast<double>(N1) + N2;
  p_ = K / N;
  q_ = (N - K) / N;
  log_all_ = log_binomial_probability(K, N, p_, q_);
  const std::int64_t mode =
      (std::int64_t{K} + 1) * (std::int64_t{N2} + 1) / (std::int64_t{N1} + N2 + 2);
  mode_ = static_cast<std::int32_t>(std::clamp<std::int64_t>(mode, low_, high_));
}

double Hypergeometric::point(std::int32_t x) const {
  if (x < low_ || x > high_) return 0.0;
  return std::exp(log_binomial_probability(x, N2_, p_, q_) +
                  log_binomial_probability(K_ - x, N1_, p_, q_) - log_all_);
}

double Hypergeometric::at_most(std::int32_t s) const {
  if (s < low_) return 0.0;
  if (s >= high_) return 1.0;
  return s <= mode_ ? lower_tail(s) : 1.0 - upper_tail(s + 1);
}

double Hypergeometric::at_least(std::int32_t s) const {
  if (s <= low_) return 1.0;
  if (s > high_) return 0.0;
  return s > mode_ ? upper_tail(s) : 1.0 - lower_tail(s - 1);
}

double Hypergeometric::up_ratio(std::int32_t x) const {
  return (static_cast<double>(N2_) - x) * (static_cast<double>(K_) - x) /
         ((static_cast<double>(x) + 1) * (static_cast<double>(N1_) - K_ + x + 1));
}

double Hypergeometric::down_ratio(std::int32_t x) const {
  return static_cast<double>(x) * (static_cast<double>(N1_) - K_ + x) /
         ((static_cast<double>(N2_) - x + 1) * (static_cast<double>(K_) - x + 1));
}

// P(S <= s) for s <= mode, where the terms fall from s downward.
double Hypergeometric::lower_tail(std::int32_t s) const {
  double term = point(s);
  double sum = term;
  for (std::int32_t x = s; x > low_ && term > sum * TAIL_TOLERANCE; --x) {
    term *= down_ratio(x);
    sum += term;
  }
  return sum;
}

// P(S >= s) for s > mode, where the terms fall from s upward.
double Hypergeometric::upper_tail(std::int32_t s) const {
  double term = point(s);
  double sum = term;
  for (std::int32_t x = s; x < high_ && term > sum * TAIL_TOLERANCE; ++x) {
    term *= up_ratio(x);
    sum += term;
  }
  return sum;
}

FisherTest fisher_test(std::int32_t N1, std::int32_t N2, std::int32_t K, std::int32_t S) {
  const Hypergeometric h(N1, N2, K);
  FisherTest t;
  t.one_sided = h.at_most(S);
  t.mid_p = h.at_most(S - 1) + h.point(S) / 2.0;

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

double FisherPValues::one_sided_at(std::int32_t x) const {
  if (x < first) return 0.0;
  const std::size_t i = static_cast<std::size_t>(x - first);
  return i < one_sided.size() ? one_sided[i] : 1.0;
}

double FisherPValues::mid_p_at(std::int32_t x) const {
  if (x < first) return 0.0;
  const std::size_t i = static_cast<std::size_t>(x - first);
  return i < mid_p.size() ? mid_p[i] : 1.0;
}

double FisherPValues::two_sided_at(std::int32_t x) const {
  if (x < first) return 0.0;
  const std::size_t i = static_cast<std::size_t>(x - first);
  return i < two_sided.size() ? two_sided[i] : 0.0;
}

FisherPValues fisher_p_values(std::int32_t N1, std::int32_t N2, std::int32_t K) {
  const Hypergeometric h(N1, N2, K);
  const std::int32_t mode = h.mode();
  const double at_mode = h.point(mode);

  // The window: from the mode outward while the terms stay above NEGLIGIBLE_POINT.
  std::vector<double> left;  // h(mode - 1), h(mode - 2), ...
  double term = at_mode;
  for (std::int32_t x = mode; x > h.low(); --x) {
    term *= h.down_ratio(x);
    if (term < NEGLIGIBLE_POINT) break;
    left.push_back(term);
  }
  FisherPValues v;
  v.first = mode - static_cast<std::int32_t>(left.size());
  v.point.assign(left.rbegin(), left.rend());
  v.point.push_back(at_mode);
  term = at_mode;
  for (std::int32_t x = mode; x < h.high(); ++x) {
    term *= h.up_ratio(x);
    if (term < NEGLIGIBLE_POINT) break;
    v.point.push_back(term);
  }
  const std::size_t size = v.point.size();
  const std::size_t at = left.size();  // the mode's place in the window

  v.one_sided.resize(size);
  v.mid_p.resize(size);
  double below = 0.0;  // P(S < x)
  for (std::size_t i = 0; i < size; ++i) {
    v.mid_p[i] = below + v.point[i] / 2.0;
    below += v.point[i];
    v.one_sided[i] = below;
  }

  // The window in increasing probability: the left side rises from its start
  // to the mode, the right side from its end back to the mode; merge them.
  std::vector<std::size_t> order;
  order.reserve(size);
  std::size_t l = 0;
  std::size_t r = size;  // one past the next right-side index, counting down
  while (l <= at && r > at + 1) {
    if (v.point[l] <= v.point[r - 1]) {
      order.push_back(l++);
    } else {
      order.push_back(--r);
    }
  }
  while (l <= at) order.push_back(l++);
  while (r > at + 1) order.push_back(--r);

  // Each outcome's two-sided p: the sum over the prefix of that order whose
  // terms stay within the tolerance of its own; the prefix only grows.
  v.two_sided.resize(size);
  std::size_t end = 0;  // the prefix order[0..end) is summed
  double sum = 0.0;
  for (std::size_t k = 0; k < size; ++k) {
    const double threshold = v.point[order[k]] * (1.0 + FISHER_RELATIVE_TOLERANCE);
    while (end < size && v.point[order[end]] <= threshold) sum += v.point[order[end++]];
    v.two_sided[order[k]] = std::min(sum, 1.0);
  }
  return v;
}

}  // namespace kemro
