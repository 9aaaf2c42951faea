// The outcome stage: P(S <= t) for every feasible number t of minority hires
// but the largest, by nested adaptive Gauss-Kronrod integration, with the
// plausibility tests and retries on narrower ranges.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string_view>

#include "model/nested/integration_plan.hpp"
#include "model/nested/model_state.hpp"

namespace kemro {

// What the outcome stage reports while it runs. The model writes nothing
// itself; the driver turns these calls into console records.
class OutcomeListener {
 public:
  virtual ~OutcomeListener() = default;
  // The inner integration of FUN returned a non-zero code (1, 2, 3 or 6).
  virtual void integration_warning(int ier) = 0;
  // An outcome was accepted or clamped: m, I, J, PROB(m) and the unclamped RESULT.
  virtual void trace_row(std::int32_t m, std::int32_t I, std::int32_t J, double prob,
                         double result) = 0;
  // The outer integration returned a non-zero code; the run goes on with its RESULT.
  virtual void abnormal_return(int ier) = 0;
  // A one-line note on how the integration was adapted to the problem.
  virtual void notice(std::string_view text) = 0;
};

struct OutcomeStageResult {
  bool completed = false;                 // false: abandoned after the retry limits
  std::int32_t M = 0;                     // table entries: integrated outcomes + 1
  std::int32_t L = 0;                     // smallest feasible number of minority hires
  std::int32_t first_majority_hires = 0;  // K - L
};

// Number of table entries a problem needs: max(1, min(K, N2) - max(0, K - N1) + 1),
// in 64 bits so that no answer can overflow it.
std::int64_t entries_needed(std::int32_t N1, std::int32_t N2, std::int32_t K);

class Integrators;

// Fills PROB[1..M-1] with P(S <= L + m - 1), m = 1 .. M - 1, by integrating FUN
// over [A, B] (first [-6.5, 6.5], narrower on retries) with the outer work
// area, FUN integrating FU1 with the inner one. PROB is indexed from 1
// (PROB[0] is unused); running out of room counts as abandonment (M = 0).
// Reports trace rows, integration warnings and abnormal returns to the listener.
// Unless state.adapt_integration is off, each outcome is integrated after its
// integration plan: split at breakpoints where its order statistics are too
// narrow for the rule, and over a wider first range where [-6.5, 6.5] would
// cut off more than 1e-9; the listener hears a notice for each kind of
// adaptation the run uses, before the first trace row.
// Unless state.parallel_outcomes is off or there is only one core, the next
// outcomes' first attempts are integrated ahead on a second thread (see
// OutcomeLookahead); the values, the evaluation counts and what the listener
// hears, in its order, are those of the computation on one thread.
OutcomeStageResult outcome_stage(ModelState& state, Integrators& work, std::span<double> PROB,
                                 OutcomeListener& listener);

// One attempt at the outcome whose I and J are stored in the state: its
// log-beta terms, G tabulated at the plan's inner breakpoints, and P(S <= t)
// as the outer integral of FUN over [A, B], split at the plan's outer
// breakpoints. The state must point at the plan and at an inner work area
// other than work.outer. An abnormal return goes to the listener; FUN's
// warnings go to state.listener.
double integrate_outcome(ModelState& state, Integrators& work, OutcomeListener& listener,
                         IntegrationPlan& plan, double A, double B);

// The range of an outcome's first attempt; each retry narrows it by 0.1 at both ends.
struct OutcomeRange {
  double A = FIXED_LOWER;
  double B = FIXED_UPPER;
};

// Prepares outcome m, whose I and J the loop has just stored in the state,
// and returns the range of its first attempt. Not called for saturated outcomes.
using OutcomeSetup = std::function<OutcomeRange(std::int32_t m)>;

// The console notes of the outcome stage, each given at most once per run and
// before the first trace row: the integrals are split at breakpoints, or the
// range is widened beyond [-6.5, 6.5].
inline constexpr std::string_view REFINED_NOTICE =
    "The applicant pool needs a finer integration: its order statistics are too narrow for the "
    "fixed rule, so the integrals are split at breakpoints.";
inline constexpr std::string_view WIDENED_NOTICE =
    "The scores reach beyond [-6.5, 6.5] with a probability that matters: the integration range "
    "is widened.";

// One attempt at outcome m over [A, B]: returns the integrator's RESULT for the
// outcome whose I and J the loop has just stored in the state.
using OutcomeAttempt = std::function<double(std::int32_t m, double A, double B)>;

// The outcome loop with its saturation, overshoot and decrease tests and the
// retries on narrower ranges; `setup` gives each integrated outcome its first
// range and `attempt` does the integration. outcome_stage is this loop with
// the integration plan as its setup and the nested integration as its attempt.
OutcomeStageResult outcome_loop(ModelState& state, std::span<double> PROB,
                                OutcomeListener& listener, const OutcomeSetup& setup,
                                const OutcomeAttempt& attempt);

// The same loop with every outcome starting from [-6.5, 6.5].
OutcomeStageResult outcome_loop(ModelState& state, std::span<double> PROB,
                                OutcomeListener& listener, const OutcomeAttempt& attempt);

}  // namespace kemro
