// Selection from several groups at once: the joint distribution of the hires
// (S_1, ..., S_G) of G groups (2 <= G <= GROUPS_MAX) and the adverse-impact
// summaries over it, computed exactly in the fast engine's way.
//
// Group g has N_g applicants whose scores are normal with unit variance and
// mean -d_g; the first group is the reference and has d_1 = 0 (for two groups
// d_2 is the two-group engine's d). Two selection rules:
//
//   top-down: the K best scores are hired. Given the score Z = x of the K-th
//     best, the counts above x are independent binomials with p_g = Q(x + d_g),
//     and with N_g b(s - 1; N_g - 1, p) = (s/p) b(s; N_g, p)
//
//       P(S = s) = integral of prod_g b(s_g; N_g, p_g(x)) * sum_g s_g h_g(x) dx
//
//     over the outcomes with sum_g s_g = K, h_g the normal hazard at x + d_g.
//     For two groups this is the integrand of model/fast/outcomes.hpp.
//   cut score: every score at or above C (in standard units above the
//     reference group's mean) passes: S_g are independent binomials with
//     P_g = Q(C + d_g); no integral.
//
// The summaries are sums over the joint distribution of indicator and count
// functions; they are formed without storing the joint table (see
// group_selection.cpp). Accuracy: absolute. The joint cells left out, the cut
// tails of Z and the quadrature together stay below about 1e-13 of
// probability; `abserr` is the quadrature's estimate (sum over panels of the
// largest |Kronrod 41 - Gauss 20| among the probabilities and rates), or for a
// cut score the distance of the summed probabilities from 1.
#pragma once

#include <cstdint>
#include <vector>

#include "model/fast/outcomes.hpp"

namespace kemro {

// Fewest and most groups one problem may have.
inline constexpr int GROUPS_MIN = 2;
inline constexpr int GROUPS_MAX = 6;
// Most applicants over all groups: the work grows like N^((G - 1)/2).
inline constexpr std::int64_t GROUPS_MAX_APPLICANTS = 1000000;

enum class SelectionRule { top_down, cut_score };

struct GroupProblem {
  std::vector<std::int32_t> applicants;  // N_g, the reference group first
  std::vector<double> d;                 // d_g, d[0] = 0
  SelectionRule rule = SelectionRule::top_down;
  std::int32_t hires = 0;  // K, top-down only
  double cut_score = 0.0;  // C, cut score only
};

// The summaries, per group in the problem's order (index 0: the reference).
// A group "is below four fifths of" another when 5 S_g N_h < 4 S_h N_g
// (decided in integers, as distribution/four_fifths.hpp), which needs S_h > 0.
struct GroupSummary {
  EngineStatus status = EngineStatus::invalid_input;
  double abserr = 0.0;
  std::uint64_t evaluations = 0;          // joint cells and line terms evaluated
  double total = 0.0;                     // the summed probability of every outcome (1 to accuracy)
  std::vector<double> expected_SR;        // E[S_g / N_g]
  std::vector<double> expected_AI;        // E[AI_g | S_1 > 0], AI_g = (S_g/N_g)/(S_1/N_1); [0]: 1
  std::vector<double> P_below_reference;  // P(S_g below four fifths of S_1); [0]: 0
  // P(S_g below four fifths of the highest rate among the other groups).
  std::vector<double> P_below_highest;
  double P_reference_hired = 0.0;  // P(S_1 > 0): where the AI's are defined
  double P_any_below = 0.0;        // P(some group below four fifths of the highest rate)
  double expected_selected = 0.0;  // E[sum S_g] (K under top-down)
  double P_none_selected = 0.0;    // P(sum S_g = 0) (0 under top-down)
};

// The validating entry: G groups with 2 <= G <= GROUPS_MAX, every N_g >= 1,
// N = sum N_g <= GROUPS_MAX_APPLICANTS, d[0] = 0 and every d_g finite, and
// for top-down 1 <= K <= N - 1, for a cut score a finite C, max_panels >= 1;
// anything else returns status invalid_input with nothing computed. A |d_g|
// beyond 100 is computed as 100 with its sign (no interleaving to double
// precision). Once max_panels panels (41 nodes each) are evaluated or waiting,
// none is split any more (status subdivision_limit); a cut score needs none.
// Runs on the calling thread and uses no shared state.
GroupSummary group_selection_summary(const GroupProblem& problem,
                                     std::int32_t max_panels = FAST_MAX_PANELS);

// The cut score C at which the expected share passing, sum_g N_g Q(C + d_g) / N,
// equals `ratio` (0 < ratio < 1); NaN for a ratio outside (0, 1) or
// applicants and d's of different lengths.
double cut_score_for_ratio(const std::vector<std::int32_t>& applicants,
                           const std::vector<double>& d, double ratio);

// One cell of the two-group cut-score distribution.
struct CutScoreCell {
  std::int32_t reference = 0;  // S_1
  std::int32_t other = 0;      // S_2
  double probability = 0.0;
};

// The two-group cut-score distribution: every cell (S_1, S_2) whose
// probability reaches 1e-300, ordered by S_1 and then S_2. Empty for invalid
// input (as group_selection_summary, with G = 2 and the cut-score rule).
std::vector<CutScoreCell> cut_score_distribution(std::int32_t N1, std::int32_t N2, double d,
                                                 double cut_score);

}  // namespace kemro
