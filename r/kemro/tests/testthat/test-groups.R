# ai_summary() with several groups: equality to the last bit with kemro-grid's
# group records (top-down and cut score, a data frame of groups and named
# vectors), and refusals that name the argument.

# (kemro-grid's options, the same scenarios for ai_summary(), stored output).
GROUP_RUNS <- list(
  list(args = c("--group-names", "White,Black,Hispanic", "--group-counts", "43,19,15",
                "--group-d", "0,1,0.5", "--hires", "10,20"),
       call = quote(ai_summary(group_counts = c(White = 43, Black = 19, Hispanic = 15),
                               group_d = c(0, 1, 0.5), K = c(10, 20))),
       fixture = "grid_groups_top_down.csv"),
  list(args = c("--group-names", "A,B,C,D", "--group-shares", "0.6,0.2,0.12,0.08",
                "--group-d", "0,1,0.7,0.3", "--applicants", "50,120", "--selection",
                "cut-score", "--selection-ratio", "0.1,0.3"),
       call = quote(ai_summary(N = c(50, 120), selection_ratio = c(0.1, 0.3), grid = TRUE,
                               selection = "cut-score",
                               groups = data.frame(name = c("A", "B", "C", "D"),
                                                   share = c(0.6, 0.2, 0.12, 0.08),
                                                   d = c(0, 1, 0.7, 0.3)))),
       fixture = "grid_groups_cut_score.csv")
)

test_that("ai_summary() with groups has kemro-grid's group columns and values", {
  for (run in GROUP_RUNS) {
    grid <- tool_output("KEMRO_GRID", list(run$args), run$fixture)
    expected <- grid$table
    x <- eval(run$call)
    expect_identical(names(x), names(expected))
    for (column in names(expected)) {
      label <- paste(run$fixture, "column", column)
      if (column %in% c("selection", "status")) {
        expect_identical(x[[column]], expected[[column]], label = label)
      } else if (is.integer(x[[column]])) {
        expect_identical(x[[column]], as.integer(expected[[column]]), label = label)
      } else if (column == "evaluations") {
        expect_identical(x[[column]], csv_number(expected[[column]]), label = label)
      } else {
        expect_same_numbers(x[[column]], csv_number(expected[[column]]), grid$exact, label)
      }
    }
  }
})

test_that("ai_summary() with groups stops on invalid arguments, naming the argument", {
  counts <- c(A = 5, B = 5)
  cases <- list(
    list(quote(ai_summary(group_counts = counts, group_d = c(0, 1), K = 2, d = 0)), "`d` cannot be combined"),
    list(quote(ai_summary(group_counts = counts, group_d = c(0, 1), K = 2, alpha = 0.1)), "`alpha` and `threshold` do not apply"),
    list(quote(ai_summary(group_counts = c(5, 5), group_d = c(0, 1), K = 2)), "`group_names` is required"),
    list(quote(ai_summary(group_names = c("A", "A"), group_counts = c(5, 5), group_d = c(0, 1), K = 2)), "`group_names`: "),
    list(quote(ai_summary(N = 10, group_shares = c(A = 0.5, B = 0.6), group_d = c(0, 1), K = 2)), "`group_shares`: "),
    list(quote(ai_summary(group_counts = counts, group_d = c(0.5, 1), K = 2)), "`group_d`: "),
    list(quote(ai_summary(group_counts = counts, group_d = c(0, NA), K = 2)), "`group_d` must not be NA"),
    list(quote(ai_summary(N = 12, group_counts = counts, group_d = c(0, 1), K = 2)), "scenario 1 \\(N = 12\\): the counts add up to 10"),
    list(quote(ai_summary(group_counts = counts, group_d = c(0, 1), cut_score = Inf)), "`cut_score` must be finite"),
    list(quote(ai_summary(group_counts = counts, group_d = c(0, 1), cut_score = 1, selection = "top-down")), "`cut_score` needs"),
    list(quote(ai_summary(group_counts = counts, group_d = c(0, 1), K = 2, selection = "cut-score")), "takes `cut_score` or `selection_ratio`, not `K`"),
    list(quote(ai_summary(group_shares = c(A = 0.5, B = 0.5), group_d = c(0, 1), K = 2)), "`N` is required with `group_shares`"),
    list(quote(ai_summary(groups = data.frame(name = c("A", "B"), d = c(0, 1)), K = 2)), "one of the columns `share` and `count`")
  )
  for (case in cases) expect_error(eval(case[[1]]), case[[2]], label = deparse(case[[1]]))
})

