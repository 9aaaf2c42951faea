// One case of kemro-observed: the counts of a hiring decision as read from
// the command line or a file, with its label and, for applicant data, the
// groups compared.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "distribution/observed.hpp"

namespace kemro::observed {

// One group of applicant data: its value in the group column and its counts.
struct GroupTally {
  std::string name;
  std::int64_t applicants = 0;
  std::int64_t hires = 0;
};

struct Case {
  std::string label;  // the label column, or the --by value; empty without either
  ObservedCounts counts;
  // Applicant data: the group compared (the counts' minority) and the group
  // it is compared with (their majority), every group of the case's subgroup
  // in order of first appearance, and why the pair cannot be analysed (empty
  // when it can; otherwise nothing is computed for it).
  std::string group;
  std::string reference;
  std::vector<GroupTally> groups;
  std::string unanalysable;
};

}  // namespace kemro::observed
