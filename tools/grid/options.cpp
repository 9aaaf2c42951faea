#include "tools/grid/options.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>
#include <system_error>

#include "distribution/table.hpp"
#include "model/outcomes.hpp"

namespace kemro::grid {

namespace {

// Most decimals a real range is stepped with in exact decimal arithmetic.
constexpr int MAX_EXACT_DECIMALS = 12;
// Slack for a real range whose stop is reached only up to rounding.
constexpr double RANGE_SLACK = 1e-9;

std::string quoted(std::string_view text) {
  std::string q(1, '\'');
  q.append(text);
  q.push_back('\'');
  return q;
}

std::vector<std::string_view> split(std::string_view text, char separator) {
  std::vector<std::string_view> parts;
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = text.find(separator, start);
    parts.push_back(text.substr(start, end == std::string_view::npos ? end : end - start));
    if (end == std::string_view::npos) return parts;
    start = end + 1;
  }
}

bool parse_int64(std::string_view text, std::int64_t& value, std::string& error) {
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || ec == std::errc::invalid_argument || end != text.data() + text.size()) {
    error = quoted(text) + " is not a whole number";
    return false;
  }
  if (ec == std::errc::result_out_of_range || value < std::numeric_limits<std::int32_t>::min() ||
      value > std::numeric_limits<std::int32_t>::max()) {
    error = quoted(text) + " is out of range";
    return false;
  }
  return true;
}

bool parse_real(std::string_view text, double& value, std::string& error) {
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || ec == std::errc::invalid_argument || end != text.data() + text.size()) {
    error = quoted(text) + " is not a number";
    return false;
  }
  if (ec == std::errc::result_out_of_range || !std::isfinite(value)) {
    error = quoted(text) + " is not a finite number";
    return false;
  }
  return true;
}

// Digits after the decimal point of a plain decimal, or -1 for exponent notation.
int decimals_of(std::string_view text) {
  if (text.find_first_of("eE") != std::string_view::npos) return -1;
  const std::size_t point = text.find('.');
  return point == std::string_view::npos ? 0 : static_cast<int>(text.size() - point - 1);
}

bool check_range(double start, double stop, double step, std::string_view item,
                 std::string& error) {
  if (!(step > 0.0)) {
    error = "the step of range " + quoted(item) + " must be positive";
    return false;
  }
  if (stop < start) {
    error = "range " + quoted(item) + " is empty (its stop is below its start)";
    return false;
  }
  return true;
}

bool check_count(double count, std::string_view item, std::string& error) {
  if (count > static_cast<double>(MAX_VALUES_PER_OPTION)) {
    error = "range " + quoted(item) + " has more than " + std::to_string(MAX_VALUES_PER_OPTION) +
            " values";
    return false;
  }
  return true;
}

bool split_range(std::string_view item, std::vector<std::string_view>& parts, std::string& error) {
  parts = split(item, ':');
  if (parts.size() == 3) return true;
  error = quoted(item) + " is neither a value nor a range start:stop:step";
  return false;
}

bool append_count_item(std::string_view item, std::vector<std::int32_t>& values,
                       std::string& error) {
  std::int64_t value = 0;
  if (item.find(':') == std::string_view::npos) {
    if (!parse_int64(item, value, error)) return false;
    values.push_back(static_cast<std::int32_t>(value));
    return true;
  }
  std::vector<std::string_view> parts;
  std::int64_t start = 0;
  std::int64_t stop = 0;
  std::int64_t step = 0;
  if (!split_range(item, parts, error) || !parse_int64(parts[0], start, error) ||
      !parse_int64(parts[1], stop, error) || !parse_int64(parts[2], step, error) ||
      !check_range(static_cast<double>(start), static_cast<double>(stop), static_cast<double>(step),
                   item, error)) {
    return false;
  }
  const std::int64_t count = (stop - start) / step + 1;
  if (!check_count(static_cast<double>(count), item, error)) return false;
  for (std::int64_t i = 0; i < count; ++i) {
    values.push_back(static_cast<std::int32_t>(start + i * step));
  }
  return true;
}

