#include "model/nested/outcomes.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>
#include <thread>
#include <utility>

#include "model/integrator.hpp"
#include "model/nested/integrands.hpp"
#include "model/nested/integration_plan.hpp"
#include "model/nested/outcome_lookahead.hpp"

namespace kemro {
namespace {

constexpr double NARROWING_STEP = 0.1;              // range after r retries: [A + 0.1r, B - 0.1r]
constexpr double OUTER_EPSABS = 1e-9;               // absolute accuracy asked of P(S <= t)
constexpr double OUTER_EPSREL = 1e-8;               // relative accuracy asked of P(S <= t)
constexpr double SATURATION_THRESHOLD = 1e-8;       // previous value this close to 1: next is 1
constexpr double OVERSHOOT_TOLERANCE = 5e-7;        // excess over 1 clamped rather than retried
constexpr double DECREASE_TOLERANCE = 4e-7;         // drop below the previous value that is retried
constexpr std::int32_t OVERSHOOT_RETRY_LIMIT = 25;  // an overshoot taking r above it abandons
constexpr std::int32_t DECREASE_RETRY_LIMIT = 35;   // a decrease taking r above it abandons

std::int32_t saturate_to_int32(std::int64_t value) {
  constexpr std::int64_t lo = std::numeric_limits<std::int32_t>::min();
  constexpr std::int64_t hi = std::numeric_limits<std::int32_t>::max();
  return static_cast<std::int32_t>(std::clamp(value, lo, hi));
}

// What became of one outcome's attempts.
enum class Verdict { accepted, abandoned };

// Attempts outcome m, first over `first`, until a value is accepted or clamped
// (one trace row) or the retry limits are passed. PROB[m] holds the last
// attempt's value.
Verdict settle_outcome(std::int32_t m, OutcomeRange first, const ModelState& state,
                       std::span<double> PROB, OutcomeListener& listener,
                       const OutcomeAttempt& attempt) {
  std::int32_t r = 0;
  double A = first.A;
  double B = first.B;
  for (;;) {
    const double RESULT = attempt(m, A, B);
    PROB[m] = RESULT;
    if (PROB[m] > 1.0) {
      if (PROB[m] - 1.0 <= OVERSHOOT_TOLERANCE) {
        PROB[m] = 1.0;
        listener.trace_row(m, state.I, state.J, PROB[m], RESULT);
        return Verdict::accepted;
      }
      if (++r > OVERSHOOT_RETRY_LIMIT) return Verdict::abandoned;
    } else if (m > 1 && PROB[m] <= PROB[m - 1] - DECREASE_TOLERANCE) {
      if (++r > DECREASE_RETRY_LIMIT) return Verdict::abandoned;
    } else {
      listener.trace_row(m, state.I, state.J, PROB[m], RESULT);
      return Verdict::accepted;
    }
    A = first.A + NARROWING_STEP * r;
    B = first.B - NARROWING_STEP * r;
  }
}

// Gives the listener each kind of notice once.
class PlanNotices {
 public:
  explicit PlanNotices(OutcomeListener& listener) : listener_(listener) {}

  void tell(bool refined, bool widened) {
    if (refined && !refined_told_) listener_.notice(REFINED_NOTICE);
    if (widened && !widened_told_) listener_.notice(WIDENED_NOTICE);
    refined_told_ = refined_told_ || refined;
    widened_told_ = widened_told_ || widened;
  }

