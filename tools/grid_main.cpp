// kemro-grid: the exact distribution of the adverse impact ratio for every
// scenario of a grid, without any dialog.
#include <unistd.h>

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "tools/common/diagnostics.hpp"
#include "tools/common/progress.hpp"
#include "tools/grid/options.hpp"
#include "tools/grid/output.hpp"
#include "tools/grid/plot.hpp"
#include "tools/grid/scenario.hpp"
#include "tools/grid/solve.hpp"

namespace {

constexpr std::string_view PROGRAM = "kemro-grid";

int usage_error(const std::string& message) {
  return kemro::cli::usage_error(PROGRAM, message);
}

int output_error(const std::string& what) {
  return kemro::cli::output_error(PROGRAM, what);
}

std::string render(const kemro::grid::GridOptions& o, const kemro::grid::Grid& grid,
                   const std::vector<kemro::grid::ScenarioResult>& results) {
  using kemro::grid::Format;
  switch (o.format) {
    case Format::Csv:
      return render_csv(grid, results, o.distribution);
    case Format::Json:
      return render_json(grid, results, o.distribution);
    case Format::Text:
      break;
  }
  return render_text(grid, results, o.distribution);
}

// Writes `text` to standard output and `svg` to the plot file (when open).
int write_outputs(const std::string& text, std::FILE* plot, const std::string& plot_file,
                  const std::string& svg) {
  int status = 0;
  if (!kemro::cli::write_all(stdout, text)) status = output_error("standard output");
  if (plot != nullptr) {
    const bool written = std::fwrite(svg.data(), 1, svg.size(), plot) == svg.size();
    if (std::fclose(plot) != 0 || !written) status = output_error(plot_file);
  }
  return status;
}

// A planning solve: one record per combination of the options not solved for.
int solve(const kemro::grid::GridOptions& o) {
  using namespace kemro::grid;
  const SolvePlanOutcome built = build_solve(o);
  if (!built.ok()) return usage_error(built.error);
  std::FILE* plot = nullptr;
  if (!o.plot_file.empty() && (plot = std::fopen(o.plot_file.c_str(), "w")) == nullptr) {
    return output_error(o.plot_file);
  }
  const std::vector<kemro::SolveResult> results = run_solve(built.plan, o.engine, o.jobs);
  const std::string text = o.format == Format::Csv    ? render_solve_csv(built.plan, results)
                           : o.format == Format::Json ? render_solve_json(built.plan, results)
                                                      : render_solve_text(built.plan, results);
  return write_outputs(text, plot, o.plot_file,
                       plot != nullptr ? solve_svg(built.plan, results) : std::string());
}

}  // namespace

int main(int argc, char** argv) {
  using namespace kemro::grid;
  const std::vector<std::string_view> args(argv + 1, argv + argc);
  const ParsedOptions parsed = parse_options(args);
  if (!parsed.ok()) return usage_error(parsed.error);
  const GridOptions& o = parsed.options;
  if (o.help)
    return kemro::cli::write_all(stdout, help_text()) ? 0 : output_error("standard output");
  if (o.version) {
    const std::string version = std::string(PROGRAM) + " " + KEMRO_VERSION + "\n";
    return kemro::cli::write_all(stdout, version) ? 0 : output_error("standard output");
  }

  if (!o.solve.empty()) return solve(o);

  const GridOutcome built = build_grid(o);
  if (!built.ok()) return usage_error(built.error);
  const Grid& grid = built.grid;

  // The plot file is opened before the work so that a bad name costs nothing.
  std::FILE* plot = nullptr;
  if (!o.plot_file.empty() && (plot = std::fopen(o.plot_file.c_str(), "w")) == nullptr) {
    return output_error(o.plot_file);
  }

  const bool keep_distribution = o.distribution || (plot != nullptr && grid.scenarios.size() == 1);
  kemro::cli::Progress progress(stderr, PROGRAM, "scenarios", grid.scenarios.size(),
                                ::isatty(::fileno(stderr)) == 1);
  const std::vector<ScenarioResult> results =
      compute_grid(grid.scenarios, o.engine, keep_distribution, o.jobs,
                   [&](std::size_t done) { progress.update(done); });

  const int status = write_outputs(render(o, grid, results), plot, o.plot_file,
                                   plot != nullptr ? plot_svg(grid, results) : std::string());

  std::size_t abandoned = 0;
  for (const ScenarioResult& r : results) abandoned += r.completed ? 0 : 1;
  if (abandoned > 0) {
    std::fprintf(stderr, "kemro-grid: %zu of %zu scenarios abandoned (the integration gave up)\n",
                 abandoned, results.size());
  }
  return status;
}
