// kemro-grid: the exact distribution of the adverse impact ratio for every
// scenario of a grid, without any dialog.
//
// Records are written as they are computed, in grid order. SIGINT and SIGTERM
// stop the run cleanly: the workers take no new scenario, what is complete is
// written, a JSON array is closed, and the exit status is 128 + the signal.
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "tools/grid/options.hpp"
#include "tools/grid/output.hpp"
#include "tools/grid/plot.hpp"
#include "tools/grid/plot_file.hpp"
#include "tools/grid/progress.hpp"
#include "tools/grid/scenario.hpp"

namespace {

constexpr int EXIT_OUTPUT_ERROR = 1;
constexpr int EXIT_USAGE = 2;
constexpr int EXIT_SIGNAL_BASE = 128;  // the shell's status of a run ended by a signal
constexpr const char* VERSION = "kemro-grid 1.0";

// The signal that asked the run to stop, or 0. A signal handler can reach
// nothing but static storage, so this one flag is the program's only global;
// the handler sets it, the main thread polls it between progress updates.
volatile std::sig_atomic_t stop_signal = 0;

extern "C" void ask_to_stop(int signal_number) {
  stop_signal = signal_number;
}

// SIGINT and SIGTERM set the flag once; SA_RESETHAND restores the default
// action, so that a second signal ends the program at once.
void install_stop_handlers() {
  struct sigaction action = {};
  action.sa_handler = ask_to_stop;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART | SA_RESETHAND;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

int usage_error(const std::string& message) {
  std::fprintf(stderr, "kemro-grid: %s\nTry 'kemro-grid --help' for the options.\n",
               message.c_str());
  return EXIT_USAGE;
}

int output_error(const std::string& what) {
  std::fprintf(stderr, "kemro-grid: cannot write %s\n", what.c_str());
  return EXIT_OUTPUT_ERROR;
}

bool write_out(const std::string& text) {
  return std::fwrite(text.data(), 1, text.size(), stdout) == text.size() &&
         std::fflush(stdout) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace kemro::grid;
  const std::vector<std::string_view> args(argv + 1, argv + argc);
  const ParsedOptions parsed = parse_options(args);
  if (!parsed.ok()) return usage_error(parsed.error);
  const GridOptions& o = parsed.options;
  if (o.help) return std::fputs(help_text().c_str(), stdout) < 0 ? EXIT_OUTPUT_ERROR : 0;
  if (o.version) return std::puts(VERSION) < 0 ? EXIT_OUTPUT_ERROR : 0;

  const GridOutcome built = build_grid(o);
  if (!built.ok()) return usage_error(built.error);
  const Grid& grid = built.grid;
  if (!o.predictor_d.empty()) {
    std::fprintf(stderr, "kemro-grid: composite effect size d = %.17g\n", o.d.front());
  }

  // The plot's temporary file is made before the work so that a bad name costs nothing.
  AtomicFile plot;
  if (!o.plot_file.empty() && !plot.open(o.plot_file)) return output_error(o.plot_file);

  const bool want_plot = plot.is_open();
  const bool keep_distribution = o.distribution || (want_plot && grid.scenarios.size() == 1);
  std::vector<ScenarioResult> kept;  // for the plot
  if (want_plot) kept.resize(grid.scenarios.size());

  install_stop_handlers();
  int status = 0;
  RecordStream stream(grid, o.format, o.distribution, o.columns);
  bool output_ok = write_out(stream.head());
  std::size_t abandoned = 0;
  Progress progress(stderr, grid.scenarios.size(), ::isatty(::fileno(stderr)) == 1);
  GridCallbacks callbacks;
  callbacks.progress = [&](std::size_t done) { progress.update(done); };
  callbacks.stop = [&] { return stop_signal != 0 || !output_ok; };
  callbacks.deliver = [&](std::size_t i, ScenarioResult& r) {
    abandoned += r.completed ? 0 : 1;
    if (output_ok) output_ok = write_out(stream.record(i, r));
    if (want_plot) kept[i] = std::move(r);
  };
  const std::size_t delivered =
      compute_grid_in_order(grid.scenarios, keep_distribution, o.jobs, callbacks);
  const bool stopped = delivered < grid.scenarios.size();
  if (stopped) progress.finish(delivered);
  if (output_ok) output_ok = write_out(stream.tail());
  if (!output_ok) status = output_error("standard output");

  if (stopped && output_ok) {
    std::fprintf(stderr, "kemro-grid: stopped after %zu of %zu scenarios%s\n", delivered,
                 grid.scenarios.size(), want_plot ? "; no plot written" : "");
  }
  if (want_plot && !stopped) {
    std::string error;
    const std::string bytes = encode_plot(plot_svg(grid, kept, o.plot), o.plot.format, error);
    if (!error.empty()) {
      std::fprintf(stderr, "kemro-grid: %s: %s\n", o.plot_file.c_str(), error.c_str());
      status = EXIT_OUTPUT_ERROR;
    } else if (!plot.commit(bytes)) {
      status = output_error(o.plot_file);
    }
  }

  if (abandoned > 0) {
    std::fprintf(stderr, "kemro-grid: %zu of %zu scenarios abandoned (the integration gave up)\n",
                 abandoned, delivered);
  }
  if (stop_signal != 0) return EXIT_SIGNAL_BASE + stop_signal;
  return status;
}
