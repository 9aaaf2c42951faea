#include "tools/common/csv_table.hpp"

#include <csv.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <memory>
#include <unordered_set>

#include "tools/common/options.hpp"

namespace kemro::cli {
namespace {

constexpr std::string_view BYTE_ORDER_MARK = "\xEF\xBB\xBF";
constexpr int LIBCSV_ROW_NOT_BEGUN = 0;  // libcsv's parser state (pstate) between records
// The delimiters detected, in the order that breaks a tie.
constexpr std::array<char, 3> DELIMITERS = {',', ';', '\t'};

// What libcsv's callbacks build up while the text is fed to it line by line
// (so that the line of every record's start is known).
struct Reader {
  const CsvOptions& options;
  const CsvReceiver& receiver;
  CsvRecord record;               // the record being read
  std::size_t line = 1;           // line being fed
  std::size_t header_fields = 0;  // fields of the header, its unnamed trailing ones included
  std::size_t named = 0;          // the header's named columns
  bool have_header = false;
  bool any_record = false;
  std::string error;
};

bool all_empty(const std::vector<std::string>& fields) {
  return std::all_of(fields.begin(), fields.end(), [](const std::string& f) { return f.empty(); });
}

std::string line_text(std::size_t line) {
  return "line " + std::to_string(line) + ": ";
}

// Why the named columns of a header are not usable: an empty name or a
// repeated one (found through a hash set, in time linear in the header).
std::string header_error(const std::vector<std::string>& header, std::size_t named) {
  std::unordered_set<std::string_view> seen;
  seen.reserve(named);
  for (std::size_t i = 0; i < named; ++i) {
    if (header[i].empty()) return "column " + std::to_string(i + 1) + " has no name";
    if (!seen.insert(header[i]).second) return "column " + quoted(header[i]) + " appears twice";
  }
  return {};
}

// The header: its trailing unnamed columns set apart, its names checked.
std::string take_header(Reader& r) {
  std::vector<std::string>& header = r.record.fields;
  r.header_fields = header.size();
  r.named = header.size();
  while (r.named > 0 && header[r.named - 1].empty()) --r.named;
  const std::string why = header_error(header, r.named);
  if (!why.empty()) return line_text(r.record.line) + why;
  header.resize(r.named);
  r.have_header = true;
  return r.receiver.header ? r.receiver.header(header) : std::string{};
}

// A record of a file with a header: as many fields as the header, the cells
// of its unnamed trailing columns (which may be left out) empty.
std::string fit_record(Reader& r) {
  std::vector<std::string>& fields = r.record.fields;
  if (fields.size() < r.named || fields.size() > r.header_fields) {
    return line_text(r.record.line) + std::to_string(fields.size()) +
           " fields where the header has " + std::to_string(r.named);
  }
  for (std::size_t i = r.named; i < fields.size(); ++i) {
    if (!fields[i].empty()) {
      return line_text(r.record.line) + "column " + std::to_string(i + 1) +
             " has no name in the header but holds " + quoted(fields[i]);
    }
  }
  fields.resize(r.named);
  return {};
}

void end_record(Reader& r) {
  if (!r.error.empty() || all_empty(r.record.fields)) {
    r.record.fields.clear();
    return;
  }
  r.any_record = true;
  if (r.options.header && !r.have_header) {
    r.error = take_header(r);
  } else {
    if (r.options.header) r.error = fit_record(r);
    if (r.error.empty() && r.receiver.record) r.error = r.receiver.record(r.record);
  }
  r.record.fields.clear();
}

void on_field(void* data, std::size_t size, void* reader) {
  auto& r = *static_cast<Reader*>(reader);
  r.record.fields.emplace_back(static_cast<const char*>(data), size);
}

void on_record_end(int, void* reader) {
  end_record(*static_cast<Reader*>(reader));
}

// libcsv's test for the blanks it drops around unquoted fields.
int is_blank_or_tab(unsigned char c) {
  return c == ' ' || c == '\t';
}
int is_blank(unsigned char c) {
  return c == ' ';
}

// The end of the line that starts at `at`: past its LF, CR LF or lone CR.
std::size_t line_end(std::string_view text, std::size_t at) {
  std::size_t end = text.find_first_of("\r\n", at);
  if (end == std::string_view::npos) return text.size();
  if (text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') ++end;
  return end + 1;
}

}  // namespace

bool is_utf8(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size()) {
    const auto byte = static_cast<unsigned char>(text[i]);
    std::size_t length = 0;
    std::uint32_t code = 0;
    if (byte < 0x80) {
      ++i;
      continue;
    }
    if (byte >= 0xC2 && byte <= 0xDF) {
      length = 2;
      code = byte & 0x1Fu;
    } else if (byte >= 0xE0 && byte <= 0xEF) {
      length = 3;
      code = byte & 0x0Fu;
    } else if (byte >= 0xF0 && byte <= 0xF4) {
      length = 4;
      code = byte & 0x07u;
    } else {
      return false;
    }
    if (text.size() - i < length) return false;
    for (std::size_t k = 1; k < length; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0u) != 0x80u) return false;
      code = (code << 6) | (next & 0x3Fu);
    }
    // Overlong three- and four-byte forms, surrogates, and code points above U+10FFFF.
    if ((length == 3 && (code < 0x800 || (code >= 0xD800 && code <= 0xDFFF))) ||
        (length == 4 && (code < 0x10000 || code > 0x10FFFF))) {
      return false;
    }
    i += length;
  }
  return true;
}

