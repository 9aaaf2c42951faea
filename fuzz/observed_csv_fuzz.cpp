// libFuzzer target for kemro-observed's file input: the whole input is a CSV
// file's text. It is read as a table, then as a --cases table and as applicant
// data (the first column as group, the last as hired, the second as --by),
// and every result is checked against what the readers promise.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "tools/observed/cases.hpp"
#include "tools/observed/csv_table.hpp"

namespace {

using namespace kemro::observed;

void require(bool condition) {
  if (!condition) std::abort();
}

// A list read without error holds cases, every one of them valid.
void check_cases(const CaseList& list) {
  if (!list.ok()) return;
  require(!list.cases.empty());
  for (const Case& c : list.cases) require(kemro::observed_counts_error(c.counts).empty());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const CsvTable table = parse_csv(text);
  if (!table.ok()) {
    require(table.header.empty() && table.records.empty());
    require(table.error == "the file is empty" || table.error.starts_with("line "));
    return 0;
  }
  require(!table.header.empty());
  std::size_t previous_line = 0;
  for (const CsvRecord& r : table.records) {
    require(r.fields.size() == table.header.size());
    require(r.line > previous_line);
    previous_line = r.line;
    for (const std::string& f : r.fields) require(is_utf8(f));
  }
  check_cases(cases_from_table(table, "f.csv"));
  const ApplicantColumns columns{table.header.front(), "1", table.header.back(),
                                 table.header.size() > 1 ? table.header[1] : ""};
  check_cases(cases_from_applicants(table, "f.csv", columns));
  return 0;
}