// A real range is stepped in exact decimal arithmetic when its three numbers
// are plain decimals, so that 0:1:0.1 gives 0.3 and not 0.30000000000000004
// and reaches its stop exactly; otherwise in doubles with a little slack.
bool append_real_range(std::string_view item, std::vector<double>& values, std::string& error) {
  std::vector<std::string_view> parts;
  double start = 0.0;
  double stop = 0.0;
  double step = 0.0;
  if (!split_range(item, parts, error) || !parse_real(parts[0], start, error) ||
      !parse_real(parts[1], stop, error) || !parse_real(parts[2], step, error) ||
      !check_range(start, stop, step, item, error)) {
    return false;
  }
  int decimals = 0;
  for (std::string_view part : parts) {
    const int k = decimals_of(part);
    decimals = (k < 0 || decimals < 0) ? -1 : std::max(decimals, k);
  }
  const double scale = std::pow(10.0, decimals);
  const double exact_limit = 0x1p52;
  const bool exact = decimals >= 0 && decimals <= MAX_EXACT_DECIMALS &&
                     std::abs(start) * scale < exact_limit && std::abs(stop) * scale < exact_limit;
  if (exact) {
    const auto start_i = std::llround(start * scale);
    const auto stop_i = std::llround(stop * scale);
    const auto step_i = std::llround(step * scale);
    if (step_i <= 0) {
      error = "the step of range " + quoted(item) + " must be positive";
      return false;
    }
    const long long count = (stop_i - start_i) / step_i + 1;
    if (!check_count(static_cast<double>(count), item, error)) return false;
    for (long long i = 0; i < count; ++i) {
      values.push_back(static_cast<double>(start_i + i * step_i) / scale);
    }
    return true;
  }
  const double count = std::floor((stop - start) / step + RANGE_SLACK) + 1.0;
  if (!check_count(count, item, error)) return false;
  for (double i = 0.0; i < count; ++i) values.push_back(start + i * step);
  return true;
}

bool append_real_item(std::string_view item, std::vector<double>& values, std::string& error) {
  if (item.find(':') != std::string_view::npos) return append_real_range(item, values, error);
  double value = 0.0;
  if (!parse_real(item, value, error)) return false;
  values.push_back(value);
  return true;
}

template <typename T, typename AppendItem>
bool parse_list(std::string_view text, std::vector<T>& values, std::string& error,
                AppendItem append_item) {
  values.clear();
  if (text.empty()) {
    error = "an empty value";
    return false;
  }
  for (std::string_view item : split(text, ',')) {
    if (item.empty()) {
      error = quoted(text) + " has an empty list item";
      return false;
    }
    if (!append_item(item, values, error)) return false;
    if (values.size() > MAX_VALUES_PER_OPTION) {
      error = quoted(text) + " has more than " + std::to_string(MAX_VALUES_PER_OPTION) + " values";
      return false;
    }
  }
  return true;
}

bool parse_jobs(std::string_view text, unsigned& jobs, std::string& error) {
  std::int64_t value = 0;
  if (!parse_int64(text, value, error)) return false;
  if (value < 1 || value > MAX_JOBS) {
    error = "the number of jobs must be between 1 and " + std::to_string(MAX_JOBS);
    return false;
  }
  jobs = static_cast<unsigned>(value);
  return true;
}

bool parse_engine(std::string_view text, Engine& engine, std::string& error) {
  if (engine_from_name(text, engine)) return true;
  error = quoted(text) + " is not an engine (fast or nested)";
  return false;
}

