# ai_distribution(): argument errors, the column layout, the d = 0 case
# against R's own hypergeometric distribution, and equality to the last bit
# with kemro-grid's --distribution output for the same scenarios.

test_that("ai_distribution() stops on invalid arguments, naming the argument", {
  cases <- list(
    list(call = quote(ai_distribution(NA, 12, 5, 0)), error = "`N` must not be NA"),
    list(call = quote(ai_distribution(20, NA_real_, 5, 0)), error = "`N1` must not be NA"),
    list(call = quote(ai_distribution(20, 12, 5, NA)), error = "`d` must not be NA"),
    list(call = quote(ai_distribution(20, -3, 5, 0)), error = "`N1` must be at least 1"),
    list(call = quote(ai_distribution(20, 12, 2.5, 0)), error = "`K` must hold whole numbers"),
    list(call = quote(ai_distribution(20, 20, 5, 0)), error = "`N1` must lie between 1 and N - 1 = 19"),
    list(call = quote(ai_distribution(20, 12, 20, 0)), error = "`K` must lie between 1 and N - 1 = 19"),
    list(call = quote(ai_distribution(1, 1, 1, 0)), error = "`N` must be at least 2"),
    list(call = quote(ai_distribution(20, 12, 5, Inf)), error = "`d` must be finite"),
    list(call = quote(ai_distribution(c(20, 30), 12, 5, 0)), error = "`N` must be a single value"),
    list(call = quote(ai_distribution("20", 12, 5, 0)), error = "`N` must be numeric"),
    list(call = quote(ai_distribution(3e9, 12, 5, 0)), error = "`N` must be at least 2 and below 2\\^31"),
    list(call = quote(ai_distribution(20, 12, 5, 0, engine = "exact")), error = "`engine` must be one of")
  )
  for (case in cases) {
    expect_error(eval(case$call), case$error, label = deparse(case$call))
  }
})

test_that("ai_distribution() returns one row per outcome with the documented columns", {
  x <- ai_distribution(20, 12, 5, 0.5, engine = "nested")
  expect_s3_class(x, "data.frame")
  expect_identical(names(x), c("minority_hires", "majority_hires", "SRA", "SRI", "AI",
                               "probability", "cumulative"))
  expect_identical(x$minority_hires, 0:5)
  expect_identical(x$majority_hires, 5:0)
  expect_identical(is.na(x$AI), c(rep(FALSE, 5), TRUE))
})

test_that("with d = 0 the hires follow R's hypergeometric distribution", {
  scenarios <- data.frame(
    N = c(20, 30, 50, 120, 41),
    N1 = c(12, 10, 25, 100, 40),
    K = c(5, 12, 25, 30, 20)
  )
  for (engine in c("fast", "nested")) {
    for (i in seq_len(nrow(scenarios))) {
      s <- scenarios[i, ]
      x <- ai_distribution(s$N, s$N1, s$K, 0, engine = engine)
      exact <- stats::dhyper(x$minority_hires, s$N - s$N1, s$N1, s$K)
      label <- sprintf("%s engine, N = %d, N1 = %d, K = %d", engine, s$N, s$N1, s$K)
      expect_equal(x$probability, exact, tolerance = 1e-8, label = label)
      expect_equal(x$cumulative,
                   stats::phyper(x$minority_hires, s$N - s$N1, s$N1, s$K),
                   tolerance = 1e-8, label = label)
    }
  }
})

test_that("the nested engine gives kemro-grid's distribution to the last bit", {
  scenarios <- data.frame(N = c(20, 30, 200), N1 = c(12, 10, 150), K = c(5, 12, 40),
                          d = c(0.5, -1, 1))
  runs <- lapply(seq_len(nrow(scenarios)), function(i) {
    s <- scenarios[i, ]
    c("--applicants", s$N, "--majority", s$N1, "--hires", s$K, paste0("--d=", s$d),
      "--engine", "nested", "--distribution")
  })
  grid <- tool_output("KEMRO_GRID", runs, "grid_distribution.csv")
  for (i in seq_len(nrow(scenarios))) {
    s <- scenarios[i, ]
    rows <- grid$table[grid$table$N == s$N & grid$table$N1 == s$N1 & grid$table$K == s$K, ]
    x <- ai_distribution(s$N, s$N1, s$K, s$d, engine = "nested")
    label <- sprintf("N = %d, N1 = %d, K = %d, d = %g", s$N, s$N1, s$K, s$d)
    expect_identical(x$minority_hires, as.integer(rows$S), label = label)
    expect_identical(x$AI, csv_number(rows$AI), label = label)
    expect_same_numbers(x$probability, csv_number(rows$P), grid$exact, label)
    expect_same_numbers(x$cumulative, csv_number(rows$cumulative_P), grid$exact, label)
  }
})

