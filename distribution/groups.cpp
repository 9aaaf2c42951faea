// The checks of several groups' names, shares, counts and effect sizes, and
// the counts by largest remainder.
#include "distribution/groups.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>

#include "model/message_text.hpp"

namespace kemro {

namespace {

std::string count_mismatch(std::string_view what, std::size_t given, std::size_t groups) {
  return std::to_string(given) + " " + std::string(what) + " for " + std::to_string(groups) +
         " groups";
}

bool name_character(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

}  // namespace

std::string group_names_error(const std::vector<std::string>& names) {
  if (names.size() < static_cast<std::size_t>(GROUPS_MIN) ||
      names.size() > static_cast<std::size_t>(GROUPS_MAX)) {
    return std::to_string(names.size()) + " groups; give " + std::to_string(GROUPS_MIN) + " to " +
           std::to_string(GROUPS_MAX);
  }
  for (std::size_t g = 0; g < names.size(); ++g) {
    const std::string& name = names[g];
    if (name.empty() || name.size() > MAX_GROUP_NAME ||
        !std::all_of(name.begin(), name.end(), name_character)) {
      return "group name '" + name + "' is not 1 to " + std::to_string(MAX_GROUP_NAME) +
             " letters, digits and underscores";
    }
    if (std::find(names.begin(), names.begin() + static_cast<std::ptrdiff_t>(g), name) !=
        names.begin() + static_cast<std::ptrdiff_t>(g)) {
      return "group name '" + name + "' is given twice";
    }
  }
  return {};
}

std::string group_shares_error(const std::vector<double>& shares, std::size_t groups) {
  if (shares.size() != groups) return count_mismatch("shares", shares.size(), groups);
  double total = 0.0;
  for (double share : shares) {
    if (!(share > 0.0 && share < 1.0)) {
      return "share " + message::number_text(share) + " is not between 0 and 1 (exclusive)";
    }
    total += share;
  }
  if (!(std::fabs(total - 1.0) <= SHARE_SUM_TOLERANCE)) {
    return "the shares add up to " + message::number_text(total) + ", not 1";
  }
  return {};
}

std::string group_counts_error(const std::vector<std::int32_t>& counts, std::size_t groups,
                               std::int64_t N) {
  if (counts.size() != groups) return count_mismatch("counts", counts.size(), groups);
  const std::int64_t total = std::accumulate(counts.begin(), counts.end(), std::int64_t{0});
  if (total != N) {
    return "the counts add up to " + std::to_string(total) + ", not N = " + std::to_string(N);
  }
  return {};
}

std::string group_d_error(const std::vector<double>& d, std::size_t groups) {
  if (d.size() != groups) return count_mismatch("effect sizes", d.size(), groups);
  if (d.front() != 0.0) {
    return "the first group is the reference: its d must be 0, not " +
           message::number_text(d.front());
  }
  for (double value : d) {
    if (!std::isfinite(value)) return "d " + message::number_text(value) + " is not finite";
  }
  return {};
}

std::vector<std::int32_t> counts_from_shares(const std::vector<double>& shares, std::int32_t N) {
  const double total = std::accumulate(shares.begin(), shares.end(), 0.0);
  std::vector<std::int32_t> counts(shares.size());
  std::vector<double> remainder(shares.size());
  std::int64_t assigned = 0;
  for (std::size_t g = 0; g < shares.size(); ++g) {
    const double quota = shares[g] / total * static_cast<double>(N);
    counts[g] = static_cast<std::int32_t>(std::floor(quota));
    remainder[g] = quota - std::floor(quota);
    assigned += counts[g];
  }
  std::vector<std::size_t> order(shares.size());
  std::iota(order.begin(), order.end(), std::size_t{0});
  std::stable_sort(order.begin(), order.end(),
                   [&](std::size_t x, std::size_t y) { return remainder[x] > remainder[y]; });
  for (std::size_t i = 0; assigned < N; ++i, ++assigned) ++counts[order[i % order.size()]];
  return counts;
}

std::string group_problem_invalid_reason(const GroupProblem& p) {
  std::int64_t N = 0;
  for (std::size_t g = 0; g < p.applicants.size(); ++g) {
    if (p.applicants[g] < 1) return "group " + std::to_string(g + 1) + " has no applicants";
    N += p.applicants[g];
  }
  if (N > GROUPS_MAX_APPLICANTS) {
    return "N = " + std::to_string(N) + " is above the several-group engine's limit of " +
           std::to_string(GROUPS_MAX_APPLICANTS) + " applicants";
  }
  if (p.rule == SelectionRule::top_down && (p.hires < 1 || p.hires > N - 1)) {
    return "K = " + std::to_string(p.hires) +
           " is not between 1 and N - 1 = " + std::to_string(N - 1);
  }
  if (p.rule == SelectionRule::cut_score && !std::isfinite(p.cut_score)) {
    return "the cut score is not finite";
  }
  return {};
}

double fair_flag_probability(const std::vector<std::int64_t>& applicants,
                             const std::vector<std::int64_t>& hires) {
  const double NaN = std::numeric_limits<double>::quiet_NaN();
  const std::size_t G = applicants.size();
  if (G != hires.size() || G < static_cast<std::size_t>(GROUPS_MIN) ||
      G > static_cast<std::size_t>(GROUPS_MAX)) {
    return NaN;
  }
  const std::int64_t N = std::accumulate(applicants.begin(), applicants.end(), std::int64_t{0});
  const std::int64_t K = std::accumulate(hires.begin(), hires.end(), std::int64_t{0});
  if (N > GROUPS_MAX_APPLICANTS) return NaN;
  if (K == 0 || K == N) return 0.0;
  GroupProblem problem;
  problem.applicants.assign(applicants.begin(), applicants.end());
  problem.d.assign(G, 0.0);
  problem.hires = static_cast<std::int32_t>(K);
  const GroupSummary s = group_selection_summary(problem);
  return s.status == EngineStatus::converged ? s.P_any_below : NaN;
}

std::string_view selection_rule_name(SelectionRule rule) {
  return rule == SelectionRule::top_down ? "top-down" : "cut-score";
}

bool selection_rule_from_name(std::string_view name, SelectionRule& rule) {
  if (name == "top-down") {
    rule = SelectionRule::top_down;
  } else if (name == "cut-score") {
    rule = SelectionRule::cut_score;
  } else {
    return false;
  }
  return true;
}

}  // namespace kemro
