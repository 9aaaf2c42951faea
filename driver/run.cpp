#include "driver/run.hpp"

#include <gsl/gsl_errno.h>
#include <sys/resource.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <ctime>
#include <limits>
#include <string>

#include "distribution/analysis.hpp"
#include "driver/dialog.hpp"
#include "driver/open_report.hpp"
#include "report/catalogue.hpp"

namespace kemro {

namespace {

// The outer integrator's complaints are shown at most this often per error number.
constexpr int MAX_ABNORMAL_MESSAGES = 10;

// Processor time of the process so far, user plus system, in seconds.
double cpu_seconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  const auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec * 1e-6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

void write_start_stamp(std::FILE* console) {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  write(console, records::START_STAMP,
        {local.tm_mday, local.tm_mon + 1, local.tm_year + 1900, local.tm_hour, local.tm_min,
         local.tm_sec});
}

// Turns what the outcome stage reports into console records and diagnostics.
class ConsoleTrace final : public OutcomeListener {
 public:
  ConsoleTrace(std::FILE* console, std::FILE* errors) : console_(console), errors_(errors) {}

  void integration_warning(int ier) override {
    write(console_, records::INTEGRATION_WARNING, {ier});
  }

  void trace_row(std::int32_t m, std::int32_t I, std::int32_t J, double prob,
                 double result) override {
    write(console_, records::TRACE_ROW, {m, I, J, prob, result});
  }

  void abnormal_return(int ier) override {
    if (ier < 0 || ier >= static_cast<int>(abnormal_counts_.size())) ier = 6;
    if (++abnormal_counts_[ier] > MAX_ABNORMAL_MESSAGES) return;
    std::fflush(console_);
    std::fprintf(errors_,
                 "DQAG: ABNORMAL RETURN, ERROR NUMBER = %d (%s); informative message, "
                 "the run continues with the estimate obtained\n",
                 ier, reason(ier));
  }

  void notice(std::string_view text) override { write_list(console_, text); }

 private:
  static const char* reason(int ier) {
    switch (ier) {
      case 1:
        return "the subdivision limit was reached";
      case 2:
        return "round-off error prevents the requested accuracy";
      case 3:
        return "extremely bad integrand behaviour";
      default:
        return "invalid input";
    }
  }

