# ai_solve(): kemro-grid's planning solves, the design value at which a
# per-scenario quantity reaches a target.

# Each argument of ai_solve() with the option name kemro-grid gives it: its
# column name in the records and its text in `solved_for`.
SOLVE_OPTIONS <- c(N = "applicants", N1 = "majority", minority_share = "minority-share",
                   K = "hires", selection_ratio = "selection-ratio", d = "d")
# The arguments a solve may search over, as kemro-grid's --solve allows.
SOLVABLE <- c("d", "N", "minority_share", "selection_ratio")

#' @export
ai_solve <- function(target, solve_for = c("d", "N", "minority_share", "selection_ratio"),
                     N = NULL, N1 = NULL, K = NULL, d = NULL, minority_share = NULL,
                     selection_ratio = NULL, engine = c("fast", "nested"), jobs = 0L,
                     alpha = 0.05, threshold = 0.8) {
  if (!is.character(target) || length(target) != 1L || is.na(target)) {
    abort_argument("`target` must be one text such as \"P_below_four_fifths<=0.1\"")
  }
  solve_for <- check_choice(solve_for, "solve_for", SOLVABLE)
  bounded <- grepl("<=|>=", target)
  if (solve_for == "d" && bounded) {
    abort_argument("solving for d needs a `target` QUANTITY=VALUE")
  }
  if (solve_for != "d" && !bounded) {
    abort_argument(sprintf("solving for %s needs a `target` QUANTITY<=VALUE or QUANTITY>=VALUE",
                           solve_for))
  }
  engine <- check_engine(engine)
  jobs <- check_counts(check_scalar(jobs, "jobs"), "jobs", lowest = 0L)
  given <- list(N = N, N1 = N1, minority_share = minority_share, K = K,
                selection_ratio = selection_ratio, d = d, alpha = alpha, threshold = threshold)
  if (is.null(given$N)) abort_argument("`N` is required")
  if (is.null(given$d)) abort_argument("`d` is required")
  if (is.null(N1) == is.null(minority_share)) {
    abort_argument("give exactly one of `N1` and `minority_share`")
  }
  if (is.null(K) == is.null(selection_ratio)) {
    abort_argument("give exactly one of `K` and `selection_ratio`")
  }
  if (is.null(given[[solve_for]])) {
    abort_argument(sprintf("`%s` must give the values to search, as `solve_for` is \"%s\"",
                           solve_for, solve_for))
  }
  given <- given[!vapply(given, is.null, logical(1))]
  checked <- Map(function(x, name) {
    switch(name,
           N = check_counts(x, name, lowest = 2L),
           N1 = , K = check_counts(x, name),
           minority_share = , selection_ratio = check_shares(x, name),
           d = check_reals(x, name),
           alpha = check_alpha(x),
           threshold = check_threshold(x))
  }, given, names(given))
  if (solve_for == "d") {
    range <- checked$d
    if (length(range) != 2L || range[1] >= range[2]) {
      abort_argument("`d` must be the range to search, two values c(low, high) with low < high")
    }
  }

  # One record per combination of the other arguments' values, in kemro-grid's
  # order (N slowest, d fastest).
  others <- checked[setdiff(names(checked), solve_for)]
  records <- expand.grid(rev(others), KEEP.OUT.ATTRS = FALSE)[names(others)]
  counts <- function(rows, values) {
    # The scenario of each record in `rows` with the solved argument at `values`.
    s <- records[rows, , drop = FALSE]
    s[[solve_for]] <- values
    N <- as.integer(s$N)
    N1 <- if (is.null(s$N1)) N - as.integer(round_half_away(s$minority_share * N)) else as.integer(s$N1)
    K <- if (is.null(s$K)) as.integer(round_half_away(s$selection_ratio * N)) else as.integer(s$K)
    check_below_N(N1, N, "N1", if (is.null(s$N1)) "N - round(minority_share * N)")
    check_below_N(K, N, "K", if (is.null(s$K)) "round(selection_ratio * N)")
    list(N = N, N1 = N1, K = K, d = as.double(s$d), alpha = as.double(s$alpha),
         threshold = as.double(s$threshold))
  }
  n <- nrow(records)
  if (solve_for == "d") {
    s <- counts(seq_len(n), range[1])
    raw <- call_cpp(cpp_solve_d(s$N, s$N1, s$K, s$alpha, s$threshold, range[1], range[2], target,
                                engine, jobs))
  } else {
    values <- checked[[solve_for]]
    rows <- rep(seq_len(n), each = length(values))
    s <- counts(rows, rep(values, times = n))
    raw <- call_cpp(cpp_solve_discrete(rows, rep(values, times = n), s$N, s$N1, s$K, s$d,
                                       s$alpha, s$threshold, target, SOLVE_OPTIONS[[solve_for]],
                                       engine, jobs))
  }

  # The model's arguments first, then the solve's own fields as the library
  # names them; the rules' levels close the record, as in kemro-grid.
  levels <- c("alpha", "threshold")
  out <- records[setdiff(names(records), levels)]
  names(out) <- gsub("-", "_", SOLVE_OPTIONS[names(out)])
  rownames(out) <- NULL
  out[names(raw)] <- raw
  out$alpha <- records$alpha
  out$threshold <- records$threshold
  unsolved <- out$status %in% c("abandoned", "evaluation limit")
  if (any(unsolved)) {
    warning(sprintf("%d of %d searches ended early: %s", sum(unsolved), n,
                    paste(unique(out$status[unsolved]), collapse = ", ")), call. = FALSE)
  }
  out
}