// "I/N" with whole numbers 1 <= I <= N <= MAX_SCENARIOS.
bool parse_shard(std::string_view text, Shard& shard, std::string& error) {
  const std::vector<std::string_view> parts = split(text, '/');
  std::int64_t part = 0;
  std::int64_t count = 0;
  std::string ignored;
  if (parts.size() != 2 || !parse_int64(parts[0], part, ignored) ||
      !parse_int64(parts[1], count, ignored)) {
    error = quoted(text) + " is not a shard I/N (two whole numbers, 1 <= I <= N)";
    return false;
  }
  if (count < 1 || count > static_cast<std::int64_t>(MAX_SCENARIOS) || part < 1 || part > count) {
    error = "shard " + quoted(text) + " needs 1 <= I <= N <= " + std::to_string(MAX_SCENARIOS);
    return false;
  }
  shard = {part, count};
  return true;
}

// The options --solve may name, without their dashes.
constexpr std::string_view SOLVABLE[] = {"applicants", "minority-share", "selection-ratio", "d"};

bool parse_solve(std::string_view text, std::string& solve, std::string& error) {
  if (std::find(std::begin(SOLVABLE), std::end(SOLVABLE), text) == std::end(SOLVABLE)) {
    error = quoted(text) + " is not an option to solve for (applicants, minority-share, " +
            "selection-ratio or d)";
    return false;
  }
  solve = std::string(text);
  return true;
}

// The range of the option solved for: start:stop or start:stop:step. A
// count range without a step steps by 1; a share range without one stands
// for every count its shares round to; d takes start:stop only.
bool parse_solve_range(std::string_view option, std::string_view text, SolveRange& range,
                       std::string& error) {
  const std::vector<std::string_view> parts = split(text, ':');
  range.given = true;
  if (text.find(',') != std::string_view::npos || parts.size() < 2 || parts.size() > 3) {
    error = "when solving for it, give a range start:stop" +
            std::string(option == "d" ? "" : " or start:stop:step") + ", not " + quoted(text);
    return false;
  }
  if (option == "applicants") {
    std::int64_t start = 0;
    std::int64_t stop = 0;
    std::int64_t step = 1;
    if (!parse_int64(parts[0], start, error) || !parse_int64(parts[1], stop, error) ||
        (parts.size() == 3 && !parse_int64(parts[2], step, error)) ||
        !check_range(static_cast<double>(start), static_cast<double>(stop),
                     static_cast<double>(step), text, error)) {
      return false;
    }
    const std::int64_t count = (stop - start) / step + 1;
    if (count > static_cast<std::int64_t>(MAX_SOLVE_VALUES)) {
      error = "range " + quoted(text) + " has more than " + std::to_string(MAX_SOLVE_VALUES) +
              " values";
      return false;
    }
    for (std::int64_t i = 0; i < count; ++i) range.values.push_back(start + i * step);
    return true;
  }
  if (parts.size() == 3) {
    if (option == "d") {
      error = "when solving for it, give a range start:stop, not " + quoted(text);
      return false;
    }
    return append_real_range(text, range.values, error);
  }
  if (!parse_real(parts[0], range.low, error) || !parse_real(parts[1], range.high, error) ||
      !check_range(range.low, range.high, 1.0, text, error)) {
    return false;
  }
  range.every_count = option != "d";
  return true;
}

// The option name and its value of one argument, "--name value" or "--name=value".
struct OptionValue {
  std::string_view name;
  std::string_view value;
  bool has_value = false;
};

OptionValue split_option(std::string_view arg) {
  const std::size_t equals = arg.find('=');
  if (arg.starts_with("--") && equals != std::string_view::npos) {
    return {arg.substr(0, equals), arg.substr(equals + 1), true};
  }
  return {arg, {}, false};
}

bool is_flag(std::string_view name) {
  return name == "--distribution" || name == "--csv" || name == "--json" || name == "--help" ||
         name == "-h" || name == "--version";
}

bool is_valued(std::string_view name) {
  return name == "--applicants" || name == "--majority" || name == "--minority-share" ||
         name == "--hires" || name == "--selection-ratio" || name == "--d" || name == "--plot" ||
         name == "--jobs" || name == "--engine" || name == "--shard" || name == "--solve" ||
         name == "--target";
}

