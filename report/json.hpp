// The JSON text of every tool's machine-readable records, written in one way.
//
// Strings are escaped by nlohmann-json: quotes, backslashes and every control
// character, bytes that are not valid UTF-8 replaced by U+FFFD, so that any
// text the user typed or a file held makes a valid document. Numbers are the
// shortest text that reads back as the same double (exact_number); NaN is
// null, and an infinity, which a JSON number cannot hold, is the string "Inf"
// or "-Inf" (as R and pandas read it back). Counts are decimal integers.
//
// Layout: one object per line, {"key": value, "key": value}; a record array is
// "[", then each record on its own line after one blank, separated by commas,
// then "\n]\n". Any prefix of the records followed by the closing is a whole
// document, which is what an interrupted run writes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kemro::cli {

// A JSON string literal of `text`, quotes included.
std::string json_string(std::string_view text);

// A number as JSON: its exact text, null for NaN, "Inf" or "-Inf" for infinities.
std::string json_number(double value);

// A JSON array on one line, "[a, b, c]", of elements that are already JSON
// text (the objects of a record's distribution, say).
std::string json_list(const std::vector<std::string>& elements);

// One object, its members in the order they are added.
class JsonObject {
 public:
  JsonObject& number(std::string_view key, double value);
  JsonObject& integer(std::string_view key, std::int64_t value);
  JsonObject& text(std::string_view key, std::string_view value);
  JsonObject& boolean(std::string_view key, bool value);
  // A value that is already JSON text (an array of objects, say).
  JsonObject& raw(std::string_view key, std::string_view json);
  // The object, braces included.
  std::string str() const;

 private:
  std::string members_;
};

// A record array written as a stream: open(), element() per record, close().
class JsonArray {
 public:
  static std::string open() { return "["; }
  std::string element(std::string_view record);
  static std::string close() { return "\n]\n"; }

 private:
  bool first_ = true;
};

}  // namespace kemro::cli
