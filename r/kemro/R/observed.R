# ai_observed(): kemro-observed's analysis of actual hiring decisions, one row
# per decision, the arguments recycled as R recycles.

#' @export
ai_observed <- function(N, N1, K, S, d = 0, alpha = 0.05, threshold = 0.8, groups = NULL,
                        group_applicants = NULL, group_hires = NULL, reference = NULL,
                        minority = NULL) {
  if (!is.null(groups) || !is.null(group_applicants) || !is.null(group_hires)) {
    given <- c(N = !missing(N), N1 = !missing(N1), K = !missing(K), S = !missing(S))
    if (any(given)) {
      abort_argument(sprintf("`%s` cannot be combined with several groups",
                             names(given)[given][1]))
    }
    return(observed_groups(groups, group_applicants, group_hires, reference, minority, d,
                           alpha, threshold))
  }
  if (!is.null(reference) || !is.null(minority)) {
    abort_argument("`reference` and `minority` need several groups")
  }
  args <- list(N = check_counts(N, "N", lowest = 2L), N1 = check_counts(N1, "N1"),
               K = check_counts(K, "K"), S = check_counts(S, "S", lowest = 0L),
               d = check_reals(d, "d"))
  alpha <- check_observed_alpha(alpha)
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
  warn_unconverged(out)
}

# The records of ai_observed(), with one warning that lists the statuses of
# the estimates of d that did not converge, if any.
warn_unconverged <- function(out) {
  troubled <- out$status != "converged"
  if (any(troubled)) {
    warning(sprintf("the estimates of d did not all converge: status %s",
                    paste(unique(out$status[troubled]), collapse = ", ")), call. = FALSE)
  }
  out
}

# The alpha of ai_observed(): one value strictly between 0 and 1.
check_observed_alpha <- function(alpha) {
  alpha <- check_reals(check_scalar(alpha, "alpha"), "alpha")
  if (alpha <= 0 || alpha >= 1) {
    abort_argument(sprintf("`alpha` must lie strictly between 0 and 1, not %s",
                           describe_value(alpha)))
  }
  alpha
}

# One group's name for `reference` or `minority`: NULL, or one of the names.
check_group_name <- function(x, name, names) {
  if (is.null(x)) return("")
  if (!is.character(x) || length(x) != 1L || is.na(x)) {
    abort_argument(sprintf("`%s` must be one group's name", name))
  }
  if (!(x %in% names)) {
    abort_argument(sprintf("`%s` \"%s\" is not a group; the groups are %s", name, x,
                           paste0("\"", names, "\"", collapse = ", ")))
  }
  x
}

# ai_observed() for several groups: each group against the reference, as
# kemro-observed compares the groups of applicant data.
observed_groups <- function(groups, group_applicants, group_hires, reference, minority, d, alpha,
                            threshold) {
  if (!is.null(groups)) {
    if (!is.null(group_applicants) || !is.null(group_hires)) {
      abort_argument("`group_applicants` and `group_hires` cannot be combined with `groups`")
    }
    if (!is.data.frame(groups)) {
      abort_argument(sprintf("`groups` must be a data frame, not %s", class(groups)[1]))
    }
    for (column in c("name", "applicants", "hires")) {
      if (!(column %in% names(groups))) {
        abort_argument(sprintf("`groups` must have a column `%s`", column))
      }
    }
    names <- as.character(groups$name)
    group_applicants <- groups$applicants
    group_hires <- groups$hires
  } else {
    if (is.null(group_applicants) || is.null(group_hires)) {
      abort_argument("give both `group_applicants` and `group_hires`, named by group")
    }
    names <- names(group_applicants)
    if (is.null(names) || !identical(names(group_hires), names)) {
      abort_argument("`group_applicants` and `group_hires` must be named by group, in one order")
    }
  }
  if (anyNA(names) || any(names == "") || anyDuplicated(names)) {
    abort_argument("the groups' names must be distinct and not empty")
  }
  applicants <- check_counts(group_applicants, "group_applicants")
  hires <- check_counts(group_hires, "group_hires", lowest = 0L)
  if (length(applicants) != length(names) || length(hires) != length(names)) {
    abort_argument("`group_applicants` and `group_hires` need one value per group")
  }
  bad <- which(hires > applicants)
  if (length(bad) > 0L) {
    abort_argument(sprintf("`group_hires` must not exceed `group_applicants`: group \"%s\" has %d of %d",
                           names[bad[1]], hires[bad[1]], applicants[bad[1]]))
  }
  reference <- check_group_name(reference, "reference", names)
  minority <- check_group_name(minority, "minority", names)
  out <- as.data.frame(call_cpp(cpp_observed_groups(names, as.double(applicants),
                                                    as.double(hires), reference, minority,
                                                    check_reals(d, "d"),
                                                    check_observed_alpha(alpha),
                                                    check_threshold(check_scalar(threshold,
                                                                                 "threshold")))),
                       stringsAsFactors = FALSE)
  warn_unconverged(out)
}