bool set_valued(GridOptions& o, std::string_view name, std::string_view value, std::string& error) {
  if (!o.solve.empty() && name.substr(2) == o.solve) {
    return parse_solve_range(o.solve, value, o.solve_range, error);
  }
  if (name == "--solve") return true;  // read before the other options
  if (name == "--target") return o.has_target = parse_target(value, o.target, error);
  if (name == "--applicants") return parse_count_list(value, o.applicants, error);
  if (name == "--majority") return parse_count_list(value, o.majority, error);
  if (name == "--minority-share") return parse_real_list(value, o.minority_share, error);
  if (name == "--hires") return parse_count_list(value, o.hires, error);
  if (name == "--selection-ratio") return parse_real_list(value, o.selection_ratio, error);
  if (name == "--d") return parse_real_list(value, o.d, error);
  if (name == "--jobs") return parse_jobs(value, o.jobs, error);
  if (name == "--engine") return parse_engine(value, o.engine, error);
  if (name == "--shard") return parse_shard(value, o.shard, error);
  if (value.empty()) {
    error = "an empty file name";
    return false;
  }
  o.plot_file = std::string(value);
  return true;
}

void set_flag(GridOptions& o, std::string_view name) {
  if (name == "--distribution") o.distribution = true;
  if (name == "--csv") o.format = Format::Csv;
  if (name == "--json") o.format = Format::Json;
}

// The options that must be given, each as one of two alternatives.
std::string missing_option(const GridOptions& o) {
  const auto solved = [&](std::string_view option) {
    return o.solve == option && o.solve_range.given;
  };
  if (o.applicants.empty() && !solved("applicants")) return "--applicants is required";
  if (o.majority.empty() && o.minority_share.empty() && !solved("minority-share")) {
    return "--majority or --minority-share is required";
  }
  if (o.hires.empty() && o.selection_ratio.empty() && !solved("selection-ratio")) {
    return "--hires or --selection-ratio is required";
  }
  if (o.d.empty() && !solved("d")) return "--d is required";
  return {};
}

// Why the options of a planning solve do not fit together, or an empty text.
std::string solve_error(const GridOptions& o) {
  if (o.solve.empty()) return o.has_target ? "--target needs --solve" : "";
  if (!o.has_target) return "--solve needs --target";
  if (!o.solve_range.given) {
    return "--solve " + o.solve + " needs --" + o.solve + " as a range start:stop" +
           (o.solve == "d" ? "" : " or start:stop:step");
  }
  if (o.solve == "minority-share" && !o.majority.empty()) {
    return "--majority and --minority-share exclude each other";
  }
  if (o.solve == "selection-ratio" && !o.hires.empty()) {
    return "--hires and --selection-ratio exclude each other";
  }
  if (o.distribution) return "--solve and --distribution exclude each other";
  if (o.shard.count > 1) return "--solve and --shard exclude each other";
  const bool continuous = o.solve == "d";
  if (continuous && o.target.comparison != Comparison::equal) {
    return "solving for d needs a target QUANTITY=VALUE";
  }
  if (!continuous && o.target.comparison == Comparison::equal) {
    return "solving for " + o.solve + " needs a target QUANTITY<=VALUE or QUANTITY>=VALUE";
  }
  if (o.solve != "applicants" && o.solve != "d") {
    const SolveRange& r = o.solve_range;
    const double low = r.every_count ? r.low : r.values.front();
    const double high = r.every_count ? r.high : r.values.back();
    if (!(low > 0.0 && high < 1.0)) {
      return "--" + o.solve + " range is not between 0 and 1 (exclusive)";
    }
  }
  return {};
}

// Why a share is not strictly between 0 and 1, or an empty text.
std::string share_error(const std::vector<double>& values, std::string_view option) {
  for (double v : values) {
    if (!(v > 0.0 && v < 1.0)) {
      char text[64];
      std::snprintf(text, sizeof text, "%.17g", v);
      return std::string(option) + " " + text + " is not between 0 and 1 (exclusive)";
    }
  }
  return {};
}

