// The cases of kemro-observed as read from files: a table of counts with one
// case per row (--cases), or applicant data with one row per applicant whose
// counts are formed per value of a grouping column (--applicant-data). Every
// case is checked here, before anything is computed; the first that fails
// names the file, line and column where there is one.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "distribution/observed_case.hpp"
#include "tools/common/csv_table.hpp"

namespace kemro::observed {

using cli::column_index;
using cli::CsvOptions;
using cli::CsvRecord;
using cli::CsvTable;
using cli::is_utf8;
using cli::parse_csv;

// Most cases one run may hold, from the count options or a file.
inline constexpr std::size_t MAX_CASES = 100000;

struct CaseList {
  std::vector<Case> cases;
  bool labelled = false;  // whether the cases carry labels (a label column or --by)
  bool grouped = false;   // applicant data: the cases name their group and reference
  std::string error;      // "FILE, line 4, column 'K': ..."; empty when every case is valid
  bool ok() const { return error.empty(); }
};

// The columns of a --cases table: N, N1, K and S, whole numbers, and an
// optional label; any other column is an error.
CaseList cases_from_table(const CsvTable& table, std::string_view file);

// What --applicant-data is told about its columns.
struct ApplicantColumns {
  std::string group;  // --group-column: the applicant's group
  std::string
      minority;       // --minority: the one group compared with the reference; empty: every other
  std::string hired;  // --hired-column: 1/0, yes/no, y/n or true/false, in any letter case
  std::string by;     // --by: one case per value, in order of first appearance; empty: one case
  std::string reference;  // --reference: the group compared with; empty: the highest selection rate
};

// Counts the applicants and hires of every group value, per value of the --by
// column, and makes one case per group compared with the reference group:
// the --reference value, or in each subgroup the group with the highest
// selection rate (ties to the group seen first; with --minority, among the
// other groups), the counts being those of the two groups alone. With
// --minority only that group is compared. An empty group, hired or --by cell,
// a hired value that is not one of the accepted spellings, and a --minority
// or --reference value that occurs nowhere in the file (named with the values
// that do) are errors. A pair that cannot be analysed is an error without
// --by; with --by it becomes a case whose `unanalysable` says why, and the
// other subgroups are analysed.
CaseList cases_from_applicants(const CsvTable& table, std::string_view file,
                               const ApplicantColumns& columns);

// The cases of a file's text, read record by record so that only the cases
// (or the running counts of applicant data) are held, never the table:
// applicant data when `applicants` is given, else a --cases table. A column
// that is not there is answered with the columns that are; more than
// MAX_CASES cases are refused.
CaseList cases_from_text(std::string_view text, std::string_view file, const CsvOptions& csv,
                         const ApplicantColumns* applicants);

// A whole number in `text` (one optional sign, then digits only); false when
// it is not one or lies outside the 64-bit range.
bool parse_whole_number(std::string_view text, std::int64_t& value);

// Whether `text` says hired (1, yes, y, true) or not (0, no, n, false), in any letter case.
enum class HiredValue { Hired, NotHired, Invalid };
HiredValue parse_hired(std::string_view text);

}  // namespace kemro::observed
