#include "tools/observed/cases.hpp"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <map>

#include "tools/common/options.hpp"

namespace kemro::observed {
namespace {

using cli::quoted;

constexpr std::array<std::string_view, 4> COUNT_COLUMNS = {"N", "N1", "K", "S"};
constexpr std::string_view LABEL_COLUMN = "label";

std::string where(std::string_view file, std::size_t line) {
  return std::string(file) + ", line " + std::to_string(line);
}

std::string where(std::string_view file, std::size_t line, std::string_view column) {
  return where(file, line) + ", column " + quoted(column);
}

bool equal_ignoring_case(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

// The index of a column that must exist; sets `error` when it does not.
int required_column(const CsvTable& table, std::string_view file, std::string_view name,
                    std::string_view option, std::string& error) {
  const int index = column_index(table, name);
  if (index < 0 && error.empty()) {
    error = std::string(file) + ": no column " + quoted(name) +
            (option.empty() ? "" : " (named by " + std::string(option) + ")");
  }
  return index;
}

// Running counts of one case of applicant data.
struct Tally {
  std::int64_t applicants = 0;
  std::int64_t majority = 0;
  std::int64_t hires = 0;
  std::int64_t minority_hires = 0;
  std::size_t first_line = 0;
};

}  // namespace

bool parse_whole_number(std::string_view text, std::int64_t& value) {
  if (text.starts_with('+')) text.remove_prefix(1);
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  return !text.empty() && ec == std::errc{} && end == text.data() + text.size();
}

HiredValue parse_hired(std::string_view text) {
  for (std::string_view yes : {"1", "yes", "true"}) {
    if (equal_ignoring_case(text, yes)) return HiredValue::Hired;
  }
  for (std::string_view no : {"0", "no", "false"}) {
    if (equal_ignoring_case(text, no)) return HiredValue::NotHired;
  }
  return HiredValue::Invalid;
}

CaseList cases_from_table(const CsvTable& table, std::string_view file) {
  CaseList list;
  for (const std::string& name : table.header) {
    const bool known = name == LABEL_COLUMN || std::find(COUNT_COLUMNS.begin(), COUNT_COLUMNS.end(),
                                                         name) != COUNT_COLUMNS.end();
    if (!known) {
      list.error = where(file, 1) + ": unknown column " + quoted(name) +
                   " (the columns are N, N1, K, S and an optional label)";
      return list;
    }
  }
  std::array<int, COUNT_COLUMNS.size()> at{};
  for (std::size_t c = 0; c < COUNT_COLUMNS.size(); ++c) {
    at[c] = required_column(table, file, COUNT_COLUMNS[c], "", list.error);
  }
  if (!list.ok()) return list;
  const int label_at = column_index(table, LABEL_COLUMN);
  list.labelled = label_at >= 0;
  if (table.records.empty()) {
    list.error = std::string(file) + ": no cases after the header";
    return list;
  }
  for (const CsvRecord& record : table.records) {
    std::array<std::int64_t, COUNT_COLUMNS.size()> value{};
    for (std::size_t c = 0; c < COUNT_COLUMNS.size(); ++c) {
      const std::string& text = record.fields[static_cast<std::size_t>(at[c])];
      if (!parse_whole_number(text, value[c])) {
        list.error = where(file, record.line, COUNT_COLUMNS[c]) + ": " + quoted(text) +
                     " is not a whole number";
        return list;
      }
    }
    Case c{label_at >= 0 ? record.fields[static_cast<std::size_t>(label_at)] : std::string{},
           {value[0], value[1], value[2], value[3]}};
    const std::string why = observed_counts_error(c.counts);
    if (!why.empty()) {
      list.error = where(file, record.line) + ": " + why;
      return list;
    }
    list.cases.push_back(std::move(c));
  }
  return list;
}

CaseList cases_from_applicants(const CsvTable& table, std::string_view file,
                               const ApplicantColumns& columns) {
  CaseList list;
  const int group_at = required_column(table, file, columns.group, "--group-column", list.error);
  const int hired_at = required_column(table, file, columns.hired, "--hired-column", list.error);
  const int by_at =
      columns.by.empty() ? -1 : required_column(table, file, columns.by, "--by", list.error);
  if (!list.ok()) return list;
  if (table.records.empty()) {
    list.error = std::string(file) + ": no applicants after the header";
    return list;
  }
  list.labelled = by_at >= 0;

  std::vector<std::string> order;        // --by values in order of first appearance
  std::map<std::string, Tally> tallies;  // per --by value ("" without --by)
  for (const CsvRecord& record : table.records) {
    const std::string& group = record.fields[static_cast<std::size_t>(group_at)];
    const std::string& hired = record.fields[static_cast<std::size_t>(hired_at)];
    if (group.empty()) {
      list.error = where(file, record.line, columns.group) + ": the group is empty";
      return list;
    }
    const HiredValue h = parse_hired(hired);
    if (h == HiredValue::Invalid) {
      list.error = where(file, record.line, columns.hired) + ": " + quoted(hired) +
                   " is not one of 1/0, yes/no, true/false";
      return list;
    }
    std::string key;
    if (by_at >= 0) {
      key = record.fields[static_cast<std::size_t>(by_at)];
      if (key.empty()) {
        list.error = where(file, record.line, columns.by) + ": the value is empty";
        return list;
      }
    }
    auto [it, added] = tallies.try_emplace(key);
    Tally& t = it->second;
    if (added) {
      order.push_back(key);
      t.first_line = record.line;
    }
    const bool minority = group == columns.minority;
    const bool is_hired = h == HiredValue::Hired;
    ++t.applicants;
    t.majority += minority ? 0 : 1;
    t.hires += is_hired ? 1 : 0;
    t.minority_hires += minority && is_hired ? 1 : 0;
  }
  for (const std::string& key : order) {
    const Tally& t = tallies.at(key);
    Case c{key, {t.applicants, t.majority, t.hires, t.minority_hires}};
    const std::string why = observed_counts_error(c.counts);
    if (!why.empty()) {
      list.error = std::string(file) +
                   (by_at >= 0 ? ", " + columns.by + " = " + quoted(key) : std::string{}) + ": " +
                   why;
      return list;
    }
    list.cases.push_back(std::move(c));
  }
  return list;
}

}  // namespace kemro::observed
