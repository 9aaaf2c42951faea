// The population stage: the cutoff u above which the share K/N of the mixed
// applicant population lies, and the population selection rates at u.
#pragma once

#include "model/nested/model_state.hpp"

namespace kemro {

struct PopulationValues {
  double cutoff = 0.0;  // u
  double SRA = 0.0;     // 1 - PHID(u - d)
  double SRI = 0.0;     // 1 - PHID(u)
  double AI = 0.0;      // SRI / SRA, unguarded
};

// The parameters FUN1 reads through GSL's params pointer.
struct CutoffParams {
  const ModelState* state;
  const CFUN* share;
};

// f(u) = r*(1 - PHID(u - d)) + (1 - r)*(1 - PHID(u)) - K/(N1 + N2)
double FUN1(double u, void* params);

// Solves FUN1(u) = 0 on [-8, 8] and derives SRA, SRI and AI. Writes nothing.
PopulationValues population_stage(const ModelState& state, const CFUN& share);

}  // namespace kemro
