// Plot files: the SVG from report/figure.cpp converted in-process to PNG or
// PDF (librsvg draws it on a cairo surface), and files that appear under
// their name only once they are whole.
#pragma once

#include <string>

#include "report/figure_options.hpp"

namespace kemro::grid {

// The bytes of the plot in `format`: the SVG itself, or its rendering at its
// own size: a PNG of one image pixel per CSS pixel (96 to the inch), a PDF
// page of the physical size (0.75 pt per pixel). The PNG's tEXt "Software"
// and the PDF's Creator name the program and version. On failure returns an
// empty text and says why in `error`.
std::string encode_plot(const std::string& svg, PlotFormat format, std::string& error);

// A file written under a temporary name in its own folder and renamed to its
// name when whole, so that an interrupted run never leaves half a file.
class AtomicFile {
 public:
  AtomicFile() = default;
  AtomicFile(const AtomicFile&) = delete;
  AtomicFile& operator=(const AtomicFile&) = delete;
  ~AtomicFile() = default;

  // Checks that `path` is no folder, that its name is not too long, and that
  // a temporary file can be made in its folder (and removes it); false when
  // any of that fails.
  bool open(const std::string& path);
  bool is_open() const { return !path_.empty(); }
  // Writes `bytes` to a new temporary file and renames it to the path; false
  // (and no file, no temporary left) when any step fails.
  bool commit(const std::string& bytes);
  // After a failed open or commit: "cannot write FILE: the system's reason".
  const std::string& error() const { return error_; }

 private:
  // Sets error_ from errno for `path` and returns false.
  bool fail(const std::string& path);

  std::string path_;
  std::string error_;
};

}  // namespace kemro::grid
