#include "tools/grid/plot_file.hpp"

#include <cairo-pdf.h>
#include <cairo.h>
#include <librsvg/rsvg.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace kemro::grid {

namespace {

// Permissions of a new plot file before the umask: read and write for everyone.
constexpr mode_t NEW_FILE_MODE = 0666;

std::string lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

// cairo's write callback: appends to the std::string behind `closure`.
cairo_status_t append_bytes(void* closure, const unsigned char* data, unsigned int length) {
  static_cast<std::string*>(closure)->append(reinterpret_cast<const char*>(data), length);
  return CAIRO_STATUS_SUCCESS;
}

struct HandleDeleter {
  void operator()(RsvgHandle* h) const { g_object_unref(h); }
};
struct SurfaceDeleter {
  void operator()(cairo_surface_t* s) const { cairo_surface_destroy(s); }
};
struct ContextDeleter {
  void operator()(cairo_t* c) const { cairo_destroy(c); }
};

// The current umask, read without changing it for good (before any thread starts).
mode_t current_umask() {
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return mask;
}

// A new temporary file next to `path`; its name in `name`, -1 on failure.
int make_temporary(const std::string& path, std::string& name) {
  std::vector<char> pattern(path.begin(), path.end());
  for (char c : std::string_view(".tmp.XXXXXX")) pattern.push_back(c);
  pattern.push_back('\0');
  const int fd = ::mkstemp(pattern.data());
  name = pattern.data();
  return fd;
}

}  // namespace

std::optional<PlotFormat> plot_format_of(std::string_view file_name) {
  const std::size_t dot = file_name.rfind('.');
  const std::size_t slash = file_name.rfind('/');
  if (dot == std::string_view::npos || (slash != std::string_view::npos && dot < slash)) {
    return std::nullopt;
  }
  const std::string extension = lower(file_name.substr(dot));
  if (extension == ".svg") return PlotFormat::Svg;
  if (extension == ".png") return PlotFormat::Png;
  if (extension == ".pdf") return PlotFormat::Pdf;
  return std::nullopt;
}

std::string encode_plot(const std::string& svg, PlotFormat format, std::string& error) {
  if (format == PlotFormat::Svg) return svg;
  GError* gerror = nullptr;
  const std::unique_ptr<RsvgHandle, HandleDeleter> handle(
      rsvg_handle_new_from_data(reinterpret_cast<const guint8*>(svg.data()), svg.size(), &gerror));
  if (!handle) {
    error = std::string("the SVG cannot be read: ") + (gerror ? gerror->message : "unknown error");
    if (gerror) g_error_free(gerror);
    return {};
  }
  gdouble width = 0;
  gdouble height = 0;
  if (!rsvg_handle_get_intrinsic_size_in_pixels(handle.get(), &width, &height)) {
    error = "the SVG has no size in pixels";
    return {};
  }
  std::string bytes;
  const std::unique_ptr<cairo_surface_t, SurfaceDeleter> surface(
      format == PlotFormat::Png
          ? cairo_image_surface_create(CAIRO_FORMAT_ARGB32, static_cast<int>(std::ceil(width)),
                                       static_cast<int>(std::ceil(height)))
          : cairo_pdf_surface_create_for_stream(append_bytes, &bytes, width, height));
  const std::unique_ptr<cairo_t, ContextDeleter> cr(cairo_create(surface.get()));
  const RsvgRectangle viewport{0, 0, width, height};
  if (!rsvg_handle_render_document(handle.get(), cr.get(), &viewport, &gerror)) {
    error = std::string("the SVG cannot be drawn: ") + (gerror ? gerror->message : "unknown error");
    if (gerror) g_error_free(gerror);
    return {};
  }
  cairo_status_t status = cairo_status(cr.get());
  if (status == CAIRO_STATUS_SUCCESS && format == PlotFormat::Png) {
    status = cairo_surface_write_to_png_stream(surface.get(), append_bytes, &bytes);
  }
  cairo_surface_finish(surface.get());  // a PDF is written out here
  if (status == CAIRO_STATUS_SUCCESS) status = cairo_surface_status(surface.get());
  if (status != CAIRO_STATUS_SUCCESS) {
    error = std::string("the plot cannot be drawn: ") + cairo_status_to_string(status);
    return {};
  }
  return bytes;
}

bool AtomicFile::fail(const std::string& path) {
  error_ = "cannot write " + path + ": " + std::strerror(errno);
  return false;
}

bool AtomicFile::open(const std::string& path) {
  std::string name;
  const int fd = make_temporary(path, name);
  if (fd < 0) return fail(path);
  ::close(fd);
  ::unlink(name.c_str());
  path_ = path;
  return true;
}

bool AtomicFile::commit(const std::string& bytes) {
  std::string name;
  const int fd = make_temporary(path_, name);
  if (fd < 0) return fail(path_);
  bool ok = ::fchmod(fd, NEW_FILE_MODE & ~current_umask()) == 0;
  for (std::size_t at = 0; ok && at < bytes.size();) {
    const ssize_t n = ::write(fd, bytes.data() + at, bytes.size() - at);
    ok = n > 0;
    if (ok) at += static_cast<std::size_t>(n);
  }
  int saved = ok ? 0 : errno;
  if (::close(fd) != 0 && ok) {
    ok = false;
    saved = errno;
  }
  if (ok && std::rename(name.c_str(), path_.c_str()) != 0) {
    ok = false;
    saved = errno;
  }
  if (ok) return true;
  ::unlink(name.c_str());
  errno = saved == 0 ? EIO : saved;  // a write of 0 bytes sets no errno
  return fail(path_);
}

}  // namespace kemro::grid

#if defined(__SANITIZE_ADDRESS__)
// Fontconfig, which librsvg uses to lay out text, keeps its font cache for the
// life of the process and never frees it; LeakSanitizer would report that at
// every exit of a program that drew a PNG or PDF. Only that library is exempt.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\n";
}
#endif
