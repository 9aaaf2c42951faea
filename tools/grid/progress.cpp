#include "tools/grid/progress.hpp"

namespace kemro::grid {

std::string progress_text(std::size_t done, std::size_t total, double seconds) {
  char text[96];
  std::snprintf(text, sizeof text, "%zu/%zu scenarios, %.1f s", done, total, seconds);
  return text;
}

Progress::Progress(std::FILE* out, std::size_t total, bool enabled)
    : out_(out), total_(total), enabled_(enabled) {}

void Progress::update(std::size_t done) {
  if (!enabled_) return;
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
  const bool last = done >= total_;
  if (!shown_ && (last || seconds < PROGRESS_DELAY)) return;
  // Carriage return and erase-line rewrite the line in place; the last one stays.
  std::fprintf(out_, "\r\033[Kkemro-grid: %s%s", progress_text(done, total_, seconds).c_str(),
               last ? "\n" : "");
  std::fflush(out_);
  shown_ = !last;
}

}  // namespace kemro::grid
