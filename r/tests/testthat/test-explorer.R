# The package's tables are the explorer's, to the last bit: the examples,
# every conformance deck by both methods, requested ratios, fronts, and a
# deck's faults with the same words.

decks <- function(kind) {
  sort(Sys.glob(file.path(source_dir(), "tests", "golden", "conformance", kind, "*.deck")))
}

test_that("the examples' tables and fronts are the explorer's", {
  examples <- Sys.glob(file.path(source_dir(), "examples", "*.json"))
  expect_gt(length(examples), 4)
  for (path in examples) {
    want <- explore(c("table", path, "--format", "csv"), path)
    expect_same_frame(ff_table(path), want$frame, basename(path))
    if (any(grepl("\"groups\"", readLines(path), fixed = TRUE))) {
      # Several groups are analysed by the precise method only, here as by
      # the explorer.
      expect_error(ff_table(path, method = "classic"), "precise method only")
      next
    }
    want <- explore(c("table", path, "--ratios", "0.02,0.5,0.999", "--method", "classic",
                      "--format", "csv"), path)
    expect_same_frame(ff_table(path, ratios = c(0.02, 0.5, 0.999), method = "classic"),
                      want$frame, paste(basename(path), "classic at three ratios"))
  }
  path <- file.path(source_dir(), "examples", "published_four_predictors.json")
  for (ratio in c(0.1, 0.3)) {
    want <- explore(c("pareto", path, "--ratio", ratio, "--format", "csv"), path)
    expect_same_frame(ff_pareto(path, ratio), want$frame, paste("front at", ratio))
  }
  want <- explore(c("pareto", path, "--ratio", "0.2", "--majority", "--points", "7", "--objective",
                    "mean", "--weights", "any", "--format", "csv"), path)
  expect_same_frame(ff_pareto(path, 0.2, points = 7, majority = TRUE, objective = "mean",
                              signs = "any"), want$frame, "front of the mean, any signs")
})

test_that("a scenario given as a path, a JSON text or a list gives one table", {
  path <- published()
  text <- paste(readLines(path), collapse = "\n")
  table <- ff_table(path)
  expect_identical(ff_table(text), table)
  R <- matrix(c(1, 0.24, 0, 0.19, 0.3, 0.24, 1, 0.12, 0.16, 0.3, 0, 0.12, 1, 0.51, 0.18,
                0.19, 0.16, 0.51, 1, 0.28, 0.3, 0.3, 0.18, 0.28, 1), 5)
  as_list <- list(
    title = "Four predictors of the 2007 Pareto-optimal weighting literature",
    mode = "overall", quality = "criterion", weights = "regression",
    predictors = data.frame(name = c("cognitive ability", "structured interview",
                                     "conscientiousness", "biodata"),
                            d = c(-1, -0.23, -0.09, -0.33)),
    criteria = list(list(name = "job performance", d = -0.21, weight = 1)),
    correlations = R, majority_per_minority = 3, requested_ratios = I(0.1))
  expect_identical(ff_table(as_list), table)
  expect_identical(ff_pareto(as_list, 0.1), ff_pareto(path, 0.1))
})

test_that("every conformance deck gives the explorer's table or its messages, by both methods", {
  all <- c(decks("valid"), decks("edge"), decks("invalid"))
  expect_gt(length(all), 500)
  refused <- 0
  for (deck in all) {
    for (method in c("precise", "classic")) {
      want <- explore(c("table", deck, "--method", method, "--format", "csv"), deck)
      if (is.null(want$frame)) {
        refused <- refused + 1
        expect_identical(faults_of(suppressWarnings(ff_table(deck, method = method))),
                         want$faults, label = paste(basename(deck), method))
      } else {
        expect_same_frame(suppressWarnings(ff_table(deck, method = method)), want$frame,
                          paste(basename(deck), method))
      }
    }
  }
  expect_gt(refused, 200)
})
