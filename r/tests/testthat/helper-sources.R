# The repository's data (conformance decks, high-precision outcomes) and the
# explorer, when the run has them: r/run_checks.sh sets both. Tests that need
# one are skipped without it (a tarball checked elsewhere has neither).
source_dir <- function() {
  dir <- Sys.getenv("FOURFIFTHS_SOURCE_DIR")
  if (!nzchar(dir) || !dir.exists(file.path(dir, "tests", "golden"))) {
    skip("FOURFIFTHS_SOURCE_DIR does not name the repository")
  }
  dir
}

explorer <- function() {
  path <- Sys.getenv("FOURFIFTHS_EXPLORE")
  if (!nzchar(path) || !file.exists(path)) skip("FOURFIFTHS_EXPLORE does not name fourfifths-explore")
  path
}

published <- function() {
  path <- system.file("extdata", "published_four_predictors.json", package = "fourfifths")
  if (!nzchar(path)) path <- file.path(source_dir(), "examples", "published_four_predictors.json")
  path
}

# What the explorer writes for these arguments: its CSV as a data frame, or
# the lines of its messages with their "fourfifths-explore: NAME: " taken
# off. The CSV is read as the package reads the CSV it makes (every number
# to the double nearest its decimal text); read.csv gives the same column
# names and, since R's own reader may round a 17-digit decimal to a
# neighbour of the nearest double, the same numbers within 1e-15.
explore <- function(args, name) {
  out <- suppressWarnings(system2(explorer(), args, stdout = TRUE, stderr = FALSE))
  status <- attr(out, "status")
  if (!is.null(status) && status != 0) {
    err <- suppressWarnings(system2(explorer(), args, stdout = FALSE, stderr = TRUE))
    prefix <- paste0("fourfifths-explore: ", name, ": ")
    return(list(faults = ifelse(startsWith(err, prefix), substring(err, nchar(prefix) + 1), err)))
  }
  frame <- fourfifths:::ff_csv_frame(paste0(paste(out, collapse = "\n"), "\n"))
  by_r <- read.csv(text = out, stringsAsFactors = FALSE)
  expect_identical(names(frame), names(by_r))
  for (n in names(by_r)) {
    if (is.numeric(by_r[[n]])) {
      expect_equal(frame[[n]], as.double(by_r[[n]]), tolerance = 1e-15, label = paste(name, n))
    }
  }
  list(frame = frame)
}

# The same value to the last bit, column by column (NA where the CSV is empty).
expect_same_frame <- function(ours, theirs, label) {
  expect_identical(names(ours), names(theirs), label = label)
  for (n in names(theirs)) {
    expect_identical(ours[[n]], theirs[[n]], label = paste(label, n))
  }
}

# The fault texts of an error of the package.
faults_of <- function(expr) {
  e <- tryCatch({
    expr
    NULL
  }, fourfifths_error = function(e) e)
  if (is.null(e)) return(character())
  e$faults
}
