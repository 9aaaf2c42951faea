// The columns of the several-group record, named in this one place beside the
// summary catalogue (columns.hpp): kemro-grid's group records (text, CSV and
// JSON) and the R and Python packages' group data frames all take their column
// names, order and text layout from group_record_columns.
//
// Columns (<r> the reference group's name, <g> each other group's, in order):
//   scenario, N, selection ("top-down" or "cut-score"), K (undefined under a
//   cut score), cut_score (undefined under top-down), N_<r>, N_<g>..., status
//   ("computed"; "subdivision_limit" or "roundoff" when the estimate falls
//   short of its tolerance; "abandoned" without values), error_estimate,
//   evaluations, expected_SR_<r>, then for each other group
//   P_below_four_fifths_<g>, P_below_four_fifths_vs_highest_<g>,
//   expected_SR_<g>, expected_AI_<g>; then P_any_below_four_fifths; under a
//   cut score also expected_selected and P_none_selected.
// Columns may be added later; readers should select by name.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "model/fast/group_selection.hpp"

namespace kemro {

// What a column of the record holds.
enum class GroupQuantity {
  scenario,           // the 1-based grid index
  N,                  // applicants of all groups
  selection,          // the rule's name
  K,                  // hires (top-down)
  cut_score,          // the cut score (cut-score selection)
  applicants,         // N_g
  status,             // how the computation ended
  error_estimate,     // the engine's estimated absolute error
  evaluations,        // integrand evaluations
  expected_SR,        // E[S_g / N_g]
  P_below_reference,  // P(SR_g < 0.8 SR_reference)
  P_below_highest,    // P(SR_g < 0.8 times the highest rate of the others)
  expected_AI,        // E[AI_g] against the reference
  P_any_below,        // P(some group below four fifths of the highest rate)
  expected_selected,  // E[sum S_g] (cut score)
  P_none_selected,    // P(sum S_g = 0) (cut score)
};

struct GroupColumn {
  GroupQuantity quantity = GroupQuantity::scenario;
  std::size_t group = 0;  // the group of a per-group quantity, 0 the reference
  std::string name;       // CSV header and JSON key
  std::string header;     // kemro-grid's text-table header
  int width = 0;          // text width, the separating blank included
};

// The columns for groups `names` (the reference first) under `rule`, in CSV order.
std::vector<GroupColumn> group_record_columns(const std::vector<std::string>& names,
                                              SelectionRule rule);

}  // namespace kemro
