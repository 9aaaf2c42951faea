// The answer reader. Every read works on whole lines: a list-directed read
// takes one value from the first line that has one and discards the rest of
// that line; a formatted read takes the next line as its record.
#include "report/answer_reader.hpp"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>
#include <type_traits>

namespace kemro {

namespace {

constexpr std::size_t kMaxSignificantDigits = 40;  // digits beyond these only scale the value
constexpr std::int64_t kMaxExponent = 99999999;    // largest exponent an answer may write
// Decimal exponents handed to strtod are clamped here: far beyond any double's
// range, so the clamp never changes a result, and far from overflowing the text.
constexpr std::int64_t kExponentClamp = 999999999;
constexpr double kLowestInt32 = -2147483648.0;
constexpr double kHighestInt32 = 2147483647.0;
constexpr std::string_view kListFormat = "list io";

// The ways a list-directed value can be unreadable.
enum class Fault { None, InvalidInteger, IntegerRange, InvalidNumber, ExponentField, BadRepeat };

InputError list_error(Fault fault) {
  switch (fault) {
    case Fault::InvalidInteger:
      return {"invalid integer", "read unexpected character", std::string(kListFormat)};
    case Fault::IntegerRange:
      return {"invalid integer", "integer out of range", std::string(kListFormat)};
    case Fault::InvalidNumber:
      return {"invalid number", "incomprehensible list input", std::string(kListFormat)};
    case Fault::ExponentField:
      return {"exponent field", "incomprehensible list input", std::string(kListFormat)};
    case Fault::BadRepeat:
    case Fault::None:
      break;
  }
  return {"bad repetition count", "incomprehensible list input", std::string(kListFormat)};
}

bool is_blank(char c) {
  return c == ' ' || c == '\t';
}
bool is_digit(char c) {
  return c >= '0' && c <= '9';
}
bool is_sign(char c) {
  return c == '+' || c == '-';
}
bool is_exponent_letter(char c) {
  return c == 'E' || c == 'e' || c == 'D' || c == 'd';
}
// A comma (null value) or a slash (end of the read) where a value could start.
bool is_null_mark(char c) {
  return c == ',' || c == '/';
}

// Position of the first non-digit at or after `pos`.
std::size_t skip_digits(std::string_view s, std::size_t pos) {
  while (pos < s.size() && is_digit(s[pos])) ++pos;
  return pos;
}

bool has_nonzero_digit(std::string_view digits) {
  return digits.find_first_not_of('0') != std::string_view::npos;
}

// After "r*": nothing, a blank, a comma or a slash means r null values.
bool is_null_after_repeat(std::string_view rest) {
  return rest.empty() || is_blank(rest.front()) || is_null_mark(rest.front());
}

// What stands in front of a value: the value itself, a null value, or a
// repeat count that is not a positive integer.
enum class Front { Value, Null, BadRepeat };

// Numeric item: [sign][digits]* is a repeat count; it must be a positive
// integer. On Value, `rest` is advanced past the count.
Front numeric_front(std::string_view& rest) {
  if (is_null_mark(rest.front())) return Front::Null;
  std::size_t pos = 0;
  const bool minus = rest.front() == '-';
  if (is_sign(rest.front())) ++pos;
  const std::size_t digits_end = skip_digits(rest, pos);
  if (digits_end == rest.size() || rest[digits_end] != '*') return Front::Value;
  if (minus || !has_nonzero_digit(rest.substr(pos, digits_end - pos))) return Front::BadRepeat;
  rest.remove_prefix(digits_end + 1);
  return is_null_after_repeat(rest) ? Front::Null : Front::Value;
}

// Character item: only digits with a non-zero value followed by '*' form a
// repeat count; anything else is the text itself.
Front character_front(std::string_view& rest) {
  if (is_null_mark(rest.front())) return Front::Null;
  const std::size_t digits_end = skip_digits(rest, 0);
  if (digits_end == rest.size() || rest[digits_end] != '*' ||
      !has_nonzero_digit(rest.substr(0, digits_end))) {
    return Front::Value;
  }
  rest.remove_prefix(digits_end + 1);
  return is_null_after_repeat(rest) ? Front::Null : Front::Value;
}

// A number as written: value = ±(whole fraction) × 10^(exponent − fraction digits).
struct NumberText {
  bool negative = false;
  std::string_view whole;     // digits before the point
  std::string_view fraction;  // digits after the point
  std::int64_t exponent = 0;  // the written exponent, sign applied
  std::size_t length = 0;     // characters of the text the number takes
};

// Reads the exponent digits starting at `pos` (at least one is required);
// `end` is set to the position after them.
Fault scan_exponent_digits(std::string_view s, std::size_t pos, std::int64_t& magnitude,
                           std::size_t& end) {
  if (pos >= s.size() || !is_digit(s[pos])) return Fault::ExponentField;
  magnitude = 0;
  for (; pos < s.size() && is_digit(s[pos]); ++pos) {
    // Once past the limit the value only has to stay past it: no overflow.
    if (magnitude <= kMaxExponent) magnitude = magnitude * 10 + (s[pos] - '0');
  }
  end = pos;
  return magnitude > kMaxExponent ? Fault::ExponentField : Fault::None;
}

// Scans a number from the start of `s`; it ends at the first character that
// cannot continue it. An integer item may hold neither a point nor an
// exponent letter; a sign directly after the digits starts an exponent.
Fault scan_number(std::string_view s, bool integer_item, NumberText& number) {
  std::size_t pos = 0;
  if (pos < s.size() && is_sign(s[pos])) number.negative = s[pos++] == '-';
  std::size_t end = skip_digits(s, pos);
  number.whole = s.substr(pos, end - pos);
  pos = end;
  if (pos < s.size() && s[pos] == '.') {
    if (integer_item) return Fault::InvalidInteger;
    end = skip_digits(s, ++pos);
    number.fraction = s.substr(pos, end - pos);
    pos = end;
  }
  if (number.whole.empty() && number.fraction.empty()) return Fault::InvalidNumber;
  number.length = pos;
  if (pos >= s.size()) return Fault::None;

  std::size_t exponent_start = pos;
  if (is_exponent_letter(s[pos])) {
    if (integer_item) return Fault::InvalidInteger;
    exponent_start = pos + 1;
    if (exponent_start < s.size() && is_sign(s[exponent_start])) ++exponent_start;
  } else if (is_sign(s[pos])) {
    exponent_start = pos + 1;
  } else {
    return Fault::None;
  }
  std::int64_t magnitude = 0;
  const Fault fault = scan_exponent_digits(s, exponent_start, magnitude, number.length);
  number.exponent = s[exponent_start - 1] == '-' ? -magnitude : magnitude;
  return fault;
}

// The nearest double to the number, from at most 40 significant digits: the
// digits are gathered into "<digits>e<exponent>" and converted by strtod,
// which rounds correctly and gives ±inf on overflow and 0 or a subnormal on
// underflow.
double to_double(const NumberText& number) {
  std::string text = number.negative ? "-" : "";
  std::size_t kept = 0;
  std::int64_t dropped = 0;  // significant digits beyond the limit, the last ones written
  for (std::string_view part : {number.whole, number.fraction}) {
    for (char c : part) {
      if (kept == 0 && c == '0') continue;  // leading zeros are not significant
      if (kept < kMaxSignificantDigits) {
        text += c;
        ++kept;
      } else {
        ++dropped;
      }
    }
  }
  if (kept == 0) text += '0';
  // Kept digits × 10^dropped stands for all the digits; the point then sits
  // `fraction.size()` places from the end of them.
  const std::int64_t exponent = std::clamp<std::int64_t>(
      number.exponent - static_cast<std::int64_t>(number.fraction.size()) + dropped,
      -kExponentClamp, kExponentClamp);
  text += 'e';
  text += std::to_string(exponent);
  return std::strtod(text.c_str(), nullptr);
}

// The number's value truncated toward zero; IntegerRange when that lies
// outside the 32-bit range.
Fault to_int32(const NumberText& number, std::int32_t& value) {
  const double truncated = std::trunc(to_double(number));
  if (!(truncated >= kLowestInt32 && truncated <= kHighestInt32)) return Fault::IntegerRange;
  value = static_cast<std::int32_t>(truncated);
  return Fault::None;
}

// The first character of a quoted string (a doubled quote stands for one,
// an unquoted end runs to the line end), or a blank when it is empty.
char first_quoted_character(std::string_view rest) {
  const char quote = rest.front();
  if (rest.size() < 2) return ' ';
  if (rest[1] != quote) return rest[1];
  return rest.size() >= 3 && rest[2] == quote ? quote : ' ';
}

// Longest part of an answer quoted in a diagnostic; a longer one is cut and
// marked, so a megabyte line gives a readable message.
constexpr std::size_t kMaxQuoted = 40;
constexpr std::string_view kHexDigits = "0123456789abcdef";

// Blanks, commas and a slash may follow a value: they separate, stand for
// null values or end the read.
bool is_separator(char c) {
  return is_blank(c) || is_null_mark(c);
}

}  // namespace

std::string quoted(std::string_view text) {
  std::string out = "\"";
  for (std::size_t i = 0; i < text.size() && i < kMaxQuoted; ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if (byte == '"' || byte == '\\') {
      out += '\\';
      out += static_cast<char>(byte);
    } else if (byte < 0x20 || byte >= 0x7f) {
      out += "\\x";
      out += kHexDigits[byte >> 4];
      out += kHexDigits[byte & 0xf];
    } else {
      out += static_cast<char>(byte);
    }
  }
  if (text.size() > kMaxQuoted) out += "...";
  return out + "\"";
}

namespace {

// The text up to its first separator.
std::string_view first_token(std::string_view text) {
  const auto end = std::find_if(text.begin(), text.end(), is_separator);
  return text.substr(0, static_cast<std::size_t>(end - text.begin()));
}

// The answer without trailing blanks.
std::string_view trimmed(std::string_view answer) {
  const auto last = answer.find_last_not_of(" \t");
  return last == std::string_view::npos ? std::string_view() : answer.substr(0, last + 1);
}

}  // namespace

std::string input_diagnostic(const InputError& error) {
  return error.context + ": " + error.description + "\n" + "apparent state: unit 5 (unnamed)\n" +
         "last format: " + error.last_format + "\n" +
         "lately reading sequential formatted external IO\n";
}

AnswerReader::Line AnswerReader::next_line() {
  line_.clear();
  std::streambuf* input = in_.rdbuf();
  int c = input->sbumpc();
  if (c == std::char_traits<char>::eof()) return Line::End;
  for (; c != std::char_traits<char>::eof() && c != '\n'; c = input->sbumpc()) {
    if (line_.size() == MAX_LINE_LENGTH) return Line::TooLong;
    line_.push_back(static_cast<char>(c));
  }
  if (!line_.empty() && line_.back() == '\r') line_.pop_back();
  return Line::Read;
}

AnswerReader::Line AnswerReader::next_value(std::string_view& rest) {
  for (;;) {
    const Line status = next_line();
    if (status != Line::Read) return status;
    const std::string_view line = line_;
    const auto start = std::find_if_not(line.begin(), line.end(), is_blank);
    if (start != line.end()) {
      rest = line.substr(static_cast<std::size_t>(start - line.begin()));
      return Line::Read;
    }
  }
}

ReadResult AnswerReader::fail_line(Line line, std::string_view context, std::string_view format) {
  const char* description = line == Line::End ? "end of file" : "record too long";
  return fail({std::string(context), description, std::string(format)});
}

ReadResult AnswerReader::fail(InputError error) {
  error_ = std::move(error);
  return ReadResult::Failed;
}

ReadResult AnswerReader::check_extra_text(std::string_view answer, std::string_view number,
                                          bool integer_item) {
  if (extra_ == ExtraText::Discarded) return ReadResult::Value;
  const std::string_view tail = answer.substr(number.data() + number.size() - answer.data());
  const std::string context = integer_item ? "invalid integer" : "invalid number";
  const std::string quote = quoted(trimmed(answer));
  if (!tail.empty() && !is_separator(tail.front())) {
    return fail({context,
                 quote + " is not a number (" + quoted(first_token(tail)) + " follows " +
                     quoted(number) + ")",
                 std::string(kListFormat)});
  }
  const auto next =
      std::find_if_not(tail.begin(), tail.end(), [](char c) { return is_blank(c) || c == ','; });
  if (next == tail.end() || *next == '/') return ReadResult::Value;
  const std::string_view second = first_token(tail.substr(next - tail.begin()));
  std::string advice = "; answer with one number";
  // "0,5": digits right after a comma that follows the number are a decimal comma.
  if (!integer_item && tail.front() == ',' && next == tail.begin() + 1 && is_digit(*next)) {
    advice = "; the decimal separator is the point: " + std::string(number) + "." +
             std::string(first_token(tail.substr(1)));
  }
  return fail({context, quote + " holds a second value, " + quoted(second) + advice,
               std::string(kListFormat)});
}

template <typename Item>
ReadResult AnswerReader::read_number(Item& item) {
  constexpr bool INTEGER_ITEM = std::is_same_v<Item, std::int32_t>;  // else a double
  std::string_view rest;
  if (const Line line = next_value(rest); line != Line::Read) {
    return fail_line(line, "list in", kListFormat);
  }
  const std::string_view answer = rest;
  const Front front = numeric_front(rest);
  if (front == Front::Null) return ReadResult::Null;
  if (front == Front::BadRepeat) return fail(list_error(Fault::BadRepeat));
  NumberText number;
  Item value{};
  Fault fault = scan_number(rest, INTEGER_ITEM, number);
  if constexpr (INTEGER_ITEM) {
    if (fault == Fault::None) fault = to_int32(number, value);
  }
  if (fault != Fault::None) return fail(list_error(fault));
  if (check_extra_text(answer, rest.substr(0, number.length), INTEGER_ITEM) == ReadResult::Failed) {
    return ReadResult::Failed;
  }
  if constexpr (!INTEGER_ITEM) value = to_double(number);
  item = value;
  return ReadResult::Value;
}

ReadResult AnswerReader::read_integer(std::int32_t& item) {
  return read_number(item);
}

ReadResult AnswerReader::read_double(double& item) {
  return read_number(item);
}

ReadResult AnswerReader::read_character(char& item) {
  std::string_view rest;
  if (const Line line = next_value(rest); line != Line::Read) {
    return fail_line(line, "list in", kListFormat);
  }
  if (character_front(rest) == Front::Null) return ReadResult::Null;
  const bool quoted = rest.front() == '\'' || rest.front() == '"';
  item = quoted ? first_quoted_character(rest) : rest.front();
  return ReadResult::Value;
}

ReadResult AnswerReader::read_text(std::string& item, std::size_t width,
                                   std::string_view layout_text) {
  if (const Line line = next_line(); line != Line::Read) return fail_line(line, "fmt", layout_text);
  item.assign(line_, 0, std::min(width, line_.size()));
  item.resize(width, ' ');
  return ReadResult::Value;
}

ReadResult AnswerReader::read_line(std::string& item, std::string_view layout_text) {
  if (const Line line = next_line(); line != Line::Read) return fail_line(line, "fmt", layout_text);
  item = line_;
  return ReadResult::Value;
}

}  // namespace kemro
