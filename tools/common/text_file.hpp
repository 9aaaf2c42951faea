// Reading an input file whole, with a bound on its size that is checked
// before anything is read (for a regular file) and while reading (for a
// device, pipe or file that grows), so that no input can exhaust memory.
#pragma once

#include <cstddef>
#include <string>

namespace kemro::cli {

enum class ReadStatus { read, unreadable, too_large };

// The whole content of `path` into `text`. On failure `error` says why:
// "cannot read FILE: the system's reason", or "FILE is larger than LIMIT".
// Memory runs out only as std::bad_alloc, for the caller to report.
ReadStatus read_text_file(const std::string& path, std::size_t max_bytes, std::string& text,
                          std::string& error);

// "256 MiB", "1 MiB", or bytes below 1 MiB: how limits are named in messages.
std::string size_text(std::size_t bytes);

}  // namespace kemro::cli
