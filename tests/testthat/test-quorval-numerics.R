# The exported incomplete gamma routines and norm, called through their C
# signatures: agreement with R's own functions, float results, the fatal
# reports as R errors after the three lines, and the library's export list.
qv_load("quorval")

# x rounded to the nearest float (a C float conversion).
as_float <- function(x) readBin(writeBin(x, raw(), size = 4), "double", n = length(x), size = 4)

test_that("gammln, gammp and norm agree with lgamma, pgamma and pnorm", {
  x <- c(0.1, 0.5, 1, 2, 3.5, 10, 57.25)
  lg <- call_d_f("gammln", "quorval", x)
  expect_identical(lg, as_float(lg))
  expect_equal(lg, lgamma(as_float(x)), tolerance = 1e-6)
  for (a in c(0.5, 1, 2.5, 10, 100)) {
    x <- c(0, 0.3, 1, a, a + 1, 2 * a, 5 * a)
    # ln Gamma(a) is a float: its rounding error grows with its size.
    expect_equal(call_dd_d("gammp", "quorval", rep(a, length(x)), x), pgamma(x, a),
                 tolerance = 1e-7 * max(10, lgamma(a)), info = paste("a =", a))
  }
  z <- seq(-7, 7, by = 0.125)
  expect_equal(call_d_d("norm", "quorval", z), 2 * pnorm(z), tolerance = 3e-7)
  expect_equal(call_d_d("norm", "quorval", -5), 2 * pnorm(-5), tolerance = 1e-4)
})

test_that("gser and gcf write float P and Q and ln Gamma(a) through their pointers", {
  for (a in c(0.5, 2, 7.5)) {
    p <- call_fddf("gser", "quorval", a, a / 2)
    q <- call_fddf("gcf", "quorval", a, a + 3)
    expect_identical(p, as_float(p))
    expect_identical(q, as_float(q))
    expect_identical(p[2], call_d_f("gammln", "quorval", a))
    expect_identical(q[2], p[2])
    expect_equal(p[1], pgamma(a / 2, a), tolerance = 1e-6)
    expect_equal(q[1], pgamma(a + 3, a, lower.tail = FALSE), tolerance = 1e-6)
  }
  expect_identical(call_fddf("gser", "quorval", 2, 0)[1], 0)
})

test_that("failures are R errors after the three lines, and the session goes on", {
  cases <- list(
    list(quote(call_dd_d("gammp", "quorval", 1000, 1000)), "a too large, ITMAX too small in routine GSER"),
    list(quote(call_dd_d("gammp", "quorval", 1, -1)), "Invalid arguments in routine GAMMP"),
    list(quote(call_dd_d("gammp", "quorval", 0, 1)), "Invalid arguments in routine GAMMP"),
    list(quote(call_dd_d("gammp", "quorval", NaN, 1)), "a too large, ITMAX too small in routine GCF"),
    list(quote(call_dd_d("gammp", "quorval", 1, Inf)), "a too large, ITMAX too small in routine GCF"),
    list(quote(call_fddf("gser", "quorval", 1, -1)), "x less than 0 in routine GSER"),
    list(quote(call_d_d("norm", "quorval", NaN)), "a too large, ITMAX too small in routine GCF"),
    list(quote(call_d_d("norm", "quorval", Inf)), "a too large, ITMAX too small in routine GCF"),
    list(quote(call_d_d("norm", "quorval", 3e19)), "a too large, ITMAX too small in routine GCF"))
  for (case in cases) expect_fatal_report(eval(case[[1]]), case[[2]])
  expect_identical(call_d_d("norm", "quorval", c(-1e19, 0, 1e19)), c(0, 1, 2))
})

test_that("the library exports exactly its entry points", {
  nm <- Sys.which("nm")
  skip_if(nm == "", "nm not available")
  out <- system2(nm, c("-D", "--defined-only", qv_lib_path("quorval")), stdout = TRUE)
  names <- vapply(strsplit(trimws(out), " +"), function(f) f[length(f)], "")
  expect_setequal(names, c("ran3", "gasdev", "expdev", "vlerror", "onetn", "trunom",
                           "trunomcall", "trunomc", "stest", "quorval",
                           "gammln", "gser", "gcf", "gammp", "norm"))
})
