# The host entries of quorval and vaskor: trunomcall, trunomc, stest.
qv_load("quorval")
qv_load("vaskor")

tn_call <- function(lib, m, s, lo, hi, n = length(m)) {
  .Call("trunomcall", n, m, s, lo, hi, PACKAGE = lib)
}

test_that("trunomcall returns one draw per element inside its interval, arguments untouched", {
  c_srand(1)
  m <- c(0, 1, -2, 5, 0.5, 10)
  s <- c(1, 2, 0.5, 1, 4, 0.1)
  lo <- c(-1, 1, -Inf, 4, 0.5, 0)
  hi <- c(1, Inf, -3, 4.5, 0.5, 200)
  copies <- list(m + 0, s + 0, lo + 0, hi + 0)
  for (lib in c("quorval", "vaskor")) {
    for (rep in 1:200) {
      r <- tn_call(lib, m, s, lo, hi)
      expect_length(r, 6)
      expect_type(r, "double")
      expect_true(all(r >= lo - 1e-12 & r <= hi + 1e-12))
    }
  }
  expect_identical(list(m, s, lo, hi), copies)
  expect_identical(tn_call("quorval", m, s, lo, hi, n = 3L)[0], numeric(0))
  expect_length(tn_call("quorval", m, s, lo, hi, n = 3L), 3)
})

test_that("a count of 0 returns an empty vector and takes nothing from the stream", {
  used <- rand_consumed(3, r <- tn_call("quorval", numeric(0), numeric(0), numeric(0), numeric(0)))
  expect_identical(r, numeric(0))
  expect_identical(used, 0L)
  out <- c(7, 7)
  used <- rand_consumed(3, res <- .C("trunomc", 0L, c(0, 0), c(1, 1), out = out, PACKAGE = "quorval"))
  expect_identical(res$out, c(7, 7))
  expect_identical(used, 0L)
})

test_that("trunomcall with means 0 and reciprocal sds 1 equals trunomc from the same stream position", {
  # Each run starts from a freshly loaded library and the same srand(), so the
  # generator, its held normal deviate and rand() all stand at the same place.
  draw <- function(call) run_child(c(
    'dyn.load(file.path(build, "quorval.so")); dyn.load(helper)',
    'lo <- c(-1, 0, 4, -Inf, -7.9, 1, 3, -Inf, 8, -20, -2, -3)',
    'hi <- c(1, Inf, Inf, -4, 7.9, 1.5, 3.5, Inf, 9, -10, Inf, 9)',
    'n <- length(lo); invisible(.Call("qvt_srand", 42L))',
    call,
    'cat(sprintf("%a", r), .Call("qvt_rand", 1L), "\\n")'))
  a <- draw('r <- .Call("trunomcall", n, rep(0, n), rep(1, n), lo, hi, PACKAGE = "quorval")')
  b <- draw('r <- .C("trunomc", n, lo, hi, out = numeric(n), NAOK = TRUE, PACKAGE = "quorval")$out')
  expect_identical(a$status, 0L)
  expect_length(strsplit(a$stdout, " ")[[1]], 13)
  expect_identical(a$stdout, b$stdout)
})

test_that("the same stream position and arguments give the same vector", {
  # Cases that use only rand() and exponential deviates: restarting the
  # generator with a negative seed puts every stream back in place.
  lo <- c(-1, 0, 4, -Inf); hi <- c(1, Inf, Inf, -4)
  restart <- function() call_seeded("ran3", "vaskor", -3L, 1L)
  restart(); c_srand(6); a <- tn_call("vaskor", c(0, 0, 0, 0), c(1, 1, 1, 1), lo, hi)
  restart(); c_srand(6); b <- tn_call("vaskor", c(0, 0, 0, 0), c(1, 1, 1, 1), lo, hi)
  expect_identical(a, b)
})

test_that("stest returns x[1:2] + 1 and zeros, and adds 1 to x[3] in place", {
  x <- c(1, 2, 3)
  alias <- x
  r <- .Call("stest", x, PACKAGE = "quorval")
  expect_identical(r, c(2, 3, 0, 0, 0, 0, 0, 0, 0, 0))
  expect_identical(x, c(1, 2, 4))
  expect_identical(alias, c(1, 2, 4))
  y <- c(-1.5, 0, 10, 99)
  expect_identical(.Call("stest", y, PACKAGE = "quorval")[1:2], c(-0.5, 1))
  expect_identical(y, c(-1.5, 0, 11, 99))
})

