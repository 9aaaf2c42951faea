#include "tools/grid/solve.hpp"

#include <algorithm>
#include <cmath>
#include <functional>
#include <memory>

#include "report/figure.hpp"
#include "report/grid_records.hpp"
#include "report/json.hpp"
#include "report/numbers.hpp"
#include "tools/grid/scenario.hpp"

namespace kemro::grid {

namespace {

// Most scenarios the searches of one solve may span, over all combinations.
constexpr std::size_t MAX_SOLVE_SCENARIOS = 2000000;
// Digits of the numbers in the text table.
constexpr int TEXT_DIGITS = 7;

std::string option_column(const Axis& axis) {
  std::string name = axis.option.substr(2);
  for (char& c : name) c = c == '-' ? '_' : c;
  return name;
}

std::string text_number(double value) {
  return cli::short_number(value, TEXT_DIGITS);
}

// The model's options not solved for, the solve's own columns, then the rules' levels.
std::vector<std::string> columns(const SolvePlan& plan) {
  std::vector<std::string> names;
  for (std::size_t a = 0; a < MODEL_DIMENSIONS; ++a) {
    if (a != plan.solved) names.push_back(option_column(plan.axes[a]));
  }
  for (const char* name : {"solved_for", "value", "stable_from", "quantity", "target",
                           "quantity_at_value", "status", "evaluations"}) {
    names.emplace_back(name);
  }
  for (std::size_t a = MODEL_DIMENSIONS; a < DIMENSIONS; ++a) {
    names.push_back(option_column(plan.axes[a]));
  }
  return names;
}

// The fields of one record; `number` writes a value, `text` a string.
template <typename Number, typename Text>
std::vector<std::string> fields(const SolvePlan& plan, std::size_t i, const SolveResult& r,
                                Number number, Text text) {
  std::vector<std::string> f;
  const auto value = [&](std::size_t a) {
    return number(plan.axes[a].values[plan.combinations[i][a]]);
  };
  for (std::size_t a = 0; a < MODEL_DIMENSIONS; ++a) {
    if (a != plan.solved) f.push_back(value(a));
  }
  const bool solved = r.status == SolveStatus::solved;
  const double NaN = std::nan("");
  f.push_back(text(plan.axes[plan.solved].option.substr(2)));
  f.push_back(number(solved ? r.value : NaN));
  f.push_back(number(solved ? r.stable_from : NaN));
  f.push_back(text(quantity_name(plan.target.quantity)));
  f.push_back(text(target_text(plan.target)));
  f.push_back(number(solved ? r.quantity_at_value : NaN));
  f.push_back(text(solve_status_name(r.status)));
  f.push_back(std::to_string(r.evaluations));
  for (std::size_t a = MODEL_DIMENSIONS; a < DIMENSIONS; ++a) f.push_back(value(a));
  return f;
}

std::string join(const std::vector<std::string>& fields, std::string_view separator) {
  std::string line;
  for (std::size_t i = 0; i < fields.size(); ++i) {
    if (i > 0) line += separator;
    line += fields[i];
  }
  return line;
}

}  // namespace

SolvePlanOutcome build_solve(const GridOptions& o) {
  SolvePlanOutcome out;
  SolvePlan& plan = out.plan;
  plan.axes = grid_axes(o);
  plan.target = o.target;
  for (std::size_t a = 0; a < DIMENSIONS; ++a) {
    if (plan.axes[a].option == "--" + o.solve) plan.solved = static_cast<Dimension>(a);
  }
  const SolveRange& range = o.solve_range;
  plan.d_low = range.low;
  plan.d_high = range.high;

  // The combinations of the other options, in grid order.
  std::array<std::size_t, DIMENSIONS> at{};
  std::size_t spanned = 0;
  for (;;) {
    plan.combinations.push_back(at);
    std::size_t a = DIMENSIONS;
    while (a-- > 0) {
      if (a == plan.solved) continue;
      if (++at[a] < plan.axes[a].values.size()) break;
      at[a] = 0;
    }
    if (a > DIMENSIONS) break;  // every index wrapped around
  }
  if (plan.combinations.size() > MAX_SCENARIOS) {
    out.error = "the solve has more than " + std::to_string(MAX_SCENARIOS) + " records";
    return out;
  }

  for (const auto& c : plan.combinations) {
    const auto value = [&](Dimension a) { return plan.axes[a].values[c[a]]; };
    const RuleLevels levels{value(ALPHA), value(THRESHOLD)};
    const auto add = [&](DiscreteRange& r, double v, const kemro::Scenario& s) {
      r.values.push_back(v);
      r.scenarios.push_back(s);
      const std::string why = scenario_invalid_reason(s, o.engine);
      if (!why.empty()) out.error = "scenario " + scenario_name(s) + ": " + why;
      return why.empty();
    };
    if (plan.solved == EFFECT_SIZE) {
      const kemro::Scenario s = scenario_at(plan.axes, static_cast<std::int64_t>(value(APPLICANTS)),
                                            value(MAJORITY), value(HIRES), range.low, levels);
      const std::string why = scenario_invalid_reason(s, o.engine);
      if (!why.empty()) out.error = "scenario " + scenario_name(s) + ": " + why;
      if (!why.empty()) return out;
      plan.bases.push_back(s);
      continue;
    }
    DiscreteRange r;
    const double d = value(EFFECT_SIZE);
    if (plan.solved == APPLICANTS) {
      for (double N : range.values) {
        if (!add(r, N,
                 scenario_at(plan.axes, static_cast<std::int64_t>(N), value(MAJORITY), value(HIRES),
                             d, levels))) {
          return out;
        }
      }
    } else {
      const auto N = static_cast<std::int64_t>(value(APPLICANTS));
      const bool majority = plan.solved == MAJORITY;
      const auto scenario = [&](double v) {
        return majority ? scenario_at(plan.axes, N, v, value(HIRES), d, levels)
                        : scenario_at(plan.axes, N, value(MAJORITY), v, d, levels);
      };
      if (range.every_count) {
        // Every count between those of the range's ends: the distinct scenarios it spans.
        const std::int64_t first = std::llround(range.low * static_cast<double>(N));
        const std::int64_t last = std::llround(range.high * static_cast<double>(N));
        for (std::int64_t count = first; count <= last; ++count) {
          const double share = static_cast<double>(count) / static_cast<double>(N);
          kemro::Scenario s = scenario(share);
          // N2 or K is the count itself, whatever rounding share * N would do.
          if (majority)
            s.N2 = static_cast<std::int32_t>(count), s.N1 = s.N - s.N2;
          else
            s.K = static_cast<std::int32_t>(count);
          if (!add(r, share, s)) return out;
        }
      } else {
        for (double v : range.values) {
          if (!add(r, v, scenario(v))) return out;
        }
      }
    }
    spanned += r.scenarios.size();
    if (spanned > MAX_SOLVE_SCENARIOS) {
      out.error = "the solve spans more than " + std::to_string(MAX_SOLVE_SCENARIOS) + " scenarios";
      return out;
    }
    plan.ranges.push_back(std::move(r));
  }
  return out;
}

std::vector<SolveResult> run_solve(const SolvePlan& plan, Engine engine, unsigned jobs) {
  // The work areas are made once, on this thread, and serve every batch.
  WorkAreas<ScenarioWork> work;
  const Evaluate evaluate = [&](const std::vector<kemro::Scenario>& batch, bool keep) {
    return compute_all_in_order(batch.size(), jobs, work, [&](std::size_t i, ScenarioWork& area) {
      return compute_scenario(batch[i], engine, keep, area);
    });
  };
  if (plan.solved == EFFECT_SIZE) {
    return solve_effect_size(plan.bases, plan.d_low, plan.d_high, plan.target, evaluate);
  }
  return solve_discrete(plan.ranges, plan.target, evaluate, engine);
}

std::string render_solve_csv(const SolvePlan& plan, const std::vector<SolveResult>& results) {
  std::string text = join(columns(plan), ",") + "\n";
  const auto as_is = [](std::string_view t) { return std::string(t); };
  for (std::size_t i = 0; i < results.size(); ++i) {
    text += join(fields(plan, i, results[i], exact_number, as_is), ",") + "\n";
  }
  return text;
}

std::string render_solve_json(const SolvePlan& plan, const std::vector<SolveResult>& results) {
  const std::vector<std::string> keys = columns(plan);
  const auto text_value = [](std::string_view t) { return cli::json_string(t); };
  cli::JsonArray array;
  std::string text = cli::JsonArray::open();
  for (std::size_t i = 0; i < results.size(); ++i) {
    const std::vector<std::string> values =
        fields(plan, i, results[i], cli::json_number, text_value);
    cli::JsonObject record;
    for (std::size_t k = 0; k < keys.size(); ++k) record.raw(keys[k], values[k]);
    text += array.element(record.str());
  }
  return text + cli::JsonArray::close();
}

std::string render_solve_text(const SolvePlan& plan, const std::vector<SolveResult>& results) {
  std::vector<std::vector<std::string>> rows = {columns(plan)};
  const auto as_is = [](std::string_view t) { return std::string(t); };
  for (std::size_t i = 0; i < results.size(); ++i) {
    rows.push_back(fields(plan, i, results[i], text_number, as_is));
  }
  std::vector<std::size_t> width(rows.front().size(), 0);
  for (const auto& row : rows) {
    for (std::size_t k = 0; k < row.size(); ++k) width[k] = std::max(width[k], row[k].size());
  }
  std::string text;
  for (const auto& row : rows) {
    std::string line;
    for (std::size_t k = 0; k < row.size(); ++k) {
      line += std::string(width[k] + 2 - row[k].size(), ' ') + row[k];
    }
    text += line + "\n";
  }
  return text;
}

std::string solved_words(const Axis& solved, const Target& target) {
  // The comparison and value as target_text writes them, after the quantity's name.
  const std::string_view name = quantity_name(target.quantity);
  std::string rest = target_text(target).substr(name.size());
  std::string comparison;
  while (!rest.empty() && (rest[0] == '<' || rest[0] == '>' || rest[0] == '=')) {
    comparison += rest[0];
    rest.erase(0, 1);
  }
  if (comparison == "<=") comparison = "\u2264";
  if (comparison == ">=") comparison = "\u2265";
  const std::string noun = solved.option == "--applicants" ? "Pool size" : axis_words(solved);
  return noun + " at which " + quantity_words(name) + " " + comparison + " " + rest;
}

std::string solve_svg(const SolvePlan& plan, const std::vector<SolveResult>& results,
                      PlotOptions options) {
  // The grid drawing, with the value found in place of P(AI < 0.8).
  Grid grid;
  grid.axes = plan.axes;
  std::vector<ScenarioResult> values(results.size());
  for (std::size_t i = 0; i < results.size(); ++i) {
    Scenario s;
    s.at = plan.combinations[i];
    grid.scenarios.push_back(s);
    values[i].completed = results[i].status == SolveStatus::solved;
    values[i].P_below_four_fifths = results[i].value;
  }
  const Axis& solved = plan.axes[plan.solved];
  options.quantity = solved_words(solved, plan.target);
  // When no other option varies, the last one given stands on the x axis.
  bool varies = false;
  for (const Axis& axis : plan.axes) varies = varies || axis.values.size() > 1;
  if (options.x.empty() && !varies) {
    for (std::size_t a = 0; a < MODEL_DIMENSIONS; ++a) {
      if (a != plan.solved) options.x = plan.axes[a].option.substr(2);
    }
  }
  return grid_svg(grid, values, options);
}

}  // namespace kemro::grid
