// The grid of scenarios that kemro-grid, its planning solves and the plots
// share: its dimensions, the scenario options that span them (one table),
// each dimension's axis of values, and the scenarios of the product with their
// place in it. Building a grid checks every scenario and computes nothing.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "distribution/scenario.hpp"
#include "distribution/scenario_summary.hpp"

namespace kemro::grid {

// The library's summary of one scenario, as the grid's renderers take it.
using kemro::DistributionEntry;
using kemro::FOUR_FIFTHS;
using kemro::ScenarioResult;

// The dimensions of the grid, outermost first; the rules' levels vary fastest.
enum Dimension : std::size_t { APPLICANTS, MAJORITY, HIRES, EFFECT_SIZE, ALPHA, THRESHOLD };
inline constexpr std::size_t DIMENSIONS = 6;
// The dimensions of the model itself; the others only set the rules' levels.
inline constexpr std::size_t MODEL_DIMENSIONS = 4;

// Most scenarios in one grid.
inline constexpr std::size_t MAX_SCENARIOS = 100000;

// How a scenario option gives its dimension's values.
enum class AxisKind {
  Count,  // whole numbers of people
  Share,  // a share of the applicants, rounded to a count per scenario
  Real,   // the effect size and the rules' levels
};

// One scenario option: the only place its name, symbol and words are written.
struct DimensionOption {
  std::string_view name;    // the option without its dashes: "minority-share"
  std::string_view symbol;  // in labels and records: "N2/N"
  std::string_view words;   // on a plot's axis and in its legend: "Minority share"
  Dimension dimension;      // the dimension it spans
  AxisKind kind;            // what its values are
  bool solvable;            // a planning solve (--solve) may search it
};

// Every scenario option, in grid order; of two options for one dimension the
// count comes first.
inline constexpr std::array<DimensionOption, 8> DIMENSION_OPTIONS = {{
    {"applicants", "N", "Number of applicants", APPLICANTS, AxisKind::Count, true},
    {"majority", "N1", "Majority applicants", MAJORITY, AxisKind::Count, false},
    {"minority-share", "N2/N", "Minority share", MAJORITY, AxisKind::Share, true},
    {"hires", "K", "Number of hires", HIRES, AxisKind::Count, false},
    {"selection-ratio", "K/N", "Selection ratio", HIRES, AxisKind::Share, true},
    {"d", "d", "Effect size d", EFFECT_SIZE, AxisKind::Real, true},
    {"alpha", "alpha", "Level alpha", ALPHA, AxisKind::Real, false},
    {"threshold", "T", "Four-fifths threshold", THRESHOLD, AxisKind::Real, false},
}};

// The scenario option of that name (without dashes), or nullptr.
const DimensionOption* dimension_option(std::string_view name);

// One dimension: the option that spans it and its values as given.
struct Axis {
  std::string option;          // "--applicants", "--minority-share", ..., "--threshold"
  std::string symbol;          // "N", "N2/N", ..., "alpha", "T"
  std::vector<double> values;  // in the order given
};

// A scenario of the library (N, N1, N2, K, d) and where it sits in the grid.
struct Scenario : kemro::Scenario {
  std::size_t index = 0;                     // 1-based position in the whole grid
  std::array<std::size_t, DIMENSIONS> at{};  // index into each axis's values
};

struct Grid {
  std::array<Axis, DIMENSIONS> axes;
  std::vector<Scenario> scenarios;  // product order (the effect size varies fastest), of the shard
};

// The axis that `option` spans with `values` ("--" and its name, its symbol).
Axis axis_of(const DimensionOption& option, std::vector<double> values);

// The words an axis is labelled with ("Number of applicants"); those of d for
// an option the table does not know.
std::string axis_words(const Axis& axis);

// One part of a grid split over several runs: the scenarios whose 1-based
// grid index i satisfies (i - 1) mod count = part - 1.
struct Shard {
  std::int64_t part = 1;   // I, 1 <= I <= count
  std::int64_t count = 1;  // N, at most MAX_SCENARIOS
};

struct GridOutcome {
  Grid grid;
  std::string error;  // empty when every scenario is valid
  bool ok() const { return error.empty(); }
};

// "N = 100, N1 = 80, K = 20, d = 0.5", the name by which errors point to a scenario.
std::string scenario_name(const kemro::Scenario& scenario);

// The scenario of N applicants with a value of the majority axis (N1, or the
// minority share N2/N with N1 = N - round(share * N)) and of the hires axis
// (K, or the selection ratio with K = round(ratio * N)), halves away from
// zero. Counts outside 32 bits are clamped to it, which the scenario check
// then refuses.
kemro::Scenario scenario_at(std::span<const Axis, DIMENSIONS> axes, std::int64_t N, double majority,
                            double hires, double d, const RuleLevels& levels);

// The product of the axes' values (every axis must have one at least). Every
// scenario of the whole grid must be one `engine` can compute
// (scenario_invalid_reason); the first one that is not is named in the error.
// Only the scenarios of the shard are kept, each with its grid index.
GridOutcome build_grid(const std::array<Axis, DIMENSIONS>& axes, Engine engine, const Shard& shard);

}  // namespace kemro::grid
