// The progress line of a long run on standard error: the items (scenarios,
// cases) done out of the total and the time elapsed, rewritten in place. It appears only once the
// work has taken longer than PROGRESS_DELAY, and never when it is disabled
// (standard error is not a terminal).
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdio>
#include <string>
#include <string_view>

namespace kemro::cli {

inline constexpr double PROGRESS_DELAY = 1.0;  // seconds

// "12/40 scenarios, 3.4 s": the text of one progress line, `unit` naming the items.
std::string progress_text(std::size_t done, std::size_t total, double seconds,
                          std::string_view unit);

class Progress {
 public:
  // Lines read "PROGRAM: 12/40 UNIT, 3.4 s".
  Progress(std::FILE* out, std::string_view program, std::string_view unit, std::size_t total,
           bool enabled);
  // Shows `done` once the delay has passed; the last call (done == total)
  // ends a line that was shown with the final count and time.
  void update(std::size_t done);

 private:
  std::FILE* out_;
  std::string program_;
  std::string unit_;
  std::size_t total_;
  bool enabled_;
  bool shown_ = false;
  std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

}  // namespace kemro::cli
