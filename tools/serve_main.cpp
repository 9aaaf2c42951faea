// kemro-serve: the library's answers in a web page and a JSON API, served over
// HTTP by cpp-httplib.
//
// Requests are worked on by a fixed number of worker threads; connections
// beyond them wait in a bounded line (and then in the system's listen queue),
// so a flood of requests waits instead of exhausting memory. Every answer
// carries a Content-Security-Policy that lets the page load nothing but its
// own script, style sheet and plots. SIGINT and SIGTERM are taken by one
// thread: the server stops accepting, the computations in progress stop at
// their next scenario (answered 503), and the program ends with 128 + the
// signal.
#include <httplib.h>
#include <pthread.h>
#include <signal.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <exception>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "tools/common/diagnostics.hpp"
#include "tools/serve/api.hpp"
#include "tools/serve/options.hpp"
#include "tools/serve/page.hpp"

namespace {

namespace cli = kemro::cli;
namespace serve = kemro::serve;

constexpr std::string_view PROGRAM = "kemro-serve";

// The largest request accepted, head and body: an applicant file of about
// 2,000 rows fits. Longer request lines (over 8 KiB) are refused by the HTTP
// library itself with 414.
constexpr std::size_t MAX_REQUEST_BYTES = 64 * 1024;
// Seconds a client may take to send its request or read the answer.
constexpr time_t SOCKET_TIMEOUT_SECONDS = 5;
// How often the signal thread looks whether the server ended by itself.
constexpr auto SIGNAL_POLL = std::chrono::milliseconds(100);

constexpr std::string_view CONTENT_SECURITY_POLICY =
    "default-src 'none'; script-src 'self'; style-src 'self'; img-src 'self'; "
    "connect-src 'self'; form-action 'self'; base-uri 'none'; frame-ancestors 'none'";

// httplib's worker threads with a bounded line: enqueue waits while
// MAX_WAITING_CONNECTIONS connections already wait, which holds the
// accepting thread and leaves further clients in the listen queue.
class BoundedPool : public httplib::ThreadPool {
 public:
  explicit BoundedPool(std::size_t threads) : httplib::ThreadPool(threads) {}
  void enqueue(std::function<void()> fn) override {
    {
      std::unique_lock lock(mutex_);
      room_.wait(lock, [this] { return waiting_ < serve::MAX_WAITING_CONNECTIONS; });
      ++waiting_;
    }
    httplib::ThreadPool::enqueue([this, fn = std::move(fn)] {
      {
        std::lock_guard lock(mutex_);
        --waiting_;
      }
      room_.notify_one();
      fn();
    });
  }

