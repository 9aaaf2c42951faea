// kemro-grid: the exact distribution of the adverse impact ratio for every
// scenario of a grid, without any dialog.
//
// Records are written as they are computed, in grid order. SIGINT and SIGTERM
// stop the run cleanly: the workers take no new scenario, what is complete is
// written, a JSON array is closed, and the exit status is 128 + the signal.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "report/figure.hpp"
#include "report/figure_file.hpp"
#include "report/grid_records.hpp"
#include "report/numbers.hpp"
#include "tools/common/diagnostics.hpp"
#include "tools/common/progress.hpp"
#include "tools/common/stop_signal.hpp"
#include "tools/grid/groups.hpp"
#include "tools/grid/options.hpp"
#include "tools/grid/scenario.hpp"
#include "tools/grid/solve.hpp"

namespace {

constexpr std::string_view PROGRAM = "kemro-grid";
// Every digit of the composite d kemro-grid computed and reports on standard
// error, so that it can be typed back as --d and give the same grid.
constexpr int COMPOSITE_D_DIGITS = 17;

int usage_error(const std::string& message) {
  return kemro::cli::usage_error(PROGRAM, message);
}

int output_error(const std::string& what) {
  return kemro::cli::output_error(PROGRAM, what);
}

bool write_out(const std::string& text) {
  return kemro::cli::write_all(stdout, text);
}

// A plot file that cannot be made or written: the system's reason, status 1.
int plot_file_error(const kemro::grid::AtomicFile& plot) {
  kemro::cli::diagnostic(PROGRAM, plot.error());
  return kemro::cli::EXIT_FILE_ERROR;
}

// Whether `path` names the file standard output is written to: the plot,
// renamed over it when whole, would replace the records written there.
bool is_standard_output(const std::string& path) {
  struct stat out = {};
  struct stat file = {};
  return ::fstat(STDOUT_FILENO, &out) == 0 && ::stat(path.c_str(), &file) == 0 &&
         out.st_dev == file.st_dev && out.st_ino == file.st_ino;
}

// Makes sure the plot can be written, before anything is computed; 0 or the
// status to end with.
int open_plot(const std::string& path, kemro::grid::AtomicFile& plot) {
  if (path.empty()) return 0;
  if (is_standard_output(path)) {
    return usage_error("--plot " + kemro::cli::quoted(path) +
                       " is the file standard output goes to; the plot would replace the "
                       "records");
  }
  return plot.open(path) ? 0 : plot_file_error(plot);
}

// Encodes the plot and renames it into place; the run's status. A stop asked
// for while the plot was encoded is honoured: the plot is not written.
int write_plot(kemro::grid::AtomicFile& plot, const std::string& name, const std::string& svg,
               kemro::grid::PlotFormat format) {
  std::string error;
  const std::string bytes = kemro::grid::encode_plot(svg, format, error);
  if (!error.empty()) {
    kemro::cli::diagnostic(PROGRAM, name + ": " + error);
    return kemro::cli::EXIT_FILE_ERROR;
  }
  if (const int signal_number = kemro::cli::stop_requested(); signal_number != 0) {
    kemro::cli::diagnostic(PROGRAM, "stopped; no plot written");
    return kemro::cli::stopped_status(signal_number);
  }
  return plot.commit(bytes) ? 0 : plot_file_error(plot);
}

// A planning solve: one record per combination of the options not solved for.
int solve(const kemro::grid::GridOptions& o) {
  using namespace kemro::grid;
  const SolvePlanOutcome built = build_solve(o);
  if (!built.ok()) return usage_error(built.error);
  AtomicFile plot;
  if (const int failed = open_plot(o.plot_file, plot); failed != 0) return failed;
  const std::vector<kemro::SolveResult> results = run_solve(built.plan, o.engine, o.jobs);
  const std::string text = o.format == Format::Csv    ? render_solve_csv(built.plan, results)
                           : o.format == Format::Json ? render_solve_json(built.plan, results)
                                                      : render_solve_text(built.plan, results);
  int status = write_out(text) ? 0 : output_error("standard output");
  if (plot.is_open() && status == 0) {
    status = write_plot(plot, o.plot_file, solve_svg(built.plan, results, o.plot), o.plot.format);
  }
  // Solves that ended without an answer are named on standard error and end
  // the run with EXIT_NO_ANSWER, after everything else is written.
  std::size_t limited = 0;
  std::size_t abandoned = 0;
  for (const kemro::SolveResult& r : results) {
    limited += r.status == kemro::SolveStatus::evaluation_limit ? 1 : 0;
    abandoned += r.status == kemro::SolveStatus::abandoned ? 1 : 0;
  }
  const std::string of = " of " + std::to_string(results.size()) + " solves";
  if (limited > 0) {
    kemro::cli::diagnostic(PROGRAM, std::to_string(limited) + of +
                                        " ended without an answer at the evaluation limit (" +
                                        std::to_string(kemro::MAX_SOLVE_EVALUATIONS) +
                                        " scenarios); a narrower range finds it");
  }
  if (abandoned > 0) {
    kemro::cli::diagnostic(PROGRAM,
                           std::to_string(abandoned) + of + " abandoned (the integration gave up)");
  }
  return status == 0 && limited + abandoned > 0 ? kemro::cli::EXIT_NO_ANSWER : status;
}

// A grid of several-group scenarios: computed whole, then written.
int groups(const kemro::grid::GridOptions& o) {
  using namespace kemro::grid;
  const GroupGridOutcome built = build_group_grid(o);
  if (!built.ok()) return usage_error(built.error);
  const std::vector<GroupResult> results = compute_group_grid(built.grid, o.distribution, o.jobs);
  const bool written =
      write_out(render_group_records(built.grid, results, o.format, o.distribution));
  std::size_t abandoned = 0;
  for (const GroupResult& r : results) {
    if (r.summary.status == kemro::EngineStatus::bad_integrand) ++abandoned;
  }
  if (abandoned > 0) {
    kemro::cli::diagnostic(PROGRAM, std::to_string(abandoned) + " of " +
                                        std::to_string(results.size()) +
                                        " scenarios abandoned (the integrand was not finite)");
  }
  return written ? 0 : output_error("standard output");
}

}  // namespace

