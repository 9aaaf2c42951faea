# Argument checks shared by the exported functions. Each check stops with an
# R error that names the argument, so that a bad call says what to fix.

# Stops with `message` (already naming the argument) and no call, since the
# argument's name says more than the internal function that checked it.
abort_argument <- function(message) {
  stop(message, call. = FALSE)
}

# The value of a single element for an error message.
describe_value <- function(x) {
  if (is.character(x)) encodeString(x, quote = "\"") else format(x, digits = 15)
}

# A numeric vector without NA, of at least one element: the common part of
# every numeric argument.
check_numeric <- function(x, name) {
  if (is.logical(x) && length(x) > 0L && all(is.na(x))) {
    abort_argument(sprintf("`%s` must not be NA", name))
  }
  if (!is.numeric(x) || is.object(x)) {
    abort_argument(sprintf("`%s` must be numeric, not %s", name, class(x)[1]))
  }
  if (length(x) == 0L) abort_argument(sprintf("`%s` must not be empty", name))
  if (anyNA(x)) {
    abort_argument(sprintf("`%s` must not be NA (element %d)", name, which(is.na(x))[1]))
  }
}

# Whole numbers of at least `lowest` that fit R's integers; returned as integer.
check_counts <- function(x, name, lowest = 1L) {
  check_numeric(x, name)
  bad <- which(!is.finite(x) | x != round(x))
  if (length(bad) > 0L) {
    abort_argument(sprintf("`%s` must hold whole numbers, not %s (element %d)",
                           name, describe_value(x[bad[1]]), bad[1]))
  }
  bad <- which(x < lowest | x > .Machine$integer.max)
  if (length(bad) > 0L) {
    abort_argument(sprintf("`%s` must be at least %d and below 2^31, not %s (element %d)",
                           name, lowest, describe_value(x[bad[1]]), bad[1]))
  }
  as.integer(x)
}

# Finite real numbers.
check_reals <- function(x, name) {
  check_numeric(x, name)
  bad <- which(!is.finite(x))
  if (length(bad) > 0L) {
    abort_argument(sprintf("`%s` must be finite, not %s (element %d)",
                           name, describe_value(x[bad[1]]), bad[1]))
  }
  as.double(x)
}

# Shares strictly between 0 and 1.
check_shares <- function(x, name) {
  x <- check_reals(x, name)
  bad <- which(x <= 0 | x >= 1)
  if (length(bad) > 0L) {
    abort_argument(sprintf("`%s` must lie strictly between 0 and 1, not %s (element %d)",
                           name, describe_value(x[bad[1]]), bad[1]))
  }
  x
}

# The rules' two-sided levels: strictly between 0 and 1.
check_alpha <- function(x, name = "alpha") {
  check_shares(x, name)
}

# The four-fifths rule's thresholds: above 0 and at most 1.
check_threshold <- function(x, name = "threshold") {
  x <- check_reals(x, name)
  bad <- which(x <= 0 | x > 1)
  if (length(bad) > 0L) {
    abort_argument(sprintf("`%s` must lie above 0 and at most 1, not %s (element %d)",
                           name, describe_value(x[bad[1]]), bad[1]))
  }
  x
}

# A single value: stops unless `x` has length one.
check_scalar <- function(x, name) {
  if (length(x) != 1L) {
    abort_argument(sprintf("`%s` must be a single value, not one of length %d",
                           name, length(x)))
  }
  x
}

# The engine's name: one of `choices`, the first when the argument is left at
# its default vector.
check_engine <- function(engine, choices = c("fast", "nested")) {
  if (identical(engine, choices)) return(choices[1])
  if (!is.character(engine) || length(engine) != 1L || is.na(engine) ||
      !(engine %in% choices)) {
    shown <- if (is.character(engine) && length(engine) == 1L) describe_value(engine)
             else paste("a", class(engine)[1], "of length", length(engine))
    abort_argument(sprintf("`engine` must be one of %s, not %s",
                           paste0("\"", choices, "\"", collapse = " or "), shown))
  }
  engine
}

# Each `i`-th scenario must satisfy 1 <= value <= N - 1, where value is N1 or K
# as named by `name`; `source` says how it was formed when derived from a share.
check_below_N <- function(value, N, name, source = NULL) {
  bad <- which(value < 1 | value > N - 1)
  if (length(bad) > 0L) {
    i <- bad[1]
    formed <- if (is.null(source)) "" else sprintf(" (%s)", source)
    where <- if (length(value) > 1L) sprintf(" (scenario %d)", i) else ""
    abort_argument(sprintf("`%s` must lie between 1 and N - 1 = %d, not %s%s%s",
                           name, N[i] - 1L, describe_value(value[i]), formed, where))
  }
}

# round(x) with halves away from zero, as the command-line tools round shares
# of counts (R's round() takes halves to even). x - floor(x) is exact here.
round_half_away <- function(x) {
  lower <- floor(x)
  lower + (x - lower >= 0.5)
}

# The common length of vectors under R's recycling: every length must divide
# the longest; anything else stops naming the first argument that does not.
recycled_length <- function(args) {
  lengths <- vapply(args, length, integer(1))
  longest <- max(lengths)
  bad <- which(longest %% lengths != 0L)
  if (length(bad) > 0L) {
    abort_argument(sprintf("`%s` has length %d, which does not recycle to length %d",
                           names(args)[bad[1]], lengths[bad[1]], longest))
  }
  longest
}

# Evaluates a call into the compiled code; its errors (the library's reasons)
# reach the user without the internal call.
call_cpp <- function(expr) {
  tryCatch(expr, error = function(e) abort_argument(conditionMessage(e)))
}

# One of `choices`, the first when the argument is left at its default vector.
check_choice <- function(x, name, choices) {
  if (identical(x, choices)) return(choices[1])
  if (!is.character(x) || length(x) != 1L || is.na(x) || !(x %in% choices)) {
    abort_argument(sprintf("`%s` must be one of %s", name,
                           paste0("\"", choices, "\"", collapse = ", ")))
  }
  x
}
