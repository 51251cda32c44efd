# The fuzz campaign's own machinery (tests/fuzz): the filter that keeps
# practically endless draws out, the contract checks, and the runner's
# verdicts on a hang, an early exit and a broken contract.
for (part in c("harness.R", "values.R", "slow_intervals.R", "cases_sampler.R",
               "cases_generator.R", "cases_cutpoints.R", "cases_gibbs.R")) {
  source(file.path("..", "fuzz", part), local = TRUE)
}

eps <- .Machine$double.eps

test_that("intervals far narrower than the tail proposals count as practically endless, others not", {
  expect_gt(trunom_attempts(8, 8 + 16 * eps), fuzz_max_attempts)
  expect_gt(trunom_attempts(10, 10 + 1e-15), fuzz_max_attempts)
  expect_gt(trunom_attempts(-10 - 1e-15, -10), fuzz_max_attempts)
  expect_gt(trunom_attempts(8 - 8 * eps, 8), fuzz_max_attempts)
  expect_lt(trunom_attempts(8, 9), 2)
  expect_lt(trunom_attempts(40, 40.1), 2)
  expect_lt(trunom_attempts(1e200, 1e200 * (1 + eps)), 2)   # proposals round to the bound
  expect_identical(trunom_attempts(7.9, 7.9 + 1e-15), 1)       # middle
  expect_identical(trunom_attempts(-Inf, Inf), 1)
  expect_identical(trunom_attempts(NaN, 9), 1)
  expect_true(fuzz_slow_bounds(c(0, 8), c(1, 8 + 16 * eps)))
})

test_that("the trunomcall check flags draws outside, NaN without warning, wrong lengths and wrong verdicts", {
  args <- list(n = 2L, m = c(0, 1), s = c(1, 2), lo = c(-1, 1), hi = c(1, 3))
  ok <- list(value = c(0.5, 2), error = NULL, warnings = character())
  expect_length(check_trunomcall(args, ok), 0)
  expect_match(check_trunomcall(args, modifyList(ok, list(value = c(0.5, 3.01)))), "element 2")
  expect_match(check_trunomcall(args, modifyList(ok, list(value = c(NaN, 2)))), "NaN")
  expect_match(check_trunomcall(args, modifyList(ok, list(value = 0.5))), "length n")
  expect_match(check_trunomcall(args, list(value = NULL, error = "boom", warnings = character())),
               "must succeed")
  nan_args <- modifyList(args, list(lo = c(NaN, 1)))
  expect_match(check_trunomcall(nan_args, modifyList(ok, list(value = c(NaN, 2)))), "NAs produced")
  expect_length(check_trunomcall(nan_args, list(value = c(NaN, 2), error = NULL,
                                                 warnings = "NAs produced")), 0)
  moved <- list(value = NULL, error = paste(fuzz_seed_moved, "Error: as>bl"), warnings = character())
  expect_match(check_trunomcall_r_stream(modifyList(args, list(hi = c(-2, 3))), moved), "stored seed")
  reversed <- modifyList(args, list(hi = c(-2, 3)))
  expect_match(check_trunomcall(reversed, ok), "must be an R error")
  expect_match(check_trunomcall(modifyList(args, list(m = 1:2)), ok), "must be an R error")
})

