// Plot files (figure_file.hpp): PNG and PDF drawn from the SVG, plot sizes
// with their units, and files written whole under a temporary name.
#include "report/figure_file.hpp"

#include <cairo-pdf.h>
#include <cairo.h>
#include <librsvg/rsvg.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "model/message_text.hpp"
#include "report/figure.hpp"
#include "report/numbers.hpp"

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

// A new temporary file in the folder of `path`, under a short hidden name so
// that a name near the system's length limit still has room; its name in
// `name`, -1 on failure.
int make_temporary(const std::string& path, std::string& name) {
  const std::size_t slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
  std::string pattern = folder + ".kemro-plot-XXXXXX";
  const int fd = ::mkstemp(pattern.data());
  name = pattern;
  return fd;
}

}  // namespace

namespace {

constexpr int SVG_LENGTH_DIGITS =
    9;  // a length typed with more digits than this is not drawn finer
constexpr int LIMIT_INCH_DIGITS = 4;  // the largest plot size in inches, as the message gives it

// The units a plot length may carry, with their size in pixels.
struct UnitName {
  std::string_view suffix;
  PlotUnit unit;
  double pixels;
};
constexpr UnitName UNITS[] = {{"px", PlotUnit::Px, 1.0},
                              {"in", PlotUnit::In, PIXELS_PER_INCH},
                              {"cm", PlotUnit::Cm, PIXELS_PER_INCH / 2.54},
                              {"mm", PlotUnit::Mm, PIXELS_PER_INCH / 25.4},
                              {"pt", PlotUnit::Pt, 1.0 / POINTS_PER_PIXEL}};

}  // namespace

double PlotLength::pixels() const {
  for (const UnitName& u : UNITS) {
    if (u.unit == unit) return value * u.pixels;
  }
  return value;
}

std::string PlotLength::svg() const {
  const std::string text = cli::significant(value, SVG_LENGTH_DIGITS);
  for (const UnitName& u : UNITS) {
    if (u.unit == unit && unit != PlotUnit::Px) return text + std::string(u.suffix);
  }
  return text;
}

bool parse_plot_length(std::string_view text, PlotLength& length, std::string& error) {
  std::string_view number = text;
  PlotLength parsed;
  for (const UnitName& u : UNITS) {
    if (lower(text).ends_with(u.suffix)) {
      number = text.substr(0, text.size() - u.suffix.size());
      parsed.unit = u.unit;
    }
  }
  const std::string digits(number);
  char* end = nullptr;
  parsed.value =
      digits.empty() || !(std::isdigit(static_cast<unsigned char>(digits[0])) || digits[0] == '.')
          ? NAN
          : std::strtod(digits.c_str(), &end);
  if (std::isnan(parsed.value) || end != digits.c_str() + digits.size()) {
    error = message::quoted(text);
    error += " is not a length: a number of pixels, or a number with in, cm, mm, pt or px";
    return false;
  }
  const double pixels = parsed.pixels();
  if (!(pixels >= MIN_PLOT_SIZE - 1e-9 && pixels <= MAX_PLOT_SIZE + 1e-9)) {
    error = message::quoted(text) + " is not between " +
            cli::significant(MIN_PLOT_SIZE, cli::DEFAULT_DIGITS) + " and " +
            cli::significant(MAX_PLOT_SIZE, cli::DEFAULT_DIGITS) + " pixels (2 in and " +
            cli::significant(MAX_PLOT_SIZE / PIXELS_PER_INCH, LIMIT_INCH_DIGITS) + " in)";
    return false;
  }
  length = parsed;
  return true;
}

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

namespace {

// The CRC-32 of PNG chunks (ISO 3309, reflected polynomial 0xEDB88320) over a chunk's type and
// data.
std::uint32_t png_crc(std::string_view bytes) {
  std::uint32_t crc = 0xFFFFFFFFu;
  for (char c : bytes) {
    crc ^= static_cast<unsigned char>(c);
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return crc ^ 0xFFFFFFFFu;
}

std::string big_endian(std::uint32_t v) {
  return {static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8),
          static_cast<char>(v)};
}

// The PNG with a tEXt chunk "Software" naming the program inserted after its
// header chunk (signature 8 bytes, IHDR 25), where the format allows it.
std::string with_software_chunk(std::string png) {
  constexpr std::size_t AFTER_HEADER = 8 + 25;
  if (png.size() < AFTER_HEADER) return png;
  const std::string body = std::string("tEXtSoftware") + '\0' + PLOT_CREATOR;
  const std::string chunk =
      big_endian(static_cast<std::uint32_t>(body.size() - 4)) + body + big_endian(png_crc(body));
  png.insert(AFTER_HEADER, chunk);
  return png;
}

}  // namespace

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
  rsvg_handle_set_dpi(handle.get(), PIXELS_PER_INCH);
  gdouble width = 0;
  gdouble height = 0;
  if (!rsvg_handle_get_intrinsic_size_in_pixels(handle.get(), &width, &height)) {
    error = "the SVG has no size in pixels";
    return {};
  }
  // A PNG has one image pixel per CSS pixel (rounded); a PDF page has the
  // physical size, 0.75 pt per pixel.
  if (format == PlotFormat::Png) {
    width = std::max(1.0, std::round(width));
    height = std::max(1.0, std::round(height));
  } else {
    width *= POINTS_PER_PIXEL;
    height *= POINTS_PER_PIXEL;
  }
  std::string bytes;
  const std::unique_ptr<cairo_surface_t, SurfaceDeleter> surface(
      format == PlotFormat::Png
          ? cairo_image_surface_create(CAIRO_FORMAT_ARGB32, static_cast<int>(width),
                                       static_cast<int>(height))
          : cairo_pdf_surface_create_for_stream(append_bytes, &bytes, width, height));
  if (format == PlotFormat::Pdf) {
    cairo_pdf_surface_set_metadata(surface.get(), CAIRO_PDF_METADATA_CREATOR, PLOT_CREATOR);
  }
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
  return format == PlotFormat::Png ? with_software_chunk(std::move(bytes)) : bytes;
}

bool AtomicFile::fail(const std::string& path) {
  error_ = "cannot write " + path + ": " + std::strerror(errno);
  return false;
}

bool AtomicFile::open(const std::string& path) {
  // A folder, or a name longer than the file system allows, would fail only
  // at the rename after all the work.
  struct stat status {};
  if (::stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode)) {
    error_ = "cannot write " + path + ": it is a folder";
    return false;
  }
  const std::size_t slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
  const long longest = ::pathconf(folder.c_str(), _PC_NAME_MAX);
  const std::size_t base = slash == std::string::npos ? path.size() : path.size() - slash - 1;
  if (longest > 0 && base > static_cast<std::size_t>(longest)) {
    error_ = "cannot write " + path + ": the name is longer than the " + std::to_string(longest) +
             " bytes a file name may have";
    return false;
  }
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