# Compares ai_observed()'s records with kemro-observed's CSV rows, column by column.
expect_observed_records <- function(x, want, exact, run) {
  expect_identical(names(x), names(want), label = run)
  for (column in names(want)) {
    label <- paste(run, "column", column)
    got <- x[[column]]
    if (column %in% c("N", "N1", "N2", "K", "S")) {
      expect_identical(got, as.integer(want[[column]]), label = label)
    } else if (column %in% c("four_fifths_violated", "four_fifths_survives_flip") ||
               startsWith(column, "flags_")) {
      expect_identical(got, want[[column]] == "true", label = label)
    } else if (column %in% c("status", "AI_interval_missing", "group", "reference")) {
      expect_identical(ifelse(is.na(got), "", got), want[[column]], label = label)
    } else {
      expect_same_numbers(got, csv_number(want[[column]]), exact, label)
    }
  }
}

test_that("ai_observed() with groups equals kemro-observed on applicant data", {
  applicants <- c("--applicant-data", test_path("fixtures", "applicants_three_groups.csv"),
                  "--group-column", "group", "--hired-column", "hired")
  groups <- data.frame(name = c("White", "Black", "Hispanic"), applicants = c(43, 19, 15),
                       hires = c(10, 2, 3))
  runs <- list(
    list(args = c("--d", "0,0.5"), fixture = "observed_groups.csv",
         x = ai_observed(groups = groups, d = c(0, 0.5))),
    list(args = c("--reference", "Hispanic", "--alpha", "0.1", "--threshold", "0.9"),
         fixture = "observed_groups_reference.csv",
         x = ai_observed(group_applicants = c(White = 43, Black = 19, Hispanic = 15),
                         group_hires = c(White = 10, Black = 2, Hispanic = 3),
                         reference = "Hispanic", alpha = 0.1, threshold = 0.9)),
    list(args = c("--minority", "Black"), fixture = "observed_groups_minority.csv",
         x = ai_observed(groups = groups, minority = "Black"))
  )
  for (run in runs) {
    observed <- tool_output("KEMRO_OBSERVED", list(c(applicants, run$args)), run$fixture)
    expect_observed_records(run$x, observed$table, observed$exact, run$fixture)
  }
})

test_that("ai_observed() with groups stops on invalid arguments, naming the argument", {
  groups <- data.frame(name = c("A", "B"), applicants = c(10, 5), hires = c(3, 1))
  cases <- list(
    list(quote(ai_observed(30, groups = groups)), "`N` cannot be combined with several groups"),
    list(quote(ai_observed(groups = groups, reference = "C")), "`reference` \"C\" is not a group; the groups are \"A\", \"B\""),
    list(quote(ai_observed(groups = groups, minority = 1)), "`minority` must be one group's name"),
    list(quote(ai_observed(group_applicants = c(A = 10, B = 5), group_hires = c(3, 1))), "must be named by group"),
    list(quote(ai_observed(groups = transform(groups, hires = c(3, 6)))), "`group_hires` must not exceed `group_applicants`: group \"B\" has 6 of 5"),
    list(quote(ai_observed(groups = transform(groups, applicants = c(10, 0)))), "`group_applicants` must be at least 1"),
    list(quote(ai_observed(groups = transform(groups, hires = c(0, 0)))), "B against A: "),
    list(quote(ai_observed(30, 10, 12, 2, reference = "A")), "`reference` and `minority` need several groups")
  )
  for (case in cases) expect_error(eval(case[[1]]), case[[2]], label = deparse(case[[1]]))
})
