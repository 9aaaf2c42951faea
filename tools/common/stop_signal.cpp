#include "tools/common/stop_signal.hpp"

#include <csignal>

#include "tools/common/diagnostics.hpp"

namespace kemro::cli {

namespace {

// The signal that asked the run to stop, or 0. A signal handler can reach
// nothing but static storage, so this one flag is the tools' only global;
// the handler sets it, the main thread polls it.
volatile std::sig_atomic_t stop_signal = 0;

extern "C" void ask_to_stop(int signal_number) {
  stop_signal = signal_number;
}

}  // namespace

// SIGINT and SIGTERM set the flag once; SA_RESETHAND restores the default
// action, so that a second signal ends the program at once.
void install_stop_handlers() {
  struct sigaction action = {};
  action.sa_handler = ask_to_stop;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART | SA_RESETHAND;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

int stop_requested() {
  return stop_signal;
}

int stopped_status(int signal_number) {
  return signal_number == SIGTERM ? EXIT_TERMINATED : EXIT_INTERRUPTED;
}

}  // namespace kemro::cli
