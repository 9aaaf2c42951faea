// The signal handlers that remove an unfinished report's temporary file. A
// handler reaches only static storage, so the name lives in a fixed buffer
// with a flag that says whether it is set; unlink, sigaction and raise are
// safe in a handler.
#include "driver/temporary_guard.hpp"

#include <unistd.h>

#include <climits>
#include <csignal>
#include <cstring>

namespace kemro {

namespace {

constexpr int GUARDED_SIGNALS[] = {SIGINT, SIGTERM, SIGHUP};

char guarded_path[PATH_MAX];
volatile std::sig_atomic_t guarded = 0;

extern "C" void remove_and_end(int signal_number) {
  if (guarded != 0) ::unlink(guarded_path);
  struct sigaction default_action = {};
  default_action.sa_handler = SIG_DFL;
  sigemptyset(&default_action.sa_mask);
  sigaction(signal_number, &default_action, nullptr);
  ::raise(signal_number);
}

}  // namespace

void remove_temporary_on_signal() {
  struct sigaction action = {};
  action.sa_handler = remove_and_end;
  sigemptyset(&action.sa_mask);
  for (const int signal_number : GUARDED_SIGNALS) {
    struct sigaction previous = {};
    if (sigaction(signal_number, nullptr, &previous) != 0 || previous.sa_handler == SIG_IGN) {
      continue;
    }
    sigaction(signal_number, &action, nullptr);
  }
}

void guard_temporary(const char* path) {
  guarded = 0;
  if (path == nullptr || std::strlen(path) >= sizeof guarded_path) return;
  std::memcpy(guarded_path, path, std::strlen(path) + 1);
  guarded = 1;
}

}  // namespace kemro
