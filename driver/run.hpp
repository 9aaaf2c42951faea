// The run driver: one analysis per start, from the start stamp to the exit prompt.
#pragma once

#include <cstdio>
#include <istream>

namespace kemro {

// Runs the whole dialog and computation: answers from `in`, prompts and trace
// on `console`, diagnostics (and a declined report) on `errors`. Returns the
// process exit status.
int run_kemro(std::istream& in, std::FILE* console, std::FILE* errors);

}  // namespace kemro
