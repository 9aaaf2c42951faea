#include "tools/common/progress.hpp"

namespace kemro::cli {

std::string progress_text(std::size_t done, std::size_t total, double seconds,
                          std::string_view unit) {
  char text[64];
  std::snprintf(text, sizeof text, ", %.1f s", seconds);
  return std::to_string(done) + "/" + std::to_string(total) + " " + std::string(unit) + text;
}

Progress::Progress(std::FILE* out, std::string_view program, std::string_view unit,
                   std::size_t total, bool enabled)
    : out_(out), program_(program), unit_(unit), total_(total), enabled_(enabled) {}

void Progress::update(std::size_t done) {
  if (!enabled_) return;
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
  const bool last = done >= total_;
  if (!shown_ && (last || seconds < PROGRESS_DELAY)) return;
  // Carriage return and erase-line rewrite the line in place; the last one stays.
  std::fprintf(out_, "\r\033[K%s: %s%s", program_.c_str(),
               progress_text(done, total_, seconds, unit_).c_str(), last ? "\n" : "");
  std::fflush(out_);
  shown_ = !last;
}

}  // namespace kemro::cli
