// libFuzzer target for the record writer. The input encodes a layout and an
// item list (missing bytes read as 0):
//
//   count                  number of descriptors, modulo 32
//   count descriptors      one tag byte each, modulo 19:
//       0..4   I2 I3 I4 I6 I7
//       5..10  F7.3 F8.4 F9.5 F10.5 F10.6 F12.2
//       11     D20.10
//       12     I(w)      one byte:  w = b % 40 - 1
//       13/14  F(w, d) / D(w, d)  two bytes: w = b1 % 40 - 1, d = b2 % 24 - 1
//       15     A
//       16     X(n)      one byte:  n = b % 10 - 1
//       17     Slash
//       18     literal   one length byte (modulo 16), then the text
//   items, to the end   one tag byte each, modulo 3:
//       0  int32, 4 bytes as stored    1  double, 8 bytes as stored (any bit
//       pattern: infinities, NaNs, subnormals)    2  text, length byte modulo
//       16, then the text; an item cut short by the end is dropped
//
// The record is rendered and checked: it ends with a line end and has one line
// per slash reached plus one (plus any line ends inside texts); every number
// field reached is exactly as wide as its descriptor says; Fw.d and Dw.d fields
// agree with rounding done on the full exact decimal expansion of the value.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "report/record_writer.hpp"

