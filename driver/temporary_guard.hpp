// An unfinished report's temporary file removed when a signal ends the run:
// SIGINT, SIGTERM and SIGHUP remove the file last named by guard_temporary
// and then end the process as the signal would have, so an interrupted run
// leaves no temporary file behind.
#pragma once

namespace kemro {

// Installs the handlers; signals that were ignored at the start stay ignored.
void remove_temporary_on_signal();

// Names the temporary file a signal removes; nullptr once it is renamed or
// removed. A name too long to keep is not guarded.
void guard_temporary(const char* path);

}  // namespace kemro
