// The shared model state: everything the cutoff equation and the integrands
// need beyond their single argument. One instance lives for the whole run; it
// reaches the integrands through GSL's `params` pointer.
#pragma once

#include <cmath>
#include <cstdint>

namespace kemro {

class IntegrationWorkspace;
class OutcomeListener;
struct IntegrationPlan;

struct ModelState {
  double majority_lnbeta = 0.0;       // ln B(N1 - I + 1, I), set per outcome
  double minority_lnbeta = 0.0;       // ln B(N2 - J + 1, J), set per outcome with the majority term
  double density_constant = 0.0;      // 1/sqrt(2*pi), set once at start
  double log_density_constant = 0.0;  // its logarithm, set per outcome with the log-beta terms
  double d = 0.0;                     // effect size: majority mean minus minority mean
  std::int32_t J = 0;                 // minority order-statistic index (from the bottom)
  std::int32_t I = 0;                 // majority order-statistic index (from the bottom)
  std::int32_t N1 = 0;                // majority applicants
  std::int32_t N2 = 0;                // minority applicants, N - N1
  std::int32_t K = 0;                 // number to hire

  // Run-time links of the integrands, set by the outcome stage before it integrates.
  IntegrationWorkspace* inner_workspace = nullptr;  // FUN's own work area for FU1
  OutcomeListener* listener = nullptr;              // receives FUN's integration warnings
  const IntegrationPlan* plan = nullptr;  // the outcome's range and breakpoints; none: [-6.5, 6.5]

  // Whether the outcome stage plans each outcome's integrations (breakpoints,
  // a wider range) where the fixed layout would miss probability. When off,
  // every outcome is integrated over [-6.5, 6.5] without breakpoints.
  bool adapt_integration = true;

  // Whether the outcome stage may integrate outcomes ahead of their turn on a
  // second thread; the results are the same either way. Callers that already
  // run several analyses at once switch it off.
  bool parallel_outcomes = true;

  // Evaluation counts since the state was made, for benchmarks.
  std::uint64_t FU1_evaluations = 0;
  std::uint64_t FUN_evaluations = 0;
};

// The majority share r = N1/N, read by the cutoff equation FUN1.
struct CFUN {
  double majority_share = 0.0;
};

// 1/sqrt(2*pi): the normal density constant, computed once at the start of a run.
inline double normal_density_constant() {
  return 1.0 / std::sqrt(6.283185307179586);
}

// The state of one problem: N1 majority and N2 minority applicants, K hires,
// effect size d and the density constant set; everything else as defaulted.
inline ModelState problem_state(std::int32_t N1, std::int32_t N2, std::int32_t K, double d) {
  ModelState state;
  state.density_constant = normal_density_constant();
  state.d = d;
  state.N1 = N1;
  state.N2 = N2;
  state.K = K;
  return state;
}

}  // namespace kemro
