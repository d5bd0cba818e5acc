# The precise method against outcomes computed elsewhere in 50-digit
# arithmetic: the conformance decks (tests/golden/precise) and problems with
# several minority groups (tests/analysis/data/groups), within 1e-12.

tolerance <- 1e-12

# Rates and ratios relative to themselves; cut scores and means relative to
# max(1, |value|).
expect_close <- function(got, want, relative, label) {
  expect_length(got, length(want))
  if (length(want) == 0) return(invisible())
  scale <- if (relative) abs(want) else pmax(1, abs(want))
  tiny <- relative & abs(want) < 1e-300
  error <- ifelse(tiny, abs(got - want), abs(got - want) / scale)
  worst <- which.max(error)
  expect_true(all(!is.na(got)), label = paste(label, "has every value"))
  expect_lte(max(error), tolerance,
             label = paste0(label, " (row ", worst, ": ", format(got[worst], digits = 17),
                            " against ", format(want[worst], digits = 17), ")"))
}

test_that("the conformance decks' outcomes agree with 50-digit arithmetic", {
  dir <- file.path(source_dir(), "tests", "golden")
  truth <- read.csv(file.path(dir, "precise", "valid.csv"), colClasses = c(deck = "character",
                    kind = "character"))
  relative <- c("sr", "sr_majority", "sr_minority", "ai_ratio")
  values <- setdiff(names(truth), c("deck", "kind", "index", "target"))
  checked <- 0
  impossible <- 0
  for (deck in unique(truth$deck)) {
    want <- truth[truth$deck == deck, ]
    said <- character()
    table <- withCallingHandlers(
      ff_table(file.path(dir, "conformance", "valid", paste0(deck, ".deck"))),
      warning = function(w) {
        said <<- c(said, conditionMessage(w))
        invokeRestart("muffleWarning")
      })
    if (any(grepl("not positive definite", said))) {
      # Correlations of no population: a status, never the formulas' numbers.
      expect_true(all(table$status == "not_positive_definite"), label = deck)
      expect_true(all(is.na(table$ai_ratio)), label = deck)
      impossible <- impossible + 1
      next
    }
    # The entries by the index the file gives them: the built-in ratios
    # 1 to 21, the minimum 22 when there is one, then the requested ratios.
    index <- ifelse(table$kind == "builtin", seq_len(nrow(table)),
                    ifelse(table$kind == "minimum", 22,
                           22 + cumsum(table$kind == "requested")))
    got <- table[match(want$index, index), ]
    expect_identical(got$kind, want$kind, label = deck)
    for (column in values) {
      given <- !is.na(want[[column]])
      if (any(given)) {
        expect_close(got[[column]][given], want[[column]][given], column %in% relative,
                     paste(deck, column))
      }
    }
    checked <- checked + nrow(want)
  }
  expect_gt(checked, 5000)
  expect_true(impossible > 0 && impossible < 20)
})

# A case of the neutral form as a scenario with groups.
group_scenario <- function(case) {
  predictors <- lapply(seq_len(case$predictors), function(i) {
    p <- list(name = paste0("P", i))
    if (!is.character(case$predictor_weights)) p$weight <- case$predictor_weights[[i]]
    p
  })
  criteria <- lapply(seq_len(case$criteria), function(i) {
    list(name = paste0("C", i), weight = case$criterion_weights[[i]])
  })
  scenario <- list(
    mode = case$mode, quality = case$quality, predictors = predictors, criteria = criteria,
    correlations = lapply(case$correlations, function(row) I(unlist(row))),
    groups = lapply(case$groups, function(g) list(name = g$name, share = g$share, d = I(unlist(g$d)))))
  if (is.character(case$predictor_weights)) scenario$weights <- "regression"
  scenario
}

test_that("several minority groups agree with 50-digit arithmetic", {
  skip_if_not_installed("jsonlite")
  dir <- file.path(source_dir(), "tests", "analysis", "data", "groups")
  cases <- lapply(readLines(file.path(dir, "cases.jsonl")), jsonlite::fromJSON,
                  simplifyVector = FALSE)
  truth <- read.csv(file.path(dir, "truth.csv"), colClasses = c(ratio = "character",
                    case = "character", group = "character"))
  expect_length(cases, 120)
  for (case in cases) {
    want <- truth[truth$case == case$id, ]
    # A minimum below the doubles (1e-784) is none to the precise method.
    below <- startsWith(want$ratio, "minimum:") &
      as.numeric(sub("minimum:", "", want$ratio, fixed = TRUE)) == 0
    want <- want[!below, ]
    at_minimum <- startsWith(want$ratio, "minimum:")
    ratios <- unique(as.numeric(want$ratio[!at_minimum]))
    table <- ff_table(group_scenario(case), ratios = ratios)
    got <- table[c(which(table$kind == "requested"), which(table$kind == "minimum")), ]
    expect_identical(got$group, want$group, label = case$id)
    expect_close(got$target[at_minimum], as.numeric(sub("minimum:", "", want$ratio[at_minimum])),
                 TRUE, paste(case$id, "minimum"))
    expect_close(got$cut_score, want$cut_score, FALSE, paste(case$id, "cut_score"))
    expect_close(got$sr_group, want$sr, TRUE, paste(case$id, "sr_group"))
    expect_close(got$ai_vs_majority, want$ai_vs_majority, TRUE, paste(case$id, "ai_vs_majority"))
    expect_close(got$ratio_to_highest, want$ratio_to_highest, TRUE, paste(case$id, "ratio_to_highest"))
    expect_close(got$mean_group, want$mean, FALSE, paste(case$id, "mean_group"))
    expect_close(got$sr, want$overall_sr, TRUE, paste(case$id, "sr"))
    expect_close(got$mean, want$overall_mean, FALSE, paste(case$id, "mean"))
    # At the minimum the verdict sits on the boundary itself: it must pass.
    expect_identical(got$passes_four_fifths[!at_minimum], as.logical(want$passes_four_fifths[!at_minimum]),
                     label = case$id)
    expect_true(all(got$passes_four_fifths[at_minimum]), label = paste(case$id, "minimum passes"))
  }
})