namespace {

using kemro::Descriptor;
using kemro::Item;

constexpr std::size_t kMaxDescriptors = 32;
constexpr int kWidths = 40;       // generic widths -1 .. 38
constexpr int kDecimals = 24;     // generic decimals -1 .. 22
constexpr int kBlankCounts = 10;  // X counts -1 .. 8
constexpr std::size_t kMaxText = 16;
constexpr int kExactDecimals = 1080;    // a double has at most 1074 decimals
constexpr int kExactSignificant = 800;  // and at most 767 significant digits

// The descriptors the program's own layouts use.
constexpr Descriptor kProgramFields[] = {kemro::I(2),     kemro::I(3),     kemro::I(4),
                                         kemro::I(6),     kemro::I(7),     kemro::F(7, 3),
                                         kemro::F(8, 4),  kemro::F(9, 5),  kemro::F(10, 5),
                                         kemro::F(10, 6), kemro::F(12, 2), kemro::D(20, 10)};
constexpr std::size_t kProgramFieldCount = std::size(kProgramFields);
constexpr std::size_t kDescriptorTags = kProgramFieldCount + 7;

void require(bool condition) {
  if (!condition) std::abort();
}

// Reads the fuzzer's bytes front to back; past the end every byte is 0.
class Bytes {
 public:
  Bytes(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  bool empty() const { return pos_ >= size_; }
  std::size_t left() const { return empty() ? 0 : size_ - pos_; }
  std::uint8_t next() { return empty() ? 0 : data_[pos_++]; }
  // Up to n bytes as text, pointing into the input itself.
  std::string_view text(std::size_t n) {
    n = std::min(n, left());
    const std::string_view s(reinterpret_cast<const char*>(data_ + pos_), n);
    pos_ += n;
    return s;
  }
  // The next sizeof(T) bytes as a T; the caller has checked that they are there.
  template <typename T>
  T value() {
    T v{};
    std::memcpy(&v, data_ + pos_, sizeof v);
    pos_ += sizeof v;
    return v;
  }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t pos_ = 0;
};

int width_from(std::uint8_t b) {
  return b % kWidths - 1;
}
int decimals_from(std::uint8_t b) {
  return b % kDecimals - 1;
}

Descriptor decode_descriptor(Bytes& in) {
  const std::size_t tag = in.next() % kDescriptorTags;
  if (tag < kProgramFieldCount) return kProgramFields[tag];
  switch (tag - kProgramFieldCount) {
    case 0:
      return kemro::I(width_from(in.next()));
    case 1: {
      const int w = width_from(in.next());
      return kemro::F(w, decimals_from(in.next()));
    }
    case 2: {
      const int w = width_from(in.next());
      return kemro::D(w, decimals_from(in.next()));
    }
    case 3:
      return kemro::A();
    case 4:
      return kemro::X(in.next() % kBlankCounts - 1);
    case 5:
      return kemro::Slash();
    default:
      break;
  }
  return kemro::Text(in.text(in.next() % kMaxText));
}

std::vector<Item> decode_items(Bytes& in) {
  std::vector<Item> items;
  while (!in.empty()) {
    const int tag = in.next() % 3;
    if (tag == 0) {
      if (in.left() < sizeof(std::int32_t)) break;
      items.emplace_back(in.value<std::int32_t>());
    } else if (tag == 1) {
      if (in.left() < sizeof(double)) break;
      items.emplace_back(in.value<double>());
    } else {
      const std::size_t n = in.next() % kMaxText;
      if (in.left() < n) break;
      items.emplace_back(in.text(n));
    }
  }
  return items;
}

std::size_t line_ends(std::string_view s) {
  return static_cast<std::size_t>(std::count(s.begin(), s.end(), '\n'));
}

// printf of x with a long precision; glibc prints the exact expansion.
std::string print_long(const char* format, int precision, double x) {
  const int n = std::snprintf(nullptr, 0, format, precision, x);
  std::string text(static_cast<std::size_t>(n) + 1, '\0');
  std::snprintf(text.data(), text.size(), format, precision, x);
  text.pop_back();
  return text;
}

// The first `keep` digits, rounded up when the next exact digit is 5 or more:
// on an exact expansion, round to nearest with ties away from zero.
std::string round_exact(const std::string& digits, std::size_t keep) {
  std::string kept = digits.substr(0, keep);
  if (digits[keep] < '5') return kept;
  std::size_t i = kept.size();
  while (i > 0 && kept[i - 1] == '9') kept[--i] = '0';
  if (i == 0) return '1' + kept;
  ++kept[i - 1];
  return kept;
}

// Fw.d of a finite value worked out from its exact expansion.
std::string exact_fixed(double value, int w, int d) {
  const std::string text = print_long("%.*f", kExactDecimals, std::fabs(value));
  const std::size_t point = text.find('.');
  const std::string digits = text.substr(0, point) + text.substr(point + 1);
  const std::string kept = round_exact(digits, point + static_cast<std::size_t>(d));
  const std::size_t integer_digits = kept.size() - static_cast<std::size_t>(d);
  std::string field = kept.substr(0, integer_digits) + '.' + kept.substr(integer_digits);
  const bool negative = value < 0 && kept.find_first_not_of('0') != std::string::npos;
  if (negative) field.insert(0, "-");
  const auto width = static_cast<std::size_t>(w);
  if (field.size() == width + 1) {  // a leading 0 may go to make it fit
    const std::size_t zero = negative ? 1 : 0;
    if (field[zero] == '0') field.erase(zero, 1);
  }
  if (field.size() > width) return std::string(width, '*');
  return std::string(width - field.size(), ' ') + field;
}

void check_fixed(double value, int w, int d) {
  const std::string field = kemro::format_fixed(value, w, d);
  require(field.size() == static_cast<std::size_t>(std::max(w, 0)));
  if (w > 0 && d >= 0 && std::isfinite(value)) require(field == exact_fixed(value, w, d));
}

// Dw.d of a finite value: checks the sign, the d significant digits and the
// exponent read back from the field against the exact expansion.
void check_exponent_digits(const std::string& field, double value, int d) {
  std::string_view s = field;
  s.remove_prefix(std::min(s.find_first_not_of(' '), s.size()));
  const bool negative = !s.empty() && s.front() == '-';
  require(negative == (value < 0));
  if (negative) s.remove_prefix(1);
  if (!s.empty() && s.front() == '0') s.remove_prefix(1);
  require(!s.empty() && s.front() == '.');
  s.remove_prefix(1);
  const auto keep = static_cast<std::size_t>(d);
  require(s.size() == keep + 4);
  const std::string digits(s.substr(0, keep));
  std::string_view exponent = s.substr(keep);
  if (exponent.front() == 'E') exponent.remove_prefix(1);
  const int written_exponent = std::atoi(std::string(exponent).c_str());

  std::string expected_digits(keep, '0');
  int expected_exponent = 0;
  if (value != 0) {
    // "%.*e" gives m.mmm...e±x, that is 0.mmmm... * 10^(x + 1).
    const std::string text = print_long("%.*e", kExactSignificant, std::fabs(value));
    const std::size_t e = text.find('e');
    const std::string exact = text.substr(0, 1) + text.substr(2, e - 2);
    expected_exponent = std::atoi(text.c_str() + e + 1) + 1;
    expected_digits = round_exact(exact, keep);
    if (expected_digits.size() > keep) {  // 0.999... became 1.000...
      expected_digits.pop_back();
      ++expected_exponent;
    }
  }
  require(digits == expected_digits);
  require(written_exponent == expected_exponent);
}

void check_exponent(double value, int w, int d) {
  const std::string field = kemro::format_exponent(value, w, d);
  require(field.size() == static_cast<std::size_t>(std::max(w, 0)));
  if (w <= 0 || d < 1 || !std::isfinite(value) || field.front() == '*') return;
  check_exponent_digits(field, value, d);
}

// Checks the field one descriptor makes of one item; returns the line ends
// the field itself writes (only text can hold them).
std::size_t check_field(const Descriptor& field, const Item& item) {
  const auto* integer = std::get_if<std::int32_t>(&item);
  const auto* real = std::get_if<double>(&item);
  const auto* text = std::get_if<std::string_view>(&item);
  switch (field.kind) {
    case Descriptor::Kind::Integer:
      if (integer) {
        const std::string s = kemro::format_integer(*integer, field.width);
        require(s.size() == static_cast<std::size_t>(std::max(field.width, 0)));
      }
      break;
    case Descriptor::Kind::Fixed:
      if (real) check_fixed(*real, field.width, field.decimals);
      break;
    case Descriptor::Kind::Exponent:
      if (real) check_exponent(*real, field.width, field.decimals);
      break;
    case Descriptor::Kind::Character:
      if (text) return line_ends(*text);
      break;
    default:
      break;
  }
  return 0;
}

bool is_field(Descriptor::Kind kind) {
  return kind == Descriptor::Kind::Integer || kind == Descriptor::Kind::Fixed ||
         kind == Descriptor::Kind::Exponent || kind == Descriptor::Kind::Character;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Bytes in(data, size);
  std::vector<Descriptor> layout(in.next() % kMaxDescriptors);
  for (Descriptor& descriptor : layout) descriptor = decode_descriptor(in);
  const std::vector<Item> items = decode_items(in);

  const std::string record = kemro::render_record(layout, items);

  // Walk the layout as the writer does, up to the first field without an item.
  std::size_t next_item = 0;
  std::size_t expected_line_ends = 1;
  for (const Descriptor& descriptor : layout) {
    if (is_field(descriptor.kind)) {
      if (next_item == items.size()) break;
      expected_line_ends += check_field(descriptor, items[next_item++]);
    } else if (descriptor.kind == Descriptor::Kind::Slash) {
      ++expected_line_ends;
    } else if (descriptor.kind == Descriptor::Kind::Literal) {
      expected_line_ends += line_ends(descriptor.text);
    }
  }
  require(!record.empty() && record.back() == '\n');
  require(line_ends(record) == expected_line_ends);
  return 0;
}
