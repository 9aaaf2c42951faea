// Command-line options of kemro-serve, on the shared option layer
// (tools/common/options.hpp): where it listens, how many requests it works
// on at once and how long one request may compute.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "tools/common/options.hpp"

namespace kemro::serve {

inline constexpr std::string_view DEFAULT_HOST = "127.0.0.1";  // this machine only
inline constexpr int DEFAULT_PORT = 8080;
// Requests worked on at once (each on its own thread with its own work areas,
// about 13 MB); further requests wait in line.
inline constexpr std::int64_t MAX_REQUEST_WORKERS = 64;
// Connections waiting for a worker beyond which the server stops accepting
// new ones until a place is free (they then wait in the system's queue).
inline constexpr std::size_t MAX_WAITING_CONNECTIONS = 1024;
// Seconds one request may compute by default, and the range of --time-limit.
inline constexpr double DEFAULT_TIME_LIMIT = 10.0;
inline constexpr double MIN_TIME_LIMIT = 0.001;
inline constexpr double MAX_TIME_LIMIT = 3600.0;

struct ServeOptions {
  std::string host = std::string(DEFAULT_HOST);
  int port = DEFAULT_PORT;  // 0: any free port, printed when listening
  unsigned workers = 0;     // 0: one per core, at least 2
  double time_limit = DEFAULT_TIME_LIMIT;
  bool help = false;
  bool version = false;
};

using ParsedOptions = cli::Parsed<ServeOptions>;

std::vector<cli::OptionDef> option_table(ServeOptions& target);
ParsedOptions parse_options(std::span<const std::string_view> args);

// Whether `host` names this machine only (127.0.0.0/8, ::1, localhost).
bool is_loopback(std::string_view host);

// The text of --help.
std::string help_text();

}  // namespace kemro::serve
