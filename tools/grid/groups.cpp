// The several-group grid: scenarios, computation on worker threads, records.
#include "tools/grid/groups.hpp"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <limits>
#include <thread>

#include "distribution/groups.hpp"
#include "report/grid_records.hpp"
#include "report/json.hpp"
#include "report/numbers.hpp"

namespace kemro::grid {

namespace {

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();

// Text table: widths (the separating blank included) and decimals.
constexpr int INDEX_WIDTH = 6;
constexpr int COUNT_WIDTH = 8;
constexpr int VALUE_WIDTH = 11;
constexpr int VALUE_DECIMALS = 5;
constexpr int STATUS_WIDTH = 18;
constexpr int TEXT_WIDTH = 11;
constexpr int ERROR_DIGITS = 2;  // significant digits of the error estimate in the text table

// One value of a record: a count, a real (NaN when undefined) or a text.
struct Value {
  enum class Kind { count, real, text } kind = Kind::real;
  std::int64_t count = 0;
  double real = NaN;
  std::string text;
};
Value count_value(std::int64_t n) {
  return {Value::Kind::count, n, NaN, {}};
}
Value real_value(double x) {
  return {Value::Kind::real, 0, x, {}};
}
Value text_value(std::string text) {
  return {Value::Kind::text, 0, NaN, std::move(text)};
}

// One column: its CSV/JSON name, its text header and width.
struct GroupColumn {
  std::string name, header;
  int width = VALUE_WIDTH;
  bool scientific = false;  // text: significant digits, not fixed decimals (the error estimate)
};

std::string status_name(EngineStatus status) {
  switch (status) {
    case EngineStatus::converged:
      return "computed";
    case EngineStatus::subdivision_limit:
      return "subdivision_limit";
    case EngineStatus::roundoff:
      return "roundoff";
    default:
      return "abandoned";
  }
}

// The columns and one record's values, made side by side so that they cannot
// drift apart: with `result` null only the columns are made.
struct Record {
  std::vector<GroupColumn> columns;
  std::vector<Value> values;
};

Record make_record(const GroupGrid& grid, const GroupScenario* s, const GroupResult* result) {
  Record r;
  const bool cut = grid.rule == SelectionRule::cut_score;
  const std::size_t G = grid.names.size();
  const auto add = [&](std::string name, std::string header, int width, auto value) {
    r.columns.push_back({std::move(name), std::move(header), std::max<int>(width, 1 + 0)});
    if (s != nullptr) r.values.push_back(value());
  };
  const auto width_for = [](const std::string& header, int least) {
    return std::max<int>(least, static_cast<int>(header.size()) + 1);
  };
  const bool computed = result != nullptr && result->summary.status != EngineStatus::bad_integrand;
  const auto exact = [&](auto get) {
    return [&, get] { return real_value(computed ? get(result->summary) : NaN); };
  };
  add("scenario", "#", INDEX_WIDTH,
      [&] { return count_value(static_cast<std::int64_t>(s->index)); });
  add("N", "N", COUNT_WIDTH, [&] { return count_value(s->N); });
  add("selection", "selection", TEXT_WIDTH,
      [&] { return text_value(std::string(selection_rule_name(grid.rule))); });
  add("K", "K", COUNT_WIDTH, [&] { return cut ? real_value(NaN) : count_value(s->problem.hires); });
  add("cut_score", "C", VALUE_WIDTH, [&] { return real_value(cut ? s->problem.cut_score : NaN); });
  for (std::size_t g = 0; g < G; ++g) {
    const std::string header = "N_" + grid.names[g];
    add(header, header, width_for(header, COUNT_WIDTH),
        [&, g] { return count_value(s->problem.applicants[g]); });
  }
  add("status", "status", STATUS_WIDTH,
      [&] { return text_value(status_name(result->summary.status)); });
  add("error_estimate", "error", VALUE_WIDTH,
      [&] { return real_value(computed ? result->summary.abserr : NaN); });
  r.columns.back().scientific = true;
  add("evaluations", "evaluations", 13,
      [&] { return count_value(static_cast<std::int64_t>(result->summary.evaluations)); });
  {
    const std::string name = "expected_SR_" + grid.names[0];
    const std::string header = "E[SR] " + grid.names[0];
    add(name, header, width_for(header, VALUE_WIDTH),
        exact([](const GroupSummary& x) { return x.expected_SR[0]; }));
  }
  for (std::size_t g = 1; g < G; ++g) {
    const std::string& n = grid.names[g];
    add("P_below_four_fifths_" + n, "P<0.8 " + n, width_for("P<0.8 " + n, VALUE_WIDTH),
        exact([g](const GroupSummary& x) { return x.P_below_reference[g]; }));
    add("P_below_four_fifths_vs_highest_" + n, "P<0.8hi " + n,
        width_for("P<0.8hi " + n, VALUE_WIDTH),
        exact([g](const GroupSummary& x) { return x.P_below_highest[g]; }));
    add("expected_SR_" + n, "E[SR] " + n, width_for("E[SR] " + n, VALUE_WIDTH),
        exact([g](const GroupSummary& x) { return x.expected_SR[g]; }));
    add("expected_AI_" + n, "E[AI] " + n, width_for("E[AI] " + n, VALUE_WIDTH),
        exact([g](const GroupSummary& x) { return x.expected_AI[g]; }));
  }
  add("P_any_below_four_fifths", "P(any<0.8)", 12,
      exact([](const GroupSummary& x) { return x.P_any_below; }));
  if (cut) {
    add("expected_selected", "E[selected]", 13,
        exact([](const GroupSummary& x) { return x.expected_selected; }));
    add("P_none_selected", "P(none)", VALUE_WIDTH,
        exact([](const GroupSummary& x) { return x.P_none_selected; }));
  }
  return r;
}

std::string csv_text(const Value& v) {
  switch (v.kind) {
    case Value::Kind::count:
      return std::to_string(v.count);
    case Value::Kind::real:
      return cli::exact_number(v.real);
    default:
      return v.text;
  }
}

std::string text_cell(const Value& v, int width, bool scientific = false) {
  std::string text;
  if (v.kind == Value::Kind::real) {
    text = std::isnan(v.real) ? "-"
           : scientific       ? cli::significant(v.real, ERROR_DIGITS)
                              : fit_number(v.real, width, VALUE_DECIMALS);
  } else {
    text = csv_text(v);
  }
  while (static_cast<int>(text.size()) < width) text.insert(text.begin(), ' ');
  return text;
}

void add_json(cli::JsonObject& object, const std::string& key, const Value& v) {
  switch (v.kind) {
    case Value::Kind::count:
      object.integer(key, v.count);
      break;
    case Value::Kind::real:
      object.number(key, v.real);
      break;
    default:
      object.text(key, v.text);
  }
}

// AI of a cell: (S_2/N_2) / (S_1/N_1), NaN when S_1 = 0.
double cell_ratio(const CutScoreCell& c, const GroupProblem& p) {
  if (c.reference == 0) return NaN;
  return (static_cast<double>(c.other) / p.applicants[1]) /
         (static_cast<double>(c.reference) / p.applicants[0]);
}

// The cells' keys: S_<reference>, S_<other>, AI, P.
std::vector<std::string> cell_keys(const GroupGrid& grid) {
  return {"S_" + grid.names[0], "S_" + grid.names[1], "AI", "P"};
}

std::vector<Value> cell_values(const CutScoreCell& c, const GroupProblem& p) {
  return {count_value(c.reference), count_value(c.other), real_value(cell_ratio(c, p)),
          real_value(c.probability)};
}

}  // namespace

GroupGridOutcome build_group_grid(const GridOptions& o) {
  GroupGridOutcome out;
  GroupGrid& grid = out.grid;
  const GroupOptions& g = o.groups;
  grid.names = g.names;
  grid.rule = g.rule;
  std::vector<std::int32_t> applicants = o.applicants;
  if (applicants.empty()) {
    std::int64_t total = 0;
    for (std::int32_t n : g.counts) total += n;
    if (total > std::numeric_limits<std::int32_t>::max()) {
      out.error = "the group counts add up to more than " +
                  std::to_string(std::numeric_limits<std::int32_t>::max());
      return out;
    }
    applicants = {static_cast<std::int32_t>(total)};
  }
  const bool cut = g.rule == SelectionRule::cut_score;
  const std::size_t second = cut && !g.cut_scores.empty() ? g.cut_scores.size()
                             : !o.hires.empty()           ? o.hires.size()
                                                          : o.selection_ratio.size();
  if (applicants.size() * second > MAX_SCENARIOS) {
    out.error = "the grid has more than " + std::to_string(MAX_SCENARIOS) + " scenarios";
    return out;
  }
  std::size_t index = 0;
  for (std::int32_t N : applicants) {
    const std::vector<std::int32_t> counts =
        g.counts.empty() ? counts_from_shares(g.shares, N) : g.counts;
    for (std::size_t j = 0; j < second; ++j) {
      GroupScenario s;
      s.index = ++index;
      s.N = N;
      s.problem.applicants = counts;
      s.problem.d = g.d;
      s.problem.rule = g.rule;
      if (!cut) {
        s.problem.hires = !o.hires.empty() ? o.hires[j]
                                           : static_cast<std::int32_t>(std::llround(
                                                 o.selection_ratio[j] * static_cast<double>(N)));
      } else {
        s.problem.cut_score = !g.cut_scores.empty()
                                  ? g.cut_scores[j]
                                  : cut_score_for_ratio(counts, g.d, o.selection_ratio[j]);
      }
      const std::string why = group_problem_invalid_reason(s.problem);
      if (!why.empty()) {
        std::string counts_text;
        for (std::size_t k = 0; k < counts.size(); ++k) {
          if (k > 0) counts_text += '/';
          counts_text += std::to_string(counts[k]);
        }
        out.error = "scenario N = " + std::to_string(N) + " (groups " + counts_text + "): " + why;
        return out;
      }
      grid.scenarios.push_back(std::move(s));
    }
  }
  return out;
}

std::vector<GroupResult> compute_group_grid(const GroupGrid& grid, bool distribution,
                                            unsigned jobs) {
  std::vector<GroupResult> results(grid.scenarios.size());
  std::atomic<std::size_t> next{0};
  const auto work = [&] {
    for (std::size_t i = next++; i < results.size(); i = next++) {
      const GroupProblem& p = grid.scenarios[i].problem;
      results[i].summary = group_selection_summary(p);
      if (distribution) {
        results[i].distribution =
            cut_score_distribution(p.applicants[0], p.applicants[1], p.d[1], p.cut_score);
      }
    }
  };
  unsigned threads = jobs != 0 ? jobs : std::max(1u, std::thread::hardware_concurrency());
  threads = static_cast<unsigned>(std::min<std::size_t>(threads, results.size()));
  std::vector<std::jthread> pool;
  for (unsigned t = 1; t < threads; ++t) pool.emplace_back(work);
  work();
  return results;
}

std::vector<std::string> group_columns(const GroupGrid& grid) {
  std::vector<std::string> names;
  for (const GroupColumn& c : make_record(grid, nullptr, nullptr).columns) names.push_back(c.name);
  return names;
}

std::string render_group_records(const GroupGrid& grid, const std::vector<GroupResult>& results,
                                 Format format, bool distribution) {
  const std::vector<GroupColumn> columns = make_record(grid, nullptr, nullptr).columns;
  std::string text;
  if (format == Format::Csv) {
    for (std::size_t c = 0; c < columns.size(); ++c) {
      if (c > 0) text += ',';
      text += columns[c].name;
    }
    if (distribution) {
      for (const std::string& key : cell_keys(grid)) {
        text += ',';
        text += key;
      }
    }
    text += "\n";
    for (std::size_t i = 0; i < results.size(); ++i) {
      const Record r = make_record(grid, &grid.scenarios[i], &results[i]);
      std::string lead;
      for (std::size_t c = 0; c < r.values.size(); ++c) {
        if (c > 0) lead += ',';
        lead += csv_text(r.values[c]);
      }
      if (!distribution) {
        text += lead + "\n";
        continue;
      }
      for (const CutScoreCell& cell : results[i].distribution) {
        text += lead;
        for (const Value& v : cell_values(cell, grid.scenarios[i].problem)) {
          text += ',';
          text += csv_text(v);
        }
        text += "\n";
      }
    }
    return text;
  }
  if (format == Format::Json) {
    cli::JsonArray array;
    text = cli::JsonArray::open();
    for (std::size_t i = 0; i < results.size(); ++i) {
      const Record r = make_record(grid, &grid.scenarios[i], &results[i]);
      cli::JsonObject object;
      for (std::size_t c = 0; c < r.values.size(); ++c)
        add_json(object, columns[c].name, r.values[c]);
      if (distribution) {
        const std::vector<std::string> keys = cell_keys(grid);
        std::string cells = "[";
        for (const CutScoreCell& cell : results[i].distribution) {
          cli::JsonObject o;
          const std::vector<Value> values = cell_values(cell, grid.scenarios[i].problem);
          for (std::size_t k = 0; k < keys.size(); ++k) add_json(o, keys[k], values[k]);
          if (cells.size() > 1) cells += ", ";
          cells += o.str();
        }
        object.raw("distribution", cells + "]");
      }
      text += array.element(object.str());
    }
    return text + cli::JsonArray::close();
  }
  for (const GroupColumn& c : columns) {
    std::string header = c.header;
    while (static_cast<int>(header.size()) < c.width) header.insert(header.begin(), ' ');
    text += header;
  }
  text += "\n";
  for (std::size_t i = 0; i < results.size(); ++i) {
    const Record r = make_record(grid, &grid.scenarios[i], &results[i]);
    for (std::size_t c = 0; c < r.values.size(); ++c) {
      text += text_cell(r.values[c], columns[c].width, columns[c].scientific);
    }
    text += "\n";
  }
  if (distribution) {
    const std::vector<std::string> keys = cell_keys(grid);
    for (std::size_t i = 0; i < results.size(); ++i) {
      text += "\nScenario " + std::to_string(grid.scenarios[i].index) + ": distribution\n";
      for (const std::string& key : keys) {
        std::string header = key;
        while (static_cast<int>(header.size()) < VALUE_WIDTH) header.insert(header.begin(), ' ');
        text += header;
      }
      text += "\n";
      for (const CutScoreCell& cell : results[i].distribution) {
        for (const Value& v : cell_values(cell, grid.scenarios[i].problem))
          text += text_cell(v, VALUE_WIDTH);
        text += "\n";
      }
    }
  }
  return text;
}

}  // namespace kemro::grid
