// The record writer and its number fields.
//
// Fw.d and Dw.d round to nearest with exact ties away from zero, judged on the
// double's exact binary value. printf rounds ties to even, so the writer asks
// printf only for digits and makes every rounding decision itself:
//
//   1. Print a few guard digits beyond the first digit to be dropped. Whatever
//      printf does to the last guard digit moves the printed value by less than
//      one unit there, so "first dropped digit >= 5" reads the same on the
//      printed and on the exact value, unless the printed tail is exactly
//      5000...: only then could the exact value lie just below the halfway point.
//   2. In that one case, print the exact expansion (a double M * 2^k has at most
//      -k decimals) and decide on it.
//
// Ordinary values thus cost one short printf; long exact expansions are
// printed only for halfway cases, where they are short anyway, and for the
// rare value whose guard digits happen to read 000.
#include "report/record_writer.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <string>

namespace kemro {
namespace {

constexpr int kGuardDigits = 3;             // digits printed beyond the first dropped one
constexpr std::size_t kPrintBuffer = 128;   // holds every print of an ordinary value
constexpr int kMantissaBits = 53;           // a double is M * 2^k with M < 2^53
constexpr int kMaxIntegerDigits = 309;      // the largest double has 309 integer digits
constexpr int kTwoDigitExponentLimit = 99;  // beyond it the exponent loses its letter

std::string asterisks(int w) {
  return std::string(static_cast<std::size_t>(std::max(w, 0)), '*');
}

// The text right-justified in w characters, or w asterisks when it is longer.
std::string right_justify(const std::string& text, int w) {
  if (w <= 0) return {};
  const auto width = static_cast<std::size_t>(w);
  if (text.size() > width) return asterisks(w);
  return std::string(width - text.size(), ' ') + text;
}

// printf of one double with a "%.*f" or "%.*e" format, never truncated.
std::string print(const char* format, int precision, double x) {
  char buffer[kPrintBuffer];
  const int n = std::snprintf(buffer, sizeof buffer, format, precision, x);
  if (n < 0) return {};
  if (static_cast<std::size_t>(n) < sizeof buffer) return std::string(buffer, n);
  std::string text(static_cast<std::size_t>(n) + 1, '\0');
  std::snprintf(text.data(), text.size(), format, precision, x);
  text.pop_back();
  return text;
}

// k in x = M * 2^k with M an integer below 2^53 (x finite, > 0).
int binary_exponent(double x) {
  int e = 0;
  std::frexp(x, &e);
  return e - kMantissaBits;
}

// Decimals of the exact expansion of x = M * 2^k: at most max(0, -k).
int exact_decimals(double x) {
  return std::max(0, -binary_exponent(x));
}

// Significant digits of the exact expansion of x, an upper bound: for k < 0,
// x = M * 5^-k / 10^-k and M * 5^-k has at most 16 + 1 + 0.7 * -k digits.
int exact_significant_digits(double x) {
  const int k = binary_exponent(x);
  if (k >= 0) return kMaxIntegerDigits;
  return 17 + (7 * -k) / 10;
}

bool is_digit(char c) {
  return c >= '0' && c <= '9';
}

// True when the digits from `first_dropped` on read 5000...: the printed value
// sits exactly halfway, and the exact value may lie on either side of it.
bool halfway_in_print(const std::string& digits, std::size_t first_dropped) {
  if (first_dropped >= digits.size() || digits[first_dropped] != '5') return false;
  return digits.find_first_not_of('0', first_dropped + 1) == std::string::npos;
}

// Adds one to the decimal number in `digits`; "999" becomes "1000".
void increment(std::string& digits) {
  for (auto it = digits.rbegin(); it != digits.rend(); ++it) {
    if (*it != '9') {
      ++*it;
      return;
    }
    *it = '0';
  }
  digits.insert(digits.begin(), '1');
}

// Keeps the first `keep` digits, one more when the next digit is 5 or more.
// On the exact expansion this is round to nearest with ties away from zero.
// The result is one digit longer when the carry runs through ("9996" -> "1000"
// with keep 3 gives "1000").
std::string round_digits(const std::string& digits, std::size_t keep) {
  std::string kept = digits.substr(0, keep);
  kept.resize(keep, '0');
  if (keep < digits.size() && digits[keep] >= '5') increment(kept);
  return kept;
}

// Integer digits and all decimals of a "%.*f" print, without the point.
struct FixedPrint {
  std::string digits;
  std::size_t integer_digits;
};

FixedPrint print_fixed(double magnitude, int decimals) {
  std::string text = print("%.*f", decimals, magnitude);
  const auto point =
      static_cast<std::size_t>(std::find_if_not(text.begin(), text.end(), is_digit) - text.begin());
  if (point < text.size()) text.erase(point, 1);
  return {text, point};
}

// |value| rounded to d decimals: integer digits (0 below 1), point, d decimals.
std::string fixed_text(double magnitude, int d) {
  FixedPrint p = print_fixed(magnitude, d + 1 + kGuardDigits);
  if (halfway_in_print(p.digits, p.integer_digits + d)) {
    p = print_fixed(magnitude, std::max(d + 1, exact_decimals(magnitude)));
  }
  const std::string kept = round_digits(p.digits, p.integer_digits + d);
  const std::size_t integer_digits = kept.size() - static_cast<std::size_t>(d);
  return kept.substr(0, integer_digits) + '.' + kept.substr(integer_digits);
}

// Significant digits and decimal exponent of a "%.*e" print: x = 0.digits * 10^exponent.
struct ScientificPrint {
  std::string digits;
  int exponent;
};

ScientificPrint print_scientific(double magnitude, int precision) {
  const std::string text = print("%.*e", precision, magnitude);
  ScientificPrint p{{}, 0};
  std::size_t i = 0;
  for (; i < text.size() && text[i] != 'e'; ++i) {
    if (is_digit(text[i])) p.digits += text[i];
  }
  const bool negative = i + 1 < text.size() && text[i + 1] == '-';
  int exponent = 0;
  for (i += 2; i < text.size(); ++i) exponent = 10 * exponent + (text[i] - '0');
  p.exponent = (negative ? -exponent : exponent) + 1;
  return p;
}

// magnitude (> 0) rounded to d significant digits, 0.m1...md * 10^e with m1 != 0.
ScientificPrint exponent_digits(double magnitude, int d) {
  ScientificPrint p = print_scientific(magnitude, d + kGuardDigits);
  const auto keep = static_cast<std::size_t>(d);
  if (halfway_in_print(p.digits, keep)) {
    p = print_scientific(magnitude, std::max(d, exact_significant_digits(magnitude)));
  }
  std::string kept = round_digits(p.digits, keep);
  if (kept.size() > keep) {  // the carry ran through: 0.999.. became 0.100..*10
    kept.pop_back();
    ++p.exponent;
  }
  return {kept, p.exponent};
}

// The four exponent characters: E+dd / E-dd, or +ddd / -ddd beyond 99.
std::string exponent_part(int e) {
  const int magnitude = std::abs(e);
  std::string digits = std::to_string(magnitude);
  const std::size_t width = magnitude > kTwoDigitExponentLimit ? 3 : 2;
  if (digits.size() < width) digits.insert(0, width - digits.size(), '0');
  const char sign = e < 0 ? '-' : '+';
  return magnitude > kTwoDigitExponentLimit ? sign + digits : std::string("E") + sign + digits;
}

// Inf, -Inf and NaN, right-justified, in F and D fields alike.
std::string non_finite(double value, int w) {
  if (std::isnan(value)) return right_justify("NaN", w);
  return right_justify(value < 0 ? "-Inf" : "Inf", w);
}

// One field for one item; an item of the wrong type fills the field with asterisks.
std::string render_field(const Descriptor& field, const Item& item) {
  const auto* integer = std::get_if<std::int32_t>(&item);
  const auto* real = std::get_if<double>(&item);
  const auto* text = std::get_if<std::string_view>(&item);
  switch (field.kind) {
    case Descriptor::Kind::Integer:
      if (integer) return format_integer(*integer, field.width);
      break;
    case Descriptor::Kind::Fixed:
      if (real) return format_fixed(*real, field.width, field.decimals);
      break;
    case Descriptor::Kind::Exponent:
      if (real) return format_exponent(*real, field.width, field.decimals);
      break;
    case Descriptor::Kind::Character:
      if (text) return std::string(*text);
      return "*";
    default:
      break;
  }
  return asterisks(field.width);
}

bool is_field(Descriptor::Kind kind) {
  return kind == Descriptor::Kind::Integer || kind == Descriptor::Kind::Fixed ||
         kind == Descriptor::Kind::Exponent || kind == Descriptor::Kind::Character;
}

bool write_text(std::FILE* out, const std::string& text) {
  if (out == nullptr) return false;
  return std::fwrite(text.data(), 1, text.size(), out) == text.size() && !std::ferror(out);
}

}  // namespace

std::string format_integer(std::int32_t value, int w) {
  return right_justify(std::to_string(value), w);
}

std::string format_fixed(double value, int w, int d) {
  if (w <= 0) return {};
  if (d < 0) return asterisks(w);
  if (!std::isfinite(value)) return non_finite(value, w);
  std::string text = fixed_text(std::fabs(value), d);
  const bool negative = value < 0 && text.find_first_not_of("0.") != std::string::npos;
  std::size_t length = text.size() + (negative ? 1 : 0);
  const auto width = static_cast<std::size_t>(w);
  if (length == width + 1 && text[0] == '0') {  // dropping the leading 0 alone makes it fit
    text.erase(0, 1);
    --length;
  }
  if (length > width) return asterisks(w);
  return std::string(width - length, ' ') + (negative ? "-" : "") + text;
}

std::string format_exponent(double value, int w, int d) {
  if (w <= 0) return {};
  if (d < 1) return asterisks(w);
  if (!std::isfinite(value)) return non_finite(value, w);
  const double magnitude = std::fabs(value);
  ScientificPrint m{std::string(static_cast<std::size_t>(d), '0'), 0};
  if (magnitude != 0) m = exponent_digits(magnitude, d);
  const bool negative = value < 0;
  const std::string body = "." + m.digits + exponent_part(m.exponent);
  const std::string sign = negative ? "-" : "";
  const int s = negative ? 1 : 0;
  if (w >= d + 6 + s)
    return std::string(static_cast<std::size_t>(w - d - 6 - s), ' ') + sign + "0" + body;
  if (w == d + 5 + s) return sign + body;
  return asterisks(w);
}

std::string render_record(Layout layout, std::span<const Item> items) {
  std::string out;
  std::size_t next_item = 0;
  std::size_t pending_blanks = 0;
  for (const Descriptor& descriptor : layout) {
    if (is_field(descriptor.kind) && next_item == items.size()) break;
    switch (descriptor.kind) {
      case Descriptor::Kind::Blanks:
        pending_blanks += static_cast<std::size_t>(std::max(descriptor.width, 0));
        continue;
      case Descriptor::Kind::Slash:
        pending_blanks = 0;  // blanks never trail a line
        out += '\n';
        continue;
      default:
        break;
    }
    out.append(pending_blanks, ' ');
    pending_blanks = 0;
    if (descriptor.kind == Descriptor::Kind::Literal) {
      out += descriptor.text;
    } else {
      out += render_field(descriptor, items[next_item++]);
    }
  }
  out += '\n';
  return out;
}

bool write_record(std::FILE* out, Layout layout, std::span<const Item> items) {
  return write_text(out, render_record(layout, items));
}

bool write_list(std::FILE* out, std::string_view text) {
  std::string line = " ";
  line += text;
  line += '\n';
  // A prompt is flushed at once so that it is on the console before the answer is awaited.
  return write_text(out, line) && std::fflush(out) == 0;
}

}  // namespace kemro
