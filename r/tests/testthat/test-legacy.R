# The argument form of other tools for Pareto-optimal weights: the
# minority's share, the correlations with the criterion last, and d as
# majority minus minority, which is turned.

published_R <- function() {
  R <- matrix(c(1, 0.24, 0, 0.19, 0.3, 0.24, 1, 0.12, 0.16, 0.3, 0, 0.12, 1, 0.51, 0.18,
                0.19, 0.16, 0.51, 1, 0.28, 0.3, 0.3, 0.18, 0.28, 1), 5)
  dimnames(R) <- list(NULL, c("cognitive", "interview", "conscientiousness", "biodata",
                              "performance"))
  R
}

test_that("the argument form gives the scenario's front, and the weights by name", {
  # The published example has three majority applicants per minority one.
  front <- ff_pareto(sr = 0.1, prop = 1 / 4, R = published_R(), d = c(1, 0.23, 0.09, 0.33),
                     criterion_d = 0.21)
  ours <- ff_pareto(published(), 0.1)
  expect_equal(front[names(ours)], ours, tolerance = 1e-15)
  expect_identical(names(front), c(names(ours), "cognitive", "interview", "conscientiousness",
                                   "biodata"))
  expect_identical(front$biodata, front$w4)
  # A higher d for the majority is a lower composite effect for the minority.
  expect_true(all(front$composite_d < 0))
})

test_that("without names the predictors are P1.., and a clash of names is made unique", {
  R <- unname(published_R())
  front <- ff_pareto(sr = 0.2, prop = 0.3, R = R, d = c(1, 0.23, 0.09, 0.33), points = 5)
  expect_identical(tail(names(front), 4), c("P1", "P2", "P3", "P4"))
  dimnames(R) <- list(NULL, c("validity", "w1", "b", "c", "y"))
  front <- ff_pareto(sr = 0.2, prop = 0.3, R = R, d = c(1, 0.23, 0.09, 0.33), points = 5)
  expect_false(anyDuplicated(names(front)) > 0)
})

test_that("the argument form's faults", {
  expect_match(faults_of(ff_pareto(sr = 0.1, prop = 0.2, R = published_R())), "^missing: d")
  expect_match(faults_of(ff_pareto(published(), sr = 0.1)), "either a scenario")
  expect_identical(faults_of(ff_pareto(published())), "missing: ratio")
  # A ratio that is not a number is named as it was given.
  expect_identical(faults_of(ff_pareto(sr = NA, prop = 0.2, R = published_R(),
                                       d = c(1, 0.23, 0.09, 0.33))),
                   "sr: must be a number")
  expect_identical(faults_of(ff_pareto(sr = 0.1, prop = 0.2, R = published_R(),
                                       d = c(1, NA, 0.09, 0.33))),
                   "predictors[1].d: must be a finite number")
  expect_identical(faults_of(ff_pareto(sr = 0.1, prop = 1.2, R = published_R(),
                                       d = c(1, 0.2, 0.09, 0.33))),
                   "minority_share: must lie strictly between 0 and 1")
  R <- published_R()
  R[1, 2] <- 0.5
  expect_true(any(startsWith(faults_of(ff_pareto(sr = 0.1, prop = 0.2, R = R,
                                                 d = c(1, 0.2, 0.1, 0.3))),
                             "correlations: not symmetric")))
  expect_true(length(faults_of(ff_pareto(sr = 0.1, prop = 0.2, R = published_R(),
                                         d = c(1, 0.2, 0.1)))) > 0)
  expect_true(length(faults_of(ff_pareto(sr = 0.1, prop = 0.2, R = "R",
                                         d = c(1, 0.2, 0.1, 0.3)))) > 0)
})
