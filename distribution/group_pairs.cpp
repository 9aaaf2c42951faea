// The pairs of groups compared (group_pairs.hpp).
#include "distribution/group_pairs.hpp"

#include <algorithm>

#include "model/message_text.hpp"

namespace kemro {

namespace {

// The reference: the named group, or the one with the highest selection rate
// (the first seen among equal ones) other than `minority`; nullptr when there
// is none.
const GroupCount* reference_group(const std::vector<GroupCount>& groups,
                                  const std::string& reference, const std::string& minority) {
  const GroupCount* best = nullptr;
  for (const GroupCount& g : groups) {
    if (!reference.empty()) {
      if (g.name == reference) return &g;
      continue;
    }
    if (g.name == minority) continue;
    // hires / applicants above the best's, in integers
    if (best == nullptr || g.hires * best->applicants > best->hires * g.applicants) best = &g;
  }
  return best;
}

}  // namespace

std::vector<GroupPair> compare_groups(const std::vector<GroupCount>& groups,
                                      const std::string& reference, const std::string& minority) {
  std::vector<GroupPair> pairs;
  const GroupCount* chosen = reference_group(groups, reference, minority);
  const auto pair_of = [&](const GroupCount& g) {
    GroupPair p;
    p.group = g.name;
    if (chosen == nullptr) {
      p.reference = reference;
      p.unanalysable = reference.empty()
                           ? std::string("no other group to compare with")
                           : "no applicants of the reference group " + message::quoted(reference);
      return p;
    }
    p.reference = chosen->name;
    p.counts = {chosen->applicants + g.applicants, chosen->applicants, chosen->hires + g.hires,
                g.hires};
    return p;
  };
  if (!minority.empty()) {
    const auto g = std::find_if(groups.begin(), groups.end(),
                                [&](const GroupCount& c) { return c.name == minority; });
    if (g != groups.end()) {
      pairs.push_back(pair_of(*g));
    } else {
      GroupPair p = pair_of(GroupCount{minority, 0, 0});
      if (p.unanalysable.empty())
        p.unanalysable = "no applicants of group " + message::quoted(minority);
      pairs.push_back(std::move(p));
    }
    return pairs;
  }
  for (const GroupCount& g : groups) {
    if (&g != chosen) pairs.push_back(pair_of(g));
  }
  if (pairs.empty()) {
    GroupPair p = pair_of(groups.front());
    p.unanalysable =
        "only one group (" + message::quoted(groups.front().name) + ") among the applicants";
    pairs.push_back(std::move(p));
  }
  return pairs;
}

}  // namespace kemro
