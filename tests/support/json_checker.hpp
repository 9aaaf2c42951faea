// Whether the tools' JSON output is well formed, by nlohmann-json's parser
// (the whole grammar: escapes, numbers, nesting).
#pragma once

#include <nlohmann/json.hpp>
#include <string>

namespace kemro::testing {

// Whether the text is one well-formed JSON value.
class JsonChecker {
 public:
  explicit JsonChecker(const std::string& text) : s_(text) {}
  bool well_formed() const { return nlohmann::json::accept(s_); }

 private:
  std::string s_;
};

}  // namespace kemro::testing
