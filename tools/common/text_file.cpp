#include "tools/common/text_file.hpp"

#include <sys/stat.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>

namespace kemro::cli {

namespace {

constexpr std::size_t MEBIBYTE = std::size_t{1} << 20;
constexpr std::size_t READ_BLOCK = std::size_t{1} << 16;  // bytes read at a time

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};

}  // namespace

std::string size_text(std::size_t bytes) {
  if (bytes >= MEBIBYTE && bytes % MEBIBYTE == 0) return std::to_string(bytes / MEBIBYTE) + " MiB";
  return std::to_string(bytes) + " bytes";
}

ReadStatus read_text_file(const std::string& path, std::size_t max_bytes, std::string& text,
                          std::string& error) {
  text.clear();
  const std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
  if (!file) {
    error = "cannot read " + path + ": " + std::strerror(errno);
    return ReadStatus::unreadable;
  }
  const std::string too_large = path + " is larger than " + size_text(max_bytes);
  struct stat info = {};
  if (::fstat(::fileno(file.get()), &info) == 0 && S_ISREG(info.st_mode)) {
    if (static_cast<std::uintmax_t>(info.st_size) > max_bytes) {
      error = too_large;
      return ReadStatus::too_large;
    }
    text.reserve(static_cast<std::size_t>(info.st_size));
  }
  char block[READ_BLOCK];
  std::size_t got = 0;
  while ((got = std::fread(block, 1, sizeof block, file.get())) > 0) {
    if (text.size() + got > max_bytes) {
      error = too_large;
      return ReadStatus::too_large;
    }
    text.append(block, got);
  }
  if (std::ferror(file.get()) != 0) {
    error = "cannot read " + path + ": " + std::strerror(errno);
    return ReadStatus::unreadable;
  }
  return ReadStatus::read;
}

}  // namespace kemro::cli