// Why the scenario options do not fit together, or an empty text.
std::string combination_error(const GridOptions& o) {
  if (!o.majority.empty() && !o.minority_share.empty()) {
    return "--majority and --minority-share exclude each other";
  }
  if (!o.hires.empty() && !o.selection_ratio.empty()) {
    return "--hires and --selection-ratio exclude each other";
  }
  if (std::string error = solve_error(o); !error.empty()) return error;
  if (o.shard.count > 1 && o.format == Format::Text) {
    return "--shard needs --csv or --json (shards are merged by their scenario column)";
  }
  if (o.shard.count > 1 && !o.plot_file.empty()) {
    return "--shard and --plot exclude each other (a shard holds part of the grid)";
  }
  std::string error = missing_option(o);
  if (error.empty()) error = share_error(o.minority_share, "--minority-share");
  if (error.empty()) error = share_error(o.selection_ratio, "--selection-ratio");
  return error;
}

}  // namespace

bool parse_count_list(std::string_view text, std::vector<std::int32_t>& values,
                      std::string& error) {
  return parse_list(text, values, error, append_count_item);
}

bool parse_real_list(std::string_view text, std::vector<double>& values, std::string& error) {
  return parse_list(text, values, error, append_real_item);
}

ParsedOptions parse_options(std::span<const std::string_view> args) {
  ParsedOptions parsed;
  GridOptions& o = parsed.options;
  for (std::string_view arg : args) {
    if (arg == "--help" || arg == "-h") o.help = true;
    if (arg == "--version") o.version = true;
  }
  if (o.help || o.version) return parsed;
  // The option solved for is read as a range, whatever its place on the line.
  for (std::size_t i = 0; i < args.size(); ++i) {
    std::string_view value;
    if (args[i] == "--solve" && i + 1 < args.size())
      value = args[i + 1];
    else if (args[i].starts_with("--solve="))
      value = args[i].substr(8);
    else
      continue;
    if (!parse_solve(value, o.solve, parsed.error)) {
      parsed.error = "--solve: " + parsed.error;
      return parsed;
    }
  }

  std::vector<std::string_view> seen;
  bool csv = false;
  bool json = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    OptionValue option = split_option(args[i]);
    const std::string name(option.name);
    if (!is_flag(option.name) && !is_valued(option.name)) {
      parsed.error = option.name.starts_with("-") ? "unknown option " + quoted(option.name)
                                                  : "unexpected argument " + quoted(option.name);
      return parsed;
    }
    for (std::string_view s : seen) {
      if (s == option.name) {
        parsed.error = name + " is given more than once";
        return parsed;
      }
    }
    seen.push_back(option.name);
    if (is_flag(option.name)) {
      if (option.has_value) {
        parsed.error = name + " takes no value";
        return parsed;
      }
      csv = csv || option.name == "--csv";
      json = json || option.name == "--json";
      set_flag(o, option.name);
      continue;
    }
    if (!option.has_value) {
      if (i + 1 == args.size()) {
        parsed.error = name + " needs a value";
        return parsed;
      }
      option.value = args[++i];
    }
    std::string error;
    if (!set_valued(o, option.name, option.value, error)) {
      parsed.error = name + ": " + error;
      return parsed;
    }
  }
  parsed.error = csv && json ? "--csv and --json exclude each other" : combination_error(o);
  return parsed;
}

namespace {

Axis count_axis(std::string option, std::string symbol, const std::vector<std::int32_t>& values) {
  Axis axis{std::move(option), std::move(symbol), {}};
  for (std::int32_t v : values) axis.values.push_back(v);
  return axis;
}

Axis real_axis(std::string option, std::string symbol, const std::vector<double>& values) {
  return {std::move(option), std::move(symbol), values};
}

// round(share * N), halves away from zero; share in (0, 1) keeps it within [0, N].
std::int64_t share_of(double share, std::int32_t N) {
  return std::llround(share * static_cast<double>(N));
}

// Whether the scenario with 1-based grid index i belongs to the shard.
bool in_shard(std::size_t i, const Shard& shard) {
  return static_cast<std::int64_t>((i - 1) % static_cast<std::size_t>(shard.count)) ==
         shard.part - 1;
}

}  // namespace

