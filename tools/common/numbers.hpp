// Numbers as the tools' machine-readable outputs carry them.
#pragma once

#include <string>

namespace kemro::cli {

// Shortest text that reads back as the same double; empty for NaN and
// infinities (an empty CSV field, a JSON null).
std::string exact_number(double value);

// As exact_number, but infinities as "Inf" and "-Inf", the spelling R and
// pandas read back with its sign; NaN stays empty.
std::string signed_number(double value);

}  // namespace kemro::cli
