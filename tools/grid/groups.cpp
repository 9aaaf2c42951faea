// The several-group grid: scenarios, computation on worker threads, records.
#include "tools/grid/groups.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

#include "distribution/group_columns.hpp"
#include "distribution/group_record.hpp"
#include "distribution/groups.hpp"
#include "distribution/worker_pool.hpp"
#include "report/grid_records.hpp"
#include "report/json.hpp"
#include "report/numbers.hpp"

namespace kemro::grid {

namespace {

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();

// Text table: the decimals of values and the width of the distribution's columns.
constexpr int VALUE_WIDTH = 11;
constexpr int VALUE_DECIMALS = 5;
constexpr int ERROR_DIGITS = 2;  // significant digits of the error estimate in the text table

using Value = GroupRecordCell;

std::string csv_text(const Value& v) {
  if (const auto* n = std::get_if<std::int64_t>(&v)) return std::to_string(*n);
  if (const auto* x = std::get_if<double>(&v)) return cli::exact_number(*x);
  return std::get<std::string>(v);
}

std::string text_cell(const Value& v, int width, bool scientific = false) {
  std::string text;
  if (const auto* x = std::get_if<double>(&v)) {
    text = scientific       ? cli::short_number(*x, ERROR_DIGITS)
           : std::isnan(*x) ? "-"
                            : fit_number(*x, width, VALUE_DECIMALS);
  } else {
    text = csv_text(v);
  }
  while (static_cast<int>(text.size()) < width) text.insert(text.begin(), ' ');
  return text;
}

void add_json(cli::JsonObject& object, const std::string& key, const Value& v) {
  if (const auto* n = std::get_if<std::int64_t>(&v)) {
    object.integer(key, *n);
  } else if (const auto* x = std::get_if<double>(&v)) {
    object.number(key, *x);
  } else {
    object.text(key, std::get<std::string>(v));
  }
}

// The columns of the grid's records, and one scenario's values in their order.
std::vector<GroupColumn> record_columns(const GroupGrid& grid) {
  return group_record_columns(grid.names, grid.rule);
}
std::vector<Value> record_values(const GroupScenario& s, const GroupResult& result) {
  return group_record_cells(s.index, s.problem, result.summary);
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
  return {std::int64_t{c.reference}, std::int64_t{c.other}, cell_ratio(c, p), c.probability};
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
  WorkAreas<NoWorkArea> none;
  return compute_all_in_order(grid.scenarios.size(), jobs, none, [&](std::size_t i, NoWorkArea&) {
    const GroupProblem& p = grid.scenarios[i].problem;
    GroupResult result;
    result.summary = group_selection_summary(p);
    if (distribution) {
      result.distribution =
          cut_score_distribution(p.applicants[0], p.applicants[1], p.d[1], p.cut_score);
    }
    return result;
  });
}

std::string render_group_records(const GroupGrid& grid, const std::vector<GroupResult>& results,
                                 Format format, bool distribution) {
  const std::vector<GroupColumn> columns = record_columns(grid);
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
      const std::vector<Value> values = record_values(grid.scenarios[i], results[i]);
      std::string lead;
      for (std::size_t c = 0; c < values.size(); ++c) {
        if (c > 0) lead += ',';
        lead += csv_text(values[c]);
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
      const std::vector<Value> values = record_values(grid.scenarios[i], results[i]);
      cli::JsonObject object;
      for (std::size_t c = 0; c < values.size(); ++c) add_json(object, columns[c].name, values[c]);
      if (distribution) {
        const std::vector<std::string> keys = cell_keys(grid);
        std::vector<std::string> cells;
        for (const CutScoreCell& cell : results[i].distribution) {
          cli::JsonObject o;
          const std::vector<Value> fields = cell_values(cell, grid.scenarios[i].problem);
          for (std::size_t k = 0; k < keys.size(); ++k) add_json(o, keys[k], fields[k]);
          cells.push_back(o.str());
        }
        object.raw("distribution", cli::json_list(cells));
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
    const std::vector<Value> values = record_values(grid.scenarios[i], results[i]);
    for (std::size_t c = 0; c < values.size(); ++c) {
      text += text_cell(values[c], columns[c].width,
                        columns[c].quantity == GroupQuantity::error_estimate);
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
