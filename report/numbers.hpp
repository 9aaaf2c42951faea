// Numbers as the tools write them: exactly in the machine-readable outputs,
// to a number of significant digits or decimals in the text ones. Every tool
// formats its numbers through these functions and no others.
#pragma once

#include <string>

namespace kemro::cli {

// Shortest text that reads back as the same double; empty for NaN and
// infinities (an empty CSV field, a JSON null).
std::string exact_number(double value);

// As exact_number, but infinities as "Inf" and "-Inf", the spelling R and
// pandas read back with its sign; NaN stays empty.
std::string signed_number(double value);

// The digits printf's %g gives: enough for the limits and settings messages quote.
inline constexpr int DEFAULT_DIGITS = 6;

// `digits` significant digits, in fixed or exponent notation whichever is
// shorter (printf's %.*g); "nan", "inf" or "-inf" for a value that is not finite.
std::string significant(double value, int digits);

// A number of a text table: `digits` significant digits as significant()
// writes them, and "-" for NaN (a value that is undefined or was not
// computed). kemro-grid's tables use 6 digits for d and the rule levels, 3 for
// error estimates, 7 for the planning solves' values: one format, the
// digits chosen by each table.
std::string short_number(double value, int digits);

// `decimals` digits after the point (printf's %.*f).
std::string fixed_decimals(double value, int decimals);

}  // namespace kemro::cli
