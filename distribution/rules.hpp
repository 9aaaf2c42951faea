// The adverse impact rules in use, each a yes/no function of the counts of
// one outcome (N1 majority and N2 minority applicants, K hires, s of them
// minority, a = K - s majority), and how often each flags: the sum of the
// probabilities of the outcomes it flags. At d = 0 that is the rule's
// false-flag rate, at d > 0 its detection rate.
//
// Levels: alpha A is a two-sided level (a one-sided test is taken in the
// adverse direction at A / 2); the threshold T of the four-fifths rule is read
// to THRESHOLD_SCALE (twelve decimals) and decided in whole numbers, so that a
// ratio of exactly T never counts as below it. With SRA = a / N1, SRI = s / N2
// and P = K / N:
//   four_fifths             a > 0 and SRI < T SRA
//   z                       z = (SRA - SRI) / sqrt(P (1 - P) (1/N1 + 1/N2)) >= z_{1-A/2}
//   z_ir                    a > 0 and (s = 0 or Z_IR <= -z_{1-A/2}),
//                           Z_IR = ln(SRI/SRA) / sqrt((1 - P)/(P N2) + (1 - P)/(P N1))
//   fisher                  SRI < SRA and Fisher's two-sided p < A
//   fisher_one_sided        P_H(S <= s) < A / 2
//   fisher_mid_p            P_H(S < s) + P_H(S = s) / 2 < A / 2
//   four_fifths_and_z       both flag
//   four_fifths_and_fisher  both flag
//   four_fifths_flip        four_fifths flags at s and at s + 1 (one majority hire
//                           replaced by a minority hire)
// where P_H is the hypergeometric distribution of S given the margins.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace kemro {

inline constexpr double DEFAULT_RULE_ALPHA = 0.05;              // the usual two-sided level
inline constexpr double DEFAULT_THRESHOLD = 0.8;                // the four-fifths rule
inline constexpr std::int64_t THRESHOLD_SCALE = 1000000000000;  // T is read to 12 decimals

// The levels the rules decide at: alpha in (0, 1), threshold in (0, 1].
struct RuleLevels {
  double alpha = DEFAULT_RULE_ALPHA;
  double threshold = DEFAULT_THRESHOLD;
};

// Why the levels cannot be used, or an empty text ("alpha 1.5 is not between
// 0 and 1 (exclusive)").
std::string rule_levels_error(const RuleLevels& levels);

// What a rule looks at for one outcome: the counts, the levels worked out
// once per scenario, and the outcome's Fisher p-values.
struct RuleOutcome {
  std::int32_t N1 = 0;
  std::int32_t N2 = 0;
  std::int32_t K = 0;
  std::int32_t s = 0;
  double alpha = DEFAULT_RULE_ALPHA;
  double z_critical = 0.0;            // z_{1-A/2}
  std::int64_t threshold_scaled = 0;  // round(T * THRESHOLD_SCALE)
  double fisher_one_sided = 0.0;
  double fisher_mid_p = 0.0;
  double fisher_two_sided = 0.0;
};

// The rules' predicates (the table below names them).
bool flags_four_fifths(const RuleOutcome& o);
bool flags_z(const RuleOutcome& o);
bool flags_z_ir(const RuleOutcome& o);
bool flags_fisher(const RuleOutcome& o);
bool flags_fisher_one_sided(const RuleOutcome& o);
bool flags_fisher_mid_p(const RuleOutcome& o);
bool flags_four_fifths_and_z(const RuleOutcome& o);
bool flags_four_fifths_and_fisher(const RuleOutcome& o);
bool flags_four_fifths_flip(const RuleOutcome& o);

// One rule: its name, the column of its flag rate, a short header, the words
// a plot's axis or a report calls it by, the question it answers, and its predicate.
struct Rule {
  std::string_view name;
  std::string_view column;  // "P_flag_" + name
  std::string_view header;  // text-table header
  std::string_view words;
  std::string_view meaning;
  bool (*flags)(const RuleOutcome&);
};

