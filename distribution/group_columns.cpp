// The several-group record's columns (group_columns.hpp).
#include "distribution/group_columns.hpp"

#include <algorithm>

namespace kemro {

namespace {

// Text widths, the separating blank included; a per-group header widens its column.
constexpr int INDEX_WIDTH = 6;
constexpr int COUNT_WIDTH = 8;
constexpr int TEXT_WIDTH = 11;
constexpr int VALUE_WIDTH = 11;
constexpr int STATUS_WIDTH = 18;       // "subdivision_limit" and a blank
constexpr int EVALUATIONS_WIDTH = 13;  // counts up to 1e11 and more
constexpr int ANY_BELOW_WIDTH = 12;    // "P(any<0.8)" and a blank
constexpr int SELECTED_WIDTH = 13;     // "E[selected]" and a blank

}  // namespace

std::vector<GroupColumn> group_record_columns(const std::vector<std::string>& names,
                                              SelectionRule rule) {
  using Q = GroupQuantity;
  std::vector<GroupColumn> columns;
  const auto add = [&](Q quantity, std::size_t group, std::string name, std::string header,
                       int width) {
    columns.push_back({quantity, group, std::move(name), std::move(header), width});
  };
  // A column named after group g: at least `least` wide, and wide enough for its header.
  const auto add_group = [&](Q quantity, std::size_t g, const char* name, const char* header,
                             int least) {
    const std::string text = header + names[g];
    const int width = std::max<int>(least, static_cast<int>(text.size()) + 1);
    add(quantity, g, name + names[g], text, width);
  };
  add(Q::scenario, 0, "scenario", "#", INDEX_WIDTH);
  add(Q::N, 0, "N", "N", COUNT_WIDTH);
  add(Q::selection, 0, "selection", "selection", TEXT_WIDTH);
  add(Q::K, 0, "K", "K", COUNT_WIDTH);
  add(Q::cut_score, 0, "cut_score", "C", VALUE_WIDTH);
  for (std::size_t g = 0; g < names.size(); ++g) {
    add_group(Q::applicants, g, "N_", "N_", COUNT_WIDTH);
  }
  add(Q::status, 0, "status", "status", STATUS_WIDTH);
  add(Q::error_estimate, 0, "error_estimate", "error", VALUE_WIDTH);
  add(Q::evaluations, 0, "evaluations", "evaluations", EVALUATIONS_WIDTH);
  add_group(Q::expected_SR, 0, "expected_SR_", "E[SR] ", VALUE_WIDTH);
  for (std::size_t g = 1; g < names.size(); ++g) {
    add_group(Q::P_below_reference, g, "P_below_four_fifths_", "P<0.8 ", VALUE_WIDTH);
    add_group(Q::P_below_highest, g, "P_below_four_fifths_vs_highest_", "P<0.8hi ", VALUE_WIDTH);
    add_group(Q::expected_SR, g, "expected_SR_", "E[SR] ", VALUE_WIDTH);
    add_group(Q::expected_AI, g, "expected_AI_", "E[AI] ", VALUE_WIDTH);
  }
  add(Q::P_any_below, 0, "P_any_below_four_fifths", "P(any<0.8)", ANY_BELOW_WIDTH);
  if (rule == SelectionRule::cut_score) {
    add(Q::expected_selected, 0, "expected_selected", "E[selected]", SELECTED_WIDTH);
    add(Q::P_none_selected, 0, "P_none_selected", "P(none)", VALUE_WIDTH);
  }
  return columns;
}

}  // namespace kemro