char detect_delimiter(std::string_view text) {
  if (text.starts_with(BYTE_ORDER_MARK)) text.remove_prefix(BYTE_ORDER_MARK.size());
  std::array<std::size_t, DELIMITERS.size()> count{};
  bool quoted_part = false;
  for (char c : text) {
    if (c == '"') quoted_part = !quoted_part;
    if (quoted_part) continue;
    if (c == '\n' || c == '\r') break;
    for (std::size_t k = 0; k < DELIMITERS.size(); ++k) count[k] += c == DELIMITERS[k] ? 1 : 0;
  }
  const auto most = std::max_element(count.begin(), count.end());  // the first of equals
  return *most == 0 ? DELIMITERS[0] : DELIMITERS[static_cast<std::size_t>(most - count.begin())];
}

std::string_view delimiter_name(char delimiter) {
  return delimiter == ';' ? "semicolon" : delimiter == '\t' ? "tab" : "comma";
}

bool parse_delimiter(std::string_view text, char& delimiter) {
  for (char c : DELIMITERS) {
    if (text == delimiter_name(c) || text == std::string_view(&c, 1)) {
      delimiter = c;
      return true;
    }
  }
  return false;
}

std::string read_csv(std::string_view text, const CsvOptions& options,
                     const CsvReceiver& receiver) {
  if (text.starts_with(BYTE_ORDER_MARK)) text.remove_prefix(BYTE_ORDER_MARK.size());
  const char delimiter = options.delimiter != 0 ? options.delimiter : detect_delimiter(text);
  Reader r{options, receiver, {}, 1, 0, 0, false, false, {}};
  csv_parser parser{};
  if (csv_init(&parser, CSV_STRICT | CSV_STRICT_FINI) != 0) return "out of memory";
  std::unique_ptr<csv_parser, decltype(&csv_free)> owner(&parser, &csv_free);
  csv_set_delim(&parser, static_cast<unsigned char>(delimiter));
  csv_set_space_func(&parser, delimiter == '\t' ? is_blank : is_blank_or_tab);
  // Fed one line at a time: a record starts on the line fed while the parser
  // is between records, and ends at most once per line.
  for (std::size_t at = 0; at < text.size() && r.error.empty(); ++r.line) {
    const std::size_t end = line_end(text, at);
    const std::string_view line = text.substr(at, end - at);
    at = end;
    if (!is_utf8(line)) {
      r.error = line_text(r.line) + "the text is not UTF-8";
      break;
    }
    if (parser.pstate == LIBCSV_ROW_NOT_BEGUN) r.record.line = r.line;
    if (csv_parse(&parser, line.data(), line.size(), on_field, on_record_end, &r) != line.size()) {
      r.error = line_text(r.line) +
                (csv_error(&parser) == CSV_EPARSE
                     ? "a quote inside an unquoted field, or text after a closing quote"
                     : "out of memory");
    }
  }
  if (r.error.empty() && csv_fini(&parser, on_field, on_record_end, &r) != 0) {
    r.error = line_text(r.record.line) + "a quoted field is not closed";
  }
  if (r.error.empty() && !r.any_record) r.error = "the file is empty";
  return r.error;
}

CsvTable parse_csv(std::string_view text, const CsvOptions& options) {
  CsvTable table;
  CsvReceiver receiver;
  receiver.header = [&](const std::vector<std::string>& header) {
    table.header = header;
    return std::string{};
  };
  receiver.record = [&](const CsvRecord& record) {
    table.records.push_back(record);
    return std::string{};
  };
  table.error = read_csv(text, options, receiver);
  if (!table.ok()) {
    table.header.clear();
    table.records.clear();
  }
  return table;
}

int column_index(const std::vector<std::string>& header, std::string_view name) {
  for (std::size_t i = 0; i < header.size(); ++i) {
    if (header[i] == name) return static_cast<int>(i);
  }
  return -1;
}

std::string column_list(const std::vector<std::string>& header) {
  std::string text;
  const std::size_t listed = std::min(header.size(), LISTED_COLUMNS);
  for (std::size_t i = 0; i < listed; ++i) {
    if (i > 0) text += ", ";
    text += quoted(header[i]);
  }
  if (header.size() > listed) {
    text += " and " + std::to_string(header.size() - listed) + " more";
  }
  return text;
}

}  // namespace kemro::cli
