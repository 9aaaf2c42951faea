// kemro-observed: exact tests and effect sizes for actual hiring decisions.
// Reads the cases (options or a CSV file), checks every one, computes them in
// order and writes the report once.
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "distribution/observed.hpp"
#include "tools/common/diagnostics.hpp"
#include "tools/common/progress.hpp"
#include "tools/observed/cases.hpp"
#include "tools/observed/csv_table.hpp"
#include "tools/observed/options.hpp"
#include "tools/observed/output.hpp"

namespace {

using namespace kemro::observed;
namespace cli = kemro::cli;

constexpr std::string_view PROGRAM = "kemro-observed";

// The whole content of a file; false with the system's reason when it cannot be read.
bool read_whole_file(const std::string& name, std::string& text, std::string& reason) {
  std::FILE* file = std::fopen(name.c_str(), "rb");
  if (file == nullptr) {
    reason = std::strerror(errno);
    return false;
  }
  char buffer[1 << 16];
  std::size_t got = 0;
  while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) text.append(buffer, got);
  const bool failed = std::ferror(file) != 0;
  if (failed) reason = std::strerror(errno);
  std::fclose(file);
  return !failed;
}

std::string render(Format format, const std::vector<CaseResult>& results, bool labelled) {
  switch (format) {
    case Format::Csv:
      return render_csv(results, labelled);
    case Format::Json:
      return render_json(results, labelled);
    case Format::Text:
      break;
  }
  return render_text(results, labelled);
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string_view> args(argv + 1, argv + argc);
  const ParsedOptions parsed = parse_options(args);
  if (!parsed.ok()) return cli::usage_error(PROGRAM, parsed.error);
  const ObservedOptions& o = parsed.options;
  const auto write_or_fail = [](std::string_view text) {
    return cli::write_all(stdout, text) ? cli::EXIT_SUCCESS_STATUS
                                        : cli::output_error(PROGRAM, "standard output");
  };
  if (o.help) return write_or_fail(help_text());
  if (o.version) return write_or_fail(std::string(PROGRAM) + " " + KEMRO_VERSION + "\n");

  CaseList cases;
  const std::string& file = o.cases_file.empty() ? o.applicant_file : o.cases_file;
  if (file.empty()) {
    cases = cases_from_counts(o);
  } else {
    std::string text;
    std::string reason;
    if (!read_whole_file(file, text, reason)) {
      cli::diagnostic(PROGRAM, "cannot read " + file + ": " + reason);
      return cli::EXIT_FILE_ERROR;
    }
    const CsvTable table = parse_csv(text);
    if (!table.ok()) {
      const bool located = table.error.starts_with("line ");
      return cli::usage_error(PROGRAM, file + (located ? ", " : ": ") + table.error);
    }
    cases = o.cases_file.empty() ? cases_from_applicants(table, file, o.columns)
                                 : cases_from_table(table, file);
    if (cases.ok() && cases.cases.size() > MAX_CASES) {
      cases.error = file + ": " + std::to_string(cases.cases.size()) + " cases, more than " +
                    std::to_string(MAX_CASES);
    }
  }
  if (!cases.ok()) return cli::usage_error(PROGRAM, cases.error);

  cli::Progress progress(stderr, PROGRAM, "cases", cases.cases.size(),
                         ::isatty(::fileno(stderr)) == 1);
  std::vector<CaseResult> results;
  std::size_t troubled = 0;
  for (const Case& c : cases.cases) {
    kemro::ObservedAnalysis analysis = kemro::analyse_observed(c.counts, o.d, o.alpha);
    if (!analysis.ok()) return cli::usage_error(PROGRAM, analysis.error);
    for (const kemro::ObservedResult& r : analysis.results) {
      troubled += r.estimate == kemro::EstimateStatus::converged ? 0 : 1;
    }
    results.push_back({c, std::move(analysis.results)});
    progress.update(results.size());
  }

  const int status = write_or_fail(render(o.format, results, cases.labelled));
  if (troubled > 0) {
    cli::diagnostic(PROGRAM, std::to_string(troubled) +
                                 " record(s) with status no_bracket or engine_failed: their "
                                 "missing values are empty or null");
  }
  return status;
}
