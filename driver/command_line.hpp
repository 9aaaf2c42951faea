// The command line of kemro: no arguments but --help and --version, and the
// standard descriptors made safe before any file is opened.
#pragma once

#include <cstdio>

namespace kemro {

// Connects each closed standard descriptor (0, 1, 2) to /dev/null. A closed
// one would otherwise be the next descriptor the system hands out, so the
// report file would become standard output and take the dialog. False when
// /dev/null cannot be opened.
bool connect_closed_standard_descriptors();

// Answers the arguments of a run with argc > 1: --help writes the usage to
// `out`, --version the program's version, both status 0; anything else gives
// a diagnostic and the usage on `errors`, status 2.
int answer_arguments(int argc, const char* const* argv, std::FILE* out, std::FILE* errors);

}  // namespace kemro
