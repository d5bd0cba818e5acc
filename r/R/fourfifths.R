# The R face of fourfifths. The C++ side (src/fourfifths_r.cpp) reads and
# checks everything and hands back the value with the faults as text; they
# are raised here, so that no R error passes through C++.

# Raises the answer's warnings, then its errors, all in one; else its value.
deliver <- function(answer) {
  for (w in answer$warnings) {
    warning(warningCondition(w, class = "fourfifths_warning", call = NULL))
  }
  if (length(answer$errors) > 0) {
    fail(answer$errors)
  }
  answer$value
}

# A path given with "~" is expanded, as R's own readers do.
scenario_arg <- function(scenario) {
  if (is.character(scenario) && length(scenario) == 1 && !is.na(scenario) &&
      startsWith(scenario, "~")) {
    return(path.expand(scenario))
  }
  scenario
}

# An error listing its faults, one a line; `faults` keeps them apart.
fail <- function(faults) {
  stop(errorCondition(paste(faults, collapse = "\n"), faults = faults,
                      class = "fourfifths_error", call = NULL))
}

ff_table <- function(scenario, ratios = NULL, method = "precise", applicants = NULL,
                     replications = 10000, seed = 1, alpha = 0.05) {
  pool <- if (is.null(applicants)) NULL else
    list(applicants = applicants, replications = replications, seed = seed, alpha = alpha)
  deliver(ff_table_impl(scenario_arg(scenario), ratios, method, pool))
}

ff_pareto <- function(scenario, ratio, points = 21, majority = FALSE,
                      objective = "validity", signs = "nonnegative",
                      sr, prop, R, d, criterion_d = 0,
                      calibration_n = NULL, replications = 1000, seed = 1, threads = NULL) {
  legacy <- c(sr = !missing(sr), prop = !missing(prop), R = !missing(R), d = !missing(d))
  weight_names <- NULL
  if (any(legacy)) {
    if (!missing(scenario) || !missing(ratio)) {
      fail("give either a scenario and its ratio, or sr, prop, R and d")
    }
    if (!all(legacy)) {
      fail(paste0("missing: ", paste(names(legacy)[!legacy], collapse = ", "),
                                 " (sr, prop, R and d are given together)"))
    }
    form <- legacy_scenario(prop, R, d, criterion_d)
    scenario <- form$scenario
    weight_names <- form$names
    ratio <- sr
    ratio_name <- "sr"
  } else {
    ratio_name <- "ratio"
    absent <- c(scenario = missing(scenario), ratio = missing(ratio))
    if (any(absent)) {
      fail(paste0("missing: ", paste(names(absent)[absent], collapse = ", ")))
    }
  }
  # Each as given: NULL and NA are faults of their argument, never a default.
  options <- list(ratio = ratio, points = points, objective = objective, signs = signs,
                  ratio_name = ratio_name, calibration_n = calibration_n,
                  replications = replications, seed = seed, threads = threads)
  front <- deliver(ff_pareto_impl(scenario_arg(scenario), options, majority))
  if (!is.null(weight_names)) {
    # The weights again under the predictors' names, after the columns.
    weights <- front[paste0("w", seq_along(weight_names))]
    names(weights) <- make.unique(c(names(front), weight_names))[-seq_along(front)]
    front <- cbind(front, weights)
  }
  front
}

# The scenario of the argument form of other tools for Pareto-optimal
# weights: the minority's share of the applicants, the correlations with the
# criterion last, and d as majority minus minority (turned here, and the
# criterion's too: a scenario's d is minority minus majority). The names are
# the matrix's.
legacy_scenario <- function(prop, R, d, criterion_d) {
  k <- length(d)
  given <- if (is.matrix(R)) (if (is.null(colnames(R))) rownames(R) else colnames(R))
  named <- !is.null(given) && length(given) == k + 1
  predictor_names <- if (named) given[seq_len(k)] else paste0("P", seq_len(k))
  criterion_name <- if (named) given[[k + 1]] else "criterion"
  ours <- if (is.numeric(d)) -d else d
  predictors <- lapply(seq_len(k), function(i) {
    list(name = predictor_names[[i]], d = if (is.list(ours)) ours[[i]] else ours[i])
  })
  scenario <- list(
    mode = "overall", quality = "criterion", weights = "regression",
    predictors = predictors,
    criteria = list(list(name = criterion_name,
                         d = if (is.numeric(criterion_d)) -criterion_d else criterion_d,
                         weight = 1)),
    correlations = R, minority_share = prop)
  list(scenario = scenario, names = predictor_names)
}

# A scenario estimated from a validation sample, as `fourfifths-explore fit`
# writes it: the JSON text, which ff_table and ff_pareto take as it is.
ff_fit <- function(df, group, predictors, criteria = character(), reference = NULL) {
  if (!is.data.frame(df)) fail("df must be a data.frame")
  wanted <- c(group, predictors, criteria)
  absent <- setdiff(wanted, names(df))
  if (length(absent) > 0) {
    fail(paste0("no column \"", absent[[1]], "\" in the data (it has ",
                paste(names(df), collapse = ", "), ")"))
  }
  twice <- wanted[wanted %in% names(df)[duplicated(names(df))]]
  if (length(twice) > 0) fail(paste0("the column \"", twice[[1]], "\" appears twice"))
  positions <- match(wanted, names(df))
  labels <- df[[group]]
  if (!is.factor(labels) && !is.character(labels)) labels <- as.character(labels)
  # A text column of scores: each cell that is not a number is a fault,
  # placed as in the data frame's CSV (line 2 is the first row).
  scores <- lapply(seq_along(wanted)[-1], function(k) {
    x <- df[[wanted[[k]]]]
    if (is.factor(x)) x <- as.character(x)
    if (!is.character(x)) return(x)
    numbers <- suppressWarnings(as.numeric(x))
    bad <- which(is.na(numbers) & !is.na(x) & trimws(x) != "")
    if (length(bad) > 0) {
      bad <- utils::head(bad, 20)
      fail(paste0("line ", bad + 1, ", column ", positions[[k]], " (", wanted[[k]],
                  "): must be a number, not \"", x[bad], "\""))
    }
    numbers
  })
  request <- list(group = group, predictors = as.character(predictors),
                  criteria = as.character(criteria), reference = reference)
  deliver(ff_fit_impl(labels, scores, request, as.integer(positions)))
}
