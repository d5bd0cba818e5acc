# What a call from R costs above the C++ work it asks for, on the published
# four-predictor example: the table (reading the scenario from its file and
# the outcomes at every ratio) and the 21-point front at 0.1. Prints the
# figures; the goals are at most 20 microseconds above the C++ call and
# 2 ms for the front.
library(fourfifths)

path <- system.file("extdata", "published_four_predictors.json", package = "fourfifths")
per_call <- function(f, calls) {
  f()
  start <- proc.time()[["elapsed"]]
  for (i in seq_len(calls)) f()
  (proc.time()[["elapsed"]] - start) / calls
}
best_of <- function(f, calls, rounds = 5) min(vapply(seq_len(rounds), function(i) per_call(f, calls), 0))
us <- function(seconds) sprintf("%8.1f us", seconds * 1e6)

calls <- 2000
table_r <- best_of(function() ff_table(path), calls)
table_cpp <- min(replicate(5, fourfifths:::ff_table_seconds(path, NULL, "precise", calls, FALSE)))
table_csv <- min(replicate(5, fourfifths:::ff_table_seconds(path, NULL, "precise", calls, TRUE)))
cat("ff_table(published example), 23 rows\n")
cat("  the call from R            ", us(table_r), "\n")
cat("  C++: read and table        ", us(table_cpp), "\n")
cat("  C++: read, table, columns  ", us(table_csv), "\n")
cat("  above the C++ call         ", us(table_r - table_cpp), "(goal: 20 us)\n")

calls <- 100
front_r <- best_of(function() ff_pareto(path, 0.1), calls)
front_cpp <- min(replicate(5, fourfifths:::ff_pareto_seconds(path, 0.1, 21L, calls, FALSE)))
cat("ff_pareto(published example, 0.1), 21 points\n")
cat("  the call from R            ", us(front_r), "(goal: 2000 us)\n")
cat("  C++: the front             ", us(front_cpp), "\n")
cat("  above the C++ call         ", us(front_r - front_cpp), "\n")
