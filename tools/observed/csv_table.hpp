// Reading a CSV file's text into a table of records with their line numbers.
// The text is CSV as RFC 4180 describes it (fields separated by commas, quoted
// fields that may hold commas, doubled quotes and line breaks, lines ending in
// LF, CR LF or a lone CR) in UTF-8, with or without a byte-order mark. The parsing itself
// is libcsv's, in strict mode; blanks and tabs around unquoted fields are
// dropped, and lines that are blank or hold only empty fields are skipped.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace kemro::observed {

struct CsvRecord {
  std::size_t line = 0;  // the line of the file on which the record starts, from 1
  std::vector<std::string> fields;
};

struct CsvTable {
  std::vector<std::string> header;  // the first record: the column names
  std::vector<CsvRecord> records;   // every later record, with as many fields as the header
  std::string error;                // "line 4: ..." or "the file is empty"; empty when read
  bool ok() const { return error.empty(); }
};

// Parses the whole text. The first record that does not fit (a quote out of
// place, an unclosed quoted field, a count of fields that differs from the
// header's, bytes that are not UTF-8, a repeated or empty column name) ends the
// parse with an error naming its line; nothing else is returned then.
CsvTable parse_csv(std::string_view text);

// The index of the column named `name` in the header, or -1.
int column_index(const CsvTable& table, std::string_view name);

// Whether `text` is well-formed UTF-8 (no overlong forms, no surrogates).
bool is_utf8(std::string_view text);

}  // namespace kemro::observed