test_that("arguments that would be read out of bounds are R errors naming entry and argument", {
  expect_error(tn_call("quorval", c(0, 0), c(1, 1), c(0, 0), 1, n = 2L),
               "trunomcall: argument 'hi' must have at least 2 elements, not 1", fixed = TRUE)
  expect_error(tn_call("quorval", 0L, 1, 0, 1, n = 1L),
               "trunomcall: argument 'm' must be a double vector, not of type 'integer'", fixed = TRUE)
  expect_error(tn_call("vaskor", 0, "1", 0, 1, n = 1L), "argument 's' must be a double vector")
  expect_error(tn_call("quorval", 0, 1, NULL, 1, n = 1L), "argument 'lo' must be a double vector")
  expect_error(tn_call("quorval", 0, 1, 0, 1, n = NA_integer_), "argument 'n' must be a count, not NA")
  expect_error(tn_call("quorval", 0, 1, 0, 1, n = -1L), "argument 'n' must be at least 0, not -1")
  expect_error(.Call("stest", c(1, 2), PACKAGE = "quorval"),
               "stest: argument 'x' must have at least 3 elements, not 2", fixed = TRUE)
  expect_error(.Call("stest", 1:3, PACKAGE = "quorval"), "must be a double vector")
  # Nothing was drawn before the check failed.
  expect_identical(rand_consumed(8, try(tn_call("quorval", 0, 1, 0, 1:2, n = 2L), silent = TRUE)), 0L)
})

test_that("bounds that are not numbers give NaN with one warning and draw nothing for it", {
  c_srand(2)
  expect_warning(r <- tn_call("quorval", c(0, 0, 0), c(1, 1, 1), c(NaN, -1, NA), c(1, 1, 2)),
                 "NAs produced")
  expect_true(is.nan(r[1]) || is.na(r[1]))
  expect_true(is.na(r[3]))
  expect_true(r[2] >= -1 && r[2] <= 1)
  expect_identical(rand_consumed(2, suppressWarnings(tn_call("quorval", NaN, 1, 0, 1))), 0L)
  expect_warning(tn_call("vaskor", 0, NaN, 0, 1), "NAs produced")
})

test_that("equal bounds in a tail return the bound; overflowing bounds stay inside", {
  expect_identical(tn_call("quorval", c(0, 0), c(1, 1), c(9, -12), c(9, -12)), c(9, -12))
  big <- 1e200
  r <- tn_call("quorval", c(0, 0), c(1, 1), c(big, -Inf), c(Inf, -big))
  expect_identical(r, c(big, -big))
})

test_that("the error path returns control to R with the three lines on standard error", {
  msgs <- character()
  err <- tryCatch(
    withCallingHandlers(tn_call("quorval", 0, 1, 2, 1), message = function(m) NULL),
    error = function(e) conditionMessage(e))
  expect_identical(err, "Error: as>bl")
  # Both infinite on one side: a clear error rather than an endless loop.
  expect_error(tn_call("vaskor", 0, 1, Inf, Inf), "both infinite on the same side")
  expect_error(tn_call("quorval", 0, 1, -Inf, -Inf), "both infinite on the same side")
  # The session goes on: a later call works.
  expect_length(tn_call("quorval", 0, 1, 0, 1), 1)
  # The C library stream is given back before the error: rand() stands where
  # the draws before it left it (middle cases: rand() alone).
  lo <- c(-1, 0.5, 2); hi <- c(1, 1.5, 1)
  for (lib in c("quorval", "vaskor")) {
    before <- rand_consumed(5, tn_call(lib, c(0, 0), c(1, 1), lo[1:2], hi[1:2]))
    at_error <- rand_consumed(5, try(tn_call(lib, c(0, 0, 0), c(1, 1, 1), lo, hi), silent = TRUE))
    expect_gt(before, 3)
    expect_identical(at_error, before, info = lib)
  }
})

test_that("in a batch Rscript the error ends with status 1 and the exact lines", {
  res <- run_child(c(
    'dyn.load(file.path(build, "quorval.so"))',
    'invisible(.Call("trunomcall", 2L, c(0, 0), c(1, 1), c(0, 3), c(1, -2.5), PACKAGE = "quorval"))',
    'cat("not reached\\n")'))
  expect_identical(res$status, 1L)
  expect_identical(res$stdout, "as=      3.000000, bl=     -2.500000")
  expect_identical(res$stderr[1:4], c("Velmora run-time error...", "Error: as>bl", "",
                                      "...now exiting to system..."))
})

test_that("the two libraries keep separate generators when loaded with local = FALSE", {
  res <- run_child(c(
    'for (lib in c("quorval", "vaskor")) dyn.load(file.path(build, paste0(lib, ".so")), local = FALSE)',
    'dyn.load(helper)',
    'ran3 <- function(lib, seed, k) .Call("qvt_call_seeded", getNativeSymbolInfo("ran3", lib)$address, as.integer(seed), as.integer(k))',
    'a <- ran3("quorval", -1L, 3)',
    # A fresh vaskor state initialises from seed 0; a shared one would ignore it and continue.
    'b <- ran3("vaskor", 0L, 1)',
    # vaskor's tail draws step vaskor's generator only.
    'invisible(.Call("qvt_srand", 17L))',
    'invisible(.Call("trunomcall", 3L, c(0,0,0), c(1,1,1), c(4,-Inf,9), c(Inf,-5,12), PACKAGE = "vaskor"))',
    'c <- ran3("quorval", 1L, 1)',
    'cat(sprintf("%.0f", c(a[1:3], b[1], c[1]) * 1e9), "\\n")'))
  expect_identical(res$status, 0L)
  expect_identical(strsplit(trimws(res$stdout), " ")[[1]],
                   c("298227348", "715119168", "33021107", "533923850", "874393600"))
})
