#include "tools/grid/output.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>
#include <string_view>

#include "report/record_writer.hpp"

namespace kemro::grid {

namespace {

constexpr std::string_view COMPUTED = "computed";
constexpr std::string_view ABANDONED = "abandoned";

constexpr std::string_view PERCENTILE_NAMES[] = {"AI_P05", "AI_P10", "AI_P25", "AI_P50",
                                                 "AI_P75", "AI_P90", "AI_P95"};
static_assert(std::size(PERCENTILE_NAMES) == NLDAT.size());

// Text table: widths of the count, effect size, probability and AI columns,
// and the decimals of rates, probabilities and percentiles.
constexpr int COUNT_WIDTH = 7;
constexpr int D_WIDTH = 9;
constexpr int VALUE_WIDTH = 10;
constexpr int VALUE_DECIMALS = 5;
constexpr int PERCENTILE_WIDTH = 7;
constexpr int PERCENTILE_DECIMALS = 3;
constexpr int WARNINGS_WIDTH = 6;
constexpr int POINT_PROBABILITY_DECIMALS = 8;

const double NaN = std::numeric_limits<double>::quiet_NaN();

std::vector<double> exact_values(const ScenarioResult& r) {
  std::vector<double> v = {r.P_below_four_fifths, r.P_undefined, r.expected_SRA, r.expected_SRI,
                           r.expected_AI};
  if (!r.completed) v.assign(v.size(), NaN);
  return v;
}

std::vector<double> population_values(const ScenarioResult& r) {
  return {r.population.SRA, r.population.SRI, r.population.AI};
}

std::vector<double> percentile_values(const ScenarioResult& r) {
  std::vector<double> v;
  for (double p : r.percentiles) v.push_back(r.completed ? ratio_value(p) : NaN);
  return v;
}

std::string count(std::int32_t n) {
  return std::to_string(n);
}

std::string_view status(const ScenarioResult& r) {
  return r.completed ? COMPUTED : ABANDONED;
}

// The scenario's grid index and its own fields N, N1, N2, K, d as text.
std::vector<std::string> scenario_fields(const Scenario& s) {
  return {std::to_string(s.index), count(s.N), count(s.N1), count(s.N2), count(s.K),
          exact_number(s.d)};
}

std::string join(const std::vector<std::string>& fields, std::string_view separator) {
  std::string line;
  for (std::size_t i = 0; i < fields.size(); ++i) {
    if (i > 0) line += separator;
    line += fields[i];
  }
  return line;
}

void append_numbers(std::vector<std::string>& fields, const std::vector<double>& values) {
  for (double v : values) fields.push_back(exact_number(v));
}

std::vector<std::string> summary_fields(const Scenario& s, const ScenarioResult& r) {
  std::vector<std::string> fields = scenario_fields(s);
  fields.emplace_back(status(r));
  append_numbers(fields, exact_values(r));
  append_numbers(fields, population_values(r));
  append_numbers(fields, percentile_values(r));
  fields.push_back(std::to_string(r.warnings));
  return fields;
}

std::vector<std::string> entry_fields(const DistributionEntry& e) {
  return {count(e.NY), count(e.NX), exact_number(ratio_value(e.AI)), exact_number(e.PVS),
          exact_number(e.PVSC)};
}

// --- JSON ---

std::string json_value(const std::string& number) {
  return number.empty() ? "null" : number;
}

std::string json_object(const std::vector<std::string>& keys,
                        const std::vector<std::string>& values, std::size_t quoted_at) {
  std::string text = "{";
  for (std::size_t i = 0; i < keys.size(); ++i) {
    if (i > 0) text += ", ";
    text += "\"" + keys[i] + "\": ";
    text += i == quoted_at ? "\"" + values[i] + "\"" : json_value(values[i]);
  }
  return text + "}";
}

// --- Text ---

std::string right(std::string_view text, int width) {
  // At least one blank before the text, so that neighbouring columns never touch.
  const std::size_t w = std::max(static_cast<std::size_t>(width), text.size() + 1);
  std::string field(w - text.size(), ' ');
  field.append(text);
  return field;
}

std::string short_number(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.6g", value);
  return text;
}

std::string fixed_or_undefined(double value, int width, int decimals) {
  return std::isnan(value) ? right("undef", width) : format_fixed(value, width, decimals);
}

std::string text_header() {
  std::string line = right("N", COUNT_WIDTH) + right("N1", COUNT_WIDTH) + right("N2", COUNT_WIDTH) +
                     right("K", COUNT_WIDTH) + right("d", D_WIDTH);
  for (const char* name :
       {"P(AI<0.8)", "P(undef)", "E[SRA]", "E[SRI]", "E[AI]", "pop SRA", "pop SRI", "pop AI"}) {
    line += right(name, VALUE_WIDTH + 1);
  }
  for (std::int32_t level : NLDAT) {
    char name[8];
    std::snprintf(name, sizeof name, "P%02d", level);
    line += right(name, PERCENTILE_WIDTH);
  }
  return line + right("warn", WARNINGS_WIDTH) + "\n";
}

std::string text_row(const Scenario& s, const ScenarioResult& r) {
  // Counts wider than their column (N up to 10^7) push the row right rather than turn into stars.
  std::string line = right(count(s.N), COUNT_WIDTH) + right(count(s.N1), COUNT_WIDTH) +
                     right(count(s.N2), COUNT_WIDTH) + right(count(s.K), COUNT_WIDTH) +
                     right(short_number(s.d), D_WIDTH);
  const std::vector<double> exact = exact_values(r);
  for (std::size_t i = 0; i < exact.size(); ++i) {
    if (r.completed) {
      line += right(fixed_or_undefined(exact[i], VALUE_WIDTH, VALUE_DECIMALS), VALUE_WIDTH + 1);
    } else {
      line += right(i == 0 ? ABANDONED : "-", VALUE_WIDTH + 1);
    }
  }
  for (double v : population_values(r)) {
    line += right(fixed_or_undefined(v, VALUE_WIDTH, VALUE_DECIMALS), VALUE_WIDTH + 1);
  }
  for (double p : percentile_values(r)) {
    line += r.completed ? fixed_or_undefined(p, PERCENTILE_WIDTH, PERCENTILE_DECIMALS)
                        : right("-", PERCENTILE_WIDTH);
  }
  return line + format_integer(r.warnings, WARNINGS_WIDTH) + "\n";
}

std::string text_distribution(const Scenario& s, const ScenarioResult& r) {
  std::string text = "\nDistribution of S (minority hires) for N = " + count(s.N) +
                     ", N1 = " + count(s.N1) + ", N2 = " + count(s.N2) + ", K = " + count(s.K) +
                     ", d = " + short_number(s.d) + "\n";
  if (!r.completed) return text + "  abandoned: the outcome probabilities could not be computed\n";
  const int p_width = POINT_PROBABILITY_DECIMALS + 4;
  text += right("S", COUNT_WIDTH) + right("K-S", COUNT_WIDTH) + right("AI", VALUE_WIDTH) +
          right("P", p_width) + right("cumulative", p_width) + "\n";
  for (const DistributionEntry& e : r.distribution) {
    text += right(count(e.NY), COUNT_WIDTH) + right(count(e.NX), COUNT_WIDTH) +
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

std::vector<std::string> summary_columns() {
  std::vector<std::string> names = {"scenario",
                                    "N",
                                    "N1",
                                    "N2",
                                    "K",
                                    "d",
                                    "status",
                                    "P_below_four_fifths",
                                    "P_undefined",
                                    "expected_SRA",
                                    "expected_SRI",
                                    "expected_AI",
                                    "population_SRA",
                                    "population_SRI",
                                    "population_AI"};
  for (std::string_view p : PERCENTILE_NAMES) names.emplace_back(p);
  names.emplace_back("warnings");
  return names;
}

std::vector<std::string> distribution_columns() {
  return {"scenario",       "N",  "N1", "N2",          "K", "d", "status", "S",
          "majority_hires", "AI", "P",  "cumulative_P"};
}

std::string render_csv(const Grid& grid, const std::vector<ScenarioResult>& results,
                       bool distribution) {
  std::string text = join(distribution ? distribution_columns() : summary_columns(), ",") + "\n";
  for (std::size_t i = 0; i < results.size(); ++i) {
    const Scenario& s = grid.scenarios[i];
    const ScenarioResult& r = results[i];
    if (!distribution) {
      text += join(summary_fields(s, r), ",") + "\n";
      continue;
    }
    std::vector<std::string> lead = scenario_fields(s);
    lead.emplace_back(status(r));
    if (!r.completed) {
      text += join(lead, ",") + ",,,,,\n";
      continue;
    }
    for (const DistributionEntry& e : r.distribution) {
      text += join(lead, ",") + "," + join(entry_fields(e), ",") + "\n";
    }
  }
  return text;
}

std::string render_json(const Grid& grid, const std::vector<ScenarioResult>& results,
                        bool distribution) {
  const std::vector<std::string> keys = summary_columns();
  const std::size_t status_at = 6;
  const std::vector<std::string> entry_keys = {"S", "majority_hires", "AI", "P", "cumulative_P"};
  std::string text = "[";
  for (std::size_t i = 0; i < results.size(); ++i) {
    std::string record =
        json_object(keys, summary_fields(grid.scenarios[i], results[i]), status_at);
    if (distribution) {
      record.pop_back();  // the closing brace
      record += ", \"distribution\": [";
      const auto& entries = results[i].distribution;
      for (std::size_t m = 0; m < entries.size(); ++m) {
        if (m > 0) record += ", ";
        record += json_object(entry_keys, entry_fields(entries[m]), entry_keys.size());
      }
      record += "]}";
    }
    text += (i > 0 ? ",\n " : "\n ") + record;
  }
  return text + "\n]\n";
}

std::string render_text(const Grid& grid, const std::vector<ScenarioResult>& results,
                        bool distribution) {
  std::string text = text_header();
  for (std::size_t i = 0; i < results.size(); ++i) text += text_row(grid.scenarios[i], results[i]);
  if (distribution) {
    for (std::size_t i = 0; i < results.size(); ++i) {
      text += text_distribution(grid.scenarios[i], results[i]);
    }
  }
  return text;
}

}  // namespace kemro::grid
