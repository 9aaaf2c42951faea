// The grid of scenarios that kemro-grid, its planning solves and the plots
// share: its dimensions, each dimension's axis of values, and the scenarios of
// the product with their place in it.
#pragma once

#include <array>
#include <cstddef>
#include <string>
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

}  // namespace kemro::grid
