// The grid of scenarios (grid.hpp): each dimension's axis from its option,
// their product in grid order, and every scenario checked before any is computed.
#include "distribution/grid.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "model/message_text.hpp"

namespace kemro::grid {

namespace {

// round(share * N), halves away from zero.
std::int64_t share_of(double share, std::int64_t N) {
  return std::llround(share * static_cast<double>(N));
}

// Whether the scenario with 1-based grid index i belongs to the shard.
bool in_shard(std::size_t i, const Shard& shard) {
  return static_cast<std::int64_t>((i - 1) % static_cast<std::size_t>(shard.count)) ==
         shard.part - 1;
}

// Whether an axis holds shares rather than counts.
bool by_share(const Axis& axis) {
  const DimensionOption* option = dimension_option(std::string_view(axis.option).substr(2));
  return option != nullptr && option->kind == AxisKind::Share;
}

}  // namespace

const DimensionOption* dimension_option(std::string_view name) {
  for (const DimensionOption& option : DIMENSION_OPTIONS) {
    if (option.name == name) return &option;
  }
  return nullptr;
}

Axis axis_of(const DimensionOption& option, std::vector<double> values) {
  return {"--" + std::string(option.name), std::string(option.symbol), std::move(values)};
}

std::string axis_words(const Axis& axis) {
  const std::string_view name =
      axis.option.size() > 2 ? std::string_view(axis.option).substr(2) : std::string_view();
  const DimensionOption* option = dimension_option(name);
  return std::string(option != nullptr ? option->words : dimension_option("d")->words);
}

std::string scenario_name(const kemro::Scenario& s) {
  return "N = " + std::to_string(s.N) + ", N1 = " + std::to_string(s.N1) +
         ", K = " + std::to_string(s.K) + ", d = " + message::number_text(s.d);
}

kemro::Scenario scenario_at(std::span<const Axis, DIMENSIONS> axes, std::int64_t N, double majority,
                            double hires, double d, const RuleLevels& levels) {
  const std::int64_t N1 =
      by_share(axes[MAJORITY]) ? N - share_of(majority, N) : static_cast<std::int64_t>(majority);
  const std::int64_t K =
      by_share(axes[HIRES]) ? share_of(hires, N) : static_cast<std::int64_t>(hires);
  const auto narrow = [](std::int64_t v) {
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(v, INT32_MIN, INT32_MAX));
  };
  return {narrow(N), narrow(N1), narrow(N - N1), narrow(K), d, levels};
}

GridOutcome build_grid(const std::array<Axis, DIMENSIONS>& axes, Engine engine,
                       const Shard& shard) {
  GridOutcome out;
  Grid& grid = out.grid;
  grid.axes = axes;

  std::size_t total = 1;
  for (const Axis& axis : grid.axes) {
    if (axis.values.empty() || axis.values.size() > MAX_SCENARIOS / total) {
      out.error = "the grid has no scenario or more than " + std::to_string(MAX_SCENARIOS);
      return out;
    }
    total *= axis.values.size();
  }
  const char* N1_name = by_share(axes[MAJORITY]) ? "N1 = N - round(N2/N * N)" : "N1";
  const char* K_name = by_share(axes[HIRES]) ? "K = round(K/N * N)" : "K";

  grid.scenarios.reserve((total + shard.count - 1) / shard.count);
  // The product, outermost first: the index of each axis counts up like the
  // digits of a number whose last digit (the threshold) turns fastest.
  Scenario s;
  for (std::size_t index = 1; index <= total; ++index) {
    static_cast<kemro::Scenario&>(s) =
        scenario_at(axes, static_cast<std::int64_t>(axes[APPLICANTS].values[s.at[APPLICANTS]]),
                    axes[MAJORITY].values[s.at[MAJORITY]], axes[HIRES].values[s.at[HIRES]],
                    axes[EFFECT_SIZE].values[s.at[EFFECT_SIZE]],
                    {axes[ALPHA].values[s.at[ALPHA]], axes[THRESHOLD].values[s.at[THRESHOLD]]});
    s.index = index;
    const std::string why = scenario_invalid_reason(s, engine, N1_name, K_name);
    if (!why.empty()) {
      out.error = "scenario " + scenario_name(s) + ": " + why;
      return out;
    }
    if (in_shard(s.index, shard)) grid.scenarios.push_back(s);
    for (std::size_t a = DIMENSIONS; a-- > 0;) {
      if (++s.at[a] < axes[a].values.size()) break;
      s.at[a] = 0;
    }
  }
  return out;
}

}  // namespace kemro::grid
