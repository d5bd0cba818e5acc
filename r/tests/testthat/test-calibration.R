# A front's calibration from R: the explorer's numbers to the last bit for
# the same seed, whatever the threads, and the same faults as Python's.
test_that("a calibrated front is the explorer's", {
  for (path in c(published(), file.path(source_dir(), "examples", "three_groups.json"))) {
    want <- explore(c("pareto", path, "--ratio", "0.2", "--points", "7", "--calibration-n", "120",
                      "--replications", "40", "--seed", "5", "--threads", "1",
                      "--format", "csv"), path)
    ours <- ff_pareto(path, 0.2, points = 7, calibration_n = 120, replications = 40, seed = 5,
                      threads = 2)
    expect_same_frame(ours, want$frame, basename(path))
  }
})

test_that("calibration arguments are faults of their own name", {
  path <- published()
  cases <- list(list(calibration_n = 2.5, name = "calibration_n"),
                list(calibration_n = NA, name = "calibration_n"),
                list(calibration_n = "100", name = "calibration_n"),
                list(calibration_n = 0, name = "calibration_n"),
                list(calibration_n = 100, replications = NA, name = "replications"),
                list(calibration_n = 100, seed = -1, name = "seed"),
                list(calibration_n = 100, threads = 0, name = "threads"))
  for (case in cases) {
    name <- case$name
    case$name <- NULL
    faults <- faults_of(do.call(ff_pareto, c(list(path, 0.2), case)))
    expect_true(any(startsWith(faults, paste0(name, ":"))), label = paste(name, faults))
  }
})

test_that("a table with finite pools is the explorer's", {
  for (path in c(published(), file.path(source_dir(), "examples", "three_groups.json"))) {
    want <- explore(c("table", path, "--ratios", "0.1,0.3", "--applicants", "40",
                      "--replications", "500", "--seed", "3", "--format", "csv"), path)
    ours <- ff_table(path, c(0.1, 0.3), applicants = 40, replications = 500, seed = 3)
    expect_same_frame(ours, want$frame, basename(path))
  }
  expect_true(any(startsWith(faults_of(ff_table(published(), applicants = NA)), "applicants:")))
  expect_true(any(startsWith(faults_of(ff_table(published(), applicants = 0)), "applicants")))
})
