// The distribution of the minority hires S when hiring ignores group: with the
// margins fixed (N1 majority and N2 minority applicants, K hires) S is
// hypergeometric. Fisher's exact test of one decision, and the p-values of
// every outcome of a scenario at once for the rules that decide on them
// (distribution/rules.hpp).
#pragma once

#include <cstdint>
#include <vector>

namespace kemro {

// Tables whose probabilities agree to this relative tolerance count as equally
// probable in the two-sided test, so that tables equal up to rounding (those of
// a symmetric distribution, say) fall on the same side.
inline constexpr double FISHER_RELATIVE_TOLERANCE = 1e-7;

// The outcomes S can take: max(0, K - N1) .. min(K, N2).
std::int32_t smallest_outcome(std::int32_t N1, std::int32_t K);
std::int32_t largest_outcome(std::int32_t N2, std::int32_t K);

// The hypergeometric distribution of S (K draws, N2 minority among N1 + N2).
// Needs 1 <= K <= N1 + N2 - 1 and N1, N2 >= 1; it checks nothing.
class Hypergeometric {
 public:
  Hypergeometric(std::int32_t N1, std::int32_t N2, std::int32_t K);

  std::int32_t low() const { return low_; }
  std::int32_t high() const { return high_; }
  std::int32_t mode() const { return mode_; }

  // h(x) = b(x; N2, p) b(K - x; N1, p) / b(K; N, p) with p = K/N; 0 outside low..high.
  double point(std::int32_t x) const;
  // P(S <= s), summed over the tail on the side of the mode where it is small.
  double at_most(std::int32_t s) const;
  // P(S >= s), likewise.
  double at_least(std::int32_t s) const;
  // The ratio h(x + 1) / h(x) = (N2 - x) (K - x) / ((x + 1) (N1 - K + x + 1)), for low <= x < high.
  double up_ratio(std::int32_t x) const;
  // The ratio h(x - 1) / h(x) = x (N1 - K + x) / ((N2 - x + 1) (K - x + 1)), for low < x <= high.
  double down_ratio(std::int32_t x) const;

 private:
  double lower_tail(std::int32_t s) const;
  double upper_tail(std::int32_t s) const;

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

// Fisher's exact test of one decision with s minority hires.
struct FisherTest {
  double one_sided = 0.0;  // P(S <= s) with the margins fixed
  double two_sided = 0.0;  // tables with probability <= P(S = s) (1 + 1e-7)
  double mid_p = 0.0;      // P(S < s) + P(S = s) / 2, Lancaster's mid-P (one-sided)
};
FisherTest fisher_test(std::int32_t N1, std::int32_t N2, std::int32_t K, std::int32_t S);

// Outcomes whose probability falls below this are left out of the window of
// fisher_p_values: beyond it the terms fall at least geometrically, so every
// tail outside the window sums to less than 1e-290 for any scenario of up to
// 10^7 applicants, and a p-value that small is taken as 0.
inline constexpr double NEGLIGIBLE_POINT = 1e-300;

// Fisher's p-values of every outcome of one scenario, from one pass over the
// hypergeometric probabilities: the window first..first + size - 1 holds the
// outcomes with h(x) >= NEGLIGIBLE_POINT (and always the mode).
struct FisherPValues {
  std::int32_t first = 0;
  std::vector<double> point;      // h(x)
  std::vector<double> one_sided;  // P(S <= x), summed from the window's low end
  std::vector<double> mid_p;      // P(S < x) + h(x) / 2
  std::vector<double> two_sided;  // sum of h(y) <= h(x) (1 + 1e-7), at most 1

  // The values at any outcome x; below the window the tails are 0, above it
  // the one-sided values are 1 and the two-sided 0 (tails beyond the window).
  double one_sided_at(std::int32_t x) const;
  double mid_p_at(std::int32_t x) const;
  double two_sided_at(std::int32_t x) const;
};

// All p-values at once, in time proportional to the window: the distribution
// rises to its mode and falls after it, so the window's outcomes come in
// increasing probability by merging the two sides, and each outcome's
// two-sided p-value is a running sum over that order.
FisherPValues fisher_p_values(std::int32_t N1, std::int32_t N2, std::int32_t K);

}  // namespace kemro
