// The summary of one computed scenario as every front end reports it: the
// four-fifths probabilities, the expected rates and AI, the percentiles of AI,
// the population values and their status, the fast engine's status, error
// estimate and evaluation count, a count of numerical warnings and, when asked
// for, the whole distribution of S. compute_scenario runs one scenario with a
// chosen engine; kemro-grid, the planning solves and the R package all call it.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "distribution/analysis.hpp"
#include "distribution/four_fifths.hpp"
#include "distribution/rules.hpp"
#include "distribution/scenario.hpp"
#include "distribution/summaries.hpp"
#include "distribution/table.hpp"
#include "model/fast/population.hpp"
#include "model/integrator.hpp"
#include "model/nested/population.hpp"

namespace kemro {

// The adverse impact ratio below which the four-fifths rule counts as violated.
inline constexpr double FOUR_FIFTHS = 0.8;

// One outcome S = NY of the distribution.
struct DistributionEntry {
  std::int32_t NY = 0;  // minority hires S
  std::int32_t NX = 0;  // majority hires K - S
  double AI = 0.0;      // UNDEFINED_RATIO when NX = 0
  double PVS = 0.0;     // P(S = NY)
  double PVSC = 0.0;    // P(S <= NY)
};

struct ScenarioResult {
  bool completed = false;  // false: the outcome stage gave up; only `population` is set
  // The engine that computed the distribution. The fast engine's own result
  // follows unchanged: how it ended, its estimated absolute error summed over
  // all outcomes, and the integrand terms it evaluated (OutcomeProbabilities).
  // The nested engine has none of the three: they keep these defaults, and its
  // trouble is counted in `warnings`.
  Engine engine = Engine::fast;
  EngineStatus engine_status = EngineStatus::converged;
  double error_estimate = 0.0;
  std::uint64_t evaluations = 0;
  // The population values to full double precision (model/fast/population.hpp),
  // whichever engine computed the distribution, and how far they are right.
  PopulationValues population;
  PopulationStatus population_status = PopulationStatus::exact;
  double expected_SRA = 0.0;
  double expected_SRI = 0.0;
  double expected_AI = 0.0;                        // NaN when no outcome has a defined ratio
  std::array<double, NLDAT.size()> percentiles{};  // UNDEFINED_RATIO where undefined
  double P_below_four_fifths = 0.0;                // P(AI defined and AI < 0.8)
  double P_undefined = 0.0;                        // P(no majority hire)
  RuleRates P_flag{};  // each rule's flag rate at the scenario's levels, in RULES order
  // Integration warnings and abnormal returns of the nested engine, and
  // negative point probabilities; how the fast engine ended is engine_status.
  int warnings = 0;
  std::vector<DistributionEntry> distribution;  // every outcome's entry in order, when asked for
};

// The work areas of one computing thread; make them on the thread that
// switches GSL's error handler off (the constructor does so) before any work.
struct ScenarioWork {
  Integrators integrators;  // used by the nested engine only
  Table table;              // likewise; sized to each scenario, empty until then
};

// Computes one scenario, which must be valid for the engine
// (scenario_invalid_reason empty). With `keep_distribution` the result holds
// every entry of the distribution. The fast engine's outcome probabilities are
// summarised as they come, without the work areas; the nested engine fills
// work.table first. Both summarise the same way, so that a table built from
// the fast engine's probabilities (analyse_fast) gives the same values bit for bit.
ScenarioResult compute_scenario(const Scenario& scenario, Engine engine, bool keep_distribution,
                                ScenarioWork& work);

}  // namespace kemro
