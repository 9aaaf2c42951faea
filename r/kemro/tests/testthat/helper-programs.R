# Shared by the tests: the CSV output of the command-line tools for the same
# scenarios. When the environment names a built program (KEMRO_GRID,
# KEMRO_OBSERVED; make r-test and make r-check do), the tests run it and
# compare to the last bit. Otherwise they read the output stored in
# fixtures/, which the same program wrote for the same runs (one header line
# per file), and compare within FIXTURE_TOLERANCE: a later change of the engine
# may move the last digits of what was stored.

FIXTURE_TOLERANCE <- 1e-9

# The path of a built program named by the environment variable, or "".
program_path <- function(variable) {
  program <- Sys.getenv(variable)
  if (nzchar(program) && file.exists(program)) program else ""
}

# The tool's CSV output for each argument vector in `runs`, one table with every
# column as text, and whether it came from the program itself (`exact`).
tool_output <- function(variable, runs, fixture) {
  program <- program_path(variable)
  if (!nzchar(program)) {
    table <- utils::read.csv(test_path("fixtures", fixture), colClasses = "character")
    return(list(table = table, exact = FALSE))
  }
  tables <- lapply(runs, function(args) {
    text <- system2(program, c(args, "--csv"), stdout = TRUE, stderr = FALSE)
    utils::read.csv(text = text, colClasses = "character")
  })
  list(table = do.call(rbind, tables), exact = TRUE)
}

# A CSV number as R's double: the empty field of an undefined value is NA.
csv_number <- function(text) {
  ifelse(text == "", NA_real_, suppressWarnings(as.numeric(text)))
}

# Compares numbers from R with the tool's: identical when the program ran,
# within FIXTURE_TOLERANCE when they come from the stored file.
expect_same_numbers <- function(actual, expected, exact, label) {
  if (exact) {
    expect_identical(actual, expected, label = label)
  } else {
    expect_equal(actual, expected, tolerance = FIXTURE_TOLERANCE, label = label)
  }
}
