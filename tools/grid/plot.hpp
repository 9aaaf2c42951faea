// Self-contained SVG plots of a computed grid (no scripts, fonts or links
// outside the file).
#pragma once

#include <string>
#include <vector>

#include "tools/grid/options.hpp"
#include "tools/grid/scenario.hpp"

namespace kemro::grid {

// The distribution of AI for one scenario: one bar of point probability per
// outcome at its AI, bars below 0.8 set apart, the 0.8 line marked. Needs the
// scenario's distribution entries.
std::string distribution_svg(const Scenario& scenario, const ScenarioResult& result);

// P(AI < 0.8) against the first option that takes several values, one line per
// combination of the values of the other options that do. Abandoned scenarios
// leave a gap. `quantity` names what P_below_four_fifths holds.
std::string grid_svg(const Grid& grid, const std::vector<ScenarioResult>& results,
                     const std::string& quantity = "P(AI < 0.8)");

// distribution_svg for a grid of one scenario, grid_svg otherwise.
std::string plot_svg(const Grid& grid, const std::vector<ScenarioResult>& results);

// Text with &, <, >, " escaped for XML.
std::string xml_escape(const std::string& text);

}  // namespace kemro::grid
