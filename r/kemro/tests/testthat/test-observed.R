# ai_observed(): argument errors, equality to the last bit with
# kemro-observed's CSV (columns included), and the tests that R computes
# itself: phyper for P(S <= s) at d = 0 and Fisher's exact test.

test_that("ai_observed() stops on invalid arguments, naming the argument", {
  cases <- list(
    list(quote(ai_observed(NA, 10, 12, 2)), "`N` must not be NA"),
    list(quote(ai_observed(30, 10.5, 12, 2)), "`N1` must hold whole numbers"),
    list(quote(ai_observed(30, 10, 30, 2)), "`K` must lie between 1 and N - 1 = 29"),
    list(quote(ai_observed(30, 10, 12, -1)), "`S` must be at least 0"),
    list(quote(ai_observed(30, 10, 12, 0)), "`S` must lie between max\\(0, K - N1\\) = 2 and min\\(K, N - N1\\) = 12, not 0"),
    list(quote(ai_observed(30, 10, 12, 2, d = c(0, Inf))), "`d` must be finite, not Inf \\(element 2\\)"),
    list(quote(ai_observed(30, 10, 12, 2, alpha = 1)), "`alpha` must lie strictly between 0 and 1"),
    list(quote(ai_observed(30, 10, 12, 2, alpha = c(0.05, 0.1))), "`alpha` must be a single value")
  )
  for (case in cases) expect_error(eval(case[[1]]), case[[2]], label = deparse(case[[1]]))
})

test_that("ai_observed() has kemro-observed's columns and equals its CSV to the last bit", {
  runs <- list(c("200", "150", "40", "3", "--d", "0,0.5"), c("30", "10", "12", "2"),
               c("30", "10", "12", "12", "--d=-1", "--alpha", "0.1", "--threshold", "0.9"))
  observed <- tool_output("KEMRO_OBSERVED", lapply(runs, function(r) {
    c("--applicants", r[1], "--majority", r[2], "--hires", r[3], "--minority-hires", r[4],
      r[-(1:4)])
  }), "observed.csv")
  expected <- observed$table
  calls <- list(
    list(rows = 1:2, x = ai_observed(200, 150, 40, 3, d = c(0, 0.5))),
    list(rows = 3, x = ai_observed(30, 10, 12, 2)),
    list(rows = 4, x = ai_observed(30, 10, 12, 12, d = -1, alpha = 0.1, threshold = 0.9))
  )
  for (call in calls) {
    x <- call$x
    want <- expected[call$rows, ]
    expect_identical(names(x), names(expected))
    for (column in names(expected)) {
      label <- paste("rows", paste(call$rows, collapse = ","), "column", column)
      got <- x[[column]]
      if (column %in% c("N", "N1", "N2", "K", "S")) {
        expect_identical(got, as.integer(want[[column]]), label = label)
      } else if (column %in% c("four_fifths_violated", "four_fifths_survives_flip") ||
                 startsWith(column, "flags_")) {
        expect_identical(got, want[[column]] == "true", label = label)
      } else if (column %in% c("status", "AI_interval_missing")) {
        expect_identical(ifelse(is.na(got), "", got), want[[column]], label = label)
      } else {
        # kemro-observed leaves undefined values empty and writes an unbounded
        # end as Inf or -Inf, as R keeps it.
        expect_same_numbers(got, csv_number(want[[column]]), observed$exact, label)
      }
    }
  }
})

test_that("at d = 0 and in Fisher's test the probabilities are R's hypergeometric ones", {
  cases <- data.frame(N = c(200, 30, 30, 60), N1 = c(150, 10, 10, 20), K = c(40, 12, 12, 25),
                      S = c(3, 2, 7, 12))
  for (i in seq_len(nrow(cases))) {
    k <- cases[i, ]
    x <- ai_observed(k$N, k$N1, k$K, k$S)
    N2 <- k$N - k$N1
    label <- sprintf("N = %d, N1 = %d, K = %d, S = %d", k$N, k$N1, k$K, k$S)
    at_most <- stats::phyper(k$S, N2, k$N1, k$K)
    expect_equal(x$P_S_at_most_observed, at_most, tolerance = 1e-9, label = label)
    expect_equal(x$p_fisher_one_sided, at_most, tolerance = 1e-12, label = label)
    table <- matrix(c(k$S, N2 - k$S, k$K - k$S, k$N1 - k$K + k$S), 2)
    expect_equal(x$p_fisher_two_sided, stats::fisher.test(table)$p.value, tolerance = 1e-9,
                 label = label)
  }
})

test_that("ai_observed() takes vectors of decisions, one row each, as single calls give", {
  N <- c(200, 30, 30, 60)
  N1 <- c(150, 10, 10, 20)
  K <- c(40, 12, 12, 25)
  S <- c(3, 2, 7, 12)
  d <- c(0, 0.5)  # recycled over the four decisions
  together <- ai_observed(N, N1, K, S, d = d)
  expect_identical(nrow(together), 4L)
  for (i in 1:4) {
    alone <- ai_observed(N[i], N1[i], K[i], S[i], d = d[(i - 1) %% 2 + 1])
    for (column in names(alone)) {
      expect_identical(together[[column]][i], alone[[column]],
                       label = paste("decision", i, "column", column))
    }
  }
  expect_error(ai_observed(N, N1, K, c(3, 2, 0, 12)), "not 0 \\(decision 3\\)")
  expect_error(ai_observed(N, N1, K, S, d = c(0, 0.5, 1)), "does not recycle")
})
