// The population values of the selection rule to full double precision.
//
// With scores N(d, 1) in the majority group (share r = N1/N) and N(0, 1) in
// the minority group, hiring the share p = K/N of the population takes
// everyone above the cutoff u where
//   r Q(u - d) + (1 - r) Q(u) = p,   Q(x) = P(Z > x),
// and the population rates and ratio are SRA = Q(u - d), SRI = Q(u) and
// AI = SRI / SRA. The console report keeps its own procedure and digits
// (model/population.hpp); this one serves kemro-grid, kemro-observed and R.
#pragma once

#include <cstdint>

namespace kemro {

// How far the population values are right.
enum class PopulationStatus {
  exact,           // each value to about 1e-12 relative (the cutoff to about 1e-15)
  rate_underflow,  // a rate or AI lies below the smallest normal double (about
                   // 2.2e-308): it shows as 0 or with fewer digits
  ratio_overflow,  // AI lies beyond the largest double (SRA underflows): AI is +Inf
  invalid_input    // not 1 <= N1, 1 <= N2, 1 <= K <= N - 1 and a finite d; values NaN
};

struct PrecisePopulation {
  double cutoff = 0.0;  // u, the minority group's standard score at the cutoff
  double SRA = 0.0;     // Q(u - d)
  double SRI = 0.0;     // Q(u)
  double AI = 0.0;      // SRI / SRA
  PopulationStatus status = PopulationStatus::invalid_input;
  int evaluations = 0;  // evaluations of the cutoff equation
};

// The validating entry: refuses counts and effect sizes outside the model
// (status invalid_input, values NaN), then solves the cutoff equation.
PrecisePopulation precise_population(std::int32_t N1, std::int32_t N2, std::int32_t K, double d);

// The name of a status as the outputs show it ("exact", "rate_underflow", ...).
const char* population_status_name(PopulationStatus status);

}  // namespace kemro
