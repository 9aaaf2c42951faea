// The JSON API of kemro-serve: GET /api/summary, /api/distribution,
// /api/solve, /api/plot and GET or POST /api/observed.
//
// Every parameter is an option of kemro-grid or kemro-observed without its
// dashes, with the value it takes on the command line (lists "1,2,3" and
// ranges "100:500:100" alike); a flag (csv) takes no value. The parameters go
// through the tools' own option tables, grid and case builders, and the
// answers are the tools' own renderings:
//   /api/summary       kemro-grid --json (or --csv): one record per scenario
//   /api/distribution  kemro-grid --json --distribution (or --csv --distribution)
//   /api/solve         kemro-grid --solve ... --json (or --csv)
//   /api/plot          the SVG kemro-grid --plot writes, for a grid or a solve
//   /api/observed      kemro-observed --json (or --csv); a POST carries the
//                      text of an --applicant-data file as its body
// An error is status 400 with {"error": "..."} in the tools' words. Options
// that read or write files (--plot, --cases, --applicant-data, a
// --intercorrelations file), that shape the process (--jobs, --shard) or
// whose work cannot be stopped within a request's time (--engine nested: one
// scenario may take minutes) are not parameters.
//
// Safety: at most MAX_REQUEST_SCENARIOS scenarios (or cases times d values,
// or searches) per request, at most MAX_DISTRIBUTION_ENTRIES outcomes listed,
// and a time budget checked between scenarios and cases: when it is spent the
// answer is status 503 and nothing is returned. Nothing here reads or writes
// a file, and nothing here knows about HTTP beyond the status codes.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "distribution/scenario_summary.hpp"
#include "tools/serve/query.hpp"

namespace kemro::serve {

// Most scenarios (or cases times d values, or searches) one request may ask for.
inline constexpr std::size_t MAX_REQUEST_SCENARIOS = 10000;
// Most outcomes one /api/distribution answer lists, about 100 bytes of JSON each.
inline constexpr std::size_t MAX_DISTRIBUTION_ENTRIES = 200000;

inline constexpr int HTTP_OK = 200;
inline constexpr int HTTP_BAD_REQUEST = 400;
inline constexpr int HTTP_NOT_FOUND = 404;
inline constexpr int HTTP_METHOD_NOT_ALLOWED = 405;
inline constexpr int HTTP_PAYLOAD_TOO_LARGE = 413;
inline constexpr int HTTP_URI_TOO_LONG = 414;
inline constexpr int HTTP_INTERNAL_ERROR = 500;
inline constexpr int HTTP_UNAVAILABLE = 503;

// The time one request may compute, and the server's own wish to stop.
class Budget {
 public:
  using Clock = std::chrono::steady_clock;
  Budget(Clock::duration limit, const std::atomic<bool>* stopping = nullptr)
      : limit_(limit), deadline_(Clock::now() + limit), stopping_(stopping) {}
  // True once the time is up or the server is stopping.
  bool spent() const {
    return Clock::now() >= deadline_ || (stopping_ != nullptr && stopping_->load());
  }
  Clock::duration limit() const { return limit_; }

 private:
  Clock::duration limit_;
  Clock::time_point deadline_;
  const std::atomic<bool>* stopping_;
};

// The work areas of the computing threads, lent to one request at a time so
// that they are made once per thread rather than once per request.
class WorkShelf {
 public:
  std::unique_ptr<ScenarioWork> take();
  void give_back(std::unique_ptr<ScenarioWork> work);

 private:
  std::mutex mutex_;
  std::vector<std::unique_ptr<ScenarioWork>> shelf_;
};

struct Reply {
  int status = HTTP_OK;
  std::string content_type = "application/json";
  std::string body;
};

enum class Endpoint { summary, distribution, solve, plot, observed };

// The endpoint of a path ("/api/summary"), or false.
bool endpoint_of(std::string_view path, Endpoint& endpoint);

// The parameter names an endpoint takes, in the tools' option order.
std::span<const std::string_view> parameter_names(Endpoint endpoint);

// {"error": "MESSAGE"} with `status`.
Reply error_reply(int status, std::string_view message);

// The answer to one request: `query` is the raw query string, `body` the
// applicant data of a POST to /api/observed (empty otherwise).
Reply answer(Endpoint endpoint, std::string_view query, std::string_view body, const Budget& budget,
             WorkShelf& shelf);

}  // namespace kemro::serve