std::array<Axis, DIMENSIONS> grid_axes(const GridOptions& o) {
  const bool by_share = !o.minority_share.empty() || o.solve == "minority-share";
  const bool by_ratio = !o.selection_ratio.empty() || o.solve == "selection-ratio";
  return {count_axis("--applicants", "N", o.applicants),
          by_share ? real_axis("--minority-share", "N2/N", o.minority_share)
                   : count_axis("--majority", "N1", o.majority),
          by_ratio ? real_axis("--selection-ratio", "K/N", o.selection_ratio)
                   : count_axis("--hires", "K", o.hires),
          real_axis("--d", "d", o.d)};
}

std::string scenario_name(const kemro::Scenario& s) {
  char d[64];
  std::snprintf(d, sizeof d, "%.17g", s.d);
  return "N = " + std::to_string(s.N) + ", N1 = " + std::to_string(s.N1) +
         ", K = " + std::to_string(s.K) + ", d = " + d;
}

GridOutcome build_grid(const GridOptions& o) {
  GridOutcome out;
  Grid& grid = out.grid;
  const bool by_share = !o.minority_share.empty();
  const bool by_ratio = !o.selection_ratio.empty();
  grid.axes = grid_axes(o);

  std::size_t total = 1;
  for (const Axis& axis : grid.axes) {
    if (axis.values.empty() || axis.values.size() > MAX_SCENARIOS / total) {
      out.error = "the grid has no scenario or more than " + std::to_string(MAX_SCENARIOS);
      return out;
    }
    total *= axis.values.size();
  }

  grid.scenarios.reserve((total + o.shard.count - 1) / o.shard.count);
  Scenario s;
  std::size_t index = 0;
  for (s.at[APPLICANTS] = 0; s.at[APPLICANTS] < o.applicants.size(); ++s.at[APPLICANTS]) {
    s.N = o.applicants[s.at[APPLICANTS]];
    for (s.at[MAJORITY] = 0; s.at[MAJORITY] < grid.axes[MAJORITY].values.size(); ++s.at[MAJORITY]) {
      const std::int64_t N1 = by_share ? s.N - share_of(o.minority_share[s.at[MAJORITY]], s.N)
                                       : o.majority[s.at[MAJORITY]];
      for (s.at[HIRES] = 0; s.at[HIRES] < grid.axes[HIRES].values.size(); ++s.at[HIRES]) {
        const std::int64_t K =
            by_ratio ? share_of(o.selection_ratio[s.at[HIRES]], s.N) : o.hires[s.at[HIRES]];
        for (s.at[EFFECT_SIZE] = 0; s.at[EFFECT_SIZE] < o.d.size(); ++s.at[EFFECT_SIZE]) {
          // Shares keep N1 and K within [0, N]; given counts are 32-bit already.
          s.N1 = static_cast<std::int32_t>(N1);
          s.N2 = static_cast<std::int32_t>(std::int64_t{s.N} - N1);
          s.K = static_cast<std::int32_t>(K);
          s.d = o.d[s.at[EFFECT_SIZE]];
          s.index = ++index;
          const std::string why =
              scenario_invalid_reason(s, o.engine, by_share ? "N1 = N - round(N2/N * N)" : "N1",
                                      by_ratio ? "K = round(K/N * N)" : "K");
          if (!why.empty()) {
            out.error = "scenario " + scenario_name(s) + ": " + why;
            return out;
          }
          if (in_shard(s.index, o.shard)) grid.scenarios.push_back(s);
        }
      }
    }
  }
  return out;
}

}  // namespace kemro::grid