 private:
  std::mutex mutex_;
  std::condition_variable room_;
  std::size_t waiting_ = 0;
};

void send(httplib::Response& res, const serve::Reply& reply) {
  res.status = reply.status;
  res.set_content(reply.body, reply.content_type.c_str());
}

// The message of an error the HTTP library answered by itself.
std::string_view library_error_message(int status) {
  switch (status) {
    case serve::HTTP_NOT_FOUND:
      return "there is no such page; the API is /api/summary, /api/distribution, /api/solve, "
             "/api/plot and /api/observed";
    case serve::HTTP_METHOD_NOT_ALLOWED:
      return "this method is not served";
    case serve::HTTP_PAYLOAD_TOO_LARGE:
      return "the request is larger than 64 KiB";
    case serve::HTTP_URI_TOO_LONG:
      return "the address is longer than 8 KiB";
    default:
      break;
  }
  return "the request is malformed";
}

void set_routes(httplib::Server& server, const serve::ServeOptions& o,
                const std::atomic<bool>& stopping, serve::WorkShelf& shelf) {
  for (const serve::PageAsset& asset : serve::page_assets()) {
    server.Get(std::string(asset.path), [&asset](const httplib::Request&, httplib::Response& res) {
      res.set_content(asset.body.data(), asset.body.size(), std::string(asset.type).c_str());
    });
  }
  const auto api = [&o, &stopping, &shelf](const httplib::Request& req, httplib::Response& res) {
    serve::Endpoint endpoint;
    if (!serve::endpoint_of(req.path, endpoint)) {
      send(res, serve::error_reply(serve::HTTP_NOT_FOUND, library_error_message(404)));
      return;
    }
    if (req.method == "POST" && endpoint != serve::Endpoint::observed) {
      send(res, serve::error_reply(serve::HTTP_METHOD_NOT_ALLOWED,
                                   "only /api/observed takes a POST (the applicant data)"));
      return;
    }
    const std::size_t mark = req.target.find('?');
    const std::string_view query = mark == std::string::npos
                                       ? std::string_view()
                                       : std::string_view(req.target).substr(mark + 1);
    const serve::Budget budget(std::chrono::duration_cast<serve::Budget::Clock::duration>(
                                   std::chrono::duration<double>(o.time_limit)),
                               &stopping);
    send(res, serve::answer(endpoint, query, req.body, budget, shelf));
  };
  server.Get(R"(/api/[a-z]+)", api);
  server.Post(R"(/api/[a-z]+)", api);

  server.set_error_handler(
      httplib::Server::HandlerWithResponse([](const httplib::Request&, httplib::Response& res) {
        if (!res.body.empty()) return httplib::Server::HandlerResponse::Unhandled;
        send(res, serve::error_reply(res.status, library_error_message(res.status)));
        return httplib::Server::HandlerResponse::Handled;
      }));
  server.set_exception_handler(
      [](const httplib::Request&, httplib::Response& res, std::exception_ptr error) {
        std::string what = "unknown";
        try {
          std::rethrow_exception(error);
        } catch (const std::exception& e) {
          what = e.what();
        } catch (...) {
        }
        send(res, serve::error_reply(serve::HTTP_INTERNAL_ERROR, "internal error: " + what));
      });
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string_view> args(argv + 1, argv + argc);
  const serve::ParsedOptions parsed = serve::parse_options(args);
  if (!parsed.ok()) return cli::usage_error(PROGRAM, parsed.error);
  const serve::ServeOptions& o = parsed.options;
  const auto write_or_fail = [](std::string_view text) {
    return cli::write_all(stdout, text) ? cli::EXIT_SUCCESS_STATUS
                                        : cli::output_error(PROGRAM, "standard output");
  };
  if (o.help) return write_or_fail(serve::help_text());
  if (o.version) return write_or_fail(std::string(PROGRAM) + " " + KEMRO_VERSION + "\n");

  // SIGINT and SIGTERM are blocked in every thread (the mask is inherited)
  // and taken by the signal thread alone.
  sigset_t stop_signals;
  sigemptyset(&stop_signals);
  sigaddset(&stop_signals, SIGINT);
  sigaddset(&stop_signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);

  const unsigned workers =
      o.workers != 0 ? o.workers : std::max(2u, std::thread::hardware_concurrency());
  std::atomic<bool> stopping{false};
  serve::WorkShelf shelf;
  httplib::Server server;
  server.new_task_queue = [workers] { return new BoundedPool(workers); };
  server.set_payload_max_length(MAX_REQUEST_BYTES);
  server.set_read_timeout(SOCKET_TIMEOUT_SECONDS, 0);
  server.set_write_timeout(SOCKET_TIMEOUT_SECONDS, 0);
  // One request per connection: a waiting keep-alive connection would hold a worker.
  server.set_keep_alive_max_count(1);
  server.set_default_headers({{"Content-Security-Policy", std::string(CONTENT_SECURITY_POLICY)},
                              {"X-Content-Type-Options", "nosniff"},
                              {"Referrer-Policy", "no-referrer"},
                              {"Cache-Control", "no-store"}});
  set_routes(server, o, stopping, shelf);

  int port = o.port;
  const bool bound =
      port == 0 ? (port = server.bind_to_any_port(o.host)) > 0 : server.bind_to_port(o.host, port);
  if (!bound) {
    cli::diagnostic(PROGRAM, "cannot listen on " + o.host + " port " + std::to_string(o.port));
    return cli::EXIT_FILE_ERROR;
  }
  const bool ipv6 = o.host.find(':') != std::string::npos;
  const std::string address =
      "http://" + (ipv6 ? "[" + o.host + "]" : o.host) + ":" + std::to_string(port) + "/";
  if (!serve::is_loopback(o.host)) {
    cli::diagnostic(PROGRAM, "listening on " + o.host +
                                 ": the page is reachable from the network, without password "
                                 "or encryption");
  }
  cli::diagnostic(PROGRAM, "serving " + address + " (Ctrl-C stops)");

  std::atomic<bool> ended{false};
  std::atomic<int> signal_taken{0};
  std::thread signal_thread([&] {
    const timespec poll{0, std::chrono::nanoseconds(SIGNAL_POLL).count()};
    while (!ended) {
      const int taken = sigtimedwait(&stop_signals, nullptr, &poll);
      if (taken == SIGINT || taken == SIGTERM) {
        signal_taken = taken;
        stopping = true;
        break;
      }
    }
    // stop() does nothing before the server runs: repeat it until listening ends.
    while (!ended) {
      server.stop();
      std::this_thread::sleep_for(SIGNAL_POLL);
    }
  });
  const bool listened = server.listen_after_bind();
  ended = true;
  signal_thread.join();
  if (signal_taken != 0) {
    cli::diagnostic(PROGRAM, "stopped");
    return signal_taken == SIGTERM ? cli::EXIT_TERMINATED : cli::EXIT_INTERRUPTED;
  }
  if (!listened) {
    cli::diagnostic(PROGRAM, "the server stopped: cannot accept connections on " + address);
    return cli::EXIT_FILE_ERROR;
  }
  return cli::EXIT_SUCCESS_STATUS;
}
