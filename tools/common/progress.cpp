// The progress line: its text, when it is drawn, and how it makes way for
// records written to the same terminal.
#include "tools/common/progress.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <limits>

namespace kemro::cli {

namespace {

// Estimates up to a minute are given to the second (rounded up, never "0 s"),
// longer ones to the nearest minute.
constexpr double SECONDS_PER_MINUTE = 60.0;

std::string duration_text(double seconds) {
  char text[48];
  if (seconds < SECONDS_PER_MINUTE) {
    std::snprintf(text, sizeof text, "%.0f s", std::ceil(seconds));
  } else {
    std::snprintf(text, sizeof text, "%.0f min", std::round(seconds / SECONDS_PER_MINUTE));
  }
  return text;
}

}  // namespace

double seconds_left(std::size_t done, std::size_t total, double seconds) {
  if (done == 0) return std::numeric_limits<double>::quiet_NaN();
  return seconds * static_cast<double>(total - done) / static_cast<double>(done);
}

std::string progress_text(std::size_t done, std::size_t total, double seconds,
                          std::string_view unit) {
  char text[64];
  std::snprintf(text, sizeof text, ", %.1f s", seconds);
  std::string line =
      std::to_string(done) + "/" + std::to_string(total) + " " + std::string(unit) + text;
  const double left = seconds_left(done, total, seconds);
  if (done >= total || std::isnan(left)) return line;
  return line + ", about " + duration_text(left) + " left";
}

bool same_terminal(std::FILE* a, std::FILE* b) {
  const int fa = ::fileno(a);
  const int fb = ::fileno(b);
  if (fa < 0 || fb < 0 || ::isatty(fa) != 1 || ::isatty(fb) != 1) return false;
  struct stat sa {};
  struct stat sb {};
  if (::fstat(fa, &sa) != 0 || ::fstat(fb, &sb) != 0) return true;  // both terminals: assume one
  return sa.st_rdev == sb.st_rdev;
}

Progress::Progress(std::FILE* out, std::string_view program, std::string_view unit,
                   std::size_t total, bool enabled, double delay)
    : out_(out), program_(program), unit_(unit), total_(total), enabled_(enabled), delay_(delay) {}

void Progress::update(std::size_t done) {
  if (!enabled_) return;
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
  const bool last = done >= total_;
  const bool started = shown_ || erased_;
  if (!started && (last || seconds < delay_)) return;
  if (!last && shown_ && seconds - drawn_at_ < PROGRESS_REDRAW) return;
  draw(done, seconds, last);
}

void Progress::finish(std::size_t done) {
  if (!enabled_ || !(shown_ || erased_)) return;
  draw(done, std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count(),
       true);
}

void Progress::draw(std::size_t done, double seconds, bool last) {
  // Carriage return and erase-line rewrite the line in place; the last one stays.
  std::fprintf(out_, "\r\033[K%s: %s%s", program_.c_str(),
               progress_text(done, total_, seconds, unit_).c_str(), last ? "\n" : "");
  std::fflush(out_);
  shown_ = !last;
  erased_ = false;
  drawn_at_ = seconds;
}

void Progress::clear_for_output() {
  if (!shown_) return;
  std::fputs("\r\033[K", out_);
  std::fflush(out_);
  shown_ = false;
  erased_ = true;
}

}  // namespace kemro::cli
