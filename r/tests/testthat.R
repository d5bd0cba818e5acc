library(testthat)
library(fourfifths)

test_check("fourfifths")
