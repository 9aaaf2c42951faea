#include "tools/common/stop_signal.hpp"

#include <signal.h>
#include <time.h>

#include <csignal>

#include "tools/common/diagnostics.hpp"

namespace kemro::cli {

namespace {

// A sender that signals a process and then its whole process group (timeout
// does: kill(child), then kill(0)) delivers one request twice, microseconds
// apart; a person asking a second time takes far longer than this.
constexpr double ECHO_SECONDS = 1.0;
constexpr double NANOSECONDS_PER_SECOND = 1e9;

// The signal that asked the run to stop, or 0. A signal handler can reach
// nothing but static storage, so this flag and the record of the first
// request are the tools' only globals; the handler sets them, the main
// thread reads only the flag.
volatile std::sig_atomic_t stop_signal = 0;
// The first request's sender when a process sent it (SI_USER), else 0, and
// when it came. Written and read only by the handler, which both signals
// block while it runs.
pid_t first_sender = 0;
timespec first_time = {};

// Whether a request is the first one again: the same signal from the same
// process within ECHO_SECONDS.
bool is_echo(int signal_number, const siginfo_t* info, const timespec& now) {
  if (signal_number != stop_signal || info == nullptr || info->si_code != SI_USER ||
      first_sender == 0 || info->si_pid != first_sender) {
    return false;
  }
  const double since =
      static_cast<double>(now.tv_sec - first_time.tv_sec) +
      static_cast<double>(now.tv_nsec - first_time.tv_nsec) / NANOSECONDS_PER_SECOND;
  return since < ECHO_SECONDS;
}

extern "C" void ask_to_stop(int signal_number, siginfo_t* info, void*) {
  timespec now = {};
  ::clock_gettime(CLOCK_MONOTONIC, &now);  // async-signal-safe
  if (stop_signal == 0) {
    first_sender = info != nullptr && info->si_code == SI_USER ? info->si_pid : 0;
    first_time = now;
    stop_signal = signal_number;
    return;
  }
  if (is_echo(signal_number, info, now)) return;
  // A second request: the signal's default action ends the program at once,
  // as soon as the handler returns and unblocks it.
  struct sigaction fallback = {};
  fallback.sa_handler = SIG_DFL;
  sigemptyset(&fallback.sa_mask);
  ::sigaction(signal_number, &fallback, nullptr);
  ::raise(signal_number);
}

}  // namespace

// SIGINT and SIGTERM set the flag; a later request that is not the first
// one's echo restores the default action and ends the program at once.
void install_stop_handlers() {
  struct sigaction action = {};
  action.sa_sigaction = ask_to_stop;
  sigemptyset(&action.sa_mask);
  sigaddset(&action.sa_mask, SIGINT);
  sigaddset(&action.sa_mask, SIGTERM);
  action.sa_flags = SA_RESTART | SA_SIGINFO;
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
