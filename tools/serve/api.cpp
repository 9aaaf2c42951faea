#include "tools/serve/api.hpp"

#include <algorithm>
#include <utility>

#include "distribution/observed.hpp"
#include "distribution/solve.hpp"
#include "report/figure.hpp"
#include "report/grid_records.hpp"
#include "report/json.hpp"
#include "report/numbers.hpp"
#include "report/observed_records.hpp"
#include "tools/common/options.hpp"
#include "tools/grid/options.hpp"
#include "tools/grid/solve.hpp"
#include "tools/observed/cases.hpp"
#include "tools/observed/options.hpp"

namespace kemro::serve {

namespace {

using cli::quoted;

constexpr std::string_view JSON_TYPE = "application/json";
constexpr std::string_view CSV_TYPE = "text/csv; charset=utf-8";
constexpr std::string_view SVG_TYPE = "image/svg+xml";

// The name under which the body of a POST to /api/observed appears in messages.
constexpr std::string_view UPLOAD_NAME = "the uploaded file";
// The --plot value that asks the option parser for an SVG plot; no file is made.
constexpr std::string_view PLOT_ARGUMENT = "--plot=answer.svg";

// The parameters of each endpoint: options of kemro-grid or kemro-observed.
constexpr std::string_view SUMMARY_PARAMETERS[] = {"applicants",
                                                   "majority",
                                                   "minority-share",
                                                   "hires",
                                                   "selection-ratio",
                                                   "d",
                                                   "predictor-d",
                                                   "weights",
                                                   "intercorrelations",
                                                   "csv",
                                                   "json"};
constexpr std::string_view SOLVE_PARAMETERS[] = {
    "applicants",  "majority", "minority-share",    "hires", "selection-ratio", "d",
    "predictor-d", "weights",  "intercorrelations", "solve", "target",          "csv",
    "json"};
constexpr std::string_view PLOT_PARAMETERS[] = {
    "applicants",  "majority",        "minority-share",
    "hires",       "selection-ratio", "d",
    "predictor-d", "weights",         "intercorrelations",
    "solve",       "target",          "x",
    "log-x",       "title",           "width",
    "height"};
constexpr std::string_view OBSERVED_PARAMETERS[] = {
    "applicants", "majority",     "hires", "minority-hires", "group-column",
    "minority",   "hired-column", "by",    "delimiter",      "d",
    "alpha",      "csv",          "json"};

struct Arguments {
  std::vector<std::string> args;  // "--name=value" or "--name", in the order given
  std::string error;
};

// The command-line arguments the parameters stand for, checked against the
// endpoint's names; a flag of `table` given without a value becomes "--name".
Arguments arguments_of(Endpoint endpoint, const std::vector<QueryParameter>& parameters,
                       std::span<const cli::OptionDef> table) {
  Arguments out;
  const std::span<const std::string_view> names = parameter_names(endpoint);
  for (const QueryParameter& p : parameters) {
    if (std::find(names.begin(), names.end(), p.name) == names.end()) {
      out.error = "unknown parameter " + quoted(p.name) + "; this request takes:";
      for (std::string_view n : names) {
        out.error += ' ';
        out.error += n;
      }
      return out;
    }
    // kemro-grid reads a correlation matrix from a file whose name ends in .csv.
    if (p.name == "intercorrelations" && p.value.ends_with(".csv")) {
      out.error =
          "--intercorrelations: files are not read here; give the upper triangle as a comma list";
      return out;
    }
    std::string arg = "--" + p.name;
    const auto def = std::find_if(table.begin(), table.end(),
                                  [&](const cli::OptionDef& o) { return o.name == arg; });
    const bool flag = def != table.end() && def->value_name.empty();
    if (!flag || !p.value.empty()) arg += "=" + p.value;
    out.args.push_back(std::move(arg));
  }
  return out;
}

std::vector<std::string_view> views(const std::vector<std::string>& args) {
  return {args.begin(), args.end()};
}

Reply text_reply(std::string body, std::string_view type) {
  return {HTTP_OK, std::string(type), std::move(body)};
}

Reply too_slow(const Budget& budget) {
  const auto seconds = std::chrono::duration<double>(budget.limit()).count();
  const std::string limit = cli::significant(seconds, cli::DEFAULT_DIGITS);
  return error_reply(HTTP_UNAVAILABLE,
                     std::string("the computation was stopped: it took longer than the limit of ") +
                         limit +
                         " s per request (or the server is stopping); ask for fewer "
                         "scenarios or try again");
}

Reply too_many(std::size_t count, std::string_view what) {
  return error_reply(HTTP_BAD_REQUEST, "the request asks for " + std::to_string(count) + " " +
                                           std::string(what) + ", more than " +
                                           std::to_string(MAX_REQUEST_SCENARIOS) + " per request");
}

// Computes the scenarios one after the other; false when the budget ran out first.
bool compute_all(const std::vector<grid::Scenario>& scenarios, bool keep_distribution,
                 const Budget& budget, ScenarioWork& work, std::vector<ScenarioResult>& results) {
  results.reserve(scenarios.size());
  for (const grid::Scenario& s : scenarios) {
    if (budget.spent()) return false;
    results.push_back(compute_scenario(s, Engine::fast, keep_distribution, work));
  }
  return true;
}

// The number of outcomes S listed for a scenario: max(0, K - N1) .. min(K, N2).
std::size_t outcome_count(const kemro::Scenario& s) {
  return static_cast<std::size_t>(std::min(s.K, s.N2) - std::max(0, s.K - s.N1) + 1);
}

// A planning solve run on this thread; false when the budget ran out.
bool run_solve_within(const grid::SolvePlan& plan, const Budget& budget, ScenarioWork& work,
                      std::vector<SolveResult>& results) {
  bool stopped = false;
  const Evaluate evaluate = [&](const std::vector<kemro::Scenario>& batch, bool keep) {
    std::vector<ScenarioResult> out(batch.size());  // not completed: abandoned
    for (std::size_t i = 0; i < batch.size() && !(stopped = stopped || budget.spent()); ++i) {
      out[i] = compute_scenario(batch[i], Engine::fast, keep, work);
    }
    return out;
  };
  results = plan.solved == grid::EFFECT_SIZE
                ? solve_effect_size(plan.bases, plan.d_low, plan.d_high, plan.target, evaluate)
                : solve_discrete(plan.ranges, plan.target, evaluate, Engine::fast);
  return !stopped;
}

Reply grid_answer(Endpoint endpoint, const std::vector<QueryParameter>& parameters,
                  const Budget& budget, ScenarioWork& work) {
  grid::GridOptions table_target;
  const std::vector<cli::OptionDef> table = grid::option_table(table_target);
  Arguments a = arguments_of(endpoint, parameters, table);
  if (!a.error.empty()) return error_reply(HTTP_BAD_REQUEST, a.error);
  if (endpoint == Endpoint::distribution) a.args.emplace_back("--distribution");
  if (endpoint == Endpoint::plot) a.args.emplace_back(PLOT_ARGUMENT);
  const std::vector<std::string_view> args = views(a.args);
  const grid::ParsedOptions parsed = grid::parse_options(args);
  if (!parsed.ok()) return error_reply(HTTP_BAD_REQUEST, parsed.error);
  const grid::GridOptions& o = parsed.options;
  const bool csv = o.format == grid::Format::Csv;

  if (endpoint == Endpoint::solve || (endpoint == Endpoint::plot && !o.solve.empty())) {
    if (o.solve.empty()) return error_reply(HTTP_BAD_REQUEST, "solve is required");
    const grid::SolvePlanOutcome built = grid::build_solve(o);
    if (!built.ok()) return error_reply(HTTP_BAD_REQUEST, built.error);
    const std::size_t searches = built.plan.combinations.size();
    if (searches > MAX_REQUEST_SCENARIOS) return too_many(searches, "searches");
    std::vector<SolveResult> results;
    if (!run_solve_within(built.plan, budget, work, results)) return too_slow(budget);
    if (endpoint == Endpoint::plot) {
      return text_reply(grid::solve_svg(built.plan, results, o.plot), SVG_TYPE);
    }
    return csv ? text_reply(grid::render_solve_csv(built.plan, results), CSV_TYPE)
               : text_reply(grid::render_solve_json(built.plan, results), JSON_TYPE);
  }

  const grid::GridOutcome built = grid::build_grid(o);
  if (!built.ok()) return error_reply(HTTP_BAD_REQUEST, built.error);
  const grid::Grid& g = built.grid;
  if (g.scenarios.size() > MAX_REQUEST_SCENARIOS) return too_many(g.scenarios.size(), "scenarios");
  const bool one_plot = endpoint == Endpoint::plot && g.scenarios.size() == 1;
  if (o.distribution) {
    std::size_t entries = 0;
    for (const grid::Scenario& s : g.scenarios) entries += outcome_count(s);
    if (entries > MAX_DISTRIBUTION_ENTRIES) {
      return error_reply(HTTP_BAD_REQUEST, "the distributions hold " + std::to_string(entries) +
                                               " outcomes, more than " +
                                               std::to_string(MAX_DISTRIBUTION_ENTRIES) +
                                               " per request");
    }
  }
  std::vector<ScenarioResult> results;
  if (!compute_all(g.scenarios, o.distribution || one_plot, budget, work, results)) {
    return too_slow(budget);
  }
  if (endpoint == Endpoint::plot) return text_reply(grid::plot_svg(g, results, o.plot), SVG_TYPE);
  return csv ? text_reply(grid::render_csv(g, results, o.distribution), CSV_TYPE)
             : text_reply(grid::render_json(g, results, o.distribution), JSON_TYPE);
}

Reply observed_answer(const std::vector<QueryParameter>& parameters, std::string_view body,
                      const Budget& budget) {
  observed::ObservedOptions table_target;
  const std::vector<cli::OptionDef> table = observed::option_table(table_target);
  Arguments a = arguments_of(Endpoint::observed, parameters, table);
  if (!a.error.empty()) return error_reply(HTTP_BAD_REQUEST, a.error);
  // The body stands for the --applicant-data file; only its name reaches the parser.
  if (!body.empty()) a.args.push_back("--applicant-data=" + std::string(UPLOAD_NAME));
  const std::vector<std::string_view> args = views(a.args);
  const observed::ParsedOptions parsed = observed::parse_options(args);
  if (!parsed.ok()) return error_reply(HTTP_BAD_REQUEST, parsed.error);
  const observed::ObservedOptions& o = parsed.options;

  observed::CaseList cases;
  if (body.empty()) {
    cases = observed::cases_from_counts(o);
  } else {
    const cli::CsvOptions csv{o.delimiter, true};
    cases = observed::cases_from_text(body, UPLOAD_NAME, csv, &o.columns);
  }
  if (!cases.ok()) return error_reply(HTTP_BAD_REQUEST, cases.error);
  const std::size_t records = cases.cases.size() * o.d.size();
  if (records > MAX_REQUEST_SCENARIOS) return too_many(records, "records (cases times d values)");

  std::vector<observed::CaseResult> results;
  for (const observed::Case& c : cases.cases) {
    if (budget.spent()) return too_slow(budget);
    std::string error;
    observed::CaseResult result = observed::analyse_case(c, o.d, o.alpha, o.threshold, error);
    if (!error.empty()) return error_reply(HTTP_BAD_REQUEST, error);
    results.push_back(std::move(result));
  }
  return o.format == observed::Format::Csv
             ? text_reply(observed::render_csv(results, cases.labelled), CSV_TYPE)
             : text_reply(observed::render_json(results, cases.labelled), JSON_TYPE);
}

}  // namespace

std::unique_ptr<ScenarioWork> WorkShelf::take() {
  {
    std::lock_guard lock(mutex_);
    if (!shelf_.empty()) {
      std::unique_ptr<ScenarioWork> work = std::move(shelf_.back());
      shelf_.pop_back();
      return work;
    }
  }
  return std::make_unique<ScenarioWork>();
}

void WorkShelf::give_back(std::unique_ptr<ScenarioWork> work) {
  std::lock_guard lock(mutex_);
  shelf_.push_back(std::move(work));
}

bool endpoint_of(std::string_view path, Endpoint& endpoint) {
  static constexpr std::pair<std::string_view, Endpoint> PATHS[] = {
      {"/api/summary", Endpoint::summary},
      {"/api/distribution", Endpoint::distribution},
      {"/api/solve", Endpoint::solve},
      {"/api/plot", Endpoint::plot},
      {"/api/observed", Endpoint::observed}};
  for (const auto& [p, e] : PATHS) {
    if (p == path) {
      endpoint = e;
      return true;
    }
  }
  return false;
}

std::span<const std::string_view> parameter_names(Endpoint endpoint) {
  switch (endpoint) {
    case Endpoint::summary:
    case Endpoint::distribution:
      return SUMMARY_PARAMETERS;
    case Endpoint::solve:
      return SOLVE_PARAMETERS;
    case Endpoint::plot:
      return PLOT_PARAMETERS;
    case Endpoint::observed:
      break;
  }
  return OBSERVED_PARAMETERS;
}

Reply error_reply(int status, std::string_view message) {
  return {status, std::string(JSON_TYPE), cli::JsonObject().text("error", message).str() + "\n"};
}

Reply answer(Endpoint endpoint, std::string_view query, std::string_view body, const Budget& budget,
             WorkShelf& shelf) {
  const Query q = parse_query(query);
  if (!q.ok()) return error_reply(HTTP_BAD_REQUEST, "query: " + q.error);
  if (endpoint == Endpoint::observed) return observed_answer(q.parameters, body, budget);
  if (!body.empty()) return error_reply(HTTP_BAD_REQUEST, "this request takes no body");
  std::unique_ptr<ScenarioWork> work = shelf.take();
  Reply reply = grid_answer(endpoint, q.parameters, budget, *work);
  shelf.give_back(std::move(work));
  return reply;
}

}  // namespace kemro::serve