  std::FILE* console_;
  std::FILE* errors_;
  std::array<int, 7> abnormal_counts_{};
};

// Outcome of one question of the dialog: a value, an unreadable answer (the
// reader holds the error) or a value refused with its diagnostic written.
enum class Answer { Given, Failed, Refused };

// Asks one question until it gets a value; a null answer (a comma or slash)
// asks again. `read` is the reader's read for the value's type.
template <typename Value>
Answer ask(Dialog& dialog, std::string_view prompt, Value& value,
           ReadResult (AnswerReader::*read)(Value&)) {
  for (;;) {
    dialog.prompt(prompt);
    switch ((dialog.reader.*read)(value)) {
      case ReadResult::Value:
        return Answer::Given;
      case ReadResult::Failed:
        return Answer::Failed;
      case ReadResult::Null:
        break;
    }
  }
}

// The fewest applicants with both groups represented.
constexpr std::int32_t FEWEST_APPLICANTS = 2;

// Asks for a count that must lie in [lowest, highest]; one outside ends the
// run with a line naming the answer and its range. `range` says the range in words.
Answer ask_count(Dialog& dialog, std::string_view prompt, std::int32_t& value,
                 std::string_view what, std::int64_t lowest, std::int64_t highest,
                 std::string_view range) {
  const Answer answer = ask(dialog, prompt, value, &AnswerReader::read_integer);
  if (answer != Answer::Given || (value >= lowest && value <= highest)) return answer;
  dialog.fail(EXIT_INPUT_ERROR,
              std::string(what) + ", " + std::to_string(value) + ", must be " + std::string(range));
  return Answer::Refused;
}

Answer ask_number(Dialog& dialog, std::string_view prompt, double& value) {
  return ask(dialog, prompt, value, &AnswerReader::read_double);
}

struct Answers {
  std::int32_t N = 0;
  std::int32_t N1 = 0;
  std::int32_t N2 = 0;
  std::int32_t K = 0;
  double d = 0.0;
};

// The four questions. Each count is checked as soon as it is given: N at
// least 2, N1 from 1 to N - 1 (both groups represented) and K from 1 to N
// (K = N, everybody hired, is trivial but meaningful). A problem that does
// not fit the tables asks for the hires again.
Answer ask_problem(Dialog& dialog, Answers& a) {
  const auto max = std::numeric_limits<std::int32_t>::max();
  Answer answer = ask_count(dialog, records::PROMPT_APPLICANTS, a.N,
                            "the total number of applicants", FEWEST_APPLICANTS, max, "at least 2");
  if (answer != Answer::Given) return answer;
  const std::string below_N = "from 1 to " + std::to_string(a.N - 1) + " (N - 1)";
  answer = ask_count(dialog, records::PROMPT_MAJORITY, a.N1,
                     "the number of majority group applicants", 1, a.N - 1, below_N);
  if (answer != Answer::Given) return answer;
  a.N2 = a.N - a.N1;
  const std::string up_to_N = "from 1 to " + std::to_string(a.N) + " (N)";
  for (;;) {
    answer = ask_count(dialog, records::PROMPT_HIRES, a.K, "the required number of new employees",
                       1, a.N, up_to_N);
    if (answer != Answer::Given) return answer;
    const std::int64_t needed = entries_needed(a.N1, a.N2, a.K);
    if (needed <= TABLE_CAPACITY) break;
    std::fprintf(dialog.console,
                 " The tables hold %d entries, but %lld are needed for these numbers;"
                 " please answer again.\n",
                 TABLE_CAPACITY, static_cast<long long>(needed));
  }
  return ask_number(dialog, records::PROMPT_EFFECT_SIZE, a.d);
}

void write_report_header(Dialog& dialog, const Answers& a) {
  dialog.write_report(records::BANNER);
  dialog.write_report(records::PROBLEM_SPECIFICATION, {a.N, a.N1, a.N2, a.K, a.d});
}

// Table, summaries and population values, in report order.
void write_results(Dialog& dialog, const Analysis& analysis, const Table& table) {
  dialog.write_report(records::OUTPUT_HEADING);
  dialog.write_report(records::DISTRIBUTION_HEADING);
  for (const NegativeProbability& w : analysis.negative_probabilities) {
    write(dialog.console, records::NEGATIVE_PROBABILITY_WARNING, {w.m, w.PROB_m, w.PROB_next});
  }
  for (std::int32_t m = 1; m <= table.M; ++m) {
    if (row_is_printed(table, m)) {
      dialog.write_report(records::DISTRIBUTION_ROW,
                          {table.AI[m], table.PVS[m], table.PVSC[m], table.NY[m], table.NX[m]});
    }
  }
  const auto& p = analysis.percentiles;
  dialog.write_report(records::EXACT_VALUES,
                      {analysis.expected.expected_SRA, analysis.expected.expected_SRI,
                       analysis.expected_AI, p[0], p[1], p[2], p[3], p[4], p[5], p[6]});
  const PopulationValues& pop = analysis.population;
  dialog.write_report(records::POPULATION_VALUES, {pop.SRA, pop.SRI, pop.AI});
}

// The exit prompt, repeated until an answer begins with a lower-case y.
Answer ask_exit(Dialog& dialog) {
  char answer = ' ';
  for (;;) {
    dialog.prompt(records::EXIT_PROMPT);
    answer = ' ';
    if (dialog.reader.read_character(answer) == ReadResult::Failed) return Answer::Failed;
    if (answer == 'y') return Answer::Given;
  }
}

}  // namespace

int run_kemro(std::istream& in, std::FILE* console, std::FILE* errors,
              const AnalysisStages& stages) {
  // GSL must report its failures as status codes, never abort the run.
  gsl_set_error_handler_off();
  Dialog dialog(in, console, errors);
  write_start_stamp(console);
  const double start_cpu = cpu_seconds();

  ModelState state;
  state.density_constant = normal_density_constant();

  switch (OPEN(dialog)) {
    case OpenResult::Ready:
      break;
    case OpenResult::InputFailed:
      return dialog.input_failure();
    case OpenResult::OpenFailed:
      return EXIT_FILE_ERROR;
  }

  Answers answers;
  switch (ask_problem(dialog, answers)) {
    case Answer::Given:
      break;
    case Answer::Failed:
      return dialog.input_failure();
    case Answer::Refused:
      return EXIT_INPUT_ERROR;
  }
  state.d = answers.d;

  write_report_header(dialog, answers);
  // A report file that cannot take the header ends the run before the work.
  if (!dialog.report_intact()) {
    dialog.close_report();
    return EXIT_FILE_ERROR;
  }
  write(console, records::TRACE_HEADING);

  state.N1 = answers.N1;
  state.N2 = answers.N2;
  state.K = answers.K;
  const CFUN share{static_cast<double>(answers.N1) / static_cast<double>(answers.N)};

  // The computing stages: population cutoff, outcome probabilities (with the
  // trace on the console), the distribution table and its summaries.
  ConsoleTrace trace(console, errors);
  Integrators integrators;
  // Room for the largest problem the dialog accepts, whatever stages compute it.
  Table table(TABLE_CAPACITY);
  write(console, records::TRACE_EXPLANATION);  // the population stage itself writes nothing
  const Analysis analysis = stages(state, share, integrators, table, trace);
  if (analysis.outcomes.completed) write_results(dialog, analysis, table);

  dialog.write_report(records::CPU_TIME, {cpu_seconds() - start_cpu});
  // The report is finished: on the disk before the exit prompt, which a user
  // may leave by closing the terminal or killing the program.
  dialog.flush_report();
  // A write error is named at once and ends the run here, before the exit
  // prompt, with what was written kept.
  if (!dialog.publish_report()) {
    dialog.close_report();
    return EXIT_FILE_ERROR;
  }

  if (ask_exit(dialog) == Answer::Failed) return dialog.input_failure();
  return dialog.close_report() ? EXIT_OK : EXIT_FILE_ERROR;
}

}  // namespace kemro
