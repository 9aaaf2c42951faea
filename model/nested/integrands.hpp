// The order-statistic integrands. For the outcome with indices I (majority)
// and J (minority), counted from the bottom, the integral of FUN over x is the
// probability that the J-th smallest minority score lies below the I-th
// smallest majority score. Both read everything beyond their argument from
// the ModelState passed as GSL's params pointer.
#pragma once

#include <cstdint>

#include "model/nested/integration_plan.hpp"
#include "model/nested/model_state.hpp"

namespace kemro {

// Lower limit of the inner integration and guard point of FUN, unless the
// outcome's integration plan (state.plan) moves them further down.
inline constexpr double LOWER_LIMIT = FIXED_LOWER;

// Stores I and J and the log-beta terms ln B(N1 - I + 1, I) and
// ln B(N2 - J + 1, J) that FUN and FU1 divide by.
void set_outcome_indices(ModelState& state, std::int32_t I, std::int32_t J);

// Stores the log-beta terms for the I and J already in the state, and the
// logarithm of the density constant that FU1 and FUN add.
void store_log_beta_terms(ModelState& state);

// Fills the plan's G_at and IER_at for the J and minority log-beta term in the
// state, integrating FU1 piece by piece from the plan's lower end up to each
// inner breakpoint. Needs state.inner_workspace.
void tabulate_G(ModelState& state, IntegrationPlan& plan);

// FU1(y) = exp(ln phi(y;0) + (J-1) ln Phi(y) + (N2-J) ln(1 - Phi(y)) - ln B(N2-J+1, J)):
// the density of the J-th smallest of N2 standard normal scores.
double FU1(double y, void* params);

// FUN(x) = exp(ln G(x) + ln phi(x;d) + (I-1) ln Phi(x-d) + (N1-I) ln(1 - Phi(x-d))
//              - ln B(N1-I+1, I)), G(x) = integral of FU1 over [lower, x];
// 0 for x <= lower. The lower limit is -6.5, or the plan's lower end when
// state.plan is set, which also splits G's integral at its inner breakpoints
// (the pieces below the last breakpoint under x come from the plan's table);
// on such a split plan, FUN is 0 without integrating where f(x) underflows.
// Needs state.inner_workspace; reports inner integration trouble to
// state.listener (when set) and goes on with the estimate.
double FUN(double x, void* params);

}  // namespace kemro
