\name{fourfifths-package}
\alias{fourfifths-package}
\alias{fourfifths}
\docType{package}
\title{Adverse impact, the four-fifths rule and Pareto-optimal weights}
\description{
The engine of fourfifths for personnel-selection research. Applicants from
a majority and one or more minority groups are selected top-down on a
weighted predictor composite; \code{\link{ff_table}} gives the adverse
impact and the quality of those selected at each selection ratio, with the
smallest ratio that meets the four-fifths rule, and \code{\link{ff_pareto}}
the Pareto-optimal predictor weightings between validity and adverse
impact. Both read the scenarios of \code{fourfifths-explore} (JSON or a
classic deck) or an R list of the same keys, and return data frames with
the explorer's columns and numbers.
}
\examples{
path <- system.file("extdata", "published_four_predictors.json",
                    package = "fourfifths")
head(ff_table(path), 3)
}
