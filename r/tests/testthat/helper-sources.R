# The repository's data (conformance decks, high-precision outcomes) and the
# explorer, when the run has them: r/run_checks.sh sets both. Tests that need
# one are skipped without it (a tarball checked elsewhere has neither).
source_dir <- function() {
  dir <- Sys.getenv("FOURFIFTHS_SOURCE_DIR")
  if (!nzchar(dir) || !dir.exists(file.path(dir, "tests", "golden"))) {
    skip(paste("FOURFIFTHS_SOURCE_DIR does not name the repository:",
               "no decks or 50-digit outcomes to compare with"))
  }
  dir
}

explorer <- function() {
  path <- Sys.getenv("FOURFIFTHS_EXPLORE")
  if (!nzchar(path) || !file.exists(path)) {
    skip("FOURFIFTHS_EXPLORE does not name fourfifths-explore: no tables of its to compare with")
  }
  path
}

published <- function() {
  path <- system.file("extdata", "published_four_predictors.json", package = "fourfifths")
  if (!nzchar(path)) path <- file.path(source_dir(), "examples", "published_four_predictors.json")
  path
}

# Columns of names, whatever their values look like (a group may be "2").
text_columns <- c("id", "kind", "group", "unit", "reference", "status")

# A CSV column as the package gives it: verdicts as logical, numbers as
# the doubles nearest their decimals (R's own reader may round a 17-digit
# decimal to a neighbour of the nearest double), names as character; an
# empty field is NA, and a column of empty fields is numeric.
csv_column <- function(name, x) {
  present <- nzchar(x)
  if (name %in% text_columns) return(ifelse(present, x, NA_character_))
  if (any(present) && all(x[present] %in% c("true", "false"))) {
    return(ifelse(present, x == "true", NA))
  }
  v <- fourfifths:::ff_doubles(x)
  read <- !is.na(v) | is.nan(v)  # NA is a text that is no number; "NaN" reads as NaN
  if (all(read | !present)) return(v)
  ifelse(present, x, NA_character_)
}

# What the explorer writes for these arguments: its CSV as a data frame, or
# the lines of its messages with their "fourfifths-explore: NAME: " taken
# off.
explore <- function(args, name) {
  out <- suppressWarnings(system2(explorer(), args, stdout = TRUE, stderr = FALSE))
  status <- attr(out, "status")
  if (!is.null(status) && status != 0) {
    err <- suppressWarnings(system2(explorer(), args, stdout = FALSE, stderr = TRUE))
    prefix <- paste0("fourfifths-explore: ", name, ": ")
    return(list(faults = ifelse(startsWith(err, prefix), substring(err, nchar(prefix) + 1), err)))
  }
  cells <- read.csv(text = out, colClasses = "character", na.strings = character(),
                    check.names = FALSE, stringsAsFactors = FALSE)
  frame <- as.data.frame(Map(csv_column, names(cells), cells), check.names = FALSE,
                         stringsAsFactors = FALSE)
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
