#include "model/integrator.hpp"

#include <gsl/gsl_errno.h>

#include <algorithm>
#include <new>

namespace kemro {

int integrator_code(int gsl_status) {
  switch (gsl_status) {
    case GSL_SUCCESS:
      return 0;
    case GSL_EMAXITER:
      return 1;
    case GSL_EROUND:
      return 2;
    case GSL_ESING:
      return 3;
    default:
      return 6;
  }
}

IntegrationWorkspace::~IntegrationWorkspace() {
  if (workspace_ != nullptr) gsl_integration_workspace_free(workspace_);
}

gsl_integration_workspace* IntegrationWorkspace::get() {
  if (workspace_ == nullptr) {
    workspace_ = gsl_integration_workspace_alloc(SUBINTERVAL_LIMIT);
    if (workspace_ == nullptr) throw std::bad_alloc();
  }
  return workspace_;
}

QagResult QAG(const gsl_function& F, double A, double B, double EPSABS, double EPSREL,
              IntegrationWorkspace& work) {
  QagResult out;
  const int status = gsl_integration_qag(&F, A, B, EPSABS, EPSREL, SUBINTERVAL_LIMIT,
                                         GSL_INTEG_GAUSS61, work.get(), &out.RESULT, &out.ABSERR);
  out.IER = integrator_code(status);
  return out;
}

QagResult QAG_PIECEWISE(const gsl_function& F, double A, double B, std::span<const double> breaks,
                        double EPSABS, double EPSREL, IntegrationWorkspace& work) {
  const auto inside = [&](double x) { return x > A && x < B; };
  if (std::none_of(breaks.begin(), breaks.end(), inside)) {
    return QAG(F, A, B, EPSABS, EPSREL, work);
  }
  QagResult total;
  double left = A;
  const auto add_piece = [&](double right) {
    const QagResult piece = QAG(F, left, right, EPSABS, EPSREL, work);
    total.RESULT += piece.RESULT;
    total.ABSERR += piece.ABSERR;
    total.IER = std::max(total.IER, piece.IER);
    left = right;
  };
  for (double x : breaks) {
    if (inside(x)) add_piece(x);
  }
  add_piece(B);
  return total;
}

GslErrorsAsCodes::GslErrorsAsCodes() {
  gsl_set_error_handler_off();
}

}  // namespace kemro
