// A checker of JSON well-formedness for the tests of kemro-grid's JSON output:
// enough of the grammar for what the grid writes (strings without escapes).
#pragma once

#include <cctype>
#include <string>

namespace kemro::testing {

// Whether the text is one well-formed JSON value (strings without escapes).
class JsonChecker {
 public:
  explicit JsonChecker(const std::string& text) : s_(text) {}
  bool well_formed() { return value() && (blanks(), i_ == s_.size()); }

 private:
  void blanks() {
    while (i_ < s_.size() && std::isspace(static_cast<unsigned char>(s_[i_]))) ++i_;
  }
  bool at(char c) { return i_ < s_.size() && s_[i_] == c; }
  bool eat(char c) { return at(c) && (++i_, true); }
  bool digits() {
    const std::size_t start = i_;
    while (i_ < s_.size() && std::isdigit(static_cast<unsigned char>(s_[i_]))) ++i_;
    return i_ > start;
  }
  bool string() {
    if (!eat('"')) return false;
    const std::size_t end = s_.find('"', i_);
    if (end == std::string::npos || s_.find('\\', i_) < end) return false;
    i_ = end + 1;
    return true;
  }
  // -?(0|[1-9][0-9]*)(.[0-9]+)?([eE][+-]?[0-9]+)?
  bool number() {
    eat('-');
    if (eat('0')) {
      if (i_ < s_.size() && std::isdigit(static_cast<unsigned char>(s_[i_]))) return false;
    } else if (!digits()) {
      return false;
    }
    if (eat('.') && !digits()) return false;
    if (eat('e') || eat('E')) {
      if (!eat('+')) eat('-');
      return digits();
    }
    return true;
  }
  // Items separated by commas up to `close`; `item` reads one.
  template <typename Item>
  bool sequence(char close, Item item) {
    blanks();
    if (eat(close)) return true;
    do {
      blanks();
      if (!item()) return false;
      blanks();
    } while (eat(','));
    return eat(close);
  }
  bool value() {
    blanks();
    if (s_.compare(i_, 4, "null") == 0 || s_.compare(i_, 4, "true") == 0) return i_ += 4, true;
    if (s_.compare(i_, 5, "false") == 0) return i_ += 5, true;
    if (at('"')) return string();
    if (eat('[')) return sequence(']', [&] { return value(); });
    if (eat('{')) {
      return sequence('}', [&] { return string() && (blanks(), eat(':')) && value(); });
    }
    return number();
  }

  const std::string& s_;
  std::size_t i_ = 0;
};

}  // namespace kemro::testing
