\name{ff_pareto}
\alias{ff_pareto}
\title{Pareto-optimal predictor weights}
\description{
The weightings of the predictors for which no other weighting gives both a
higher adverse-impact ratio and a higher quality of those selected, at one
selection ratio: the columns and the numbers of
\code{fourfifths-explore pareto --format csv}, to the last bit. A scenario
with several minority groups gives the front of quality against the lowest
ratio to the highest rate, with the explorer's columns for it
(\code{lowest_ratio_to_highest} and \code{ratio_to_highest_<group>}).

The argument form of other tools for Pareto-optimal weights is taken too,
so that their input need not be rewritten: \code{sr}, \code{prop},
\code{R} and \code{d} instead of a scenario and its ratio.
}
\usage{
ff_pareto(scenario, ratio, points = 21, majority = FALSE,
          objective = "validity", signs = "nonnegative",
          sr, prop, R, d, criterion_d = 0,
          calibration_n = NULL, replications = 1000, seed = 1, threads = NULL)
}
\arguments{
  \item{scenario}{a path, a JSON text or a list, as for \code{\link{ff_table}}.}
  \item{ratio}{the selection ratio R: the overall one, or with
    \code{majority = TRUE} the majority group's.}
  \item{points}{points of the front, both ends included (2 to 10000).}
  \item{majority}{whether \code{ratio} is the majority group's selection
    ratio.}
  \item{objective}{\code{"validity"}, the composite's correlation with the
    criterion composite, or \code{"mean"}, the mean criterion score of those
    selected.}
  \item{signs}{\code{"nonnegative"} or \code{"any"}: the signs the weights
    may take.}
  \item{sr}{argument form: the overall selection ratio.}
  \item{prop}{argument form: the minority group's share of the applicants.}
  \item{R}{argument form: the correlation matrix of the predictors and the
    criterion, the criterion last. Its column (or row) names name the
    predictors.}
  \item{d}{argument form: one effect size per predictor, the
    \strong{majority}'s mean minus the minority's. A scenario's \code{d}
    has the other sign (the minority's mean minus the majority's); these are
    turned.}
  \item{criterion_d}{argument form: the criterion's effect size, with the
    sign of \code{d}; it moves only the \code{mean} columns (0: no group
    difference on the criterion).}
  \item{calibration_n}{\code{NULL}, or the applicants of a calibration
    sample: each point then also gives what weights found at its level in
    \code{replications} such samples give in new applicants (the columns
    \code{cv_level}, \code{cv_validity}, \code{cv_mean},
    \code{cv_lowest_ratio}, each with \code{_se}, \code{_q05} and
    \code{_q95}, \code{p_below_level} and \code{cv_unreachable}), as
    \code{fourfifths-explore pareto --calibration-n}.}
  \item{replications}{calibration samples to draw.}
  \item{seed}{their seed, a whole number of 0 or more: the same seed gives
    the same numbers for every number of threads.}
  \item{threads}{worker threads; \code{NULL}, one per CPU.}
}
\value{
A data frame, one row per point of the front from the highest quality to
the highest impact ratio: \code{point}, \code{ai_ratio}, \code{validity},
\code{mean}, \code{mean_majority}, \code{mean_minority},
\code{sr_majority}, \code{sr_minority}, \code{composite_d},
\code{four_fifths_minimum}, and the weights \code{w1}, \code{w2}, ...
(scaled to sum 1). In the argument form the weights follow once more under
the predictors' names (\code{P1}, \code{P2}, ... when \code{R} has none).
}
\details{
The argument form makes a scenario in overall mode with regression weights:
the predictors with \code{-d}, one criterion with \code{-criterion_d},
\code{R} as its correlations and \code{prop} as its \code{minority_share}.
Its faults name these keys: \code{prop} is \code{minority_share},
\code{R} is \code{correlations}, \code{d[i]} is \code{predictors[i-1].d}.
}
\section{Errors and warnings}{
As for \code{\link{ff_table}}: every fault in one error of class
\code{fourfifths_error}, in the explorer's words; a ratio outside (0, 1) or
a number of points out of range is the library's fault to name.
}
\seealso{\code{\link{ff_table}}}
\examples{
path <- system.file("extdata", "published_four_predictors.json",
                    package = "fourfifths")
front <- ff_pareto(path, 0.1)
front[c(1, 11, 21), c("ai_ratio", "validity", "w1", "w2", "w3", "w4")]

# The same front from the argument form: the minority is a quarter of the
# applicants, d is the majority's mean minus the minority's.
R <- matrix(c(1, 0.24, 0, 0.19, 0.3,
              0.24, 1, 0.12, 0.16, 0.3,
              0, 0.12, 1, 0.51, 0.18,
              0.19, 0.16, 0.51, 1, 0.28,
              0.3, 0.3, 0.18, 0.28, 1), 5,
            dimnames = list(NULL, c("cognitive", "interview", "conscientiousness",
                                    "biodata", "performance")))
legacy <- ff_pareto(sr = 0.1, prop = 1 / 4, R = R, d = c(1, 0.23, 0.09, 0.33),
                    criterion_d = 0.21)
legacy[c(1, 21), c("ai_ratio", "validity", "cognitive", "biodata")]
}
