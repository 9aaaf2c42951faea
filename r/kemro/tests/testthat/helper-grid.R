# Shared by the tests: kemro-grid's CSV output, from a stored file made by
# kemro-grid or from the program itself when KEMRO_GRID names it.

# The stored CSV fixtures/<name>, read with every column as text.
read_fixture <- function(name) {
  utils::read.csv(test_path("fixtures", name), colClasses = "character")
}

# The path of a built kemro-grid, or "" when there is none to run.
kemro_grid_program <- function() {
  program <- Sys.getenv("KEMRO_GRID")
  if (nzchar(program) && file.exists(program)) program else ""
}

# kemro-grid's CSV for `args`, read with every column as text.
run_kemro_grid <- function(args) {
  text <- system2(kemro_grid_program(), c(args, "--csv"), stdout = TRUE, stderr = FALSE)
  utils::read.csv(text = text, colClasses = "character")
}

# A CSV number as R's double: the empty field of an undefined value is NA.
csv_number <- function(text) {
  ifelse(text == "", NA_real_, suppressWarnings(as.numeric(text)))
}
