# ai_summary(): argument errors, recycling and crossing of the scenarios,
# the d = 0 case against R's hypergeometric distribution, equality to the
# last bit with kemro-grid's CSV summary, column names included, and columns
# that are the library's catalogue by name and type.

# The grid of the stored fixtures: shares and ratios that round to whole
# counts (0.25 * 50 = 12.5 rounds up), two effect sizes.
GRID_ARGS <- c("--applicants", "20,50", "--minority-share", "0.3", "--selection-ratio",
               "0.1,0.25", "--d", "0,0.5")

grid_summary <- function(engine) {
  ai_summary(N = c(20, 50), minority_share = 0.3, selection_ratio = c(0.1, 0.25),
             d = c(0, 0.5), engine = engine, grid = TRUE)
}

test_that("ai_summary() stops on invalid arguments, naming the argument", {
  cases <- list(
    list(quote(ai_summary(20, N1 = 12, minority_share = 0.4, K = 5, d = 0)), "exactly one of `N1` and `minority_share`"),
    list(quote(ai_summary(20, K = 5, d = 0)), "exactly one of `N1` and `minority_share`"),
    list(quote(ai_summary(20, N1 = 12, d = 0)), "exactly one of `K` and `selection_ratio`"),
    list(quote(ai_summary(c(20, NA), N1 = 12, K = 5, d = 0)), "`N` must not be NA \\(element 2\\)"),
    list(quote(ai_summary(20, N1 = c(12, -1), K = 5, d = 0)), "`N1` must be at least 1"),
    list(quote(ai_summary(20, N1 = 12, K = 5.5, d = 0)), "`K` must hold whole numbers"),
    list(quote(ai_summary(20, N1 = 12, K = 5, d = NaN)), "`d` must not be NA"),
    list(quote(ai_summary(20, minority_share = 1.2, K = 5, d = 0)), "`minority_share` must lie strictly between 0 and 1"),
    list(quote(ai_summary(20, N1 = 12, selection_ratio = 0, d = 0)), "`selection_ratio` must lie strictly between 0 and 1"),
    list(quote(ai_summary(c(20, 30, 40), N1 = 12, K = c(5, 6), d = 0)), "`K` has length 2, which does not recycle to length 3"),
    list(quote(ai_summary(c(20, 30), N1 = c(12, 30), K = 5, d = 0)), "`N1` must lie between 1 and N - 1 = 29, not 30 \\(scenario 2\\)"),
    list(quote(ai_summary(20, minority_share = 0.01, K = 5, d = 0)), "`N1` must lie between 1 and N - 1 = 19, not 20 \\(N - round"),
    list(quote(ai_summary(20, N1 = 12, K = 5, d = 0, engine = "slow")), "`engine` must be one of"),
    list(quote(ai_summary(20, N1 = 12, K = 5, d = 0, grid = NA)), "`grid` must be TRUE or FALSE"),
    list(quote(ai_summary(20, N1 = 12, K = 5, d = 0, jobs = 257)), "`jobs` must lie between 0 \\(one per core\\) and 256, not 257"),
    list(quote(ai_summary(group_names = c("A", "B"), group_counts = c(5, 5), group_d = c(0, 1), K = 2, jobs = 257)), "`jobs` must lie between 0 .* and 256, not 257"),
    list(quote(ai_summary(4e5, N1 = 2e5, K = 2e5, d = 0, engine = "nested")), "the distribution needs 200001 entries")
  )
  for (case in cases) expect_error(eval(case[[1]]), case[[2]], label = deparse(case[[1]]))
})

test_that("ai_summary() has kemro-grid's columns and equals its CSV to the last bit", {
  for (engine in c("fast", "nested")) {
    grid <- tool_output("KEMRO_GRID", list(c(GRID_ARGS, "--engine", engine)),
                        sprintf("grid_summary_%s.csv", engine))
    expected <- grid$table
    x <- grid_summary(engine)
    expect_identical(names(x), names(expected))
    for (column in names(expected)) {
      label <- paste(engine, "engine, column", column)
      if (column %in% c("status", "engine_status", "population_status")) {
        # An empty CSV text (the nested engine's status) is NA in R.
        text <- expected[[column]]
        expect_identical(x[[column]], ifelse(text == "", NA_character_, text), label = label)
      } else if (column %in% c("scenario", "N", "N1", "N2", "K", "warnings")) {
        expect_identical(x[[column]], as.integer(expected[[column]]), label = label)
      } else {
        expect_same_numbers(x[[column]], csv_number(expected[[column]]), grid$exact, label)
      }
    }
  }
})

