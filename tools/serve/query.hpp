// The query string of a request to kemro-serve, split into its parameters.
//
// "a=1&b=x%2Cy&c" gives (a, 1), (b, "x,y"), (c, ""): parameters are separated
// by '&', a name from its value by the first '=', and both are
// percent-decoded, '+' standing for a blank. A parameter without '=' has an
// empty value (a flag such as "csv"). Empty pieces ("a=1&&b=2") are skipped.
// Nothing here knows which names exist: the endpoints hand the parameters to
// the tools' own option tables.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kemro::serve {

// Most parameters one query may hold; the tools have fewer than 30 options.
inline constexpr std::size_t MAX_QUERY_PARAMETERS = 64;

struct QueryParameter {
  std::string name;
  std::string value;
};

struct Query {
  std::vector<QueryParameter> parameters;  // in the order given
  std::string error;                       // empty when the whole query was understood
  bool ok() const { return error.empty(); }
};

// Splits and decodes `text` (the part of the URL after '?'). Errors: a '%'
// not followed by two hexadecimal digits, a decoded name or value that is not
// UTF-8 or holds a control character, an empty name, more than
// MAX_QUERY_PARAMETERS parameters.
Query parse_query(std::string_view text);

// The percent-decoded text, or false when an escape is malformed.
bool percent_decode(std::string_view text, std::string& decoded);

}  // namespace kemro::serve
