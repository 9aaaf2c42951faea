// The pairs an analysis of several groups compares: each group against a
// reference group, the counts of the two groups alone, as kemro-observed
// forms them from applicant data and the R and Python packages from a table
// of groups.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "distribution/observed.hpp"

namespace kemro {

// One group: its name and its counts of applicants and hires.
struct GroupCount {
  std::string name;
  std::int64_t applicants = 0;
  std::int64_t hires = 0;
};

// One comparison: the group compared (the minority of the counts) and the
// reference it is compared with (their majority), or why the pair cannot be
// analysed (then the counts are not to be analysed). The counts themselves
// are not checked here (observed_counts_error does that).
struct GroupPair {
  std::string group;
  std::string reference;
  ObservedCounts counts;
  std::string unanalysable;
};

// The reference is the group named `reference`, or when it is empty the
// group with the highest selection rate (the first of equal ones), leaving
// out the group named `minority`. With `minority` set only that group is
// compared (a pair saying so when it has no applicants); otherwise every
// group but the reference, in order. Without another group to compare, one
// pair says why. `groups` must not be empty.
std::vector<GroupPair> compare_groups(const std::vector<GroupCount>& groups,
                                      const std::string& reference, const std::string& minority);

}  // namespace kemro
