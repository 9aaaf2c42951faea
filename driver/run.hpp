// The run driver: one analysis per start, from the start stamp to the exit prompt.
#pragma once

namespace kemro {

// Runs the whole dialog and computation on the standard streams; returns the
// process exit status.
int run_kemro();

}  // namespace kemro
