# ff_fit on data frames: the explorer's scenario for the frame's CSV,
# missing values left out with a warning, and the explorer's faults.

sample_frame <- function() {
  # Twenty people in two groups (the values of tests/present/fit_test.cc's
  # kind: small numbers with few digits, exact in CSV).
  data.frame(
    group = rep(c("A", "B"), c(12, 8)),
    x = c(1, 2, 3, 4, 2, 3, 5, 1, 2, 4, 3, 2, 0, 1, 2, 1, 0.5, 1.5, 2, 1),
    y = c(2, 3, 3, 5, 1, 2, 4, 2, 2, 3, 4, 1, 1, 0, 2, 1, 1.5, 0.5, 1, 2),
    stringsAsFactors = FALSE)
}

fit_quietly <- function(...) suppressWarnings(ff_fit(...))

test_that("a data frame gives the explorer's scenario for its CSV", {
  explore <- explorer()
  df <- sample_frame()
  df$y[3] <- NA
  path <- tempfile(fileext = ".csv")
  utils::write.csv(df, path, row.names = FALSE, na = "")
  out <- system2(explore, c("fit", shQuote(path), "--group", "group", "--predictors", "x",
                            "--criteria", "y"), stdout = TRUE, stderr = FALSE)
  expect_identical(fit_quietly(df, "group", "x", "y"), paste0(paste(out, collapse = "\n"), "\n"))
})

test_that("missing values leave their rows out, with a warning", {
  df <- sample_frame()
  df$x[2] <- NA
  df$y[15] <- NaN
  df$group[20] <- NA
  expect_warning(s <- ff_fit(df, "group", "x", "y", reference = "A"),
                 "3 rows with a missing value left out \\(listwise\\)",
                 class = "fourfifths_warning")
  expect_match(s, "\"calibration_n\": 17")
  expect_match(s, "\"dropped\": 3")
  # A factor for the groups gives the same scenario.
  df$group <- factor(df$group)
  expect_identical(fit_quietly(df, "group", "x", "y", reference = "A"), s)
  # The scenario is one ff_table takes.
  expect_s3_class(ff_table(s, ratios = 0.3), "data.frame")
})

test_that("each fault is the explorer's, placed as in the frame's CSV", {
  faults_of_fit <- function(df, ...) {
    e <- tryCatch(fit_quietly(df, "group", "x", "y", ...), fourfifths_error = function(e) e)
    expect_s3_class(e, "fourfifths_error")
    conditionMessage(e)
  }
  df <- sample_frame()
  df$x <- as.character(df$x)
  df$x[3] <- "abc"
  expect_identical(faults_of_fit(df), "line 4, column 2 (x): must be a number, not \"abc\"")
  df <- sample_frame()
  df$y[7] <- Inf
  expect_identical(faults_of_fit(df), "line 8, column 3 (y): must be a number, not \"inf\"")
  df <- sample_frame()
  df$group[20] <- "C"
  expect_match(faults_of_fit(df), "group \"C\": has 1 complete row", fixed = TRUE)
  df <- sample_frame()
  df$x <- 2
  expect_identical(faults_of_fit(df), "column \"x\": does not vary within the groups")
  expect_match(faults_of_fit(sample_frame(), reference = "Z"), "names the group \"Z\"",
               fixed = TRUE)
  expect_match(faults_of_fit(sample_frame()[c("group", "x")]), "no column \"y\"", fixed = TRUE)
})
