// Load-time setup of the package's compiled code: GSL's default error handler
// would end the R process on any GSL failure, so it is switched off for good
// and every GSL failure comes back to the model as a status.
#include <Rcpp.h>
#include <gsl/gsl_errno.h>

// [[Rcpp::init]]
void kemro_switch_gsl_errors_off(DllInfo* /*dll*/) {
  gsl_set_error_handler_off();
}
