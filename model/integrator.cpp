#include "model/integrator.hpp"

#include <gsl/gsl_errno.h>

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

IntegrationWorkspace::IntegrationWorkspace()
    : workspace_(gsl_integration_workspace_alloc(SUBINTERVAL_LIMIT)) {
  if (workspace_ == nullptr) throw std::bad_alloc();
}

IntegrationWorkspace::~IntegrationWorkspace() {
  gsl_integration_workspace_free(workspace_);
}

QagResult QAG(const gsl_function& F, double A, double B, double EPSABS, double EPSREL,
              IntegrationWorkspace& work) {
  QagResult out;
  const int status = gsl_integration_qag(&F, A, B, EPSABS, EPSREL, SUBINTERVAL_LIMIT,
                                         GSL_INTEG_GAUSS61, work.get(), &out.RESULT, &out.ABSERR);
  out.IER = integrator_code(status);
  return out;
}

GslErrorsAsCodes::GslErrorsAsCodes() {
  gsl_set_error_handler_off();
}

}  // namespace kemro
