\name{ff_fit}
\alias{ff_fit}
\title{A scenario estimated from a validation sample}
\description{
The scenario that \code{fourfifths-explore fit} writes, from a data frame
with one row per person: the pooled within-group correlation matrix of the
predictors and criteria, each group's effect sizes against the reference
group (its mean less the reference group's, in pooled within-group standard
deviations), each group's share of the complete rows, and the sample's
sizes (\code{calibration_n}, and each group's rows under
\code{calibration}). The scenario has regression weights on the criteria,
each criterion weighted 1 (without criteria, each predictor weighted 1).
}
\usage{
ff_fit(df, group, predictors, criteria = character(), reference = NULL)
}
\arguments{
  \item{df}{a data frame, one row per person.}
  \item{group}{the name of the column of the groups (a factor, character,
    or any other type, taken as text).}
  \item{predictors}{the names of the predictor columns, in order.}
  \item{criteria}{the names of the criterion columns, in order.}
  \item{reference}{the reference group, or \code{NULL} for the group with
    the most complete rows.}
}
\value{
The scenario as a JSON text, which \code{\link{ff_table}} and
\code{\link{ff_pareto}} take as it is. With one group besides the reference
it has the form of one minority group; with several, \code{"groups"}.
}
\section{Missing values}{
A row with \code{NA} or \code{NaN} in any named column is left out whole
(listwise), and a warning of class \code{fourfifths_warning} says how many
rows were; the scenario records the number as \code{calibration$dropped}.
}
\section{Errors and warnings}{
Every fault is listed in one error of class \code{fourfifths_error}, in the
explorer's words and placed as in the data frame's CSV (line 2 is the first
row): a value that is not a number or is infinite, a group with one complete
row, a single group, a column that does not vary within the groups, a
reference group that no row names.
}
\seealso{\code{\link{ff_table}}}
\examples{
set.seed(1)
n <- 400
group <- rep(c("majority", "minority"), c(300, 100))
test <- rnorm(n) - 0.8 * (group == "minority")
perf <- 0.4 * test + rnorm(n)
scenario <- ff_fit(data.frame(group, test, perf), "group", "test", "perf")
cat(scenario)
ff_table(scenario, ratios = 0.2)[, 1:6]
}
