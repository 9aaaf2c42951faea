# ai_distribution(): the exact distribution of the number of minority hires,
# and with it of AI, for one scenario; its print, plot and autoplot methods.

#' @export
ai_distribution <- function(N, N1, K, d, engine = c("fast", "nested")) {
  N <- check_counts(check_scalar(N, "N"), "N", lowest = 2L)
  N1 <- check_counts(check_scalar(N1, "N1"), "N1")
  K <- check_counts(check_scalar(K, "K"), "K")
  d <- check_reals(check_scalar(d, "d"), "d")
  engine <- check_engine(engine)
  check_below_N(N1, N, "N1")
  check_below_N(K, N, "K")

  N2 <- N - N1
  raw <- call_cpp(cpp_distribution(N, N1, K, d, engine))
  out <- data.frame(
    minority_hires = raw$minority_hires,
    majority_hires = raw$majority_hires,
    SRA = raw$majority_hires / N1,
    SRI = raw$minority_hires / N2,
    AI = raw$AI,
    probability = raw$probability,
    cumulative = raw$cumulative
  )
  if (!raw$completed) {
    warning(sprintf("the outcome probabilities for N = %d, N1 = %d, K = %d, d = %s could not be computed: the result has no rows",
                    N, N1, K, format(d, digits = 15)), call. = FALSE)
  } else if (raw$warnings > 0L) {
    warning(sprintf("%d integration warning(s) for N = %d, N1 = %d, K = %d, d = %s",
                    raw$warnings, N, N1, K, format(d, digits = 15)), call. = FALSE)
  }
  structure(out,
            class = c("kemro_distribution", "data.frame"),
            scenario = c(N = N, N1 = N1, N2 = N2, K = K),
            d = d,
            engine = engine,
            status = if (raw$completed) "computed" else "abandoned",
            warnings = raw$warnings,
            P_below_four_fifths = raw$P_below_four_fifths,
            P_undefined = raw$P_undefined,
            outcomes = nrow(out))
}

# The attributes that describe the whole distribution; subsets keep them.
DISTRIBUTION_ATTRIBUTES <- c("scenario", "d", "engine", "status", "warnings",
                             "P_below_four_fifths", "P_undefined", "outcomes")

# Rows of a distribution (head(), x[x$AI < 1, ]) stay a distribution of the
# same scenario as long as the outcome columns are all kept; other subsets
# are plain data frames.
#' @export
`[.kemro_distribution` <- function(x, ...) {
  out <- NextMethod()
  if (!is.data.frame(out) || !all(c("minority_hires", "majority_hires") %in% names(out))) {
    return(if (is.data.frame(out)) as.data.frame(unclass(out)) else out)
  }
  for (a in DISTRIBUTION_ATTRIBUTES) attr(out, a) <- attr(x, a)
  out
}

# Whether each outcome of `x` has AI < 0.8: the library's comparison in whole
# numbers, so that an AI of exactly 0.8 is never below (as ai_summary() and
# kemro-grid count it).
below_four_fifths <- function(x) {
  s <- attr(x, "scenario")
  cpp_below_four_fifths(as.integer(x$minority_hires), as.integer(x$majority_hires),
                        s[["N1"]], s[["N2"]])
}

# The scenario as one line of text, for headings and titles.
scenario_label <- function(x) {
  s <- attr(x, "scenario")
  sprintf("N = %d, N1 = %d, N2 = %d, K = %d, d = %s", s[["N"]], s[["N1"]], s[["N2"]],
          s[["K"]], format(attr(x, "d"), digits = 6))
}

#' @export
print.kemro_distribution <- function(x, ...) {
  cat("Distribution of minority hires and AI for ", scenario_label(x), "\n", sep = "")
  cat(sprintf("engine: %s, status: %s, warnings: %d\n", attr(x, "engine"),
              attr(x, "status"), attr(x, "warnings")))
  # The whole distribution's probabilities, as the library sums them, also
  # when only some rows are shown.
  if (identical(attr(x, "status"), "computed")) {
    cat(sprintf("P(AI < 0.8) = %s, P(AI undefined) = %s\n",
                format(attr(x, "P_below_four_fifths"), digits = 7),
                format(attr(x, "P_undefined"), digits = 7)))
  }
  if (nrow(x) < attr(x, "outcomes")) {
    cat(sprintf("%d of the %d outcomes:\n", nrow(x), attr(x, "outcomes")))
  }
  print(as.data.frame(unclass(x)), ...)
  invisible(x)
}

# The usual graphics arguments (col, lwd, xlab, ylab, main, ylim, ...) replace
# the defaults; the bars below 0.8 are coloured apart unless `col` is given.
#' @export
plot.kemro_distribution <- function(x, ...) {
  if (nrow(x) == 0L) stop("nothing to plot: the distribution was not computed", call. = FALSE)
  defined <- !is.na(x$AI)
  below <- below_four_fifths(x)[defined]
  defaults <- list(type = "h", lwd = 3, col = ifelse(below, "firebrick", "grey40"),
                   xlab = "Adverse impact ratio (AI)", ylab = "Probability",
                   main = scenario_label(x), ylim = c(0, max(x$probability[defined], 0)))
  args <- utils::modifyList(defaults, list(...))
  do.call(graphics::plot, c(list(x$AI[defined], x$probability[defined]), args))
  graphics::abline(v = 0.8, lty = 2)
  graphics::mtext(sprintf("four-fifths line at 0.8; P(AI undefined) = %s",
                          format(attr(x, "P_undefined"), digits = 4)),
                  side = 3, line = 0.25, cex = 0.8)
  invisible(x)
}

# Registered as a ggplot2::autoplot method in .onLoad when ggplot2 is installed.
autoplot.kemro_distribution <- function(object, ...) {
  keep <- !is.na(object$AI)
  defined <- data.frame(AI = object$AI[keep], probability = object$probability[keep],
                        below = below_four_fifths(object)[keep])
  ggplot2::ggplot(defined, ggplot2::aes(x = AI, y = probability, fill = below)) +
    ggplot2::geom_col(width = 0.02) +
    ggplot2::geom_vline(xintercept = 0.8, linetype = "dashed") +
    ggplot2::scale_fill_manual(values = c(`FALSE` = "grey40", `TRUE` = "firebrick"),
                               name = "AI < 0.8") +
    ggplot2::labs(x = "Adverse impact ratio (AI)", y = "Probability", title = scenario_label(object))
}

utils::globalVariables(c("AI", "probability", "below"))
