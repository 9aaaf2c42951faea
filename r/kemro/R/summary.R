# ai_summary(): the per-scenario summary of kemro-grid for vectors of
# scenarios, recycled as R recycles or crossed as a grid.

# The columns of kemro-grid's CSV summary, in its order.
SUMMARY_COLUMNS <- c(
  "scenario", "N", "N1", "N2", "K", "d", "status", "P_below_four_fifths", "P_undefined",
  "expected_SRA", "expected_SRI", "expected_AI", "population_SRA", "population_SRI",
  "population_AI", "AI_P05", "AI_P10", "AI_P25", "AI_P50", "AI_P75", "AI_P90", "AI_P95",
  "warnings", "alpha", "threshold", "P_flag_four_fifths", "P_flag_z", "P_flag_z_ir",
  "P_flag_fisher", "P_flag_fisher_one_sided", "P_flag_fisher_mid_p", "P_flag_four_fifths_and_z",
  "P_flag_four_fifths_and_fisher", "P_flag_four_fifths_flip"
)

#' @export
ai_summary <- function(N, N1 = NULL, K = NULL, d, minority_share = NULL,
                       selection_ratio = NULL, engine = c("fast", "nested"), grid = FALSE,
                       jobs = 0L, alpha = 0.05, threshold = 0.8) {
  if (is.null(N1) == is.null(minority_share)) {
    abort_argument("give exactly one of `N1` and `minority_share`")
  }
  if (is.null(K) == is.null(selection_ratio)) {
    abort_argument("give exactly one of `K` and `selection_ratio`")
  }
  engine <- check_engine(engine)
  if (!is.logical(grid) || length(grid) != 1L || is.na(grid)) {
    abort_argument("`grid` must be TRUE or FALSE")
  }
  jobs <- check_counts(check_scalar(jobs, "jobs"), "jobs", lowest = 0L)

  args <- list(N = check_counts(N, "N", lowest = 2L), d = check_reals(d, "d"),
               alpha = check_alpha(alpha), threshold = check_threshold(threshold))
  if (is.null(N1)) {
    args$minority_share <- check_shares(minority_share, "minority_share")
  } else {
    args$N1 <- check_counts(N1, "N1")
  }
  if (is.null(K)) {
    args$selection_ratio <- check_shares(selection_ratio, "selection_ratio")
  } else {
    args$K <- check_counts(K, "K")
  }
  # kemro-grid's order: N outermost, then N1 or the share, K or the ratio, d,
  # alpha, and the threshold fastest.
  order <- intersect(c("N", "N1", "minority_share", "K", "selection_ratio", "d", "alpha",
                       "threshold"), names(args))
  args <- args[order]
  if (grid) {
    scenarios <- expand.grid(rev(args), KEEP.OUT.ATTRS = FALSE, stringsAsFactors = FALSE)
    scenarios <- scenarios[order]
  } else {
    n <- recycled_length(args)
    scenarios <- lapply(args, rep_len, length.out = n)
  }

  N <- as.integer(scenarios$N)
  if (is.null(N1)) {
    N1 <- N - as.integer(round_half_away(scenarios$minority_share * N))
    check_below_N(N1, N, "N1", "N - round(minority_share * N)")
  } else {
    N1 <- as.integer(scenarios$N1)
    check_below_N(N1, N, "N1")
  }
  if (is.null(K)) {
    K <- as.integer(round_half_away(scenarios$selection_ratio * N))
    check_below_N(K, N, "K", "round(selection_ratio * N)")
  } else {
    K <- as.integer(scenarios$K)
    check_below_N(K, N, "K")
  }

  out <- as.data.frame(call_cpp(cpp_summary(N, N1, K, as.double(scenarios$d),
                                            as.double(scenarios$alpha),
                                            as.double(scenarios$threshold), engine, jobs)),
                       stringsAsFactors = FALSE)
  abandoned <- which(out$status != "computed")
  if (length(abandoned) > 0L) {
    warning(sprintf("%d of %d scenarios could not be computed (their values are NA): scenario %s",
                    length(abandoned), nrow(out), paste(utils::head(abandoned, 10), collapse = ", ")),
            call. = FALSE)
  }
  if (sum(out$warnings) > 0L) {
    warning(sprintf("integration warnings in %d scenario(s); see the `warnings` column",
                    sum(out$warnings > 0L)), call. = FALSE)
  }
  out
}
