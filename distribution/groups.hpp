// Several groups in one scenario as the front ends describe them: group
// names, applicant counts (given, or from shares by largest remainder) and
// effect sizes, checked here once so that kemro-grid, kemro-observed and the R
// package refuse the same input in the same words. Every check returns one
// sentence without a final full stop, or an empty text when the input is usable.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "model/fast/group_selection.hpp"

namespace kemro {

// How far the shares may add up from 1.
inline constexpr double SHARE_SUM_TOLERANCE = 1e-9;
// Longest group name (it becomes part of column names).
inline constexpr std::size_t MAX_GROUP_NAME = 40;

// Names: GROUPS_MIN to GROUPS_MAX of them, each of letters, digits and
// underscores, none repeated.
std::string group_names_error(const std::vector<std::string>& names);

// Shares: one per group, each above 0, adding up to 1 within SHARE_SUM_TOLERANCE.
std::string group_shares_error(const std::vector<double>& shares, std::size_t groups);

// Counts: one per group, adding up to N.
std::string group_counts_error(const std::vector<std::int32_t>& counts, std::size_t groups,
                               std::int64_t N);

// Effect sizes: one per group, finite, the first (the reference's) 0.
std::string group_d_error(const std::vector<double>& d, std::size_t groups);

// The counts of N applicants by shares, by largest remainder: each group gets
// floor(share N / total share), and the applicants left over go one each to
// the groups with the largest remainders (ties to the earlier group), so that
// the counts add up to N. Needs shares accepted by group_shares_error.
std::vector<std::int32_t> counts_from_shares(const std::vector<double>& shares, std::int32_t N);

// Why the engine cannot compute the problem (a group without applicants, too
// many applicants, K outside 1..N - 1, a cut score that is not finite), or an
// empty text. Names and d's are checked by the functions above.
std::string group_problem_invalid_reason(const GroupProblem& problem);

// The probability that a fair selection flags some group: every set of
// K = sum of `hires` from the groups' applicants equally likely (the
// multivariate hypergeometric, which is top-down selection at d = 0), and
// some group's selection rate below four fifths of the highest. 0 when
// K = 0 or K = N (every rate equal); NaN outside 2..GROUPS_MAX groups or the
// engine's applicant limit, or when the engine fails.
double fair_flag_probability(const std::vector<std::int64_t>& applicants,
                             const std::vector<std::int64_t>& hires);

// The rule's name as the tools spell it ("top-down", "cut-score"), and back.
std::string_view selection_rule_name(SelectionRule rule);
bool selection_rule_from_name(std::string_view name, SelectionRule& rule);

}  // namespace kemro
