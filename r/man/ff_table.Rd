\name{ff_table}
\alias{ff_table}
\title{Adverse impact and quality of those selected, by selection ratio}
\description{
The outcomes of top-down selection on a weighted predictor composite: one
row per selection ratio (the 21 built-in ratios, the smallest ratio that
meets the four-fifths rule, the scenario's requested ratios), with the
columns and the numbers of \code{fourfifths-explore table --format csv}, to
the last bit. A scenario with several minority groups (\code{"groups"})
gives one row per ratio and group, as the explorer's group table.
}
\usage{
ff_table(scenario, ratios = NULL, method = "precise", applicants = NULL,
         replications = 10000, seed = 1, alpha = 0.05)
}
\arguments{
  \item{scenario}{the path of a JSON scenario or a classic deck; a JSON text
    (starting with \code{\{}); or a list with the keys of a JSON scenario.
    In a list, a named list is a JSON object, an unnamed list or a vector
    an array, a vector of length 1 a single value (wrap it in \code{I()}
    to make it an array, as for \code{requested_ratios = I(0.1)}), a
    matrix an array of its rows and a data frame an array of its rows as
    objects.}
  \item{ratios}{\code{NULL} for the report's ratios, or a numeric vector:
    one row at each of these ratios instead (kind \code{"requested"}).}
  \item{method}{\code{"precise"} or \code{"classic"} (the classic
    program's own numerical method; one minority group only).}
  \item{applicants}{\code{NULL}, or the size of an applicant pool drawn
    from the scenario: each row then also gives how often such a pool,
    selected top-down, fails the four-fifths rule and how often Fisher's
    test and the z test find the difference significant
    (\code{pool_selected}, \code{p_fail_four_fifths}, \code{p_fisher},
    \code{p_z}, \code{p_group_absent}, each with its \code{_se}, and
    \code{pool_method}), as \code{fourfifths-explore table --applicants}.}
  \item{replications}{pools simulated where no exact method applies.}
  \item{seed}{the simulation's seed, a whole number of 0 or more.}
  \item{alpha}{the tests' level.}
}
\value{
A data frame. For one minority group: \code{kind}, \code{target},
\code{sr}, \code{sr_majority}, \code{sr_minority}, \code{ai_ratio},
\code{passes_four_fifths}, \code{cut_score}, \code{mean},
\code{mean_majority}, \code{mean_minority}, \code{mean_difference},
\code{std_mean}, \code{std_mean_majority}, \code{std_mean_minority},
\code{std_mean_difference}, \code{status}. For several groups:
\code{kind}, \code{target}, \code{group}, \code{cut_score}, \code{sr},
\code{sr_group}, \code{ai_vs_majority}, \code{ratio_to_highest},
\code{passes_four_fifths}, \code{mean}, \code{mean_group}, \code{status}.
A value the explorer leaves empty is \code{NA}. The effect sizes \code{d}
of a scenario are the minority's mean minus the majority's.
}
\section{Errors and warnings}{
Every fault of the scenario and the arguments is listed in one error of
class \code{fourfifths_error}, one a line, each with its path in the
scenario (\code{predictors[0].d: must be a finite number}) and in the words
of the explorer; the error's \code{faults} holds them apart. What the
reader warns of (a correlation matrix that is not positive definite) comes
as a warning of class \code{fourfifths_warning}.
}
\seealso{\code{\link{ff_pareto}}}
\examples{
path <- system.file("extdata", "published_four_predictors.json",
                    package = "fourfifths")
table <- ff_table(path)
table[table$kind != "builtin", c("kind", "target", "ai_ratio", "mean")]

# At chosen ratios, by the classic method.
ff_table(path, ratios = c(0.05, 0.25), method = "classic")[, 1:7]

# A scenario as a list.
ff_table(list(
  mode = "majority", weights = "regression",
  predictors = list(list(name = "test", d = -1),
                    list(name = "interview", d = -0.3)),
  criteria = list(list(name = "performance", d = -0.3, weight = 1)),
  correlations = matrix(c(1, 0.3, 0.5, 0.3, 1, 0.4, 0.5, 0.4, 1), 3)),
  ratios = 0.2)

# Faults are listed together.
tryCatch(ff_table(list(weights = "regression",
                       predictors = list(list(d = -1), list(d = -0.2)),
                       criteria = list(list(d = -0.2, weight = 1)),
                       correlations = rbind(c(1, 0.3, 0.5), c(0.3, 1, 0.4),
                                            c(0.9, 0.4, 1)),
                       minority_share = 1.5)),
         fourfifths_error = function(e) e$faults)
}
