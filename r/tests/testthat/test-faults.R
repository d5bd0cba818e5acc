# Bad input of every kind gives one R error listing every fault in the
# engine's words, never a crash; warnings come as R warnings.

scenario <- function() {
  list(
    mode = "overall", weights = "regression",
    predictors = list(list(name = "test", d = -1), list(name = "interview", d = -0.2)),
    criteria = list(list(name = "performance", d = -0.2, weight = 1)),
    correlations = matrix(c(1, 0.3, 0.5, 0.3, 1, 0.4, 0.5, 0.4, 1), 3),
    minority_share = 0.2)
}

test_that("the scenario of these tests is sound", {
  expect_s3_class(ff_table(scenario()), "data.frame")
})

test_that("every fault of a scenario is listed in one error, by its path", {
  s <- scenario()
  s$minority_share <- 1.5
  s$correlations[1, 3] <- 0.9
  faults <- faults_of(ff_table(s))
  expect_identical(faults, c("correlations: not symmetric at [0][2]",
                             "minority_share: must lie strictly between 0 and 1"))
  # A number that is not finite is a fault of the document, named alone.
  s <- scenario()
  s$predictors[[1]]$d <- NaN
  s$requested_ratios <- c(0.1, NA)
  expect_identical(faults_of(ff_table(s)), c("predictors[0].d: must be a finite number",
                                             "requested_ratios[1]: must be a finite number"))
  # Faults of the document's types come first, each by its path.
  s <- scenario()
  s$predictors[[1]]$d <- "low"
  s$predictors[[2]]$name <- 2
  faults <- faults_of(ff_table(s))
  expect_length(faults, 2)
  expect_true(all(startsWith(faults, c("predictors[0].d: ", "predictors[1].name: "))))
  e <- tryCatch(ff_table(s), error = function(e) e)
  expect_s3_class(e, "fourfifths_error")
  expect_null(conditionCall(e))
  expect_identical(conditionMessage(e), paste(faults, collapse = "\n"))
})

test_that("wrong shapes and types are faults, not crashes", {
  s <- scenario()
  s$correlations <- diag(2)
  expect_true(length(faults_of(ff_table(s))) > 0)
  s <- scenario()
  s$correlations <- "identity"
  expect_true(length(faults_of(ff_table(s))) > 0)
  s <- scenario()
  s$predictors <- 3
  expect_true(length(faults_of(ff_table(s))) > 0)
  s <- scenario()
  s$mix <- 1
  expect_true(any(grepl("^mix: unknown key", faults_of(ff_table(s)))))
  s <- scenario()
  s$predictors[[1]]$d <- function(x) x
  expect_identical(faults_of(ff_table(s)),
                   "scenario: an R value of type 'closure' has no JSON form")
  s <- scenario()
  s$predictors[[1]]$d <- new.env()
  expect_true(length(faults_of(ff_table(s))) == 1)
  deep <- list()
  for (i in 1:200) deep <- list(deep)
  expect_true(any(grepl("nested more than", faults_of(ff_table(list(title = deep))))))
  expect_identical(faults_of(ff_table(42)), "scenario: must be a path, a JSON text or a list")
  expect_identical(faults_of(ff_table(c("a.json", "b.json"))),
                   "scenario: must be a path, a JSON text or a list")
  expect_identical(faults_of(ff_table(NA_character_)),
                   "scenario: must be a path, a JSON text or a list")
  expect_match(faults_of(ff_table(tempfile())), "^cannot read .*: No such file or directory$")
  expect_match(faults_of(ff_table("{\"mode\": ")), "line 1, column 10")
})

test_that("the arguments' faults are listed with the scenario's", {
  s <- scenario()
  s$minority_share <- 0
  faults <- faults_of(ff_table(s, ratios = c(0.1, NaN, Inf), method = "exact"))
  expect_true("minority_share: must lie strictly between 0 and 1" %in% faults)
  expect_true(all(c("ratios: the 2nd ratio must be a finite number",
                    "ratios: the 3rd ratio must be a finite number",
                    "method: must be one of precise, classic") %in% faults))
  expect_identical(faults_of(ff_table(scenario(), ratios = "0.1")), "ratios: must be numbers")
  expect_identical(faults_of(ff_table(scenario(), ratios = numeric())),
                   "ratios: the list is empty: give one or more ratios")
  expect_identical(faults_of(ff_table(scenario(), method = 1)),
                   "method: must be one of precise, classic")
  faults <- faults_of(ff_pareto(scenario(), "0.1", majority = NA, objective = "speed",
                                signs = TRUE))
  expect_true(all(c("majority: must be TRUE or FALSE", "ratio: must be a number",
                    "objective: must be one of validity, mean",
                    "signs: must be one of nonnegative, any") %in% faults))
})

test_that("a table's ratios are numbers, as many as the explorer takes", {
  # The same words as the Python package's for the same list.
  expect_identical(faults_of(ff_table(scenario(), ratios = c(0.1, NA))),
                   "ratios: the 2nd ratio must be a finite number")
  expect_identical(faults_of(ff_table(scenario(), ratios = c(0.1, NA_integer_, 0.3))),
                   "ratios: the 2nd ratio must be a finite number")
  expect_identical(faults_of(ff_table(scenario(), ratios = rep(0.1, 100001))),
                   "ratios: more than 100000 ratios")
  expect_identical(nrow(ff_table(scenario(), ratios = rep(0.1, 100000))), 100000L)
  # A factor's values are its levels' codes: 0.3 and 0.1 would be the
  # ratios 2 and 1.
  expect_identical(faults_of(ff_table(scenario(), ratios = factor(c(0.3, 0.1)))),
                   "ratios: must be numbers, not a factor")
  expect_identical(faults_of(ff_table(scenario(), ratios = NA)), "ratios: must be numbers")
  expect_identical(ff_table(scenario(), ratios = 1:2 / 10),
                   ff_table(scenario(), ratios = c(0.1, 0.2)))
})

