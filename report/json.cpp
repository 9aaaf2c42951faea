// The JSON text of the tools' records (json.hpp).
#include "report/json.hpp"

#include <cmath>
#include <nlohmann/json.hpp>

#include "report/numbers.hpp"

namespace kemro::cli {

std::string json_string(std::string_view text) {
  // Not ASCII-only: valid UTF-8 passes as it is; invalid bytes become U+FFFD
  // instead of an exception.
  constexpr int NO_INDENT = -1;
  constexpr bool ENSURE_ASCII = false;
  return nlohmann::json(std::string(text))
      .dump(NO_INDENT, ' ', ENSURE_ASCII, nlohmann::json::error_handler_t::replace);
}

std::string json_number(double value) {
  if (std::isinf(value)) return json_string(signed_number(value));
  const std::string text = exact_number(value);
  return text.empty() ? "null" : text;
}

std::string json_list(const std::vector<std::string>& elements) {
  std::string text = "[";
  for (const std::string& element : elements) {
    if (text.size() > 1) text += ", ";
    text += element;
  }
  return text + "]";
}

JsonObject& JsonObject::raw(std::string_view key, std::string_view json) {
  if (!members_.empty()) members_ += ", ";
  members_ += json_string(key);
  members_ += ": ";
  members_ += json;
  return *this;
}

JsonObject& JsonObject::number(std::string_view key, double value) {
  return raw(key, json_number(value));
}

JsonObject& JsonObject::integer(std::string_view key, std::int64_t value) {
  return raw(key, std::to_string(value));
}

JsonObject& JsonObject::text(std::string_view key, std::string_view value) {
  return raw(key, json_string(value));
}

JsonObject& JsonObject::boolean(std::string_view key, bool value) {
  return raw(key, value ? "true" : "false");
}

std::string JsonObject::str() const {
  return "{" + members_ + "}";
}

std::string JsonArray::element(std::string_view record) {
  std::string text = first_ ? "\n " : ",\n ";
  first_ = false;
  return text.append(record);
}

}  // namespace kemro::cli