 private:
  OutcomeListener& listener_;
  bool refined_told_ = false;
  bool widened_told_ = false;
};

// The most outcomes the loop integrates: every feasible one but the largest,
// as far as PROB has room for them.
std::int32_t outcomes_to_integrate(const ModelState& state, std::span<double> PROB) {
  const std::int64_t L = std::max<std::int64_t>(0, std::int64_t{state.K} - state.N1);
  const std::int64_t outcomes = std::min<std::int64_t>(state.K, state.N2) - L;
  const auto room = static_cast<std::int64_t>(PROB.size()) - 1;
  return saturate_to_int32(std::max<std::int64_t>(0, std::min(outcomes, room)));
}

bool worth_a_second_thread(const ModelState& state, std::int32_t outcomes) {
  return state.parallel_outcomes && outcomes > 1 && std::thread::hardware_concurrency() > 1;
}

// The outcome loop integrating each outcome when its turn comes.
OutcomeStageResult integrate_in_turn(ModelState& state, Integrators& work, std::span<double> PROB,
                                     OutcomeListener& listener, IntegrationPlan& plan,
                                     PlanNotices& notices) {
  const auto setup = [&](std::int32_t) {
    plan = plan_outcome(state);
    notices.tell(plan.refined(), plan.widened());
    return OutcomeRange{plan.lower, plan.upper};
  };
  const auto attempt = [&](std::int32_t, double A, double B) {
    return integrate_outcome(state, work, listener, plan, A, B);
  };
  return outcome_loop(state, PROB, listener, setup, attempt);
}

// The same loop with each outcome's first attempt taken from the lookahead,
// which has mostly integrated it already; only retries are integrated in turn.
// Its notices, the attempt's warnings and its evaluation counts are passed on
// when the loop uses it, as if it had been integrated then.
OutcomeStageResult integrate_ahead(ModelState& state, Integrators& work, std::span<double> PROB,
                                   OutcomeListener& listener, IntegrationPlan& plan,
                                   PlanNotices& notices, std::int32_t outcomes) {
  OutcomeLookahead lookahead(state, outcomes, work);
  std::optional<double> first_result;
  const auto setup = [&](std::int32_t m) {
    const FirstAttempt first = lookahead.take(m);
    plan = first.plan;
    notices.tell(plan.refined(), plan.widened());
    first.replay(listener);
    state.FU1_evaluations += first.FU1_evaluations;
    state.FUN_evaluations += first.FUN_evaluations;
    first_result = first.RESULT;
    return OutcomeRange{plan.lower, plan.upper};
  };
  const auto attempt = [&](std::int32_t, double A, double B) {
    if (first_result) return std::exchange(first_result, std::nullopt).value();
    return integrate_outcome(state, work, listener, plan, A, B);
  };
  return outcome_loop(state, PROB, listener, setup, attempt);
}

}  // namespace

std::int64_t entries_needed(std::int32_t N1, std::int32_t N2, std::int32_t K) {
  const std::int64_t L = std::max<std::int64_t>(0, std::int64_t{K} - N1);
  const std::int64_t top = std::min<std::int64_t>(K, N2);
  return std::max<std::int64_t>(1, top - L + 1);
}

double integrate_outcome(ModelState& state, Integrators& work, OutcomeListener& listener,
                         IntegrationPlan& plan, double A, double B) {
  store_log_beta_terms(state);
  tabulate_G(state, plan);
  gsl_function F{&FUN, &state};
  const QagResult outer =
      QAG_PIECEWISE(F, A, B, plan.outer.points(), OUTER_EPSABS, OUTER_EPSREL, work.outer);
  if (outer.IER != 0) listener.abnormal_return(outer.IER);
  return outer.RESULT;
}

OutcomeStageResult outcome_loop(ModelState& state, std::span<double> PROB,
                                OutcomeListener& listener, const OutcomeSetup& setup,
                                const OutcomeAttempt& attempt) {
  const std::int64_t N1 = state.N1;
  const std::int64_t N2 = state.N2;
  const std::int64_t K = state.K;
  const std::int64_t L = std::max<std::int64_t>(0, K - N1);
  const std::int64_t U = std::min(K, N2) - 1;

  OutcomeStageResult stage;
  stage.L = saturate_to_int32(L);
  stage.first_majority_hires = saturate_to_int32(K - L);

  std::int64_t m = 0;
  for (std::int64_t t = L; t <= U; ++t) {
    ++m;
    if (m >= static_cast<std::int64_t>(PROB.size())) return stage;  // no room: abandoned
    state.I = static_cast<std::int32_t>(N1 - (K - t) + 1);
    state.J = static_cast<std::int32_t>(N2 - t);
    if (m > 1 && std::fabs(1.0 - PROB[m - 1]) < SATURATION_THRESHOLD) {
      PROB[m] = 1.0;
      continue;
    }
    const auto outcome = static_cast<std::int32_t>(m);
    const OutcomeRange first = setup(outcome);
    if (settle_outcome(outcome, first, state, PROB, listener, attempt) == Verdict::abandoned) {
      return stage;
    }
  }
  stage.completed = true;
  stage.M = saturate_to_int32(m + 1);
  return stage;
}

OutcomeStageResult outcome_loop(ModelState& state, std::span<double> PROB,
                                OutcomeListener& listener, const OutcomeAttempt& attempt) {
  return outcome_loop(
      state, PROB, listener, [](std::int32_t) { return OutcomeRange{}; }, attempt);
}

OutcomeStageResult outcome_stage(ModelState& state, Integrators& work, std::span<double> PROB,
                                 OutcomeListener& listener) {
  state.inner_workspace = &work.inner;
  state.listener = &listener;
  IntegrationPlan plan;
  state.plan = &plan;

  // Notices go out before the first trace row: for the outcomes expected to
  // be integrated, from the survey; for any other, before its own attempts.
  PlanNotices notices(listener);
  const PlanSurvey survey = survey_plans(state);
  notices.tell(survey.refined, survey.widened);
  const std::int32_t outcomes = outcomes_to_integrate(state, PROB);
  const OutcomeStageResult result =
      worth_a_second_thread(state, outcomes)
          ? integrate_ahead(state, work, PROB, listener, plan, notices, outcomes)
          : integrate_in_turn(state, work, PROB, listener, plan, notices);
  state.plan = nullptr;  // the plan lives no longer than this call
  return result;
}

}  // namespace kemro
