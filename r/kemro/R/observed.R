# ai_observed(): kemro-observed's analysis of one actual hiring decision.

#' @export
ai_observed <- function(N, N1, K, S, d = 0, alpha = 0.05) {
  N <- check_counts(check_scalar(N, "N"), "N", lowest = 2L)
  N1 <- check_counts(check_scalar(N1, "N1"), "N1")
  K <- check_counts(check_scalar(K, "K"), "K")
  S <- check_counts(check_scalar(S, "S"), "S", lowest = 0L)
  d <- check_reals(d, "d")
  alpha <- check_reals(check_scalar(alpha, "alpha"), "alpha")
  if (alpha <= 0 || alpha >= 1) {
    abort_argument(sprintf("`alpha` must lie strictly between 0 and 1, not %s",
                           describe_value(alpha)))
  }
  check_below_N(N1, N, "N1")
  check_below_N(K, N, "K")
  lowest <- max(0L, K - N1)
  highest <- min(K, N - N1)
  if (S < lowest || S > highest) {
    abort_argument(sprintf("`S` must lie between max(0, K - N1) = %d and min(K, N - N1) = %d, not %d",
                           lowest, highest, S))
  }
  out <- as.data.frame(call_cpp(cpp_observed(N, N1, K, S, d, alpha)), stringsAsFactors = FALSE)
  troubled <- out$status != "converged"
  if (any(troubled)) {
    warning(sprintf("the estimates of d did not all converge: status %s",
                    paste(unique(out$status[troubled]), collapse = ", ")), call. = FALSE)
  }
  out
}
