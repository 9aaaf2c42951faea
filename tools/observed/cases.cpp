#include "tools/observed/cases.hpp"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <map>

#include "distribution/group_pairs.hpp"
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

// The index of a column that must exist; sets `error` when it does not,
// naming the columns there are.
int required_column(const std::vector<std::string>& header, std::string_view file,
                    std::string_view name, std::string_view option, std::string& error) {
  const int index = cli::column_index(header, name);
  if (index < 0 && error.empty()) {
    error = std::string(file) + ": no column " + quoted(name) +
            (option.empty() ? "" : " (named by " + std::string(option) + ")") +
            "; the columns are " + cli::column_list(header);
  }
  return index;
}

// 'a', 'b', 'c'
std::string quoted_list(const std::vector<std::string>& values) {
  std::string text;
  for (const std::string& v : values) {
    if (!text.empty()) text += ", ";
    text += quoted(v);
  }
  return text;
}

// The cases of one subgroup: each compared group against the reference
// (compare_groups), with the counts of the two groups alone; a pair missing
// one of its groups says so in `unanalysable`.
std::vector<Case> compared_pairs(const std::vector<GroupTally>& groups,
                                 const ApplicantColumns& columns) {
  std::vector<GroupCount> counts;
  for (const GroupTally& g : groups) counts.push_back({g.name, g.applicants, g.hires});
  std::vector<Case> cases;
  for (GroupPair& p : compare_groups(counts, columns.reference, columns.minority)) {
    Case c;
    c.group = std::move(p.group);
    c.reference = std::move(p.reference);
    c.counts = p.counts;
    c.unanalysable = std::move(p.unanalysable);
    c.groups = groups;
    cases.push_back(std::move(c));
  }
  return cases;
}

std::string too_many_cases(std::string_view file) {
  return std::string(file) + ": more than " + std::to_string(MAX_CASES) + " cases";
}

// A --cases table read record by record.
class CountsReader {
 public:
  explicit CountsReader(std::string_view file) : file_(file) {}

  std::string header(const std::vector<std::string>& header) {
    for (const std::string& name : header) {
      const bool known =
          name == LABEL_COLUMN ||
          std::find(COUNT_COLUMNS.begin(), COUNT_COLUMNS.end(), name) != COUNT_COLUMNS.end();
      if (!known) {
        return where(file_, 1) + ": unknown column " + quoted(name) +
               " (the columns are N, N1, K, S and an optional label)";
      }
    }
    std::string error;
    for (std::size_t c = 0; c < COUNT_COLUMNS.size(); ++c) {
      at_[c] = required_column(header, file_, COUNT_COLUMNS[c], "", error);
    }
    label_at_ = cli::column_index(header, LABEL_COLUMN);
    list_.labelled = label_at_ >= 0;
    return error;
  }

  std::string record(const CsvRecord& record) {
    if (list_.cases.size() == MAX_CASES) return too_many_cases(file_);
    std::array<std::int64_t, COUNT_COLUMNS.size()> value{};
    for (std::size_t c = 0; c < COUNT_COLUMNS.size(); ++c) {
      const std::string& text = record.fields[static_cast<std::size_t>(at_[c])];
      if (!parse_whole_number(text, value[c])) {
        return where(file_, record.line, COUNT_COLUMNS[c]) + ": " + quoted(text) +
               " is not a whole number";
      }
    }
    Case c;
    if (label_at_ >= 0) c.label = record.fields[static_cast<std::size_t>(label_at_)];
    c.counts = {value[0], value[1], value[2], value[3]};
    const std::string why = observed_counts_error(c.counts);
    if (!why.empty()) return where(file_, record.line) + ": " + why;
    list_.cases.push_back(std::move(c));
    return {};
  }

  CaseList finish() {
    if (list_.cases.empty()) list_.error = std::string(file_) + ": no cases after the header";
    return std::move(list_);
  }

 private:
  std::string file_;
  std::array<int, COUNT_COLUMNS.size()> at_{};
  int label_at_ = -1;
  CaseList list_;
};

// Applicant data read record by record into running counts per --by value.
class ApplicantsReader {
 public:
  ApplicantsReader(std::string_view file, const ApplicantColumns& columns)
      : file_(file), columns_(columns) {}

  std::string header(const std::vector<std::string>& header) {
    std::string error;
    group_at_ = required_column(header, file_, columns_.group, "--group-column", error);
    hired_at_ = required_column(header, file_, columns_.hired, "--hired-column", error);
    by_at_ = columns_.by.empty() ? -1 : required_column(header, file_, columns_.by, "--by", error);
    return error;
  }

