// A thin wrapper around GSL's adaptive Gauss-Kronrod integrator (QAG with the
// 61-point rule): a work area allocated once, and GSL statuses mapped onto the
// integrator codes the rest of the model reports.
#pragma once

#include <gsl/gsl_errno.h>
#include <gsl/gsl_integration.h>

#include <cstddef>
#include <span>

namespace kemro {

// Most subintervals either integration level may use.
inline constexpr std::size_t SUBINTERVAL_LIMIT = 25000;

// Integrator codes: 0 success, 1 subdivision limit, 2 round-off,
// 3 bad integrand behaviour, 6 any other failure (invalid input).
int integrator_code(int gsl_status);

// One integration work area of SUBINTERVAL_LIMIT subintervals, owned for a
// run and allocated at its first use, so that one never used (that of a
// worker computing only with the fast engine) costs no memory. get() throws
// std::bad_alloc when the allocation fails.
class IntegrationWorkspace {
 public:
  IntegrationWorkspace() = default;
  ~IntegrationWorkspace();
  IntegrationWorkspace(const IntegrationWorkspace&) = delete;
  IntegrationWorkspace& operator=(const IntegrationWorkspace&) = delete;

  gsl_integration_workspace* get();
  // Whether get() has allocated the work area.
  bool allocated() const { return workspace_ != nullptr; }

 private:
  gsl_integration_workspace* workspace_ = nullptr;
};

struct QagResult {
  double RESULT = 0.0;
  double ABSERR = 0.0;
  int IER = 0;  // integrator code, see integrator_code
};

// Integrates F over [A, B] with the 61-point rule, asking for an estimated
// error of at most max(EPSABS, EPSREL * |RESULT|). RESULT is the estimate
// even when IER is non-zero.
QagResult QAG(const gsl_function& F, double A, double B, double EPSABS, double EPSREL,
              IntegrationWorkspace& work);

// Integrates F over [A, B] cut at those breakpoints (ascending) that lie
// strictly inside (A, B): one QAG per piece with the same tolerances, left to
// right. RESULT and ABSERR are the sums over the pieces, IER the largest code
// of any piece. Without a breakpoint inside, this is exactly QAG(F, A, B, ...).
QagResult QAG_PIECEWISE(const gsl_function& F, double A, double B, std::span<const double> breaks,
                        double EPSABS, double EPSREL, IntegrationWorkspace& work);

// Keeps GSL from aborting for as long as it lives; restores the previous handler.
class QuietGslErrors {
 public:
  QuietGslErrors() : previous_(gsl_set_error_handler_off()) {}
  ~QuietGslErrors() { gsl_set_error_handler(previous_); }
  QuietGslErrors(const QuietGslErrors&) = delete;
  QuietGslErrors& operator=(const QuietGslErrors&) = delete;

 private:
  gsl_error_handler_t* previous_;
};

// Turns GSL's abort-on-error handler off for good, so that every GSL failure
// comes back to its caller as a status.
struct GslErrorsAsCodes {
  GslErrorsAsCodes();
};

// The two work areas of a run: the outer integration over outcomes and the
// inner one inside FUN. The handler is switched off (base class) when they are
// made, before either is allocated at its first use.
class Integrators : private GslErrorsAsCodes {
 public:
  IntegrationWorkspace outer;
  IntegrationWorkspace inner;
};

}  // namespace kemro
