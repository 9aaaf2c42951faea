// Reading a CSV file's text record by record, or into a table of records with
// their line numbers. The text is CSV as RFC 4180 describes it (fields
// separated by a delimiter, quoted fields that may hold delimiters, doubled
// quotes and line breaks, lines ending in LF, CR LF or a lone CR) in UTF-8,
// with or without a byte-order mark. The delimiter is a comma, a semicolon or
// a tab: given, or detected from the header line (the one of the three that
// occurs most often outside quotes there; a comma when none does). The
// parsing itself is libcsv's, in strict mode; blanks (and tabs, unless tab is
// the delimiter) around unquoted fields are dropped, and lines that are blank
// or hold only empty fields are skipped.
//
// With a header, its first record names the columns: a name may not repeat
// (checked in linear time) and may be empty only in trailing columns, whose
// cells must then be empty too; such unnamed trailing columns, as spreadsheets
// write them, are dropped from every record. Without a header every record
// may have its own number of fields.
//
// The reader holds one record at a time, so that reading a file needs little
// memory beyond its text; parse_csv collects the records into a table.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace kemro::cli {

struct CsvRecord {
  std::size_t line = 0;  // the line of the file on which the record starts, from 1
  std::vector<std::string> fields;
};

struct CsvOptions {
  char delimiter = 0;  // ',', ';' or '\t'; 0: detected from the first line
  bool header = true;  // whether the first record names the columns
};

// What the reader hands on; each returns an error text that ends the reading
// (read_csv returns it as it is), or an empty text to go on.
struct CsvReceiver {
  std::function<std::string(const std::vector<std::string>& header)> header;
  std::function<std::string(const CsvRecord& record)> record;
};

// Reads the whole text. The first record that does not fit (a quote out of
// place, an unclosed quoted field, a count of fields that differs from the
// header's, bytes that are not UTF-8, a repeated or empty column name), or an
// error of the receiver, ends the reading; returns "line 4: ..." or "the file
// is empty" (no record at all), or an empty text when the whole text was read.
std::string read_csv(std::string_view text, const CsvOptions& options, const CsvReceiver& receiver);

// The delimiter of a text as read_csv detects it from its first line.
char detect_delimiter(std::string_view text);

// How a delimiter is named in messages: "comma", "semicolon", "tab".
std::string_view delimiter_name(char delimiter);

// "comma", "semicolon", "tab" or the character itself; false for any other.
bool parse_delimiter(std::string_view text, char& delimiter);

struct CsvTable {
  std::vector<std::string> header;  // the first record: the column names
  std::vector<CsvRecord> records;   // every later record, with as many fields as the header
  std::string error;                // "line 4: ..." or "the file is empty"; empty when read
  bool ok() const { return error.empty(); }
};

// Reads the whole text into a table; on error only the error is returned.
CsvTable parse_csv(std::string_view text, const CsvOptions& options = {});

// The index of the column named `name` in the header, or -1.
int column_index(const std::vector<std::string>& header, std::string_view name);
inline int column_index(const CsvTable& table, std::string_view name) {
  return column_index(table.header, name);
}

// "'a', 'b' and 'c'": the column names for a message, the first
// LISTED_COLUMNS of them and how many more there are.
inline constexpr std::size_t LISTED_COLUMNS = 20;
std::string column_list(const std::vector<std::string>& header);

// Whether `text` is well-formed UTF-8 (no overlong forms, no surrogates).
bool is_utf8(std::string_view text);

}  // namespace kemro::cli
