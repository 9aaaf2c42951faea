// The progress line of a long run on standard error: the items (scenarios,
// cases) done out of the total, the time elapsed and an estimate of the time
// left, rewritten in place. It appears only once the work has taken longer
// than PROGRESS_DELAY, is redrawn at most every PROGRESS_REDRAW, and never
// when it is disabled (standard error is not a terminal). When the records go
// to the same terminal, the line is erased before each record is written
// (clear_for_output) and drawn again below it by the next update, so that no
// record runs into it.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdio>
#include <string>
#include <string_view>

namespace kemro::cli {

inline constexpr double PROGRESS_DELAY = 1.0;   // seconds
inline constexpr double PROGRESS_REDRAW = 0.1;  // seconds

// The time left when `done` of `total` items took `seconds`:
// seconds * (total - done) / done, the pace so far; NaN before the first one.
double seconds_left(std::size_t done, std::size_t total, double seconds);

// "12/40 scenarios, 3.4 s, about 8 s left": the text of one progress line,
// `unit` naming the items (the estimate only while work remains and some is done).
std::string progress_text(std::size_t done, std::size_t total, double seconds,
                          std::string_view unit);

// Whether both streams are terminals, and the same one: then what is written
// to one lands on the line the other is on.
bool same_terminal(std::FILE* a, std::FILE* b);

class Progress {
 public:
  // Lines read "PROGRAM: 12/40 UNIT, 3.4 s, about 8 s left". `delay`: the
  // seconds of work before the line first appears.
  Progress(std::FILE* out, std::string_view program, std::string_view unit, std::size_t total,
           bool enabled, double delay = PROGRESS_DELAY);
  // Shows `done` once the delay has passed; the last call (done == total)
  // ends a line that was shown with the final count and time. A line erased
  // by clear_for_output is drawn again at once.
  void update(std::size_t done);
  // Ends a line that was shown, with `done` as the final count (a stopped run).
  void finish(std::size_t done);
  // Erases the line while it is on the terminal, so that output written to
  // the same terminal next starts at the beginning of a clean line; out is
  // flushed before this returns. Call it before writing each record there.
  void clear_for_output();

 private:
  void draw(std::size_t done, double seconds, bool last);

  std::FILE* out_;
  std::string program_;
  std::string unit_;
  std::size_t total_;
  bool enabled_;
  double delay_;
  bool shown_ = false;     // the line is on the terminal, not yet ended
  bool erased_ = false;    // it was, until clear_for_output erased it
  double drawn_at_ = 0.0;  // seconds after start_ of the last drawing
  std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

}  // namespace kemro::cli
