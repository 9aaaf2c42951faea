// The rules' predicates, the statistics they decide on and the one-pass sums
// of their flag probabilities. The formulas are those of rules.hpp; each
// predicate is one line over a RuleOutcome.
#include "distribution/rules.hpp"

#include <gsl/gsl_cdf.h>

#include <cmath>
#include <limits>
#include <vector>

#include "distribution/hypergeometric.hpp"
#include "model/message_text.hpp"

namespace kemro {
namespace {

// 128 bits hold T_scaled * a * N2 and THRESHOLD_SCALE * s * N1: below 1e12 * 2.5e13 for N <= 1e7.
__extension__ typedef __int128 Wide;

const double NaN = std::numeric_limits<double>::quiet_NaN();

// SRI < T SRA with a > 0, in whole numbers: THRESHOLD_SCALE s N1 < T_scaled a N2.
bool below_threshold(std::int64_t s, std::int64_t a, const RuleOutcome& o) {
  return a > 0 && Wide{THRESHOLD_SCALE} * s * o.N1 < Wide{o.threshold_scaled} * a * o.N2;
}

// SRI < SRA in whole numbers: s N1 < a N2.
bool minority_rate_lower(const RuleOutcome& o) {
  return std::int64_t{o.s} * o.N1 < (std::int64_t{o.K} - o.s) * o.N2;
}

// z_{1-A/2}, the two-sided critical value.
double z_critical(double alpha) {
  return gsl_cdf_ugaussian_Qinv(alpha / 2.0);
}

RuleOutcome outcome_frame(std::int32_t N1, std::int32_t N2, std::int32_t K,
                          const RuleLevels& levels) {
  RuleOutcome o;
  o.N1 = N1;
  o.N2 = N2;
  o.K = K;
  o.alpha = levels.alpha;
  o.z_critical = z_critical(levels.alpha);
  o.threshold_scaled = std::llround(levels.threshold * static_cast<double>(THRESHOLD_SCALE));
  return o;
}

}  // namespace

std::string rule_levels_error(const RuleLevels& levels) {
  if (!(levels.alpha > 0.0 && levels.alpha < 1.0)) {
    return "alpha " + message::number_text(levels.alpha) + " is not between 0 and 1 (exclusive)";
  }
  if (!(levels.threshold > 0.0 && levels.threshold <= 1.0)) {
    return "threshold " + message::number_text(levels.threshold) + " is not in (0, 1]";
  }
  return {};
}

bool flags_four_fifths(const RuleOutcome& o) {
  return below_threshold(o.s, std::int64_t{o.K} - o.s, o);
}

bool flags_z(const RuleOutcome& o) {
  return two_proportion_z(o.N1, o.N2, o.K, o.s).z >= o.z_critical;
}

bool flags_z_ir(const RuleOutcome& o) {
  return o.K > o.s && (o.s == 0 || log_ratio_z(o.N1, o.N2, o.K, o.s).z <= -o.z_critical);
}

bool flags_fisher(const RuleOutcome& o) {
  return minority_rate_lower(o) && o.fisher_two_sided < o.alpha;
}

bool flags_fisher_one_sided(const RuleOutcome& o) {
  return o.fisher_one_sided < o.alpha / 2.0;
}

bool flags_fisher_mid_p(const RuleOutcome& o) {
  return o.fisher_mid_p < o.alpha / 2.0;
}

bool flags_four_fifths_and_z(const RuleOutcome& o) {
  return flags_four_fifths(o) && flags_z(o);
}

bool flags_four_fifths_and_fisher(const RuleOutcome& o) {
  return flags_four_fifths(o) && flags_fisher(o);
}

bool flags_four_fifths_flip(const RuleOutcome& o) {
  const std::int64_t a = std::int64_t{o.K} - o.s;
  return flags_four_fifths(o) && o.s < o.N2 && below_threshold(o.s + 1, a - 1, o);
}

int rule_index(std::string_view name) {
  for (std::size_t i = 0; i < RULES.size(); ++i) {
    if (RULES[i].name == name) return static_cast<int>(i);
  }
  return -1;
}

RuleRates flag_probabilities(std::int32_t N1, std::int32_t N2, std::int32_t K, std::int32_t first,
                             std::span<const double> probabilities, const RuleLevels& levels) {
  const FisherPValues fisher = fisher_p_values(N1, N2, K);
  RuleOutcome o = outcome_frame(N1, N2, K, levels);
  RuleRates rates{};
  for (std::size_t i = 0; i < probabilities.size(); ++i) {
    o.s = first + static_cast<std::int32_t>(i);
    o.fisher_one_sided = fisher.one_sided_at(o.s);
    o.fisher_mid_p = fisher.mid_p_at(o.s);
    o.fisher_two_sided = fisher.two_sided_at(o.s);
    for (std::size_t r = 0; r < RULE_COUNT; ++r) {
      if (RULES[r].flags(o)) rates[r] += probabilities[i];
    }
  }
  return rates;
}

RuleRates false_flag_rates(std::int32_t N1, std::int32_t N2, std::int32_t K,
                           const RuleLevels& levels) {
  const FisherPValues fisher = fisher_p_values(N1, N2, K);
  return flag_probabilities(N1, N2, K, fisher.first, fisher.point, levels);
}

RuleFlags rule_flags(std::int32_t N1, std::int32_t N2, std::int32_t K, std::int32_t s,
                     const RuleLevels& levels) {
  RuleOutcome o = outcome_frame(N1, N2, K, levels);
  o.s = s;
  const FisherTest fisher = fisher_test(N1, N2, K, s);
  o.fisher_one_sided = fisher.one_sided;
  o.fisher_mid_p = fisher.mid_p;
  o.fisher_two_sided = fisher.two_sided;
  RuleFlags flags{};
  for (std::size_t r = 0; r < RULE_COUNT; ++r) flags[r] = RULES[r].flags(o);
  return flags;
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

ZTest log_ratio_z(std::int32_t N1, std::int32_t N2, std::int32_t K, std::int32_t S) {
  if (S == 0 || S == K) return {NaN, NaN};
  const double N = static_cast<double>(N1) + N2;
  const double P = K / N;
  // Z_IR = ln(SRI/SRA) / sqrt((1 - P)/(P N2) + (1 - P)/(P N1))
  const double standard_error = std::sqrt((1.0 - P) / (P * N2) + (1.0 - P) / (P * N1));
  const double log_ratio =
      std::log(static_cast<double>(S) / N2) - std::log(static_cast<double>(K - S) / N1);
  ZTest t;
  t.z = log_ratio / standard_error;
  t.p_two_sided = std::erfc(std::abs(t.z) / std::sqrt(2.0));  // 2 (1 - Phi(|z|))
  return t;
}

RatioInterval impact_ratio_interval(std::int32_t N1, std::int32_t N2, std::int32_t K,
                                    std::int32_t S, double alpha) {
  if (S == 0) return {NaN, NaN, "no minority hire (s = 0): ln AI is -infinity"};
  if (S == K) return {NaN, NaN, "no majority hire (a = 0): AI is undefined"};
  const double SRI = static_cast<double>(S) / N2;
  const double SRA = static_cast<double>(K - S) / N1;
  // ln AI -+ z_{1-A/2} sqrt((1 - SRI)/s + (1 - SRA)/a)
  const double half_width = z_critical(alpha) * std::sqrt((1.0 - SRI) / S + (1.0 - SRA) / (K - S));
  const double log_ratio = std::log(SRI) - std::log(SRA);
  return {std::exp(log_ratio - half_width), std::exp(log_ratio + half_width), {}};
}

}  // namespace kemro
