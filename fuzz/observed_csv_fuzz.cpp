// libFuzzer target for kemro-observed's file input (and kemro-grid's
// correlation file): the whole input is a CSV file's text. It is read as a
// table with each delimiter (found in the header line, or comma, semicolon or
// tab), with and without a header, then streamed as a --cases table and as
// applicant data (the first column as group, the last as hired, the second as
// --by), and every result is checked against what the readers promise; every
// error message, made printable, must hold no control byte and be UTF-8.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "tools/common/csv_table.hpp"
#include "tools/common/diagnostics.hpp"
#include "tools/observed/cases.hpp"

namespace {

using namespace kemro::observed;

void require(bool condition) {
  if (!condition) std::abort();
}

// A message as a diagnostic shows it: one line of printable UTF-8.
void check_message(std::string_view message) {
  const std::string shown = kemro::cli::printable(message);
  require(kemro::cli::is_utf8(shown));
  for (char c : shown) require(static_cast<unsigned char>(c) >= 0x20 && c != 0x7F);
}

// A list read without error holds cases, every one of them valid.
void check_cases(const CaseList& list) {
  check_message(list.error);
  if (!list.ok()) return;
  require(!list.cases.empty() && list.cases.size() <= MAX_CASES);
  // A pair of applicant data that cannot be analysed says why instead.
  for (const Case& c : list.cases) {
    require(!c.unanalysable.empty() || kemro::observed_counts_error(c.counts).empty());
  }
}

void check_table(const CsvTable& table, bool header) {
  check_message(table.error);
  if (!table.ok()) {
    require(table.header.empty() && table.records.empty());
    require(table.error == "the file is empty" || table.error.starts_with("line "));
    return;
  }
  require(!header || !table.header.empty());
  std::size_t previous_line = 0;
  for (const CsvRecord& r : table.records) {
    require(!header || r.fields.size() == table.header.size());
    require(r.line > previous_line);
    previous_line = r.line;
    for (const std::string& f : r.fields) require(is_utf8(f));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  for (char delimiter : {'\0', ',', ';', '\t'}) {
    check_table(parse_csv(text, {delimiter, false}), false);
    const CsvTable table = parse_csv(text, {delimiter, true});
    check_table(table, true);
    const CaseList counts = cases_from_text(text, "f.csv", {delimiter, true}, nullptr);
    check_cases(counts);
    if (!table.ok()) continue;
    // Streamed and whole-table reading agree.
    const CaseList whole = cases_from_table(table, "f.csv");
    require(whole.error == counts.error && whole.cases.size() == counts.cases.size());
    const ApplicantColumns columns{table.header.front(), "1", table.header.back(),
                                   table.header.size() > 1 ? table.header[1] : "", ""};
    const CaseList applicants = cases_from_text(text, "f.csv", {delimiter, true}, &columns);
    check_cases(applicants);
    require(cases_from_applicants(table, "f.csv", columns).error == applicants.error);
  }
  return 0;
}
