// The record writer: renders a record layout and an item list into lines.
//
// A layout is a list of edit descriptors processed left to right:
//   I(w)      integer field of width w
//   F(w, d)   fixed-point field, width w, d decimals
//   D(w, d)   exponent field, width w, d significant digits (letter E)
//   A()       text item, as wide as the item
//   X(n)      n pending blanks (written before the next text or field)
//   Slash()   ends the current line and starts the next
//   Text("…") literal text, written unchanged
// Output stops at the first field descriptor for which no item is left.
#pragma once

#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <string_view>
#include <variant>

namespace kemro {

struct Descriptor {
  enum class Kind { Integer, Fixed, Exponent, Character, Blanks, Slash, Literal };
  Kind kind;
  int width = 0;     // Iw, Fw.d, Dw.d: the field width; nX: the number of blanks
  int decimals = 0;  // Fw.d: decimals; Dw.d: significant digits
  std::string_view text{};  // literal text
};

constexpr Descriptor I(int w) { return {Descriptor::Kind::Integer, w, 0, {}}; }
constexpr Descriptor F(int w, int d) { return {Descriptor::Kind::Fixed, w, d, {}}; }
constexpr Descriptor D(int w, int d) { return {Descriptor::Kind::Exponent, w, d, {}}; }
constexpr Descriptor A() { return {Descriptor::Kind::Character, 0, 0, {}}; }
constexpr Descriptor X(int n) { return {Descriptor::Kind::Blanks, n, 0, {}}; }
constexpr Descriptor Slash() { return {Descriptor::Kind::Slash, 0, 0, {}}; }
constexpr Descriptor Text(std::string_view s) { return {Descriptor::Kind::Literal, 0, 0, s}; }

using Layout = std::span<const Descriptor>;
using Item = std::variant<std::int32_t, double, std::string_view>;

// Iw: right-justified decimal digits, minus sign for negatives, w asterisks if too long.
std::string format_integer(std::int32_t value, int w);
// Fw.d: rounded to d decimals (ties away from zero, on the exact binary value).
std::string format_fixed(double value, int w, int d);
// Dw.d: 0.m1…md followed by E±dd, or ±ddd when the exponent has three digits.
std::string format_exponent(double value, int w, int d);

// The whole record as text; every line, the last included, ends with '\n'.
std::string render_record(Layout layout, std::span<const Item> items);

// Writes the rendered record to a stream; false when the stream reports an error.
bool write_record(std::FILE* out, Layout layout, std::span<const Item> items);

// List-directed write of one text item: a blank, the text, a line end.
bool write_list(std::FILE* out, std::string_view text);

}  // namespace kemro
