// The answer reader: list-directed reads of one integer, double or
// one-character item, and formatted reads of one fixed-width text item,
// from a line-oriented input stream.
#pragma once

#include <cstdint>
#include <istream>
#include <string>
#include <string_view>

namespace kemro {

// Why an answer could not be read. `context` and `description` form the first
// diagnostic line ("context: description"); `last_format` is "list io" for a
// list-directed read or the layout text of a formatted read.
struct InputError {
  std::string context;
  std::string description;
  std::string last_format;
};

// The text in double quotes for a diagnostic, cut after 40 bytes (marked
// "..."); quotes and backslashes escaped with a backslash and every byte that
// is not printable ASCII written as \xhh, so no control character reaches
// the terminal.
std::string quoted(std::string_view text);

// The four diagnostic lines written to standard error when an answer cannot be
// read or the input ends; each line ends with '\n'.
std::string input_diagnostic(const InputError& error);

// What a list-directed read does with text after the value on its line.
enum class ExtraText {
  Discarded,  // ignored, as list-directed input ignores the rest of a record
  Refused     // an input error quoting the answer; blanks, commas and a slash stay harmless
};

enum class ReadResult {
  Value,  // the item received a value
  Null,   // a null value (comma) or a slash: the item keeps its old value
  Failed  // unreadable answer or end of input: see error()
};

class AnswerReader {
 public:
  // Longest input line accepted (64 MiB); a longer one is an input error.
  static constexpr std::size_t MAX_LINE_LENGTH = std::size_t{1} << 26;

  explicit AnswerReader(std::istream& in, ExtraText extra = ExtraText::Discarded)
      : in_(in), extra_(extra) {}

  // List-directed reads. Each skips blanks, tabs and empty lines before the
  // value and discards the rest of the line it ends on. With
  // ExtraText::Refused a number followed by characters that cannot continue
  // it ("1OO", "62abc") or by a second value ("12 13", "0,5") is an input
  // error whose first diagnostic line quotes the answer and says what is wrong.
  ReadResult read_integer(std::int32_t& item);
  ReadResult read_double(double& item);
  ReadResult read_character(char& item);

  // Formatted read of one text field of `width` characters from the next
  // line (layout A of that width, or A1): blank-padded, the rest of the
  // line discarded. `layout_text` names the layout in diagnostics.
  ReadResult read_text(std::string& item, std::size_t width, std::string_view layout_text);

  // Formatted read of the whole next line (layout A with the line's own
  // width), up to MAX_LINE_LENGTH, without its line end.
  ReadResult read_line(std::string& item, std::string_view layout_text);

  const InputError& error() const { return error_; }

 private:
  enum class Line { Read, End, TooLong };
  // Reads the next line into line_ without its line end (and without one
  // carriage return before it). End at the end of the input; TooLong when
  // the line exceeds MAX_LINE_LENGTH, so endless input cannot exhaust memory.
  Line next_line();
  // Passes over blank lines; `rest` starts at the first non-blank character
  // of the next line that has one.
  Line next_value(std::string_view& rest);
  ReadResult fail(InputError error);
  // The failure for a line that could not be read: end of input or too long.
  ReadResult fail_line(Line line, std::string_view context, std::string_view format);
  // With ExtraText::Refused, the failure for text after a number that
  // neither continues it nor is harmless; Value when there is none. `answer`
  // is the line from the value on, `number` the number's own text.
  ReadResult check_extra_text(std::string_view answer, std::string_view number, bool integer_item);
  // The list-directed read of read_integer (Item std::int32_t) and read_double (Item double).
  template <typename Item>
  ReadResult read_number(Item& item);

  std::istream& in_;
  ExtraText extra_;
  InputError error_;
  std::string line_;  // the current input line, reused from read to read
};

}  // namespace kemro
