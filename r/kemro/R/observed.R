# ai_observed(): kemro-observed's analysis of actual hiring decisions, one row
# per decision, the arguments recycled as R recycles.

#' @export
ai_observed <- function(N, N1, K, S, d = 0, alpha = 0.05, threshold = 0.8) {
  args <- list(N = check_counts(N, "N", lowest = 2L), N1 = check_counts(N1, "N1"),
               K = check_counts(K, "K"), S = check_counts(S, "S", lowest = 0L),
               d = check_reals(d, "d"))
  alpha <- check_reals(check_scalar(alpha, "alpha"), "alpha")
  if (alpha <= 0 || alpha >= 1) {
    abort_argument(sprintf("`alpha` must lie strictly between 0 and 1, not %s",
                           describe_value(alpha)))
  }
  threshold <- check_threshold(check_scalar(threshold, "threshold"))
  n <- recycled_length(args)
  decisions <- lapply(args, rep_len, length.out = n)
  N <- decisions$N
  N1 <- decisions$N1
  K <- decisions$K
  S <- decisions$S
  check_below_N(N1, N, "N1")
  check_below_N(K, N, "K")
  lowest <- pmax(0L, K - N1)
  highest <- pmin(K, N - N1)
  bad <- which(S < lowest | S > highest)
  if (length(bad) > 0L) {
    i <- bad[1]
    where <- if (n > 1L) sprintf(" (decision %d)", i) else ""
    abort_argument(sprintf("`S` must lie between max(0, K - N1) = %d and min(K, N - N1) = %d, not %d%s",
                           lowest[i], highest[i], S[i], where))
  }
  out <- as.data.frame(call_cpp(cpp_observed(N, N1, K, S, decisions$d, alpha, threshold)),
                       stringsAsFactors = FALSE)
  troubled <- out$status != "converged"
  if (any(troubled)) {
    warning(sprintf("the estimates of d did not all converge: status %s",
                    paste(unique(out$status[troubled]), collapse = ", ")), call. = FALSE)
  }
  out
}
