// SIGINT and SIGTERM as a request to stop: a long run polls the request
// between pieces of work, writes what is complete, closes its output and ends
// with status 128 + the signal. A second request ends the program at once;
// the same signal sent again by the same process within a second is not one
// (timeout signals the program and then its process group: one request).
#pragma once

namespace kemro::cli {

// Installs the handlers; call once, before the work starts.
void install_stop_handlers();

// The signal that asked the run to stop, or 0.
int stop_requested();

// The exit status of a run stopped by `signal_number`: 130 or 143.
int stopped_status(int signal_number);

}  // namespace kemro::cli
