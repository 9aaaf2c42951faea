# ai_solve(): argument errors, agreement with kemro-grid's solve records, and
# the searches' answers checked against ai_summary() over the whole range.

test_that("ai_solve() stops on invalid arguments, naming the argument", {
  cases <- list(
    list(quote(ai_solve(c("a", "b"), N = 50, N1 = 35, K = 10, d = c(0, 1))), "`target` must be one text"),
    list(quote(ai_solve("P_below_four_fifths=0.2", N = 50, N1 = 35, K = 10, d = c(0, 1), jobs = 257)), "`jobs` must lie between 0 .* and 256, not 257"),
    list(quote(ai_solve("P_below_four_fifths<=0.2", N = 50, N1 = 35, K = 10, d = c(0, 1))), "solving for d needs a `target` QUANTITY=VALUE"),
    list(quote(ai_solve("P_below_four_fifths=0.2", solve_for = "N", N = 20:30, N1 = 10, K = 5, d = 0)), "solving for N needs a `target` QUANTITY<=VALUE"),
    list(quote(ai_solve("P_below=0.2", N = 50, N1 = 35, K = 10, d = c(0, 1))), "`target`: .*P_below"),
    list(quote(ai_solve("P_below_four_fifths=0.2", solve_for = "K", N = 50, N1 = 35, K = 10, d = 0)), "`solve_for` must be one of"),
    list(quote(ai_solve("P_below_four_fifths=0.2", N = 50, N1 = 35, K = 10, d = 0)), "`d` must be the range to search"),
    list(quote(ai_solve("P_below_four_fifths=0.2", N = 50, N1 = 35, K = 10, d = c(1, 0))), "`d` must be the range to search"),
    list(quote(ai_solve("P_below_four_fifths=0.2", N = 50, N1 = 35, K = 10)), "`d` is required"),
    list(quote(ai_solve("P_below_four_fifths<=0.2", solve_for = "N", N = c(20, NA), N1 = 10, K = 5, d = 0)), "`N` must not be NA"),
    list(quote(ai_solve("P_below_four_fifths<=0.2", solve_for = "N", N = 5:30, N1 = 10, K = 5, d = 0)), "`N1` must lie between 1 and N - 1 = 4")
  )
  for (case in cases) expect_error(eval(case[[1]]), case[[2]], label = deparse(case[[1]]))
})

test_that("ai_solve() gives kemro-grid's solve records", {
  runs <- list(
    c("--applicants", "20:200:10", "--minority-share", "0.3", "--selection-ratio", "0.2",
      "--d", "0,0.3", "--solve", "applicants", "--target", "P_below_four_fifths<=0.3"),
    c("--applicants", "50,100", "--minority-share", "0.3", "--selection-ratio", "0.2",
      "--d=-2:3", "--solve", "d", "--target", "P_below_four_fifths=0.5")
  )
  grid <- tool_output("KEMRO_GRID", runs[1], "grid_solve_applicants.csv")
  x <- ai_solve("P_below_four_fifths<=0.3", solve_for = "N", N = seq(20, 200, by = 10),
                minority_share = 0.3, selection_ratio = 0.2, d = c(0, 0.3))
  expect_identical(names(x), names(grid$table))
  for (column in c("value", "stable_from", "quantity_at_value")) {
    expect_same_numbers(x[[column]], csv_number(grid$table[[column]]), grid$exact, column)
  }
  expect_identical(x$status, grid$table$status)
  expect_identical(x$target, grid$table$target)
  expect_identical(x$evaluations, as.integer(grid$table$evaluations))

  grid <- tool_output("KEMRO_GRID", runs[2], "grid_solve_d.csv")
  x <- ai_solve("P_below_four_fifths=0.5", N = c(50, 100), minority_share = 0.3,
                selection_ratio = 0.2, d = c(-2, 3))
  expect_identical(names(x), names(grid$table))
  expect_same_numbers(x$value, csv_number(grid$table$value), grid$exact, "value")
  expect_identical(x$solved_for, grid$table$solved_for)
})

test_that("the first and the stable number of applicants are those a full scan finds", {
  N <- seq(20, 200, by = 10)
  for (d in c(0, 0.3)) {
    x <- ai_solve("P_below_four_fifths<=0.3", solve_for = "N", N = N, minority_share = 0.3,
                  selection_ratio = 0.2, d = d)
    scan <- ai_summary(N = N, minority_share = 0.3, selection_ratio = 0.2, d = d)
    meets <- scan$P_below_four_fifths <= 0.3
    label <- paste("d =", d)
    expect_identical(x$value, if (any(meets)) N[which(meets)[1]] else NA_real_, label = label)
    stable <- if (meets[length(N)]) N[max(which(!meets), 0) + 1] else NA_real_
    expect_identical(x$stable_from, stable, label = label)
  }
})

test_that("the effect size found brings the quantity to the target", {
  x <- ai_solve("expected_AI=0.7", N = c(40, 120), N1 = 30, K = 10, d = c(-1, 3),
                engine = "nested")
  expect_identical(x$status, c("solved", "solved"))
  for (i in 1:2) {
    near <- ai_summary(N = x$applicants[i], N1 = 30, K = 10, d = x$value[i] + c(-1e-6, 1e-6),
                       engine = "nested")
    expect_true(all(diff(sign(near$expected_AI - 0.7)) != 0), label = paste("search", i))
  }
})

test_that("a rule's flag rate is a target, at the levels given", {
  args <- c("--applicants", "50:400:50", "--minority-share", "0.3", "--selection-ratio", "0.2",
            "--d", "0.8", "--alpha", "0.05,0.2", "--solve", "applicants", "--target",
            "P_flag_fisher>=0.5")
  grid <- tool_output("KEMRO_GRID", list(args), "grid_solve_flag.csv")
  x <- ai_solve("P_flag_fisher>=0.5", solve_for = "N", N = seq(50, 400, by = 50),
                minority_share = 0.3, selection_ratio = 0.2, d = 0.8, alpha = c(0.05, 0.2))
  expect_identical(names(x), names(grid$table))
  for (column in c("value", "stable_from", "quantity_at_value", "alpha", "threshold")) {
    expect_same_numbers(x[[column]], csv_number(grid$table[[column]]), grid$exact, column)
  }
  expect_identical(x$quantity, grid$table$quantity)
})
