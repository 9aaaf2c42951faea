#include "tools/observed/csv_table.hpp"

#include <csv.h>

#include <algorithm>
#include <cstdint>
#include <memory>

namespace kemro::observed {
namespace {

constexpr std::string_view BYTE_ORDER_MARK = "\xEF\xBB\xBF";
constexpr int LIBCSV_ROW_NOT_BEGUN = 0;  // libcsv's parser state (pstate) between records

// What libcsv's callbacks build up while the text is fed to it byte by byte
// (so that the line of every byte, and of every record's start, is known).
struct Reader {
  CsvTable table;
  std::vector<std::string> fields;  // the record being read
  std::size_t line = 1;             // line of the byte being fed
  std::size_t record_line = 0;      // line on which the record being read starts
  bool have_header = false;
};

bool all_empty(const std::vector<std::string>& fields) {
  return std::all_of(fields.begin(), fields.end(), [](const std::string& f) { return f.empty(); });
}

std::string line_text(std::size_t line) {
  return "line " + std::to_string(line) + ": ";
}

std::string header_error(const std::vector<std::string>& header) {
  for (std::size_t i = 0; i < header.size(); ++i) {
    if (header[i].empty()) return "column " + std::to_string(i + 1) + " has no name";
    for (std::size_t j = 0; j < i; ++j) {
      if (header[j] == header[i]) return "column '" + header[i] + "' appears twice";
    }
  }
  return {};
}

void end_record(Reader& r) {
  std::vector<std::string> fields = std::move(r.fields);
  r.fields.clear();
  if (!r.table.error.empty() || all_empty(fields)) return;
  if (!r.have_header) {
    const std::string why = header_error(fields);
    if (!why.empty()) r.table.error = line_text(r.record_line) + why;
    r.table.header = std::move(fields);
    r.have_header = true;
    return;
  }
  if (fields.size() != r.table.header.size()) {
    r.table.error = line_text(r.record_line) + std::to_string(fields.size()) +
                    " fields where the header has " + std::to_string(r.table.header.size());
    return;
  }
  r.table.records.push_back({r.record_line, std::move(fields)});
}

void on_field(void* data, std::size_t size, void* reader) {
  auto& r = *static_cast<Reader*>(reader);
  r.fields.emplace_back(static_cast<const char*>(data), size);
}

void on_record_end(int, void* reader) {
  auto& r = *static_cast<Reader*>(reader);
  end_record(r);
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

CsvTable parse_csv(std::string_view text) {
  if (text.starts_with(BYTE_ORDER_MARK)) text.remove_prefix(BYTE_ORDER_MARK.size());
  Reader r;
  csv_parser parser{};
  if (csv_init(&parser, CSV_STRICT | CSV_STRICT_FINI) != 0) {
    r.table.error = "out of memory";
    return std::move(r.table);
  }
  std::unique_ptr<csv_parser, decltype(&csv_free)> owner(&parser, &csv_free);
  std::size_t line_start = 0;  // offset of the current line, for the UTF-8 check
  for (std::size_t i = 0; i < text.size() && r.table.ok(); ++i) {
    if (csv_parse(&parser, text.data() + i, 1, on_field, on_record_end, &r) != 1) {
      r.table.error = line_text(r.line) +
                      (csv_error(&parser) == CSV_EPARSE
                           ? "a quote inside an unquoted field, or text after a closing quote"
                           : "out of memory");
      break;
    }
    // A record starts on the line where the parser leaves its between-records state.
    if (parser.pstate == LIBCSV_ROW_NOT_BEGUN) {
      r.record_line = 0;
    } else if (r.record_line == 0) {
      r.record_line = r.line;
    }
    // Lines end in LF, CR LF or (as libcsv also reads them) a lone CR.
    const bool line_end =
        text[i] == '\n' || (text[i] == '\r' && (i + 1 == text.size() || text[i + 1] != '\n'));
    if (line_end || i + 1 == text.size()) {
      if (!is_utf8(text.substr(line_start, i + 1 - line_start))) {
        r.table.error = line_text(r.line) + "the text is not UTF-8";
      }
      line_start = i + 1;
      ++r.line;
    }
  }
  if (r.table.ok() && csv_fini(&parser, on_field, on_record_end, &r) != 0) {
    r.table.error = line_text(r.record_line) + "a quoted field is not closed";
  }
  if (r.table.ok() && !r.have_header) r.table.error = "the file is empty";
  if (!r.table.ok()) {
    r.table.header.clear();
    r.table.records.clear();
  }
  return std::move(r.table);
}

int column_index(const CsvTable& table, std::string_view name) {
  for (std::size_t i = 0; i < table.header.size(); ++i) {
    if (table.header[i] == name) return static_cast<int>(i);
  }
  return -1;
}

}  // namespace kemro::observed
