#include "report/answer_reader.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <sstream>
#include <string>
#include <string_view>

namespace kemro {
namespace {

using namespace std::string_literals;

// One input stream and its reader.
struct Answers {
  explicit Answers(std::string text) : in(std::move(text)) {}
  std::istringstream in;
  AnswerReader reader{in};
};

constexpr std::int32_t kUntouched = 77;

// `before`, then `count` copies of `fill`, then `after`.
std::string repeated(std::string_view before, std::size_t count, char fill,
                     std::string_view after) {
  std::string s(before);
  s.append(count, fill);
  s.append(after);
  return s;
}

std::string list_diagnostic(const std::string& first_line) {
  return first_line +
         "\napparent state: unit 5 (unnamed)\nlast format: list io\n"
         "lately reading sequential formatted external IO\n";
}

const std::string kInvalidInteger = "invalid integer: read unexpected character";
const std::string kOutOfRange = "invalid integer: integer out of range";
const std::string kInvalidNumber = "invalid number: incomprehensible list input";
const std::string kExponentField = "exponent field: incomprehensible list input";
const std::string kBadRepeat = "bad repetition count: incomprehensible list input";
const std::string kListEnd = "list in: end of file";

struct IntegerCase {
  std::string input;
  std::int32_t expected;
};

TEST(ReadInteger, AcceptedForms) {
  const IntegerCase cases[] = {
      {"12\n", 12},
      {"+12\n", 12},
      {"12,\n", 12},
      {"12, 99\n", 12},
      {" 12 13\n", 12},
      {"\t 12\n", 12},
      {"12/\n", 12},
      {"-7\n", -7},
      {"-0\n", 0},
      {"00012\n", 12},
      {"12abc\n", 12},
      {"12", 12},  // last line without a line end
      {"\n\n   \n\t\n12\n", 12},
      {"12\r\n", 12},
      {"\r\n12\r\n", 12},
      {"1+3\n", 1000},
      {"1-3\n", 0},
      {"-1-3\n", 0},
      {"25-1\n", 2},
      {"-25-1\n", -2},
      {"1+0\n", 1},
      {"3*5\n", 5},
      {"+2*7\n", 7},
      {"3*-5\n", -5},
      {"2147483647\n", 2147483647},
      {"-2147483648\n", std::numeric_limits<std::int32_t>::min()},
      {"21474836479-1\n", 2147483647},  // 2147483647.9 truncates into range
      {"1+3.5\n", 1000},                // the point comes after the number ended
  };
  for (const auto& c : cases) {
    Answers a(c.input);
    std::int32_t item = kUntouched;
    EXPECT_EQ(a.reader.read_integer(item), ReadResult::Value) << c.input;
    EXPECT_EQ(item, c.expected) << c.input;
  }
}

struct ErrorCase {
  std::string input;
  std::string first_line;
};

TEST(ReadInteger, Errors) {
  const ErrorCase cases[] = {
      {"12.0\n", kInvalidInteger},   {"12.\n", kInvalidInteger},
      {".5\n", kInvalidInteger},     {"-.5\n", kInvalidInteger},
      {".\n", kInvalidInteger},      {"1e2\n", kInvalidInteger},
      {"1E2\n", kInvalidInteger},    {"1d2\n", kInvalidInteger},
      {"1D\n", kInvalidInteger},     {"abc\n", kInvalidNumber},
      {"+\n", kInvalidNumber},       {"-\n", kInvalidNumber},
      {"+x\n", kInvalidNumber},      {"e5\n", kInvalidNumber},
      {"'12'\n", kInvalidNumber},    {"1+\n", kExponentField},
      {"1-x\n", kExponentField},     {"1+100000000\n", kExponentField},
      {"2147483648\n", kOutOfRange}, {"-2147483649\n", kOutOfRange},
      {"1+10\n", kOutOfRange},       {"1+99999999\n", kOutOfRange},
      {"*5\n", kBadRepeat},          {"0*5\n", kBadRepeat},
      {"00*5\n", kBadRepeat},        {"-2*5\n", kBadRepeat},
      {"-*5\n", kBadRepeat},         {"3*abc\n", kInvalidNumber},
      {"3*1.5\n", kInvalidInteger},
  };
  for (const auto& c : cases) {
    Answers a(c.input);
    std::int32_t item = kUntouched;
    EXPECT_EQ(a.reader.read_integer(item), ReadResult::Failed) << c.input;
    EXPECT_EQ(item, kUntouched) << c.input;
    EXPECT_EQ(input_diagnostic(a.reader.error()), list_diagnostic(c.first_line)) << c.input;
  }
}

TEST(ReadNumbers, NullValuesLeaveTheItemUnchanged) {
  for (const char* input : {",\n", "/\n", "  ,5\n", "\n/ 5\n", "3*\n", "3* 5\n", "3*,5\n", "3*/\n",
                            "+3*\n", "3*\t5\n"}) {
    Answers ints(input);
    std::int32_t item = kUntouched;
    EXPECT_EQ(ints.reader.read_integer(item), ReadResult::Null) << input;
    EXPECT_EQ(item, kUntouched) << input;

    Answers doubles(input);
    double value = 0.25;
    EXPECT_EQ(doubles.reader.read_double(value), ReadResult::Null) << input;
    EXPECT_EQ(value, 0.25) << input;
  }
}

TEST(ReadNumbers, EachReadDiscardsTheRestOfItsLine) {
  Answers a(" 12 13\n14,15\n\n,16\n  2.5 x y\n'yes' no\nlast 7\n8\n");
  std::int32_t n = 0;
  ASSERT_EQ(a.reader.read_integer(n), ReadResult::Value);
  EXPECT_EQ(n, 12);
  ASSERT_EQ(a.reader.read_integer(n), ReadResult::Value);
  EXPECT_EQ(n, 14);
  ASSERT_EQ(a.reader.read_integer(n), ReadResult::Null);  // the 16 goes with its line
  EXPECT_EQ(n, 14);
  double d = 0;
  ASSERT_EQ(a.reader.read_double(d), ReadResult::Value);
  EXPECT_EQ(d, 2.5);
  char c = 0;
  ASSERT_EQ(a.reader.read_character(c), ReadResult::Value);
  EXPECT_EQ(c, 'y');
  std::string name;
  ASSERT_EQ(a.reader.read_text(name, 4, "(A)"), ReadResult::Value);
  EXPECT_EQ(name, "last");
  ASSERT_EQ(a.reader.read_integer(n), ReadResult::Value);
  EXPECT_EQ(n, 8);
}

struct DoubleCase {
  std::string input;
  double expected;
};

TEST(ReadDouble, AcceptedForms) {
  const DoubleCase cases[] = {
      {".5\n", 0.5},
      {"0.5\n", 0.5},
      {"5e-1\n", 0.5},
      {"5d-1\n", 0.5},
      {"5-1\n", 0.5},
      {"5E-1\n", 0.5},
      {"5D-1\n", 0.5},
      {"+.5\n", 0.5},
      {"50e-2\n", 0.5},
      {"5.\n", 5.0},
      {"-2.5\n", -2.5},
      {"1e+2\n", 100.0},
      {"1d2\n", 100.0},
      {"1+2\n", 100.0},
      {"1e0002\n", 100.0},
      {"1.5.3\n", 1.5},
      {"1e5e7\n", 1e5},
      {"0.1\n", 0.1},
      {"3*0.25\n", 0.25},
      {"1.7976931348623157e308\n", 1.7976931348623157e308},
      {"4.9406564584124654e-324\n", 4.9406564584124654e-324},
      {"0.5\r\n", 0.5},
      {"\n\t\n 0.5", 0.5},
      {"2.5,3.5\n", 2.5},
  };
  for (const auto& c : cases) {
    Answers a(c.input);
    double item = -1.0;
    EXPECT_EQ(a.reader.read_double(item), ReadResult::Value) << c.input;
    EXPECT_EQ(item, c.expected) << c.input;
  }
}

TEST(ReadDouble, RangeEnds) {
  const double inf = std::numeric_limits<double>::infinity();
  const DoubleCase cases[] = {
      {"1e309\n", inf},  {"-1e309\n", -inf},    {"1e99999999\n", inf},  {"1e-99999999\n", 0.0},
      {"1e-400\n", 0.0}, {"0e99999999\n", 0.0}, {"0.000000000\n", 0.0},
  };
  for (const auto& c : cases) {
    Answers a(c.input);
    double item = -1.0;
    EXPECT_EQ(a.reader.read_double(item), ReadResult::Value) << c.input;
    EXPECT_EQ(item, c.expected) << c.input;
  }
  Answers negative_zero("-0.0\n");
  double item = 1.0;
  ASSERT_EQ(negative_zero.reader.read_double(item), ReadResult::Value);
  EXPECT_TRUE(item == 0.0 && std::signbit(item));
}

TEST(ReadDouble, Errors) {
  const ErrorCase cases[] = {
      {".\n", kInvalidNumber},
      {"+\n", kInvalidNumber},
      {"-\n", kInvalidNumber},
      {"x\n", kInvalidNumber},
      {"+.\n", kInvalidNumber},
      {".e5\n", kInvalidNumber},
      {"e5\n", kInvalidNumber},
      {"-.x\n", kInvalidNumber},
      {"5e\n", kExponentField},
      {"5e+\n", kExponentField},
      {"5ex\n", kExponentField},
      {"5+\n", kExponentField},
      {"5d-\n", kExponentField},
      {"5.5e 1\n", kExponentField},
      {"1e100000000\n", kExponentField},
      {"1e-100000000\n", kExponentField},
      {"1e99999999999999999999999\n", kExponentField},
      {"*5\n", kBadRepeat},
      {"0*5\n", kBadRepeat},
      {"-2*5\n", kBadRepeat},
  };
  for (const auto& c : cases) {
    Answers a(c.input);
    double item = 0.25;
    EXPECT_EQ(a.reader.read_double(item), ReadResult::Failed) << c.input;
    EXPECT_EQ(item, 0.25) << c.input;
    EXPECT_EQ(input_diagnostic(a.reader.error()), list_diagnostic(c.first_line)) << c.input;
  }
}

TEST(ReadDouble, OnlyFortySignificantDigitsCount) {
  // 2^53 + 1 lies exactly halfway between two doubles and rounds to even,
  // 2^53; anything above it rounds up to 2^53 + 2. A 1 as 41st significant
  // digit is dropped, so the answer reads as the exact tie.
  const double two53 = 9007199254740992.0;
  const std::string tie = repeated("9007199254740993.", 24, '0', "");  // 40 digits
  double item = 0;
  Answers dropped(tie + "1\n");
  ASSERT_EQ(dropped.reader.read_double(item), ReadResult::Value);
  EXPECT_EQ(item, two53);
  Answers kept(tie.substr(0, tie.size() - 1) + "1\n");  // the 1 as 40th digit
  ASSERT_EQ(kept.reader.read_double(item), ReadResult::Value);
  EXPECT_EQ(item, two53 + 2.0);

  // Leading zeros are not significant digits: here the 1 is the 40th.
  Answers leading_zeros(std::string(100, '0') + tie.substr(0, tie.size() - 1) + "1\n");
  ASSERT_EQ(leading_zeros.reader.read_double(item), ReadResult::Value);
  EXPECT_EQ(item, two53 + 2.0);

  // Digits beyond the limit in front of the point still scale the value.
  Answers scaled(repeated("1", 59, '0', "\n"));
  ASSERT_EQ(scaled.reader.read_double(item), ReadResult::Value);
  EXPECT_EQ(item, 1e59);
  Answers scaled_exponent(repeated("25", 48, '9', "e-49\n"));  // 2.5999…
  ASSERT_EQ(scaled_exponent.reader.read_double(item), ReadResult::Value);
  EXPECT_EQ(item, 2.6);
}

struct CharacterCase {
  std::string input;
  char expected;
};

TEST(ReadCharacter, QuotedAndUnquotedText) {
  const CharacterCase cases[] = {
      {"y\n", 'y'},        {"yes\n", 'y'},     {"'y'\n", 'y'},     {"\"y\"\n", 'y'},
      {"Y\n", 'Y'},        {"  y\n", 'y'},     {"\ty\n", 'y'},     {"\n\n  n\n", 'n'},
      {"n,y\n", 'n'},      {"''\n", ' '},      {"\"\"\n", ' '},    {"'\n", ' '},
      {"''''\n", '\''},    {"'''\n", '\''},    {"'it''s'\n", 'i'}, {"'abc\n", 'a'},
      {"\"'\"\n", '\''},   {"' y'\n", ' '},    {"3*y\n", 'y'},     {"2*'n'\n", 'n'},
      {"0*y\n", '0'},      {"*y\n", '*'},      {"-2*y\n", '-'},    {"+3*y\n", '+'},
      {"y\r\n", 'y'},      {"\r\ny\r\n", 'y'}, {"12\n", '1'},      {"y", 'y'},
      {"\x01z\n", '\x01'}, {"\xff\n", '\xff'},
  };
  for (const auto& c : cases) {
    Answers a(c.input);
    char item = '?';
    EXPECT_EQ(a.reader.read_character(item), ReadResult::Value) << c.input;
    EXPECT_EQ(item, c.expected) << c.input;
  }
}

TEST(ReadCharacter, NullValues) {
  for (const char* input : {",\n", "/\n", " , y\n", "3*\n", "3* y\n", "3*,y\n"}) {
    Answers a(input);
    char item = '?';
    EXPECT_EQ(a.reader.read_character(item), ReadResult::Null) << input;
    EXPECT_EQ(item, '?') << input;
  }
}

TEST(ReadText, TakesTheFieldFromTheNextLine) {
  struct TextCase {
    std::string input;
    std::size_t width;
    std::string expected;
  };
  const TextCase cases[] = {
      {"report.txt\n", 14, "report.txt    "},
      {"abcdefghijklmnopqrst.txt\n", 14, "abcdefghijklmn"},
      {"  lead  x\n", 14, "  lead  x     "},
      {"\n", 14, std::string(14, ' ')},
      {"\nreport.txt\n", 14, std::string(14, ' ')},
      {"out.txt\r\n", 14, "out.txt       "},
      {"last", 14, "last          "},
      {"\tx\n", 3, "\tx "},
      {"y\n", 1, "y"},
      {"yes\n", 1, "y"},
      {"\n", 1, " "},
      {"\r\n", 1, " "},
      {" y\n", 1, " "},
      {"a\0b\n"s, 4, "a\0b "s},
  };
  for (const auto& c : cases) {
    Answers a(c.input);
    std::string item = "old";
    EXPECT_EQ(a.reader.read_text(item, c.width, "(A)"), ReadResult::Value) << c.input;
    EXPECT_EQ(item, c.expected) << c.input;
  }
}

TEST(EndOfInput, EveryKindOfReadGivesItsDiagnostic) {
  for (const std::string& input : {""s, "\n\n"s, "  \t\n \r\n"s, "   "s}) {
    Answers ints(input);
    std::int32_t n = kUntouched;
    EXPECT_EQ(ints.reader.read_integer(n), ReadResult::Failed);
    EXPECT_EQ(n, kUntouched);
    EXPECT_EQ(input_diagnostic(ints.reader.error()), list_diagnostic(kListEnd));

    Answers doubles(input);
    double d = 0.25;
    EXPECT_EQ(doubles.reader.read_double(d), ReadResult::Failed);
    EXPECT_EQ(input_diagnostic(doubles.reader.error()), list_diagnostic(kListEnd));

    Answers chars(input);
    char c = '?';
    EXPECT_EQ(chars.reader.read_character(c), ReadResult::Failed);
    EXPECT_EQ(c, '?');
    EXPECT_EQ(input_diagnostic(chars.reader.error()), list_diagnostic(kListEnd));
  }
  Answers text("");
  std::string name = "old";
  EXPECT_EQ(text.reader.read_text(name, 14, "(A14)"), ReadResult::Failed);
  EXPECT_EQ(name, "old");
  EXPECT_EQ(input_diagnostic(text.reader.error()),
            "fmt: end of file\napparent state: unit 5 (unnamed)\nlast format: (A14)\n"
            "lately reading sequential formatted external IO\n");
}

TEST(EndOfInput, ComesAfterTheLastLineIsUsed) {
  Answers a("5\ny");
  std::int32_t n = 0;
  char c = 0;
  EXPECT_EQ(a.reader.read_integer(n), ReadResult::Value);
  EXPECT_EQ(a.reader.read_character(c), ReadResult::Value);
  EXPECT_EQ(a.reader.read_character(c), ReadResult::Failed);
  EXPECT_EQ(a.reader.error().context, "list in");
}

TEST(HostileInput, NulBytes) {
  Answers a("12\0 34\n\0\n\0 7\n"s);
  std::int32_t n = 0;
  EXPECT_EQ(a.reader.read_integer(n), ReadResult::Value);
  EXPECT_EQ(n, 12);
  EXPECT_EQ(a.reader.read_integer(n), ReadResult::Failed);
  EXPECT_EQ(input_diagnostic(a.reader.error()), list_diagnostic(kInvalidNumber));
  char c = '?';
  EXPECT_EQ(a.reader.read_character(c), ReadResult::Value);
  EXPECT_EQ(c, '\0');
}

TEST(HostileInput, MegabyteLines) {
  const std::size_t mb = std::size_t{1} << 20;
  std::int32_t n = 0;
  double d = 0;

  Answers blanks(std::string(mb, ' ') + repeated("12 ", mb, 'x', "\n13\n"));
  EXPECT_EQ(blanks.reader.read_integer(n), ReadResult::Value);
  EXPECT_EQ(n, 12);
  EXPECT_EQ(blanks.reader.read_integer(n), ReadResult::Value);
  EXPECT_EQ(n, 13);

  Answers zeros(std::string(mb, '0') + "12\n");
  EXPECT_EQ(zeros.reader.read_integer(n), ReadResult::Value);
  EXPECT_EQ(n, 12);

  Answers ones(std::string(mb, '1') + "\n");
  EXPECT_EQ(ones.reader.read_integer(n), ReadResult::Failed);
  EXPECT_EQ(ones.reader.error().description, "integer out of range");

  // 1 followed by 2^20 zeros: beyond the double range, and back in it with a
  // negative exponent; the long fraction likewise.
  Answers huge(repeated("1", mb, '0', "\n"));
  EXPECT_EQ(huge.reader.read_double(d), ReadResult::Value);
  EXPECT_EQ(d, std::numeric_limits<double>::infinity());

  Answers scaled_down(repeated("1", mb, '0', "e-1048570\n"));
  EXPECT_EQ(scaled_down.reader.read_double(d), ReadResult::Value);
  EXPECT_EQ(d, 1e6);

  Answers scaled_up(repeated("0.", mb, '0', "1e1048580\n"));
  EXPECT_EQ(scaled_up.reader.read_double(d), ReadResult::Value);
  EXPECT_EQ(d, 1e3);

  Answers fraction(repeated("0.", mb, '0', "1\n"));
  EXPECT_EQ(fraction.reader.read_double(d), ReadResult::Value);
  EXPECT_EQ(d, 0.0);

  Answers count(std::string(mb, '9') + "*0.5\n");
  EXPECT_EQ(count.reader.read_double(d), ReadResult::Value);
  EXPECT_EQ(d, 0.5);

  Answers text(std::string(mb, 'q') + "\n");
  std::string name;
  EXPECT_EQ(text.reader.read_text(name, 14, "(A)"), ReadResult::Value);
  EXPECT_EQ(name, std::string(14, 'q'));
}

TEST(HostileInput, RandomBytesEndInAValueANullOrAKnownDiagnostic) {
  std::mt19937 random(20260307);
  const std::string alphabet = "0123456789+-.eEdD*,/ '\"\t\r\n\0xy"s;
  for (int trial = 0; trial < 2000; ++trial) {
    std::string input;
    const int length = static_cast<int>(random() % 40);
    for (int i = 0; i < length; ++i) {
      input +=
          trial % 2 == 0 ? alphabet[random() % alphabet.size()] : static_cast<char>(random() % 256);
    }
    Answers a(input);
    std::int32_t n = 0;
    double d = 0;
    char c = 0;
    std::string s;
    for (int read = 0; read < 4; ++read) {
      ReadResult result = ReadResult::Value;
      switch (read) {
        case 0:
          result = a.reader.read_integer(n);
          break;
        case 1:
          result = a.reader.read_double(d);
          break;
        case 2:
          result = a.reader.read_character(c);
          break;
        default:
          result = a.reader.read_text(s, 14, "(A)");
          break;
      }
      if (result != ReadResult::Failed) continue;
      const std::string& context = a.reader.error().context;
      EXPECT_TRUE(context == "invalid integer" || context == "invalid number" ||
                  context == "exponent field" || context == "bad repetition count" ||
                  context == "list in" || context == "fmt")
          << context;
      break;
    }
  }
}

// Endless input without a line end (like /dev/zero) ends in a diagnostic once
// a line passes the length limit, instead of exhausting memory.
class EndlessZeros : public std::streambuf {
 protected:
  int_type underflow() override {
    setg(zeros_, zeros_, zeros_ + sizeof zeros_);
    return 0;
  }

 private:
  char zeros_[4096] = {};
};

TEST(HostileInput, EndlessLineIsAnInputError) {
  for (const bool formatted : {false, true}) {
    EndlessZeros zeros;
    std::istream in(&zeros);
    AnswerReader reader(in);
    std::string name;
    std::int32_t n = 0;
    const ReadResult result =
        formatted ? reader.read_text(name, 14, "(A)") : reader.read_integer(n);
    ASSERT_EQ(result, ReadResult::Failed);
    EXPECT_EQ(input_diagnostic(reader.error()),
              std::string(formatted ? "fmt" : "list in") +
                  ": record too long\napparent state: unit 5 (unnamed)\nlast format: " +
                  (formatted ? "(A)" : "list io") +
                  "\nlately reading sequential formatted external IO\n");
  }
}

}  // namespace
}  // namespace kemro
