#include "report/grid_records.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <string_view>
#include <utility>

#include "distribution/columns.hpp"
#include "report/json.hpp"
#include "report/record_writer.hpp"

namespace kemro::grid {

namespace {

constexpr std::string_view ABANDONED = "abandoned";

// The distribution section of the text output: widths and decimals.
constexpr int COUNT_WIDTH = 7;
constexpr int VALUE_WIDTH = 10;
constexpr int VALUE_DECIMALS = 5;
constexpr int POINT_PROBABILITY_DECIMALS = 8;
// Fewest significant digits a value squeezed into its column keeps.
constexpr int MIN_SIGNIFICANT = 1;
constexpr int MAX_SIGNIFICANT = 17;

const double NaN = std::numeric_limits<double>::quiet_NaN();

std::string count(std::int64_t n) {
  return std::to_string(n);
}

std::string join(const std::vector<std::string>& fields, std::string_view separator) {
  std::string line;
  for (std::size_t i = 0; i < fields.size(); ++i) {
    if (i > 0) line += separator;
    line += fields[i];
  }
  return line;
}

// A cell as CSV text: counts in decimal, reals exact (empty when undefined,
// Inf or -Inf when infinite).
std::string cell_text(const Cell& cell) {
  if (const auto* n = std::get_if<std::int64_t>(&cell)) return count(*n);
  if (const auto* v = std::get_if<double>(&cell)) return cli::signed_number(*v);
  return std::string(std::get<std::string_view>(cell));
}

// Adds one cell to a JSON object under `key`.
void add_json_cell(cli::JsonObject& object, std::string_view key, const Cell& cell) {
  if (const auto* n = std::get_if<std::int64_t>(&cell)) {
    object.integer(key, *n);
  } else if (const auto* v = std::get_if<double>(&cell)) {
    object.number(key, *v);
  } else if (const std::string_view text = std::get<std::string_view>(cell); text.empty()) {
    object.number(key, NaN);  // a text without a value (the nested engine's status) is null
  } else {
    object.text(key, text);
  }
}

std::vector<std::string> summary_fields(const Scenario& s, const ScenarioResult& r) {
  std::vector<std::string> fields;
  for (const Cell& cell : summary_cells(s, r)) fields.push_back(cell_text(cell));
  return fields;
}

// The scenario's grid index, its own fields N, N1, N2, K, d and its status.
std::vector<std::string> lead_fields(const Scenario& s, const ScenarioResult& r) {
  std::vector<std::string> fields = summary_fields(s, r);
  fields.resize(7);
  return fields;
}

std::vector<std::string> entry_fields(const DistributionEntry& e) {
  return {count(e.NY), count(e.NX), exact_number(ratio_value(e.AI)), exact_number(e.PVS),
          exact_number(e.PVSC)};
}

std::string json_record(const Scenario& s, const ScenarioResult& r, bool distribution) {
  const std::span<const Column> catalogue = summary_catalogue();
  const std::vector<Cell> cells = summary_cells(s, r);
  cli::JsonObject record;
  for (std::size_t c = 0; c < catalogue.size(); ++c) {
    add_json_cell(record, catalogue[c].name, cells[c]);
  }
  if (distribution) {
    std::vector<std::string> entries;
    for (const DistributionEntry& e : r.distribution) {
      entries.push_back(cli::JsonObject()
                            .integer("S", e.NY)
                            .integer("majority_hires", e.NX)
                            .number("AI", ratio_value(e.AI))
                            .number("P", e.PVS)
                            .number("cumulative_P", e.PVSC)
                            .str());
    }
    record.raw("distribution", cli::json_list(entries));
  }
  return record.str();
}

std::string csv_records(const Scenario& s, const ScenarioResult& r, bool distribution) {
  if (!distribution) return join(summary_fields(s, r), ",") + "\n";
  const std::string lead = join(lead_fields(s, r), ",");
  if (!r.completed) return lead + ",,,,,\n";
  std::string text;
  for (const DistributionEntry& e : r.distribution) {
    text += lead + "," + join(entry_fields(e), ",") + "\n";
  }
  return text;
}

// --- Text ---

std::string right(std::string_view text, int width) {
  // At least one blank before the text, so that neighbouring columns never touch.
  const std::size_t w = std::max(static_cast<std::size_t>(width), text.size() + 1);
  std::string field(w - text.size(), ' ');
  field.append(text);
  return field;
}

// Significant digits of d in the text table and the distribution headings.
constexpr int D_DIGITS = 6;

// The widths of the chosen columns: the catalogue's, widened where a count or
// d of the grid needs more, so that every row has the same layout.
std::vector<int> text_widths(const Grid& grid, const std::vector<std::size_t>& columns) {
  const std::span<const Column> catalogue = summary_catalogue();
  const auto warnings = static_cast<std::size_t>(column_index("warnings"));
  std::vector<int> widths;
  for (std::size_t c : columns) widths.push_back(catalogue[c].width);
  for (const Scenario& s : grid.scenarios) {
    const std::vector<Cell> cells = summary_cells(s, ScenarioResult{});
    for (std::size_t i = 0; i < columns.size(); ++i) {
      const std::size_t c = columns[i];
      std::string text;
      if (catalogue[c].kind == ColumnKind::EffectSize) text = cli::short_number(s.d, D_DIGITS);
      if (catalogue[c].kind == ColumnKind::Level)
        text = cli::short_number(std::get<double>(cells[c]), D_DIGITS);
      if (catalogue[c].kind == ColumnKind::Count && c != warnings) {
        text = count(std::get<std::int64_t>(cells[c]));
      }
      widths[i] = std::max(widths[i], static_cast<int>(text.size()) + 1);
    }
  }
  return widths;
}

std::string text_header(const std::vector<std::size_t>& columns, const std::vector<int>& widths) {
  std::string line;
  for (std::size_t i = 0; i < columns.size(); ++i) {
    line += right(summary_catalogue()[columns[i]].header, widths[i]);
  }
  return line + "\n";
}

std::string text_row(const Scenario& s, const ScenarioResult& r,
                     const std::vector<std::size_t>& columns, const std::vector<int>& widths) {
  const std::span<const Column> catalogue = summary_catalogue();
  const std::vector<Cell> cells = summary_cells(s, r);
  const bool status_shown =
      std::find(columns.begin(), columns.end(), static_cast<std::size_t>(column_index("status"))) !=
      columns.end();
  bool abandoned_said = status_shown;
  std::string line;
  for (std::size_t i = 0; i < columns.size(); ++i) {
    const Column& column = catalogue[columns[i]];
    const Cell& cell = cells[columns[i]];
    const int width = widths[i];
    std::string field;
    switch (column.kind) {
      case ColumnKind::Count:
        field = right(count(std::get<std::int64_t>(cell)), width);
        break;
      case ColumnKind::EffectSize:
        field = right(cli::short_number(s.d, D_DIGITS), width);
        break;
      case ColumnKind::Level:
        field = right(cli::short_number(std::get<double>(cell), D_DIGITS), width);
        break;
      case ColumnKind::Status: {
        const std::string_view text = std::get<std::string_view>(cell);
        field = right(text.empty() ? "-" : text, width);
        break;
      }
      case ColumnKind::Diagnostic: {
        const double value = std::get<double>(cell);
        field = right(cli::short_number(value, column.decimals), width);
        break;
      }
      case ColumnKind::Exact:
      case ColumnKind::Percentile:
        if (!r.completed) {
          const bool say = !abandoned_said && column.kind == ColumnKind::Exact;
          abandoned_said = abandoned_said || say;
          field = right(say ? ABANDONED : "-", width);
          break;
        }
        [[fallthrough]];
      case ColumnKind::Population:
        field = fit_number(std::get<double>(cell), width, column.decimals);
        break;
    }
    line += field;
  }
  return line + "\n";
}

std::string fixed_or_undefined(double value, int width, int decimals) {
  return std::isnan(value) ? right("undef", width) : format_fixed(value, width, decimals);
}

std::string text_distribution(const Scenario& s, const ScenarioResult& r) {
  std::string text = "\nDistribution of S (minority hires) for N = " + count(s.N) +
                     ", N1 = " + count(s.N1) + ", N2 = " + count(s.N2) + ", K = " + count(s.K) +
                     ", d = " + cli::short_number(s.d, D_DIGITS) + "\n";
  if (!r.completed) return text + "  abandoned: the outcome probabilities could not be computed\n";
  const int p_width = POINT_PROBABILITY_DECIMALS + 4;
  text += right("S", COUNT_WIDTH) + right("K-S", COUNT_WIDTH) + right("AI", VALUE_WIDTH) +
          right("P", p_width) + right("cumulative", p_width) + "\n";
  for (const DistributionEntry& e : r.distribution) {
    text += format_integer(e.NY, COUNT_WIDTH) + format_integer(e.NX, COUNT_WIDTH) +
            fixed_or_undefined(ratio_value(e.AI), VALUE_WIDTH, VALUE_DECIMALS) +
            format_fixed(e.PVS, p_width, POINT_PROBABILITY_DECIMALS) +
            format_fixed(e.PVSC, p_width, POINT_PROBABILITY_DECIMALS) + "\n";
  }
  return text;
}

}  // namespace

double ratio_value(double AI) {
  return AI == UNDEFINED_RATIO ? NaN : AI;
}

std::string fit_number(double value, int width, int decimals) {
  if (std::isnan(value)) return right("undef", width);
  const std::string fixed = format_fixed(value, width - 1, decimals);
  if (fixed.find('*') == std::string::npos) return right(fixed, width);
  // Too wide as fixed (or infinite): the most significant digits that fit.
  for (int digits = MAX_SIGNIFICANT; digits > MIN_SIGNIFICANT; --digits) {
    const std::string text = cli::significant(value, digits);
    if (static_cast<int>(text.size()) < width) return right(text, width);
  }
  return right(cli::significant(value, MIN_SIGNIFICANT), width);
}

std::vector<std::string> summary_columns() {
  std::vector<std::string> names;
  for (const Column& c : summary_catalogue()) names.emplace_back(c.name);
  return names;
}

std::vector<std::string> distribution_columns() {
  return {"scenario",       "N",  "N1", "N2",          "K", "d", "status", "S",
          "majority_hires", "AI", "P",  "cumulative_P"};
}

RecordStream::RecordStream(const Grid& grid, Format format, bool distribution,
                           std::vector<std::size_t> text_columns)
    : grid_(grid),
      format_(format),
      distribution_(distribution),
      columns_(text_columns.empty() ? default_text_columns() : std::move(text_columns)) {
  if (format_ == Format::Text) widths_ = text_widths(grid_, columns_);
}

std::string RecordStream::head() const {
  switch (format_) {
    case Format::Csv:
      return join(distribution_ ? distribution_columns() : summary_columns(), ",") + "\n";
    case Format::Json:
      return cli::JsonArray::open();
    case Format::Text:
      break;
  }
  return text_header(columns_, widths_);
}

std::string RecordStream::record(std::size_t index, const ScenarioResult& result) {
  const Scenario& s = grid_.scenarios[index];
  switch (format_) {
    case Format::Csv:
      return csv_records(s, result, distribution_);
    case Format::Json:
      return json_.element(json_record(s, result, distribution_));
    case Format::Text:
      break;
  }
  if (distribution_) held_ += text_distribution(s, result);
  return text_row(s, result, columns_, widths_);
}

std::string RecordStream::tail() {
  switch (format_) {
    case Format::Csv:
      return {};
    case Format::Json:
      return cli::JsonArray::close();
    case Format::Text:
      break;
  }
  return std::exchange(held_, {});
}

namespace {

std::string render_all(RecordStream stream, const std::vector<ScenarioResult>& results) {
  std::string text = stream.head();
  for (std::size_t i = 0; i < results.size(); ++i) text += stream.record(i, results[i]);
  return text + stream.tail();
}

}  // namespace

std::string render_csv(const Grid& grid, const std::vector<ScenarioResult>& results,
                       bool distribution) {
  return render_all(RecordStream(grid, Format::Csv, distribution), results);
}

std::string render_json(const Grid& grid, const std::vector<ScenarioResult>& results,
                        bool distribution) {
  return render_all(RecordStream(grid, Format::Json, distribution), results);
}

std::string render_text(const Grid& grid, const std::vector<ScenarioResult>& results,
                        bool distribution, const std::vector<std::size_t>& columns) {
  return render_all(RecordStream(grid, Format::Text, distribution, columns), results);
}

}  // namespace kemro::grid
