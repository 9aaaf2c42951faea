# ai_summary(): the per-scenario summary of kemro-grid for vectors of
# scenarios, recycled as R recycles or crossed as a grid.

#' @export
ai_summary <- function(N, N1 = NULL, K = NULL, d, minority_share = NULL,
                       selection_ratio = NULL, engine = c("fast", "nested"), grid = FALSE,
                       jobs = 0L, alpha = 0.05, threshold = 0.8, groups = NULL,
                       group_names = NULL, group_shares = NULL, group_counts = NULL,
                       group_d = NULL, selection = c("top-down", "cut-score"), cut_score = NULL) {
  grouped <- !is.null(groups) || !is.null(group_names) || !is.null(group_shares) ||
    !is.null(group_counts) || !is.null(group_d) || !is.null(cut_score) ||
    !identical(selection, c("top-down", "cut-score"))
  if (grouped) {
    if (!is.null(N1) || !is.null(minority_share)) {
      abort_argument(sprintf("`%s` cannot be combined with several groups",
                             if (is.null(N1)) "minority_share" else "N1"))
    }
    if (!missing(d)) abort_argument("`d` cannot be combined with several groups; give `group_d`")
    if (!missing(alpha) || !missing(threshold)) {
      abort_argument("`alpha` and `threshold` do not apply to several groups")
    }
    if (check_engine(engine) != "fast") abort_argument("several groups need `engine = \"fast\"`")
    if (!is.logical(grid) || length(grid) != 1L || is.na(grid)) {
      abort_argument("`grid` must be TRUE or FALSE")
    }
    # Unused here (the groups are computed on R's thread), yet refused as elsewhere.
    call_cpp(cpp_jobs_checked(check_counts(check_scalar(jobs, "jobs"), "jobs", lowest = 0L)))
    chosen <- !identical(selection, c("top-down", "cut-score"))
    selection <- check_choice(selection, "selection", c("top-down", "cut-score"))
    if (!is.null(cut_score) && !chosen) selection <- "cut-score"
    design <- group_design(groups, group_names, group_shares, group_counts, group_d)
    return(group_summary(if (missing(N)) NULL else N, K, selection_ratio, cut_score, selection,
                         grid, design))
  }
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
  class(out) <- c("kemro_summary", "data.frame")
  out
}

# What a summary's plot may put on its x axis, in kemro-grid's order.
SUMMARY_INPUTS <- c("N", "N1", "minority_share", "K", "selection_ratio", "d")

# Words for a summary's column or scenario option on axes and in legends: the
# library's words for the column (its catalogue) or the option; else the name.
summary_words <- function(column) {
  catalogue <- cpp_summary_columns()
  words <- catalogue$words[match(column, catalogue$name)]
  if (is.na(words) && column %in% names(SOLVE_OPTIONS)) {
    words <- cpp_option_words()[[SOLVE_OPTIONS[[column]]]]
  }
  if (is.na(words) || !nzchar(words)) column else words
}

# The scenario options as they were most likely given: for each of N1 or the
# minority share, and K or the selection ratio, the one with fewer distinct
# values (a share held fixed while N varies gives varying N1).
summary_options <- function(x, against) {
  inputs <- data.frame(N = x$N, N1 = x$N1, minority_share = x$N2 / x$N, K = x$K,
                       selection_ratio = x$K / x$N, d = x$d)
  distinct <- function(v) length(unique(signif(inputs[[v]], 12)))
  chosen <- c("N", if (distinct("minority_share") < distinct("N1")) "minority_share" else "N1",
              if (distinct("selection_ratio") < distinct("K")) "selection_ratio" else "K", "d")
  pairs <- list(c("N1", "minority_share"), c("K", "selection_ratio"))
  for (pair in pairs) if (against %in% pair) chosen <- union(setdiff(chosen, pair), against)
  list(inputs = inputs, chosen = chosen)
}

# A summary's column `y` (default P(AI < 0.8)) against the scenario option
# `against` (default: the first that varies), one line per combination of
# the other options that vary, told apart by colour and line type, with a
# legend in words. The usual graphics arguments replace the defaults.
#' @export
plot.kemro_summary <- function(x, y = "P_below_four_fifths", against = NULL, ...,
                               legend_position = "topright") {
  if (nrow(x) == 0L) stop("nothing to plot: the summary has no rows", call. = FALSE)
  numeric_columns <- names(x)[vapply(x, is.numeric, logical(1))]
  if (!is.character(y) || length(y) != 1L || !(y %in% numeric_columns)) {
    abort_argument("`y` must name a numeric column of the summary, such as \"P_below_four_fifths\"")
  }
  if (!is.null(against) &&
      (!is.character(against) || length(against) != 1L || !(against %in% SUMMARY_INPUTS))) {
    abort_argument(sprintf("`against` must be one of %s",
                           paste0("\"", SUMMARY_INPUTS, "\"", collapse = ", ")))
  }
  options <- summary_options(x, if (is.null(against)) "" else against)
  inputs <- options$inputs
  varies <- Filter(function(v) length(unique(signif(inputs[[v]], 12))) > 1L, options$chosen)
  if (is.null(against)) against <- if (length(varies) > 0L) varies[1] else "d"
  others <- setdiff(varies, against)
  groups <- if (length(others) > 0L) {
    interaction(lapply(inputs[others], function(v) signif(v, 12)), drop = TRUE,
                lex.order = TRUE)
  } else {
    factor(rep("all", nrow(x)))
  }
  shown <- levels(groups)
  labels <- vapply(shown, function(level) {
    first <- inputs[match(level, as.character(groups)), others, drop = FALSE]
    paste(vapply(others, function(o) sprintf("%s = %s", summary_words(o),
                                             format(first[[o]], digits = 6)), ""),
          collapse = ", ")
  }, "")
  colours <- rep_len(grDevices::palette.colors(8L, "Okabe-Ito"), length(shown))
  line_types <- rep_len(1:6, length(shown))
  along <- inputs[[against]]
  ys <- x[[y]]
  defaults <- list(x = range(along), y = range(c(0, ys[is.finite(ys)])), type = "n",
                   xlab = summary_words(against), ylab = summary_words(y),
                   main = sprintf("%s by %s", summary_words(y), tolower(summary_words(against))))
  args <- utils::modifyList(defaults, list(...))
  line_args <- args[intersect(names(args), c("col", "lwd", "lty", "pch"))]
  do.call(graphics::plot, args[setdiff(names(args), c("col", "lty", "pch"))])
  for (k in seq_along(shown)) {
    rows <- which(groups == shown[k])
    rows <- rows[order(along[rows])]
    each <- utils::modifyList(list(col = colours[k], lty = line_types[k], lwd = 2, pch = 19),
                              lapply(line_args, function(v) rep_len(v, length(shown))[k]))
    do.call(graphics::lines, c(list(along[rows], ys[rows], type = "b"), each))
  }
  if (length(others) > 0L && !is.null(legend_position)) {
    graphics::legend(legend_position, legend = labels, col = colours, lty = line_types,
                     lwd = 2, pch = 19, bty = "n", cex = 0.8)
  }
  invisible(x)
}
