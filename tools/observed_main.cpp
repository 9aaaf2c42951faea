// kemro-observed: exact tests and effect sizes for actual hiring decisions.
// Reads the cases (options or a CSV file), checks every one, then computes
// them on the library's worker pool (one thread per core) and writes each
// case's records, in case order, as soon as they and all before are complete.
// SIGINT and SIGTERM stop the run cleanly: what is complete is written, a
// JSON array is closed, and the exit status is 128 + the signal.
#include <unistd.h>

#include <cstdio>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "distribution/observed.hpp"
#include "distribution/worker_pool.hpp"
#include "report/observed_records.hpp"
#include "tools/common/diagnostics.hpp"
#include "tools/common/progress.hpp"
#include "tools/common/stop_signal.hpp"
#include "tools/common/text_file.hpp"
#include "tools/observed/cases.hpp"
#include "tools/observed/options.hpp"

namespace {

using namespace kemro::observed;
namespace cli = kemro::cli;

constexpr std::string_view PROGRAM = "kemro-observed";

int write_or_fail(std::string_view text) {
  return cli::write_all(stdout, text) ? cli::EXIT_SUCCESS_STATUS
                                      : cli::output_error(PROGRAM, "standard output");
}

// The cases the options name; an exit status other than 0 when there are none to compute.
int read_cases(const ObservedOptions& o, CaseList& cases) {
  const std::string& file = o.cases_file.empty() ? o.applicant_file : o.cases_file;
  if (file.empty()) {
    cases = cases_from_counts(o);
  } else {
    std::string text;
    std::string error;
    switch (cli::read_text_file(file, MAX_FILE_BYTES, text, error)) {
      case cli::ReadStatus::unreadable:
        cli::diagnostic(PROGRAM, error);
        return cli::EXIT_FILE_ERROR;
      case cli::ReadStatus::too_large:
        return cli::usage_error(PROGRAM, error + "; split it into smaller files");
      case cli::ReadStatus::read:
        break;
    }
    const CsvOptions csv{o.delimiter, true};
    cases = cases_from_text(text, file, csv, o.cases_file.empty() ? &o.columns : nullptr);
    if (cases.ok()) cases.error = records_error(cases.cases.size(), o.d.size());
  }
  return cases.ok() ? cli::EXIT_SUCCESS_STATUS : cli::usage_error(PROGRAM, cases.error);
}

int run(const ObservedOptions& o) {
  CaseList cases;
  if (const int status = read_cases(o, cases); status != cli::EXIT_SUCCESS_STATUS) return status;

  cli::install_stop_handlers();
  CaseStream stream(o.format, cases.labelled, cases.grouped);
  bool output_ok = cli::write_all(stdout, stream.head());
  cli::Progress progress(stderr, PROGRAM, "cases", cases.cases.size(),
                         ::isatty(::fileno(stderr)) == 1);
  // Records on the progress line's terminal: the line makes way for each.
  const bool records_share_line = cli::same_terminal(stdout, stderr);
  std::size_t done = 0;  // cases delivered
  std::size_t troubled = 0;
  std::size_t unanalysed = 0;
  std::string refusal;  // the first case, in order, whose counts the analysis refuses
  struct Analysed {
    CaseResult result;
    std::string error;
  };
  kemro::WorkAreas<kemro::NoWorkArea> none;
  kemro::compute_in_order(
      cases.cases.size(), 0, none,
      [&](std::size_t i, kemro::NoWorkArea&) {
        Analysed a;
        a.result = analyse_case(cases.cases[i], o.d, o.alpha, o.threshold, a.error);
        return a;
      },
      [&](std::size_t i, Analysed& a) {
        if (!refusal.empty() || !output_ok) return;
        if (!a.error.empty()) {
          refusal = a.error;
          return;
        }
        unanalysed += cases.cases[i].unanalysable.empty() ? 0 : 1;
        for (const kemro::ObservedResult& r : a.result.records) {
          troubled +=
              cases.cases[i].unanalysable.empty() && r.estimate != kemro::EstimateStatus::converged
                  ? 1
                  : 0;
        }
        if (records_share_line) progress.clear_for_output();
        output_ok = cli::write_all(stdout, stream.record(a.result));
        ++done;
      },
      kemro::PoolControl{
          [&](std::size_t) { progress.update(done); },
          [&] { return cli::stop_requested() != 0 || !output_ok || !refusal.empty(); }});
  if (!refusal.empty()) {
    // Counts and alpha were checked before; a refusal here closes the output first.
    progress.finish(done);
    if (output_ok) cli::write_all(stdout, stream.tail());
    return cli::usage_error(PROGRAM, refusal);
  }
  const bool stopped = done < cases.cases.size();
  if (stopped) progress.finish(done);
  if (output_ok) output_ok = cli::write_all(stdout, stream.tail());
  const int status =
      output_ok ? cli::EXIT_SUCCESS_STATUS : cli::output_error(PROGRAM, "standard output");
  if (stopped && output_ok) {
    cli::diagnostic(PROGRAM, "stopped after " + std::to_string(done) + " of " +
                                 std::to_string(cases.cases.size()) + " cases");
  }
  if (unanalysed > 0) {
    cli::diagnostic(PROGRAM, std::to_string(unanalysed) +
                                 " pair(s) of groups could not be analysed; their status says why");
  }
  if (troubled > 0) {
    cli::diagnostic(PROGRAM, std::to_string(troubled) +
                                 " record(s) with status no_bracket or engine_failed: their "
                                 "missing values are empty or null");
  }
  if (const int signal_number = cli::stop_requested(); signal_number != 0) {
    return cli::stopped_status(signal_number);
  }
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    const std::vector<std::string_view> args(argv + 1, argv + argc);
    const ParsedOptions parsed = parse_options(args);
    if (!parsed.ok()) return cli::usage_error(PROGRAM, parsed.error);
    const ObservedOptions& o = parsed.options;
    if (o.help) return write_or_fail(help_text());
    if (o.version) return write_or_fail(std::string(PROGRAM) + " " + KEMRO_VERSION + "\n");
    return run(o);
  } catch (const std::bad_alloc&) {
    cli::diagnostic(PROGRAM, "out of memory");
    return cli::EXIT_FILE_ERROR;
  }
}