test_that("the fast engine agrees with the nested one and leaves out only negligible outcomes", {
  scenarios <- data.frame(N = c(20, 30, 200, 60), N1 = c(12, 10, 150, 50),
                          K = c(5, 12, 40, 30), d = c(0.5, -1, 1, 2.5))
  for (i in seq_len(nrow(scenarios))) {
    s <- scenarios[i, ]
    fast <- ai_distribution(s$N, s$N1, s$K, s$d, engine = "fast")
    nested <- ai_distribution(s$N, s$N1, s$K, s$d, engine = "nested")
    label <- sprintf("N = %d, N1 = %d, K = %d, d = %g", s$N, s$N1, s$K, s$d)
    shared <- match(fast$minority_hires, nested$minority_hires)
    expect_false(anyNA(shared), label = label)
    expect_equal(fast$probability, nested$probability[shared], tolerance = 1e-7, label = label)
    expect_lt(sum(nested$probability[-shared]), 1e-12, label = label)
    expect_identical(fast$AI, nested$AI[shared], label = label)
  }
})

test_that("print and plot show a computed distribution", {
  x <- ai_distribution(30, 10, 12, -1, engine = "nested")
  expect_output(print(x), "N = 30, N1 = 10, N2 = 20, K = 12, d = -1")
  grDevices::pdf(NULL)
  on.exit(grDevices::dev.off())
  expect_identical(plot(x), x)
})

test_that("print and plot count an AI of exactly 0.8 as ai_summary() does", {
  # Every scenario has an outcome at AI = 0.8 exactly (5 S N1 = 4 (K - S) N2).
  scenarios <- data.frame(N = c(50, 10, 30, 45), N1 = c(40, 5, 20, 30), K = c(18, 9, 7, 14),
                          d = c(0.2, 0, -0.5, 1))
  for (i in seq_len(nrow(scenarios))) {
    s <- scenarios[i, ]
    label <- sprintf("N = %d, N1 = %d, K = %d, d = %g", s$N, s$N1, s$K, s$d)
    x <- ai_distribution(s$N, s$N1, s$K, s$d)
    expect_true(any(!is.na(x$AI) & abs(x$AI - 0.8) < 1e-12), label = label)
    summary <- ai_summary(s$N, s$N1, s$K, s$d)
    expect_identical(attr(x, "P_below_four_fifths"), summary$P_below_four_fifths, label = label)
    expect_output(print(x), sprintf("P(AI < 0.8) = %s,", format(summary$P_below_four_fifths,
                                                                digits = 7)),
                  fixed = TRUE, label = label)
  }
  expect_output(print(ai_distribution(N = 50, N1 = 40, K = 18, d = 0.2)),
                "P(AI < 0.8) = 0.3596099", fixed = TRUE)
})

test_that("rows of a distribution keep its scenario and whole-distribution headline", {
  x <- ai_distribution(N = 50, N1 = 40, K = 18, d = 0.2)
  first <- head(x, 3)
  expect_s3_class(first, "kemro_distribution")
  expect_identical(nrow(first), 3L)
  shown <- capture.output(print(first))
  expect_match(shown[1], "N = 50, N1 = 40, N2 = 10, K = 18, d = 0.2", fixed = TRUE)
  expect_match(shown[3], "P(AI < 0.8) = 0.3596099", fixed = TRUE)
  expect_match(shown[4], sprintf("3 of the %d outcomes", nrow(x)), fixed = TRUE)
  expect_false(inherits(x[, c("AI", "probability")], "kemro_distribution"))
})

test_that("plot passes the usual graphics arguments through", {
  x <- ai_distribution(30, 10, 12, -1)
  grDevices::pdf(NULL)
  on.exit(grDevices::dev.off())
  expect_identical(plot(x, col = "black", xlab = "AI", ylab = "P", lwd = 5, main = "M",
                        ylim = c(0, 1)), x)
  expect_identical(plot(head(x, 4)), head(x, 4))
})