test_that("NA, NULL and a number of the wrong kind are faults of their argument", {
  # Never the default in their place: each is named.
  expect_identical(faults_of(ff_pareto(scenario(), NA)), "ratio: must be a number")
  expect_identical(faults_of(ff_pareto(scenario(), NULL)), "ratio: must be a number")
  expect_identical(faults_of(ff_pareto(scenario(), factor(0.1))), "ratio: must be a number")
  expect_identical(faults_of(ff_pareto(scenario(), 0.1, points = NA)),
                   "points: must be a whole number")
  expect_identical(faults_of(ff_pareto(scenario(), 0.1, points = NA_integer_)),
                   "points: must be a whole number")
  expect_identical(faults_of(ff_pareto(scenario(), 0.1, points = NULL)),
                   "points: must be a whole number")
  expect_identical(faults_of(ff_pareto(scenario(), 0.1, points = 2.5)),
                   "points: must be a whole number")
  expect_identical(faults_of(ff_pareto(scenario(), 0.1, points = "5")),
                   "points: must be a whole number")
  expect_identical(faults_of(ff_pareto(scenario(), 0.1, objective = NA)),
                   "objective: must be one of validity, mean")
  expect_identical(faults_of(ff_pareto(scenario(), 0.1, objective = NULL)),
                   "objective: must be one of validity, mean")
  expect_identical(faults_of(ff_pareto(scenario(), 0.1, signs = NA)),
                   "signs: must be one of nonnegative, any")
  expect_identical(faults_of(ff_table(scenario(), method = NA)),
                   "method: must be one of precise, classic")
  # Every one at once, in the order of the arguments.
  expect_identical(faults_of(ff_pareto(scenario(), NA, points = NA, objective = NA, signs = NA)),
                   c("ratio: must be a number", "points: must be a whole number",
                     "objective: must be one of validity, mean",
                     "signs: must be one of nonnegative, any"))
  # A whole number of points as R writes it, double or integer, is taken.
  expect_identical(ff_pareto(scenario(), 0.1, points = 5), ff_pareto(scenario(), 0.1, points = 5L))
  expect_identical(nrow(ff_pareto(scenario(), 0.1, points = 5)), 5L)
})

test_that("the library's own ranges come back in its words", {
  expect_true(length(faults_of(ff_pareto(scenario(), 1.5))) > 0)
  expect_true(length(faults_of(ff_pareto(scenario(), NaN))) > 0)
  expect_identical(faults_of(ff_pareto(scenario(), 0.1, points = 1)),
                   "points: the number of points must lie between 2 and 10000")
  expect_identical(faults_of(ff_pareto(scenario(), 0.1, points = 1e10)),
                   "points: the number of points must lie between 2 and 10000")
  expect_identical(faults_of(ff_pareto(scenario(), 0.1, points = 2)), character())
  s <- scenario()
  s$minority_share <- NULL
  s$mode <- "majority"
  expect_true(length(faults_of(ff_pareto(s, 0.1))) > 0)
  expect_s3_class(ff_pareto(s, 0.1, majority = TRUE), "data.frame")
})

test_that("a scenario with groups has a table, and no front yet", {
  s <- scenario()
  s$minority_share <- NULL
  s$predictors[[1]]$d <- NULL
  s$predictors[[2]]$d <- NULL
  s$criteria[[1]]$d <- NULL
  s$weights <- NULL
  s$predictors[[1]]$weight <- 1
  s$predictors[[2]]$weight <- 1
  s$groups <- list(list(name = "G1", share = 0.1, d = c(-1, -0.2, -0.3)),
                   list(name = "G2", share = 0.2, d = c(-0.5, 0.1, 0)))
  table <- ff_table(s, ratios = 0.3)
  expect_identical(names(table)[1:3], c("kind", "target", "group"))
  expect_identical(table$group[1:3], c("majority", "G1", "G2"))
  # Their front: quality against the lowest ratio to the highest rate.
  front <- ff_pareto(s, 0.1, points = 5)
  expect_true(all(c("lowest_ratio_to_highest", "ratio_to_highest_majority",
                    "ratio_to_highest_G1", "ratio_to_highest_G2") %in% names(front)))
  expect_identical(faults_of(ff_table(s, method = "classic")),
                   "method: several minority groups are analysed by the precise method only")
})

test_that("a warning of the reader is an R warning, and the table still comes", {
  s <- scenario()
  s$weights <- NULL
  s$predictors[[1]]$weight <- 1
  s$predictors[[2]]$weight <- 1
  s$correlations <- matrix(c(1, 0, 0.9, 0, 1, 0.9, 0.9, 0.9, 1), 3)
  w <- NULL
  table <- withCallingHandlers(ff_table(s), warning = function(c) {
    w <<- c
    invokeRestart("muffleWarning")
  })
  expect_s3_class(w, "fourfifths_warning")
  expect_match(conditionMessage(w), "^correlations: the matrix with the criteria is not positive definite")
  expect_s3_class(table, "data.frame")
})
