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

# What the explorer writes for these arguments: the CSV as read.csv reads
# it (its true/false columns made logical), or the lines of its messages
# with their "fourfifths-explore: NAME: " taken off.
explore <- function(args, name) {
  out <- suppressWarnings(system2(explorer(), args, stdout = TRUE, stderr = FALSE))
  status <- attr(out, "status")
  if (!is.null(status) && status != 0) {
    err <- suppressWarnings(system2(explorer(), args, stdout = FALSE, stderr = TRUE))
    prefix <- paste0("fourfifths-explore: ", name, ": ")
    return(list(faults = ifelse(startsWith(err, prefix), substring(err, nchar(prefix) + 1), err)))
  }
  frame <- read.csv(text = out, stringsAsFactors = FALSE)
  for (n in names(frame)) {
    v <- frame[[n]]
    if (is.character(v) && all(v %in% c("true", "false", ""))) frame[[n]] <- as.logical(ifelse(v == "", NA, v))
    if (is.integer(v)) frame[[n]] <- as.double(v)
    if (is.logical(v) && all(is.na(v))) frame[[n]] <- as.double(v)
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