int main(int argc, char** argv) {
  using namespace kemro::grid;
  const std::vector<std::string_view> args(argv + 1, argv + argc);
  const ParsedOptions parsed = parse_options(args);
  if (!parsed.ok()) return usage_error(parsed.error);
  const GridOptions& o = parsed.options;
  if (o.help) return write_out(help_text()) ? 0 : output_error("standard output");
  if (o.version) {
    const std::string version = std::string(PROGRAM) + " " + KEMRO_VERSION + "\n";
    return write_out(version) ? 0 : output_error("standard output");
  }

  if (!o.solve.empty()) return solve(o);
  if (o.groups.given) return groups(o);

  const GridOutcome built = build_grid(o);
  if (!built.ok()) return usage_error(built.error);
  const Grid& grid = built.grid;
  if (!o.predictor_d.empty()) {
    kemro::cli::diagnostic(PROGRAM, "composite effect size d = " +
                                        kemro::cli::significant(o.d.front(), COMPOSITE_D_DIGITS));
  }

  // The plot's temporary file is made before the work so that a bad name costs nothing.
  AtomicFile plot;
  if (const int failed = open_plot(o.plot_file, plot); failed != 0) return failed;

  const bool want_plot = plot.is_open();
  const bool keep_distribution = o.distribution || (want_plot && grid.scenarios.size() == 1);
  std::vector<ScenarioResult> kept;  // for the plot
  if (want_plot) kept.resize(grid.scenarios.size());

  kemro::cli::install_stop_handlers();
  int status = 0;
  RecordStream stream(grid, o.format, o.distribution, o.columns);
  bool output_ok = write_out(stream.head());
  std::size_t abandoned = 0;
  kemro::cli::Progress progress(stderr, PROGRAM, "scenarios", grid.scenarios.size(),
                                ::isatty(::fileno(stderr)) == 1);
  // Records on the progress line's terminal: the line makes way for each.
  const bool records_share_line = kemro::cli::same_terminal(stdout, stderr);
  GridCallbacks callbacks;
  callbacks.progress = [&](std::size_t done) { progress.update(done); };
  callbacks.stop = [&] { return kemro::cli::stop_requested() != 0 || !output_ok; };
  callbacks.deliver = [&](std::size_t i, ScenarioResult& r) {
    abandoned += r.completed ? 0 : 1;
    if (records_share_line) progress.clear_for_output();
    if (output_ok) output_ok = write_out(stream.record(i, r));
    if (want_plot) kept[i] = std::move(r);
  };
  const std::size_t delivered =
      compute_grid_in_order(grid.scenarios, o.engine, keep_distribution, o.jobs, callbacks);
  const bool stopped = delivered < grid.scenarios.size();
  if (stopped) progress.finish(delivered);
  if (output_ok) output_ok = write_out(stream.tail());
  if (!output_ok) status = output_error("standard output");

  if (stopped && output_ok) {
    kemro::cli::diagnostic(PROGRAM, "stopped after " + std::to_string(delivered) + " of " +
                                        std::to_string(grid.scenarios.size()) + " scenarios" +
                                        (want_plot ? "; no plot written" : ""));
  }
  if (want_plot && !stopped) {
    const int plot_status =
        write_plot(plot, o.plot_file, plot_svg(grid, kept, o.plot), o.plot.format);
    if (status == 0) status = plot_status;
  }

  if (abandoned > 0) {
    kemro::cli::diagnostic(PROGRAM, std::to_string(abandoned) + " of " + std::to_string(delivered) +
                                        " scenarios abandoned (the integration gave up)");
  }
  if (const int signal_number = kemro::cli::stop_requested(); signal_number != 0) {
    return kemro::cli::stopped_status(signal_number);
  }
  return status;
}