  std::string record(const CsvRecord& record) {
    const std::string& group = record.fields[static_cast<std::size_t>(group_at_)];
    const std::string& hired = record.fields[static_cast<std::size_t>(hired_at_)];
    if (group.empty()) return where(file_, record.line, columns_.group) + ": the group is empty";
    const HiredValue h = parse_hired(hired);
    if (h == HiredValue::Invalid) {
      return where(file_, record.line, columns_.hired) + ": " + quoted(hired) +
             " is not one of 1/0, yes/no, y/n, true/false";
    }
    std::string key;
    if (by_at_ >= 0) {
      key = record.fields[static_cast<std::size_t>(by_at_)];
      if (key.empty()) return where(file_, record.line, columns_.by) + ": the value is empty";
    }
    auto found = tallies_.find(key);
    if (found == tallies_.end()) {
      if (order_.size() == MAX_CASES) return too_many_cases(file_);
      found = tallies_.emplace(key, std::vector<GroupTally>{}).first;
      order_.push_back(key);
    }
    std::vector<GroupTally>& tallies = found->second;
    auto t = std::find_if(tallies.begin(), tallies.end(),
                          [&](const GroupTally& g) { return g.name == group; });
    if (t == tallies.end()) t = tallies.insert(tallies.end(), GroupTally{group, 0, 0});
    ++t->applicants;
    t->hires += h == HiredValue::Hired ? 1 : 0;
    if (std::find(values_.begin(), values_.end(), group) == values_.end()) values_.push_back(group);
    return {};
  }

  CaseList finish() {
    CaseList list;
    list.labelled = by_at_ >= 0;
    list.grouped = true;
    if (order_.empty()) {
      list.error = std::string(file_) + ": no applicants after the header";
      return list;
    }
    const std::array<std::pair<std::string_view, std::string_view>, 2> named = {
        {{"--minority", columns_.minority}, {"--reference", columns_.reference}}};
    for (const auto& [option, value] : named) {
      if (!value.empty() && std::find(values_.begin(), values_.end(), value) == values_.end()) {
        list.error = file_ + ": " + std::string(option) + " " + quoted(value) +
                     " does not occur in column " + quoted(columns_.group) + "; its values are " +
                     quoted_list(values_);
        return list;
      }
    }
    for (const std::string& key : order_) {
      for (Case& c : compared_pairs(tallies_.at(key), columns_)) {
        c.label = key;
        if (c.unanalysable.empty()) c.unanalysable = observed_counts_error(c.counts);
        if (!c.unanalysable.empty() && by_at_ < 0) {
          list.error = file_ + ": " + c.group + " against " + c.reference + ": " + c.unanalysable;
          return list;
        }
        if (list.cases.size() == MAX_CASES) {
          list.error = too_many_cases(file_);
          return list;
        }
        list.cases.push_back(std::move(c));
      }
    }
    return list;
  }

 private:
  std::string file_;
  ApplicantColumns columns_;
  int group_at_ = -1;
  int hired_at_ = -1;
  int by_at_ = -1;
  std::vector<std::string> order_;  // --by values in order of first appearance
  std::map<std::string, std::vector<GroupTally>> tallies_;  // per --by value ("" without --by)
  std::vector<std::string> values_;  // every group value, in order of first appearance
};

// Runs a reader over the records of a table already read.
template <typename Reader>
CaseList read_table(const CsvTable& table, Reader reader) {
  CaseList list;
  list.error = reader.header(table.header);
  for (std::size_t i = 0; list.ok() && i < table.records.size(); ++i) {
    list.error = reader.record(table.records[i]);
  }
  return list.ok() ? reader.finish() : list;
}

// Runs a reader over the records of a file's text as they are read.
template <typename Reader>
CaseList read_text(std::string_view text, std::string_view file, const CsvOptions& csv,
                   Reader reader) {
  cli::CsvReceiver receiver;
  std::string own_error;  // the reader's error, already naming the file
  receiver.header = [&](const std::vector<std::string>& header) {
    return own_error = reader.header(header);
  };
  receiver.record = [&](const CsvRecord& record) { return own_error = reader.record(record); };
  CaseList list;
  list.error = cli::read_csv(text, csv, receiver);
  if (list.ok()) return reader.finish();
  if (own_error.empty()) {
    list.error = std::string(file) + (list.error.starts_with("line ") ? ", " : ": ") + list.error;
  }
  return list;
}

}  // namespace

bool parse_whole_number(std::string_view text, std::int64_t& value) {
  // from_chars takes a minus sign but no plus; a plus is taken here, once ("+-0" is no number).
  if (text.starts_with('+')) {
    text.remove_prefix(1);
    if (text.starts_with('-')) return false;
  }
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  return !text.empty() && ec == std::errc{} && end == text.data() + text.size();
}

HiredValue parse_hired(std::string_view text) {
  for (std::string_view yes : {"1", "yes", "y", "true"}) {
    if (equal_ignoring_case(text, yes)) return HiredValue::Hired;
  }
  for (std::string_view no : {"0", "no", "n", "false"}) {
    if (equal_ignoring_case(text, no)) return HiredValue::NotHired;
  }
  return HiredValue::Invalid;
}

CaseList cases_from_table(const CsvTable& table, std::string_view file) {
  return read_table(table, CountsReader(file));
}

CaseList cases_from_applicants(const CsvTable& table, std::string_view file,
                               const ApplicantColumns& columns) {
  return read_table(table, ApplicantsReader(file, columns));
}

CaseList cases_from_text(std::string_view text, std::string_view file, const CsvOptions& csv,
                         const ApplicantColumns* applicants) {
  if (applicants != nullptr) return read_text(text, file, csv, ApplicantsReader(file, *applicants));
  return read_text(text, file, csv, CountsReader(file));
}

}  // namespace kemro::observed
