// How KEMRO's messages show values: a number as the shortest text that reads
// back as the same double, so that a value typed as 1.1 is echoed as 1.1 (not
// 1.1000000000000001), and text the user typed between single quotes.
//
// Kept in model/, the lowest layer, because every layer words messages with
// it: the model's own (composite predictors), the library's checks in
// distribution/ (which the R package is built from, together with model/ and
// nothing else), report/ and the tools. Formatting a message is not I/O: the
// text is returned, and the caller decides who sees it.
#pragma once

#include <string>
#include <string_view>

namespace kemro::message {

// The shortest text that reads back as the same double (std::to_chars'
// shortest round trip: 1.1, 0.25, 1e-05, 123456789); "inf", "-inf" or "nan"
// for a value that is not finite.
std::string number_text(double value);

// "'text'": how messages quote what the user typed.
std::string quoted(std::string_view text);

}  // namespace kemro::message
