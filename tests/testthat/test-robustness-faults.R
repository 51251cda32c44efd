# Faults the fuzzing found in code other teams own, each reproduced. They
# are skipped until the owners' mends land; remove the skip with the mend.
qv_load("quorval")

test_that("draws stay inside their interval after ran3 was started from an unsupported seed", {
  skip("core/generator.cpp: a seed above 161,803,398 in magnitude leaves table values outside 0 ... 999,999,999; mend pending")
  # A fresh process: the seeds below restart quorval's generator.
  res <- run_child(c(
    'dyn.load(file.path(build, "quorval.so")); dyn.load(file.path(build, "tests", "qvtesthelper.so"))',
    'ran3 <- getNativeSymbolInfo("ran3", "quorval")$address',
    'draw <- function(seed) {',
    '  u <- .Call("qvt_call_seeded", ran3, seed, 300L)[1:300]',
    '  invisible(.Call("qvt_call_seeded", ran3, seed, 1L)); invisible(.Call("qvt_srand", 1L))',
    '  z <- .Call("trunomcall", 2000L, rep(0, 2000), rep(1, 2000), rep(9, 2000), rep(10, 2000), PACKAGE = "quorval")',
    '  c(sum(u < 0 | u >= 1), sum(z < 9 | z > 10))',
    '}',
    'cat(draw(-2147483647L), draw(NA_integer_), draw(2147483647L), "\\n")'))
  expect_identical(res$status, 0L)
  expect_identical(trimws(res$stdout), "0 0 0 0 0 0")
})

test_that("gammp is a probability for tiny and for huge a", {
  skip("quorval: single-precision ln Gamma makes gammp NaN, 0 or below 0 at extreme a; mend pending")
  gammp <- function(a, x) call_dd_d("gammp", "quorval", a, x)
  # P(a, x) tends to 1 as a tends to 0 (x > 0).
  expect_equal(gammp(1e-30, 0.5), 1, tolerance = 1e-6)
  expect_equal(gammp(1e-40, 0.5), 1, tolerance = 1e-6)
  # Near x = a for large a, P is about pnorm((x - a) / sqrt(a)).
  a <- 1e7
  x <- a * (1 + 5.62441e-4)
  p <- gammp(a, x)
  expect_true(p >= 0 && p <= 1)
  p <- gammp(1e12, 1e12 * 1.001)
  expect_true(p >= 0 && p <= 1)
})
