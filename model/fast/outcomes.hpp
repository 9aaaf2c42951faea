// The fast exact engine: every outcome's probability from one integral over
// the score Z of the K-th highest scorer of the pooled sample. Given Z = x,
// every other score lies above or below x independently, so with
// p1 = 1 - Phi(x - d), p2 = 1 - Phi(x) and b(k; n, p) the binomial probability
//
//   P(S = s) = integral of [ N1 phi(x - d) b(K - s - 1; N1 - 1, p1) b(s; N2, p2)
//                          + N2 phi(x)     b(s - 1; N2 - 1, p2) b(K - s; N1, p1) ] dx.
//
// One quadrature grid on the range where Z concentrates serves every s at once.
// The nested engine (model/nested/outcomes.hpp) stays the one the interactive program uses.
//
// Accuracy: the range of Z leaves out less than 1e-304 of probability (a
// proven bound), and the adaptive Gauss-Kronrod panels are refined until the
// estimated error summed over all outcomes is below 1e-13, or at the rounding
// level of the integrand, which grows like 1e-16 sqrt(N). Against independent
// values the cumulative probabilities agree within 1e-14 and the points sum to
// 1 within 4e-14 up to N = 1e7; probabilities far in the tails (1e-100, say)
// keep about 1e-11 relative accuracy, though only the absolute error is
// controlled. How it is done is described in outcomes.cpp.
#pragma once

#include <cstdint>
#include <vector>

namespace kemro {

// How a fast computation ended. The values keep the integrator codes of the
// nested engine (integrator.hpp) so that every front end reports them alike.
enum class EngineStatus : int {
  converged = 0,          // every panel settled within its tolerance or at rounding level
  subdivision_limit = 1,  // the panel limit was reached first; the estimate is returned
  roundoff = 2,           // the tolerance cannot be met in double precision
  bad_integrand = 3,      // the integrand is not finite somewhere: no window is stored
  invalid_input = 6,      // counts or d outside the validated domain; nothing computed
};

// The status's name as the outputs show it: "converged", "subdivision_limit",
// "roundoff", "bad_integrand" or "invalid_input", the enumerator's own name.
const char* engine_status_name(EngineStatus status);

// The distribution of S, the number of minority hires, over the window of
// outcomes that carry probability: outcomes below `first` or above
// first + point.size() - 1 have probability below 1e-300 each (together
// below 1e-290) and are not stored.
struct OutcomeProbabilities {
  EngineStatus status = EngineStatus::invalid_input;
  std::int32_t first = 0;     // smallest stored outcome s
  std::vector<double> point;  // P(S = first + i)
  std::vector<double> lower;  // P(S <= first + i), summed from the lower end
  std::vector<double> upper;  // P(S >= first + i), summed from the upper end
  // Estimated error: the sum over outcomes and panels of |Kronrod - Gauss|,
  // which bounds the estimated error of every point and of every partial sum.
  double abserr = 0.0;
  std::uint64_t evaluations = 0;  // integrand terms evaluated (quadrature nodes times outcomes)

  // P(S = s), P(S <= s) and P(S >= s) for any s, 0 or 1 outside the window.
  // P(S <= s) above 0.5 is 1 - P(S >= s + 1), formed from the upper tail, and
  // P(S >= s) above 0.5 likewise from the lower one, so that neither cancels.
  // Without a window (invalid input, bad integrand) all three are 0.
  double probability(std::int64_t s) const;
  double at_most(std::int64_t s) const;
  double at_least(std::int64_t s) const;
};

// The validating entry: 1 <= N1, 1 <= N2, 1 <= K <= N1 + N2 - 1 with
// N1 + N2 <= FAST_MAX_APPLICANTS, a finite d and max_panels >= 1; anything
// else returns status invalid_input with nothing computed. A |d| beyond 100 is
// computed as 100 with its sign: the groups' scores then never interleave, and
// every probability is the same to double precision. Once max_panels panels
// (21 nodes each) are evaluated or waiting, no panel is split any more: the
// rest are evaluated once and the estimate returned with status
// subdivision_limit (ordinary problems use a few dozen). Runs on the calling
// thread, uses no shared state, and allocates memory in proportion to the window.
inline constexpr std::int32_t FAST_MAX_APPLICANTS = 10000000;
// Beyond this |d| two groups' scores never interleave to double precision
// (a score of one falls below a score of the other with probability
// Q(|d|/sqrt 2), under 1e-1000); larger |d| are computed as this one, with
// identical results, by this engine and the several-group one.
inline constexpr double FAST_LARGEST_SEPARATION = 100.0;
inline constexpr std::int32_t FAST_MAX_PANELS = 20000;
OutcomeProbabilities fast_outcome_probabilities(std::int32_t N1, std::int32_t N2, std::int32_t K,
                                                double d,
                                                std::int32_t max_panels = FAST_MAX_PANELS);

}  // namespace kemro
