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
            warnings = raw$warnings)
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
  if (nrow(x) > 0L) {
    below <- sum(x$probability[!is.na(x$AI) & x$AI < 0.8])
    undefined <- sum(x$probability[is.na(x$AI)])
    cat(sprintf("P(AI < 0.8) = %.6f, P(AI undefined) = %.6f\n", below, undefined))
  }
  print(as.data.frame(unclass(x)), ...)
  invisible(x)
}

#' @export
plot.kemro_distribution <- function(x, ..., main = NULL) {
  if (nrow(x) == 0L) stop("nothing to plot: the distribution was not computed", call. = FALSE)
  defined <- !is.na(x$AI)
  undefined <- sum(x$probability[!defined])
  colours <- ifelse(x$AI[defined] < 0.8, "firebrick", "grey40")
  if (is.null(main)) main <- scenario_label(x)
  graphics::plot(x$AI[defined], x$probability[defined], type = "h", lwd = 3, col = colours,
                 xlab = "AI = SRI / SRA", ylab = "probability", main = main,
                 ylim = c(0, max(x$probability[defined], 0)), ...)
  graphics::abline(v = 0.8, lty = 2)
  graphics::mtext(sprintf("four-fifths line at 0.8; P(AI undefined) = %.4g", undefined),
                  side = 3, line = 0.25, cex = 0.8)
  invisible(x)
}

# Registered as a ggplot2::autoplot method in .onLoad when ggplot2 is installed.
autoplot.kemro_distribution <- function(object, ...) {
  defined <- object[!is.na(object$AI), c("AI", "probability")]
  defined$below <- defined$AI < 0.8
  ggplot2::ggplot(defined, ggplot2::aes(x = AI, y = probability, fill = below)) +
    ggplot2::geom_col(width = 0.02) +
    ggplot2::geom_vline(xintercept = 0.8, linetype = "dashed") +
    ggplot2::scale_fill_manual(values = c(`FALSE` = "grey40", `TRUE` = "firebrick"),
                               name = "AI < 0.8") +
    ggplot2::labs(x = "AI = SRI / SRA", y = "probability", title = scenario_label(object))
}

utils::globalVariables(c("AI", "probability", "below"))
