// The cases of kemro-observed as read from files: a table of counts with one
// case per row (--cases), or applicant data with one row per applicant whose
// counts are formed per value of a grouping column (--applicant-data). Every
// case is checked here, before anything is computed; the first that fails
// names the file, line and column where there is one.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "distribution/observed.hpp"
#include "tools/observed/csv_table.hpp"

namespace kemro::observed {

struct Case {
  std::string label;  // the label column, or the --by value; empty without either
  ObservedCounts counts;
};

struct CaseList {
  std::vector<Case> cases;
  bool labelled = false;  // whether the cases carry labels (a label column or --by)
  std::string error;      // "FILE, line 4, column 'K': ..."; empty when every case is valid
  bool ok() const { return error.empty(); }
};

// The columns of a --cases table: N, N1, K and S, whole numbers, and an
// optional label; any other column is an error.
CaseList cases_from_table(const CsvTable& table, std::string_view file);

// What --applicant-data is told about its columns.
struct ApplicantColumns {
  std::string group;     // --group-column: the applicant's group
  std::string minority;  // --minority: the group value of the minority; every other one is majority
  std::string hired;     // --hired-column: 1/0, yes/no or true/false, in any letter case
  std::string by;        // --by: one case per value, in order of first appearance; empty: one case
};

// Counts the applicants and hires of each group, per value of the --by
// column. An empty group, hired or --by cell, and a hired value that is not
// one of the accepted spellings, are errors naming their line.
CaseList cases_from_applicants(const CsvTable& table, std::string_view file,
                               const ApplicantColumns& columns);

// A whole number in `text` (optional sign, digits only); false when it is not one
// or lies outside the 64-bit range.
bool parse_whole_number(std::string_view text, std::int64_t& value);

// Whether `text` says hired (1, yes, true) or not (0, no, false), in any letter case.
enum class HiredValue { Hired, NotHired, Invalid };
HiredValue parse_hired(std::string_view text);

}  // namespace kemro::observed
