#include "tools/serve/options.hpp"

#include "tools/common/values.hpp"

namespace kemro::serve {

namespace {

using cli::quoted;

constexpr std::string_view SERVER_SECTION = "Server options.";
constexpr std::int64_t MAX_PORT = 65535;

bool set_host(std::string_view text, std::string& host, std::string& error) {
  if (text.empty()) {
    error = "an empty host";
    return false;
  }
  host = std::string(text);
  return true;
}

bool set_port(std::string_view text, int& port, std::string& error) {
  std::int64_t value = 0;
  if (!cli::parse_int64(text, value, error)) return false;
  if (value < 0 || value > MAX_PORT) {
    error = quoted(text) + " is not a port between 0 and " + std::to_string(MAX_PORT);
    return false;
  }
  port = static_cast<int>(value);
  return true;
}

bool set_workers(std::string_view text, unsigned& workers, std::string& error) {
  std::int64_t value = 0;
  if (!cli::parse_int64(text, value, error)) return false;
  if (value < 1 || value > MAX_REQUEST_WORKERS) {
    error = "the number of workers must be between 1 and " + std::to_string(MAX_REQUEST_WORKERS);
    return false;
  }
  workers = static_cast<unsigned>(value);
  return true;
}

bool set_time_limit(std::string_view text, double& seconds, std::string& error) {
  if (!cli::parse_real(text, seconds, error)) return false;
  if (!(seconds >= MIN_TIME_LIMIT && seconds <= MAX_TIME_LIMIT)) {
    error = quoted(text) + " is not between 0.001 and 3600 seconds";
    return false;
  }
  return true;
}

}  // namespace

std::vector<cli::OptionDef> option_table(ServeOptions& o) {
  return {
      {"--host", "HOST",
       "the address to listen on (default 127.0.0.1: this\n"
       "machine only); any other makes the page reachable\n"
       "from the network, without password or encryption",
       SERVER_SECTION, [&o](std::string_view s, std::string& e) { return set_host(s, o.host, e); }},
      {"--port", "PORT", "the port (default 8080; 0: any free port)", SERVER_SECTION,
       [&o](std::string_view s, std::string& e) { return set_port(s, o.port, e); }},
      {"--workers", "W",
       "requests computed at once, at most 64 (default: one\n"
       "per core, at least 2); others wait in line",
       SERVER_SECTION,
       [&o](std::string_view s, std::string& e) { return set_workers(s, o.workers, e); }},
      {"--time-limit", "SECONDS",
       "longest computation of one request (default 10); a\n"
       "request that needs longer is answered with 503",
       SERVER_SECTION,
       [&o](std::string_view s, std::string& e) { return set_time_limit(s, o.time_limit, e); }},
      {"--help", "", "this text", SERVER_SECTION, nullptr},
      {"--version", "", "the program version", SERVER_SECTION, nullptr},
  };
}

ParsedOptions parse_options(std::span<const std::string_view> args) {
  ParsedOptions parsed;
  const std::vector<cli::OptionDef> table = option_table(parsed.options);
  const cli::CommandLine line = cli::parse_command_line(table, args);
  parsed.options.help = line.help;
  parsed.options.version = line.version;
  parsed.error = line.error;
  return parsed;
}

bool is_loopback(std::string_view host) {
  return host == "localhost" || host == "::1" || host.starts_with("127.");
}

std::string help_text() {
  ServeOptions ignored;
  const std::vector<cli::OptionDef> table = option_table(ignored);
  return "Usage: kemro-serve [OPTIONS]\n"
         "The exact distribution of the adverse impact ratio, the analysis of an\n"
         "actual decision and planning solves in a web page, and as a JSON API\n"
         "(GET /api/summary, /api/distribution, /api/solve, /api/plot, /api/observed)\n"
         "whose parameters are kemro-grid's and kemro-observed's options.\n\n" +
         std::string(SERVER_SECTION) + "\n" + cli::option_help(table, SERVER_SECTION) +
         "\nSIGINT or SIGTERM stops the server once the requests in progress are\n"
         "answered. Exit status: 0 after --help or --version, 1 when the address\n"
         "cannot be listened on, 2 for invalid options, 130 after SIGINT, 143 after\n"
         "SIGTERM.\n";
}

}  // namespace kemro::serve