test_that("the other checks flag their contract breaches", {
  ok <- function(value) list(value = value, error = NULL, warnings = character())
  x <- c(-Inf, 0, 1, Inf)
  gibbs <- list(A = diag(2), m = c(0, 0), x = x, n = 2L, sweeps = 1L)
  expect_length(check_mvtrnorms(gibbs, ok(c(-Inf, 0.2, 0.7, Inf))), 0)
  expect_match(check_mvtrnorms(gibbs, ok(c(-Inf, 0.7, 0.2, Inf))), "out of order")
  expect_match(check_mvtrnorms(gibbs, ok(c(-1, 0.2, 0.7, Inf))), "end values")
  expect_match(check_mvtrnorms(modifyList(gibbs, list(sweeps = 0L)), ok(c(-Inf, 0.5, 1, Inf))),
               "unchanged")

  step <- list(N = 0L, K = 6L, y = integer(), c = c(-Inf, 0, 1, 2, 3, Inf), m = numeric(), t = 1, s = 2)
  expect_length(check_quorval(step, ok(c(-Inf, 0, 0.5, 1.5, 3, Inf, 100))), 0)
  expect_match(check_quorval(step, ok(c(-Inf, 0.1, 0.5, 1.5, 3, Inf, 100))), "fixed cutpoint")
  expect_match(check_quorval(step, ok(c(-Inf, 0, 2.5, 2.6, 3, Inf, 0))), "cutpoint 3 ")
  expect_match(check_quorval(step, ok(c(-Inf, 0, 0.5, 1.5, 3, Inf, 1))), "flag")

  expect_match(check_vlerror(list(text = "a\n"), list(value = NULL, error = "b", warnings = character())),
               "error message")
  expect_match(check_vlerror(list(text = "a"), ok(NULL)), "returned")
  expect_match(check_stest(list(x = c(1, 2, 3)), ok(c(2, 3, 1, rep(0, 7)))), "eight zeros")
  expect_match(check_ran3(list(seed = 5L, count = 2L), ok(c(0.5, 1, 5))), "out of range")
})

test_that("arguments changed in place are found bit for bit", {
  before <- list(c(0, 1), c(NA, 2), "a")
  expect_length(fuzz_changed_args(before, list(c(0, 1), c(NA, 2), "a")), 0)
  expect_identical(fuzz_changed_args(before, list(c(-0, 1), c(NA, 2), "a")), 1L)
  expect_identical(fuzz_changed_args(before, list(c(0, 1), c(NaN, 2), "a")), 2L)
})

test_that("the runner reports a hang, an early exit and a broken contract with the call that caused it", {
  campaign <- function(call, check = "character()") {
    entries <- tempfile(fileext = ".R")
    writeLines(c("fuzz_entry_table <- function() list(list(",
                 '  id = "probe::case", library = "quorval", symbol = "trunom",',
                 sprintf("  args = function() list(), call = function(a) %s,", call),
                 sprintf("  check = function(a, o) %s))", check)), entries)
    out <- tempfile()
    env <- c(QV_FUZZ_ENTRIES = entries, QV_FUZZ_BATCHES = 1, QV_FUZZ_CALLS = 3, QV_FUZZ_TIMEOUT = 4,
             QV_LIBS_DIR = qv_libs_dir(), QV_TEST_HELPER = qv_helper_path())
    status <- system2(file.path(R.home("bin"), "Rscript"), file.path("..", "fuzz", "run_campaign.R"),
                      env = sprintf("%s=%s", names(env), env), stdout = out, stderr = out)
    list(status = status, output = paste(readLines(out), collapse = "\n"))
  }
  endless <- campaign('call_dd_d("trunom", "quorval", 8, 8 + 16 * .Machine$double.eps)')
  expect_identical(endless$status, 1L)
  expect_match(endless$output, "no end within 4 s (hang) at call 1 probe::case", fixed = TRUE)
  expect_match(endless$output, "1 hangs", fixed = TRUE)

  exits <- campaign("quit(status = 3)")
  expect_identical(exits$status, 1L)
  expect_match(exits$output, "child ended with status 3 at call 1 probe::case", fixed = TRUE)

  broken <- campaign('call_dd_d("trunom", "quorval", 0, 1)', check = '"broken on purpose"')
  expect_identical(broken$status, 1L)
  expect_match(broken$output, "3 calls made, 0 ended in R errors (0 refused", fixed = TRUE)
  expect_match(broken$output, "call 2, probe::case: broken on purpose", fixed = TRUE)

  fine <- campaign('call_dd_d("trunom", "quorval", 0, 1)')
  expect_identical(fine$status, 0L)
  expect_match(fine$output, "0 crashes or exits, 0 hangs, 0 contract violations", fixed = TRUE)
})