test_that("ai_summary()'s columns and plot words are the library's catalogue", {
  catalogue <- kemro:::cpp_summary_columns()
  grid <- tool_output("KEMRO_GRID", list(c(GRID_ARGS, "--engine", "nested")),
                      "grid_summary_nested.csv")
  expect_identical(catalogue$name, names(grid$table))
  for (engine in c("fast", "nested")) {
    x <- ai_summary(N = 30, N1 = c(20, 29), K = 5, d = c(0, 1), engine = engine)
    expect_identical(names(x), catalogue$name, label = engine)
    expect_identical(unname(vapply(x, typeof, "")), catalogue$type, label = engine)
  }
  # The plots' words are the library's: the catalogue's for a column, the
  # scenario option's for a share; a column without words keeps its name.
  words <- c(N = "Number of applicants", N2 = "Minority applicants",
             minority_share = "Minority share", selection_ratio = "Selection ratio",
             P_below_four_fifths = "P(AI < 0.8)", AI_P25 = "Lower quartile of AI",
             population_AI = "Population AI", warnings = "warnings", P_flag_z = "P_flag_z")
  for (column in names(words)) {
    expect_identical(kemro:::summary_words(column), words[[column]], label = column)
  }
})

test_that("recycled arguments give the scenarios one by one", {
  together <- ai_summary(N = c(20, 30, 40, 50), N1 = c(12, 20), K = 5, d = c(0, 0.5, 1, 2))
  for (i in 1:4) {
    alone <- ai_summary(N = together$N[i], N1 = together$N1[i], K = 5, d = together$d[i])
    expect_identical(unlist(together[i, -1]), unlist(alone[1, -1]), label = paste("scenario", i))
  }
  expect_identical(together$N1, c(12L, 20L, 12L, 20L))
})

test_that("with d = 0, P(AI < 0.8) and P(AI undefined) follow R's hypergeometric distribution", {
  x <- ai_summary(N = c(20, 30, 60, 41), N1 = c(12, 10, 45, 40), K = c(5, 12, 20, 20), d = 0,
                  engine = "nested")
  for (i in seq_len(nrow(x))) {
    s <- 0:x$K[i]
    p <- stats::dhyper(s, x$N2[i], x$N1[i], x$K[i])
    below <- x$K[i] - s > 0 & 5 * s * x$N1[i] < 4 * (x$K[i] - s) * x$N2[i]
    label <- sprintf("N = %d, N1 = %d, K = %d", x$N[i], x$N1[i], x$K[i])
    # The nested engine's probabilities are accurate to about 1e-9 absolutely.
    expect_lt(abs(x$P_below_four_fifths[i] - sum(p[below])), 1e-8, label = label)
    expect_lt(abs(x$P_undefined[i] - sum(p[s == x$K[i]])), 1e-8, label = label)
    expect_lt(abs(x$expected_SRI[i] - x$K[i] / x$N[i]), 1e-8, label = label)
  }
})

test_that("plot() of a summary draws a column against a chosen scenario column", {
  s <- ai_summary(N = c(50, 100), minority_share = c(0.2, 0.3), selection_ratio = 0.2,
                  d = c(0, 0.5), grid = TRUE)
  expect_s3_class(s, "kemro_summary")
  grDevices::pdf(NULL)
  on.exit(grDevices::dev.off())
  expect_identical(plot(s), s)
  expect_identical(plot(s, "AI_P50", against = "d", col = c("red", "blue"), lwd = 3,
                        main = "Median AI"), s)
  expect_error(plot(s, "no_such_column"), "`y` must name a numeric column")
  expect_error(plot(s, against = "status"), "`against` must be one of")
})
