// The analysis of one actual hiring decision: K hires from N applicants, N1 of
// them majority, of whom S minority hires were observed. It answers three
// questions about that decision:
//   - what it shows as it stands: the selection rates, AI, the four-fifths
//     rule, the shortfall of minority hires against equal rates;
//   - how surprising it is when hiring ignores group: the two-proportion Z
//     test and Fisher's exact test on the 2x2 table (group by hired);
//   - which effect sizes d of the top-down normal model it fits: P(S <= s | d)
//     and P(AI <= observed AI | d) for chosen d, the maximum-likelihood d and
//     an exact 1 - alpha interval for d.
// Every model probability comes from the fast engine (model/fast/outcomes.hpp);
// Fisher's test sums hypergeometric probabilities formed from the engine's
// log-binomial kernel (distribution/hypergeometric.hpp). Nothing here prints.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "distribution/hypergeometric.hpp"
#include "distribution/rules.hpp"
#include "model/fast/outcomes.hpp"

namespace kemro {

// The counts of one decision: N applicants, N1 of them majority (N2 = N - N1
// minority), K hires, S of them minority.
struct ObservedCounts {
  std::int64_t N = 0;
  std::int64_t N1 = 0;
  std::int64_t K = 0;
  std::int64_t S = 0;
};

inline constexpr double DEFAULT_ALPHA = 0.05;  // 1 - confidence level of the interval for d

// How the effect-size estimates ended.
enum class EstimateStatus {
  converged,      // every end and the ML d settled within the tolerances
  no_bracket,     // a root or maximum lies beyond |d| = D_SEARCH_LIMIT; that value is NaN
  engine_failed,  // the engine reported trouble (see `engine`) for some d on the way
};
inline constexpr double D_SEARCH_LIMIT = 40.0;  // the searches never leave [-40, 40]

// The results for one decision and one model effect size d. Values that do not
// exist are NaN (AI without a majority hire, P_AI_at_most_observed then) or an
// infinity (an end of the interval, or the ML d, that is unbounded: -inf for a
// missing lower end, +inf for a missing upper end).
struct ObservedResult {
  std::int32_t N = 0;
  std::int32_t N1 = 0;
  std::int32_t N2 = 0;
  std::int32_t K = 0;
  std::int32_t S = 0;
  double SRA = 0.0;                   // (K - S) / N1
  double SRI = 0.0;                   // S / N2
  double AI = 0.0;                    // SRI / SRA; NaN when K - S = 0
  bool four_fifths_violated = false;  // AI < 0.8, decided in integers; false when AI is NaN
  double shortfall = 0.0;             // K N2 / N - S: minority hires missing to equal rates
  double z = 0.0;                   // (SRA - SRI) / pooled standard error; > 0 favours the majority
  double p_z_two_sided = 0.0;       // 2 (1 - Phi(|z|))
  double p_fisher_one_sided = 0.0;  // P(S <= s) under the hypergeometric
  double p_fisher_two_sided = 0.0;  // sum of the tables no more probable than the observed one
  double p_fisher_mid_p = 0.0;      // P(S < s) + P(S = s) / 2 under the hypergeometric
  double z_ir = 0.0;                // Z of ln AI; NaN when s = 0 or a = 0
  double p_z_ir = 0.0;              // 2 (1 - Phi(|z_ir|)); NaN with z_ir
  double AI_lower = 0.0;            // 1 - alpha interval of AI; NaN when s = 0 or a = 0 ...
  double AI_upper = 0.0;
  std::string_view AI_interval_missing;    // ... and then why, else empty
  bool four_fifths_survives_flip = false;  // still below the threshold with one hire moved
  double threshold = DEFAULT_THRESHOLD;    // of the four-fifths rule in the rule results
  RuleFlags flags{};                       // whether each rule of RULES flags this decision
  RuleRates false_flag_rates{};            // each rule's flag rate at d = 0 for this size
  double d = 0.0;                          // the model effect size of this record
  double P_S_at_most_observed = 0.0;       // P(S <= s | d)
  double P_AI_at_most_observed = 0.0;      // P(AI <= observed AI | d); NaN when AI is NaN
  double d_ml = 0.0;                       // maximises P(S = s | d)
  double d_lower = 0.0;                    // P(S <= s | d_lower) = alpha / 2
  double d_upper = 0.0;                    // P(S >= s | d_upper) = alpha / 2
  double alpha = DEFAULT_ALPHA;
  EstimateStatus estimate = EstimateStatus::converged;
  EngineStatus engine = EngineStatus::converged;  // worst engine status met for this record
};

struct ObservedAnalysis {
  std::vector<ObservedResult> results;  // one per d, in the order given
  std::string error;                    // empty when the input was valid
  bool ok() const { return error.empty(); }
};

// Why the counts cannot be analysed, or an empty text: N1 and K must lie in
// 1..N-1, S in max(0, K - N1)..min(K, N2), N at most FAST_MAX_APPLICANTS.
// The text names the offending count with its value ("K = 12 is not between 1
// and N - 1 = 9").
std::string observed_counts_error(const ObservedCounts& counts);

// Why alpha or a d value is not usable, or an empty text: alpha in (0, 1),
// every d finite.
std::string observed_parameters_error(std::span<const double> d_values, double alpha);

// The full analysis for every d value. Validates first (both checks above);
// on invalid input returns only the error and computes nothing. The
// d-independent values (rates, tests, d_ml and the interval) are the same in
// every record.
// The rules (distribution/rules.hpp) decide at `alpha` and `threshold`,
// which must lie in (0, 1]; the impact ratio's interval is at level 1 - alpha.
ObservedAnalysis analyse_observed(const ObservedCounts& counts, std::span<const double> d_values,
                                  double alpha, double threshold = DEFAULT_THRESHOLD);

// The parts, for callers that need only one. They assume validated counts.
struct EffectSizeEstimate {
  double d_ml = 0.0;
  double d_lower = 0.0;
  double d_upper = 0.0;
  EstimateStatus status = EstimateStatus::converged;
  EngineStatus engine = EngineStatus::converged;
};
// The ML d and the exact 1 - alpha interval, by Brent's method on brackets
// grown outward from d = 0 (roots) and a grid over the interval (maximum).
EffectSizeEstimate estimate_effect_size(std::int32_t N1, std::int32_t N2, std::int32_t K,
                                        std::int32_t S, double alpha);

// Interval ends are found to within ROOT_TOLERANCE_D in d, which keeps
// P(S <= s | d_lower) and P(S >= s | d_upper) within about 1e-10 of alpha / 2.
inline constexpr double ROOT_TOLERANCE_D = 1e-12;

}  // namespace kemro