// clang-format off
inline constexpr std::array<Rule, 9> RULES = {{
  {"four_fifths", "P_flag_four_fifths", "P(4/5)", "the four-fifths rule",
   "P(AI < threshold)", &flags_four_fifths},
  {"z", "P_flag_z", "P(z)", "the two-proportion Z test",
   "P(pooled z >= z_{1-alpha/2})", &flags_z},
  {"z_ir", "P_flag_z_ir", "P(zIR)", "the Z test of ln AI",
   "P(Z of ln AI <= -z_{1-alpha/2})", &flags_z_ir},
  {"fisher", "P_flag_fisher", "P(F2)", "Fisher's exact test (two-sided)",
   "P(SRI < SRA, Fisher two-sided p < alpha)", &flags_fisher},
  {"fisher_one_sided", "P_flag_fisher_one_sided", "P(F1)", "Fisher's exact test (one-sided)",
   "P(Fisher P(S <= s) < alpha/2)", &flags_fisher_one_sided},
  {"fisher_mid_p", "P_flag_fisher_mid_p", "P(Fmid)", "Fisher's mid-P test",
   "P(Fisher mid-P < alpha/2)", &flags_fisher_mid_p},
  {"four_fifths_and_z", "P_flag_four_fifths_and_z", "P(4/5&z)", "the four-fifths rule and the Z test",
   "P(four_fifths and z both flag)", &flags_four_fifths_and_z},
  {"four_fifths_and_fisher", "P_flag_four_fifths_and_fisher", "P(4/5&F)",
   "the four-fifths rule and Fisher's test", "P(four_fifths and fisher both flag)",
   &flags_four_fifths_and_fisher},
  {"four_fifths_flip", "P_flag_four_fifths_flip", "P(flip)",
   "the four-fifths rule surviving a flip", "P(four_fifths flags, also with one hire moved)",
   &flags_four_fifths_flip},
}};
// clang-format on
inline constexpr std::size_t RULE_COUNT = RULES.size();

// The position of a rule by its name, or -1.
int rule_index(std::string_view name);

using RuleRates = std::array<double, RULE_COUNT>;
using RuleFlags = std::array<bool, RULE_COUNT>;

// Every rule's flag rate over the outcomes first, first + 1, ... whose
// probabilities are `probabilities`, in one pass: Fisher's p-values of all
// outcomes come from one pass over the hypergeometric probabilities
// (fisher_p_values). Needs counts the engines take (N1, N2 >= 1,
// 1 <= K <= N - 1, outcomes within max(0, K - N1)..min(K, N2)) and valid levels.
RuleRates flag_probabilities(std::int32_t N1, std::int32_t N2, std::int32_t K, std::int32_t first,
                             std::span<const double> probabilities, const RuleLevels& levels);

// Every rule's false-flag rate for decisions of this size: the flag rates
// over the hypergeometric distribution of S (d = 0), exactly.
RuleRates false_flag_rates(std::int32_t N1, std::int32_t N2, std::int32_t K,
                           const RuleLevels& levels);

// Whether each rule flags the decision with s minority hires, its Fisher
// p-values from fisher_test.
RuleFlags rule_flags(std::int32_t N1, std::int32_t N2, std::int32_t K, std::int32_t s,
                     const RuleLevels& levels);

// The two Z statistics (NaN where undefined).
struct ZTest {
  double z = 0.0;
  double p_two_sided = 0.0;  // 2 (1 - Phi(|z|))
};
// z = (SRA - SRI) / sqrt(P (1 - P) (1/N1 + 1/N2)); > 0 favours the majority.
ZTest two_proportion_z(std::int32_t N1, std::int32_t N2, std::int32_t K, std::int32_t S);
// Z_IR = ln(SRI/SRA) / sqrt((1 - P)/(P N2) + (1 - P)/(P N1)); NaN when s = 0 or a = 0.
ZTest log_ratio_z(std::int32_t N1, std::int32_t N2, std::int32_t K, std::int32_t S);

// The 1 - alpha interval of the impact ratio, exp(ln AI -+ z_{1-A/2}
// sqrt((1 - SRI)/s + (1 - SRA)/a)); both ends NaN with a reason when s = 0 or a = 0.
struct RatioInterval {
  double lower = 0.0;
  double upper = 0.0;
  std::string_view missing;  // why the interval does not exist, or empty
};
RatioInterval impact_ratio_interval(std::int32_t N1, std::int32_t N2, std::int32_t K,
                                    std::int32_t S, double alpha);

}  // namespace kemro
