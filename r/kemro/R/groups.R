# ai_summary() with several groups: kemro-grid's group options as R
# arguments, a data frame of groups or named vectors, top-down or by a cut
# score.

# The groups' names, shares or counts and effect sizes from a data frame
# (columns name, share or count, d) or from the vectors, whose names may
# give the groups' names.
group_design <- function(groups, group_names, group_shares, group_counts, group_d) {
  if (!is.null(groups)) {
    given <- c(group_names = !is.null(group_names), group_shares = !is.null(group_shares),
               group_counts = !is.null(group_counts), group_d = !is.null(group_d))
    if (any(given)) {
      abort_argument(sprintf("`%s` cannot be combined with `groups`", names(given)[given][1]))
    }
    if (!is.data.frame(groups)) {
      abort_argument(sprintf("`groups` must be a data frame, not %s", class(groups)[1]))
    }
    for (column in c("name", "d")) {
      if (!(column %in% names(groups))) {
        abort_argument(sprintf("`groups` must have a column `%s`", column))
      }
    }
    if (("share" %in% names(groups)) == ("count" %in% names(groups))) {
      abort_argument("`groups` must have one of the columns `share` and `count`")
    }
    group_names <- as.character(groups$name)
    group_shares <- groups$share
    group_counts <- groups$count
    group_d <- groups$d
  }
  if (is.null(group_shares) == is.null(group_counts)) {
    abort_argument("give exactly one of `group_shares` and `group_counts`")
  }
  if (is.null(group_d)) abort_argument("`group_d` is required with several groups")
  sized <- if (is.null(group_shares)) group_counts else group_shares
  if (is.null(group_names)) group_names <- names(sized)
  if (is.null(group_names)) {
    abort_argument("`group_names` is required, or names on `group_shares` or `group_counts`")
  }
  if (!is.character(group_names) || anyNA(group_names)) {
    abort_argument("`group_names` must be a character vector without NA")
  }
  if (!is.null(names(group_d)) && !identical(names(group_d), group_names)) {
    abort_argument("the names of `group_d` must be the groups' names, in their order")
  }
  list(names = group_names,
       shares = if (is.null(group_shares)) double() else check_shares(group_shares, "group_shares"),
       counts = if (is.null(group_counts)) integer() else check_counts(group_counts, "group_counts"),
       d = check_reals(group_d, "group_d"))
}

# The several-group records of kemro-grid for N (by default the sum of the
# counts) and the hires, selection ratios or cut scores, recycled or crossed.
group_summary <- function(N, K, selection_ratio, cut_score, selection, grid, design) {
  if (selection == "top-down") {
    if (!is.null(cut_score)) abort_argument("`cut_score` needs `selection = \"cut-score\"`")
    if (is.null(K) == is.null(selection_ratio)) {
      abort_argument("give exactly one of `K` and `selection_ratio`")
    }
  } else {
    if (!is.null(K)) {
      abort_argument("`selection = \"cut-score\"` takes `cut_score` or `selection_ratio`, not `K`")
    }
    if (is.null(cut_score) == is.null(selection_ratio)) {
      abort_argument("give exactly one of `cut_score` and `selection_ratio`")
    }
  }
  if (is.null(N)) {
    if (length(design$counts) == 0L) abort_argument("`N` is required with `group_shares`")
    N <- sum(design$counts)
  }
  args <- list(N = check_counts(N, "N", lowest = 2L))
  if (!is.null(K)) {
    args$K <- check_counts(K, "K")
  } else if (!is.null(selection_ratio)) {
    args$selection_ratio <- check_shares(selection_ratio, "selection_ratio")
  } else {
    args$cut_score <- check_reals(cut_score, "cut_score")
  }
  if (grid) {
    scenarios <- expand.grid(rev(args), KEEP.OUT.ATTRS = FALSE)[names(args)]
  } else {
    scenarios <- lapply(args, rep_len, length.out = recycled_length(args))
  }
  n <- length(scenarios$N)
  hires <- if (is.null(scenarios$K)) integer(n) else as.integer(scenarios$K)
  ratio <- if (is.null(scenarios$selection_ratio)) rep(NA_real_, n) else scenarios$selection_ratio
  cut <- if (is.null(scenarios$cut_score)) rep(NA_real_, n) else scenarios$cut_score
  out <- as.data.frame(call_cpp(cpp_group_summary(design$names, design$shares, design$counts,
                                                  design$d, selection, as.integer(scenarios$N),
                                                  hires, as.double(ratio), as.double(cut))),
                       stringsAsFactors = FALSE, optional = TRUE)
  abandoned <- which(out$status == "abandoned")
  if (length(abandoned) > 0L) {
    warning(sprintf("%d of %d scenarios could not be computed (their values are NA): scenario %s",
                    length(abandoned), nrow(out), paste(utils::head(abandoned, 10), collapse = ", ")),
            call. = FALSE)
  }
  out
}
