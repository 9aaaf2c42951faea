// Record writer: number fields to the character, record layouts, stream writes.
// Expected strings were worked out with exact decimal arithmetic on the
// doubles' binary values, independently of the writer.
#include "report/record_writer.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <limits>
#include <string>
#include <vector>

namespace kemro {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kMax = std::numeric_limits<double>::max();
constexpr double kMinDenormal = std::numeric_limits<double>::denorm_min();

struct RealCase {
  double value;
  int w, d;
  const char* expected;
};

void check_fixed(const std::vector<RealCase>& cases) {
  for (const auto& c : cases) {
    EXPECT_EQ(format_fixed(c.value, c.w, c.d), c.expected)
        << "F" << c.w << "." << c.d << " of " << c.value;
  }
}

void check_exponent(const std::vector<RealCase>& cases) {
  for (const auto& c : cases) {
    EXPECT_EQ(format_exponent(c.value, c.w, c.d), c.expected)
        << "D" << c.w << "." << c.d << " of " << c.value;
  }
}

TEST(FormatInteger, RightJustifiedOrAsterisks) {
  EXPECT_EQ(format_integer(100, 2), "**");
  EXPECT_EQ(format_integer(2026, 4), "2026");
  EXPECT_EQ(format_integer(-5, 7), "     -5");
  EXPECT_EQ(format_integer(7, 2), " 7");
  EXPECT_EQ(format_integer(0, 3), "  0");
  EXPECT_EQ(format_integer(-10, 3), "-10");
  EXPECT_EQ(format_integer(-100, 3), "***");
  EXPECT_EQ(format_integer(999999, 6), "999999");
  EXPECT_EQ(format_integer(-2147483647 - 1, 7), "*******");
  EXPECT_EQ(format_integer(2147483647, 6), "******");
  EXPECT_EQ(format_integer(-2147483647 - 1, 11), "-2147483648");
}

TEST(FormatFixed, WorkedExamples) {
  check_fixed({{0.5, 7, 3, "  0.500"},
               {0.0, 7, 3, "  0.000"},
               {-0.0, 7, 3, "  0.000"},
               {-1.0, 7, 3, " -1.000"},
               {-0.0004, 7, 3, "  0.000"},
               {1000.0, 7, 3, "*******"},
               {0.25, 8, 4, "  0.2500"},
               {0.000004, 8, 4, "  0.0000"},
               {1.0714285714285714, 9, 5, "  1.07143"},
               {-0.5, 10, 6, " -0.500000"},
               {-0.5, 5, 3, "-.500"},
               {-0.5, 4, 3, "****"}});
}

TEST(FormatFixed, LeadingZeroDroppedOnlyWhenThatAloneFits) {
  check_fixed({{0.5, 4, 3, ".500"},
               {0.5, 5, 3, "0.500"},
               {0.9996, 4, 3, "****"},  // rounds to 1.000: no leading 0 to drop
               {0.9996, 5, 3, "1.000"},
               {-0.9996, 6, 3, "-1.000"},
               {2.5, 7, 0, "     3."}});
}

TEST(FormatFixed, ExactTiesRoundAwayFromZero) {
  // Each value is exactly halfway; rounding to even would give the lower digit.
  check_fixed({{0.125, 12, 2, "        0.13"},
               {-0.125, 12, 2, "       -0.13"},
               {0.375, 12, 2, "        0.38"},
               {0.5625, 7, 3, "  0.563"},
               {0.03125, 8, 4, "  0.0313"},
               {0.015625, 9, 5, "  0.01563"},
               {0.015625, 10, 5, "   0.01563"},
               {0.0078125, 10, 6, "  0.007813"},
               {123456789.125, 12, 2, "123456789.13"}});
}

TEST(FormatFixed, ExactBinaryValueDecidesNearHalfway) {
  check_fixed({// the double nearest 999.9995 lies above it: rounds to 1000.000
               {999.9995, 7, 3, "*******"},
               {999.9994999, 7, 3, "999.999"},
               // the double nearest -99.9995 is -99.99949999...: rounds to -99.999
               {-99.9995, 7, 3, "-99.999"},
               {-99.99950001, 7, 3, "*******"},
               // the double nearest -0.0005 lies just beyond it
               {-0.0005, 7, 3, " -0.001"},
               {0.9999999999999999, 10, 6, "  1.000000"},
               {0.1, 30, 20, "        0.10000000000000000555"}});
}

TEST(FormatFixed, ExtremeMagnitudesInEveryWidthUsed) {
  check_fixed({{kMax, 7, 3, "*******"},
               {-kMax, 7, 3, "*******"},
               {kMinDenormal, 7, 3, "  0.000"},
               {-kMinDenormal, 7, 3, "  0.000"},
               {kMax, 8, 4, "********"},
               {-kMax, 8, 4, "********"},
               {kMinDenormal, 8, 4, "  0.0000"},
               {-kMinDenormal, 8, 4, "  0.0000"},
               {kMax, 9, 5, "*********"},
               {-kMax, 9, 5, "*********"},
               {kMinDenormal, 9, 5, "  0.00000"},
               {-kMinDenormal, 9, 5, "  0.00000"},
               {kMax, 10, 5, "**********"},
               {-kMax, 10, 5, "**********"},
               {kMinDenormal, 10, 5, "   0.00000"},
               {-kMinDenormal, 10, 5, "   0.00000"},
               {kMax, 10, 6, "**********"},
               {-kMax, 10, 6, "**********"},
               {kMinDenormal, 10, 6, "  0.000000"},
               {-kMinDenormal, 10, 6, "  0.000000"},
               {kMax, 12, 2, "************"},
               {-kMax, 12, 2, "************"},
               {kMinDenormal, 12, 2, "        0.00"},
               {-kMinDenormal, 12, 2, "        0.00"},
               {999999999.995, 12, 2, "************"}});
}

TEST(FormatFixed, InfinityAndNaN) {
  check_fixed({{kInf, 7, 3, "    Inf"},
               {-kInf, 7, 3, "   -Inf"},
               {kNaN, 7, 3, "    NaN"},
               {-kNaN, 10, 5, "       NaN"},
               {-kInf, 4, 3, "-Inf"},
               {-kInf, 3, 1, "***"},
               {kNaN, 2, 0, "**"}});
}

TEST(FormatExponent, WorkedExamples) {
  check_exponent({{0.5, 20, 10, "    0.5000000000E+00"},
                  {1.0, 20, 10, "    0.1000000000E+01"},
                  {0.0, 20, 10, "    0.0000000000E+00"},
                  {-0.0, 20, 10, "    0.0000000000E+00"},
                  {-2.5e-7, 20, 10, "   -0.2500000000E-06"},
                  {1.0e-120, 20, 10, "    0.1000000000-119"}});
}

TEST(FormatExponent, ExactTiesRoundAwayFromZero) {
  // Eleven significant digits ending in 5, all exact in binary.
  check_exponent({{12345678905.0, 20, 10, "    0.1234567891E+11"},
                  {-12345678905.0, 20, 10, "   -0.1234567891E+11"},
                  {1.0009765625, 20, 10, "    0.1000976563E+01"},  // 1 + 2^-10
                  {0x1p-15, 20, 10, "    0.3051757813E-04"}});     // 0.000030517578125
}

TEST(FormatExponent, CarryAndThreeDigitExponents) {
  check_exponent({{9.99999999995, 20, 10, "    0.1000000000E+02"},
                  {0.999999999996, 20, 10, "    0.1000000000E+01"},
                  {1e98, 20, 10, "    0.1000000000E+99"},
                  {9.99999999996e98, 20, 10, "    0.1000000000+100"},
                  {1e99, 20, 10, "    0.1000000000+100"},
                  {9.99999999996e99, 20, 10, "    0.1000000000+101"},
                  {1e-99, 20, 10, "    0.1000000000E-98"},
                  {1e-100, 20, 10, "    0.1000000000E-99"}});
}

TEST(FormatExponent, NarrowFieldsAndExtremes) {
  check_exponent({{0.5, 15, 10, ".5000000000E+00"},
                  {-0.5, 16, 10, "-.5000000000E+00"},
                  {0.5, 14, 10, "**************"},
                  {-0.5, 15, 10, "***************"},
                  {kMax, 20, 10, "    0.1797693135+309"},
                  {-kMax, 20, 10, "   -0.1797693135+309"},
                  {kMinDenormal, 20, 10, "    0.4940656458-323"},
                  {-kMinDenormal, 20, 10, "   -0.4940656458-323"},
                  {2.2250738585072014e-308, 20, 10, "    0.2225073859-307"},
                  {kInf, 20, 10, "                 Inf"},
                  {-kInf, 20, 10, "                -Inf"},
                  {kNaN, 20, 10, "                 NaN"}});
}

constexpr Descriptor kStartStamp[] = {Text("Program execution starts on "),
                                      I(2),
                                      Text("/"),
                                      I(2),
                                      Text("/"),
                                      I(4),
                                      Text(" at"),
                                      I(3),
                                      Text(":"),
                                      I(2),
                                      Text(":"),
                                      I(2)};

TEST(RenderRecord, FieldsAndLiteralsOnOneLine) {
  const Item items[] = {7, 3, 2026, 8, 5, 9};
  EXPECT_EQ(render_record(kStartStamp, items),
            "Program execution starts on  7/ 3/2026 at  8: 5: 9\n");

  constexpr Descriptor trace_row[] = {X(10), I(6), I(7), I(7), F(10, 5), D(20, 10)};
  const Item row[] = {1, 40, 9, 0.25, 0.25};
  EXPECT_EQ(render_record(trace_row, row),
            "               1     40      9   0.25000    0.2500000000E+00\n");

  constexpr Descriptor question[] = {A(), A(), A(), A()};
  const Item texts[] = {std::string_view(" File "), std::string_view("out.txt       "),
                        std::string_view(" found - write over it"), std::string_view("  (y/n) ?")};
  EXPECT_EQ(render_record(question, texts),
            " File out.txt        found - write over it  (y/n) ?\n");
}

TEST(RenderRecord, SlashesAndPendingBlanks) {
  constexpr Descriptor heading[] = {Slash(), Slash(), Text("SOME OUTPUT"), Slash()};
  EXPECT_EQ(render_record(heading, {}), "\n\nSOME OUTPUT\n\n");

  constexpr Descriptor captions[] = {X(22), Text("I"), X(6), Text("J"), X(6), Text("Pij")};
  EXPECT_EQ(render_record(captions, {}), std::string(22, ' ') + "I      J      Pij\n");

  constexpr Descriptor dropped[] = {Text("A"), X(3), Slash(), Text("B"), X(5)};
  EXPECT_EQ(render_record(dropped, {}), "A\nB\n");

  constexpr Descriptor cpu[] = {Slash(), Text("CPU TIME IN SECONDS "), F(12, 2)};
  const Item seconds[] = {3.25};
  EXPECT_EQ(render_record(cpu, seconds), "\nCPU TIME IN SECONDS         3.25\n");
}

TEST(RenderRecord, StopsAtFirstFieldWithoutItem) {
  std::vector<Descriptor> layout = {F(9, 5), Slash(), Text("P05"), Slash()};
  for (int i = 0; i < 8; ++i) layout.push_back(F(7, 3));
  const std::vector<Item> items = {0.5, 0.1, 0.2, 0.3, 0.4, 0.5, 0.6, 0.7};
  EXPECT_EQ(render_record(layout, items),
            "  0.50000\nP05\n  0.100  0.200  0.300  0.400  0.500  0.600  0.700\n");

  // Literals and slashes up to the next field are still carried out.
  constexpr Descriptor tail[] = {I(2), Text("x"), Slash(), Text("y"), X(3), I(2), Text("z")};
  const Item one[] = {1};
  EXPECT_EQ(render_record(tail, one), " 1x\ny\n");
  EXPECT_EQ(render_record(tail, {}), "\n");
}

TEST(RenderRecord, WrongItemTypeFillsFieldWithAsterisks) {
  constexpr Descriptor layout[] = {I(4), F(7, 3), D(20, 10), A(), Text("|")};
  const Item items[] = {1.5, 2, std::string_view("x"), 3};
  EXPECT_EQ(render_record(layout, items), std::string(4 + 7 + 20 + 1, '*') + "|\n");
}

std::string read_back(std::FILE* file) {
  std::rewind(file);
  std::string text;
  for (int c; (c = std::fgetc(file)) != EOF;) text += static_cast<char>(c);
  return text;
}

TEST(StreamWrites, RecordAndListLines) {
  std::FILE* file = std::tmpfile();
  ASSERT_NE(file, nullptr);
  const Item items[] = {7, 3, 2026, 8, 5, 9};
  EXPECT_TRUE(write_list(file, " Filename to write output of the program? "));
  EXPECT_TRUE(write_record(file, kStartStamp, items));
  EXPECT_EQ(read_back(file),
            "  Filename to write output of the program? \n"
            "Program execution starts on  7/ 3/2026 at  8: 5: 9\n");
  std::fclose(file);
}

TEST(StreamWrites, StreamErrorsReportFalse) {
  std::FILE* read_only = std::fopen("/dev/null", "r");
  ASSERT_NE(read_only, nullptr);
  EXPECT_FALSE(write_record(read_only, kStartStamp, {}));
  std::fclose(read_only);
  if (std::FILE* full = std::fopen("/dev/full", "w")) {  // the flushed prompt meets a full device
    EXPECT_FALSE(write_list(full, "prompt"));
    std::fclose(full);
  }
  EXPECT_FALSE(write_list(nullptr, "prompt"));
}

}  // namespace
}  // namespace kemro
