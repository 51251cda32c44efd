# mvtrnorms of vaskor, the ordered Gibbs sweeps: exact replays against a
# transcription in R, the edge cases of the counts, argument checks, and the
# handling of values that are not numbers.
qv_load("vaskor")

# The sweeps as written, drawing through the library's own trunom.
ref_sweeps <- function(A, m, x, n, sweeps) {
  for (k in seq_len(sweeps)) for (i in seq_len(n)) {
    s_i <- 0
    for (j in seq_len(n)) if (j != i) s_i <- s_i + (x[j + 1] - m[j]) * A[max(i, j), min(i, j)]
    w <- s_i / A[i, i]
    s <- sqrt(A[i, i])
    x[i + 1] <- w + call_dd_d("trunom", "vaskor", s * (x[i] - w), s * (x[i + 2] - w)) / s
  }
  x[seq_len(n + 2)]
}

# Every standardised bound stays inside (-8, 8), so every draw takes the
# sampler's middle case: rand() alone, which c_srand() fixes. The upper
# triangle differs from the lower one.
middle_problem <- function(n, seed) {
  set.seed(seed)
  A <- matrix(runif(n * n, -0.005, 0.005), n)
  diag(A) <- runif(n, 1, 2)
  list(A = A, m = runif(n, -1, 1), x = c(-3, sort(runif(n, -3, 3)), 3, 99))
}

# Runs `expr` from rand() position `seed`: its value and the rand() values used.
from_stream <- function(seed, expr) {
  used <- rand_consumed(seed, value <- expr)
  list(value = value, used = used)
}

test_that("the exports of vaskor are exactly its entry points and routines", {
  skip_if(Sys.which("nm") == "", "nm not available")
  out <- system2("nm", c("-D", "--defined-only", qv_lib_path("vaskor")), stdout = TRUE)
  names <- sort(sub(".* ", "", out[grepl(" T ", out)]))
  expect_identical(names, sort(c("ran3", "gasdev", "expdev", "vlerror", "onetn", "trunom",
                                 "trunomcall", "mvtrnorms")))
  expect_false(any(grepl(" [BDGR] ", out)))
})

test_that("sweeps replay the steps exactly, for n = 1 to 70", {
  for (n in c(1, 3, 19, 25, 60, 70)) {
    p <- middle_problem(n, n)
    m <- if (n == 1) numeric(0) else p$m
    sweeps <- if (n > 20) 2 else 6
    got <- from_stream(n, mvt(p$A, m, p$x, n, sweeps))
    expected <- from_stream(n, ref_sweeps(p$A, m, p$x, n, sweeps))
    expect_identical(got, expected, label = paste("n =", n))
    expect_identical(got$used > 0, TRUE)
    expect_true(ordered_up_to_rounding(got$value))
  }
})

test_that("no sweep, n = 0 and negative n return the start and take no random number", {
  p <- middle_problem(3, 1)
  for (sweeps in list(0L, -4L, NA_integer_, NA_real_, numeric(0), FALSE)) {
    r <- from_stream(2, mvt(p$A, p$m, p$x, 3L, sweeps))
    expect_identical(r, list(value = p$x[1:5], used = 0L))
  }
  expect_identical(from_stream(2, mvt(numeric(0), numeric(0), c(-1, 2, 7), 0L, 10L)),
                   list(value = c(-1, 2), used = 0L))
  expect_identical(mvt(numeric(0), numeric(0), c(-Inf, 5), 0, 3), c(-Inf, 5))
  expect_identical(from_stream(2, mvt(numeric(0), numeric(0), c(4, 5), -1L, 10L)),
                   list(value = 4, used = 0L))
  expect_identical(mvt(numeric(0), numeric(0), numeric(0), -2L, 10L), numeric(0))
  expect_error(mvt(numeric(0), numeric(0), numeric(0), -3L, 1L),
               "mvtrnorms: argument 'n' must be at least -2, not -3", fixed = TRUE)
  expect_error(mvt(numeric(0), numeric(0), numeric(0), NA_integer_, 1L),
               "mvtrnorms: argument 'n' must be a count, not NA", fixed = TRUE)
})

test_that("values that cannot enter a result leave it unchanged", {
  p <- middle_problem(4, 2)
  run <- function(A = p$A, m = p$m) from_stream(5, mvt(A, m, p$x, 4L, 3L))
  base <- run()
  # Above the diagonal: never read.
  upper <- p$A
  upper[upper.tri(upper)] <- c(NaN, Inf, -7, 1e300, NA, 0)
  expect_identical(run(A = upper), base)
  # A diagonal matrix: every centre is 0, the location vector has no effect.
  D <- diag(diag(p$A))
  expect_identical(run(A = D, m = c(9, -9, 0.5, 3)), run(A = D))
  # One component: its centre is 0 and the location vector is not read.
  one <- from_stream(5, mvt(matrix(2), numeric(0), c(-1, 0, 2), 1L, 4L))
  expect_identical(from_stream(5, mvt(matrix(2), NaN, c(-1, 0, 2), 1L, 4L)), one)
  expect_identical(from_stream(5, mvt(2, c(40, 1), c(-1, 0, 2), 1L, 4L)), one)
})

test_that("order and end values are kept, arguments are not modified", {
  # The target is proper: 2 diag(A) - A has a dominant diagonal.
  n <- 8
  A <- matrix(0.05, n, n)
  A[abs(row(A) - col(A)) == 1] <- 0.3
  diag(A) <- 1.5
  m <- seq(-1, 1, length.out = n)
  for (ends in list(c(-Inf, Inf), c(-0.5, 0.25), c(0.1, Inf))) {
    inner <- seq(max(ends[1], -2) + 0.01, min(ends[2], 2) - 0.01, length.out = n)
    x <- c(ends[1], inner, ends[2])
    copies <- list(A + 0, m + 0, x + 0)
    for (k in 1:20) {
      r <- mvt(A, m, x, n, 5L)
      expect_true(ordered_up_to_rounding(r))
      expect_identical(r[c(1, n + 2)], ends)
    }
    expect_identical(list(A, m, x), copies)
  }
})

test_that("arguments that would be read out of bounds or of the wrong type are R errors", {
  A <- diag(3); m <- c(0, 0, 0); x <- c(-1, 0, 0.5, 0.7, 1)
  nothing_drawn <- function(expr) rand_consumed(8, try(expr, silent = TRUE))
  expect_error(mvt(A[1:8], m, x, 3L, 1L),
               "mvtrnorms: argument 'A' must have at least 9 elements, not 8", fixed = TRUE)
  expect_error(mvt(A, m[1:2], x, 3L, 1L),
               "mvtrnorms: argument 'm' must have at least 3 elements, not 2", fixed = TRUE)
  expect_error(mvt(A, m, x[1:4], 3L, 1L),
               "mvtrnorms: argument 'x' must have at least 5 elements, not 4", fixed = TRUE)
  expect_error(mvt(A, m, x[1:4], 3L, 0L), "argument 'x' must have at least 5 elements")
  expect_error(mvt(matrix(as.integer(A), 3), m, x, 3L, 1L),
               "mvtrnorms: argument 'A' must be a double vector, not of type 'integer'",
               fixed = TRUE)
  expect_error(mvt(A, NULL, x, 3L, 1L), "argument 'm' must be a double vector")
  expect_error(mvt(A, m, as.character(x), 3L, 1L), "argument 'x' must be a double vector")
  expect_error(mvt(A, m, x, 3L, "2"),
               "mvtrnorms: argument 'sweeps' must be a number, not of type 'character'",
               fixed = TRUE)
  expect_error(mvt(numeric(0), numeric(0), numeric(0), -1L, 0L),
               "argument 'x' must have at least 1")
  expect_error(mvt(numeric(0), numeric(0), 1, 0L, 0L), "argument 'x' must have at least 2")
  expect_identical(nothing_drawn(mvt(A, m[1:2], x, 3L, 5L)), 0L)
})

test_that("non-positive diagonals and values that are not numbers are R errors before drawing", {
  A <- matrix(c(2, 0.3, 0.1, 0.3, 1, 0.2, 0.1, 0.2, 3), 3); m <- c(0.5, 0, -0.5)
  x <- c(-1, 0, 0.5, 0.7, 1)
  bad <- function(arg, at, value, text) list(arg = arg, at = at, value = value, text = text)
  diagonal <- "argument 'A' must have positive finite numbers on its diagonal, not"
  below <- "argument 'A' must have finite numbers below its diagonal, not"
  location <- "argument 'm' must have finite numbers in its first 3 elements, not"
  inner <- "argument 'x' must have finite starting components in elements 3 to 4, not"
  lower_end <- "argument 'x' must start with a lower end value that is a number below Inf, not"
  upper_end <- paste("argument 'x' must have an upper end value (element 5)",
                     "that is a number above -Inf, not")
  cases <- list(
    bad("A", 5, 0, paste(diagonal, "0 at [2, 2]")),
    bad("A", 1, -1, paste(diagonal, "-1 at [1, 1]")),
    bad("A", 9, NaN, paste(diagonal, "NaN at [3, 3]")),
    bad("A", 9, Inf, paste(diagonal, "Inf at [3, 3]")),
    bad("A", 3, NA, paste(below, "NA at [3, 1]")),
    bad("A", 6, -Inf, paste(below, "-Inf at [3, 2]")),
    bad("m", 2, NaN, paste(location, "NaN at [2]")),
    bad("m", 3, Inf, paste(location, "Inf at [3]")),
    bad("x", 3, NaN, paste(inner, "NaN at [3]")), bad("x", 4, Inf, paste(inner, "Inf at [4]")),
    bad("x", 1, NA, paste(lower_end, "NA")), bad("x", 1, Inf, paste(lower_end, "Inf")),
    bad("x", 5, -Inf, paste(upper_end, "-Inf")), bad("x", 5, NaN, paste(upper_end, "NaN")))
  for (case in cases) {
    args <- list(A = A, m = m, x = x)
    args[[case$arg]][case$at] <- case$value
    call <- function() mvt(args$A, args$m, args$x, 3L, 2L)
    expect_error(call(), paste("mvtrnorms:", case$text), fixed = TRUE)
    expect_identical(rand_consumed(4, try(call(), silent = TRUE)), 0L)
    # Without a sweep nothing is read for drawing, and the start comes back.
    expect_identical(mvt(args$A, args$m, args$x, 3L, 0L), args$x)
  }
  # End values of -Inf and +Inf are fine.
  expect_length(mvt(A, m, c(-Inf, x[2:4], Inf), 3L, 2L), 5)
})

test_that("finite input whose arithmetic overflows ends in NaN with a warning or an R error", {
  # Centre -Inf for the first component: bounds NaN, a NaN draw taken from no stream.
  A <- matrix(c(1, -1e300, 0, 1), 2)
  used <- rand_consumed(3, expect_warning(r <- mvt(A, c(0, 0), c(-Inf, 0, 1e300, Inf), 2L, 3L),
                                          "NAs produced"))
  expect_identical(used, 0L)
  expect_true(all(is.nan(r[2:3])))
  expect_identical(r[c(1, 4)], c(-Inf, Inf))
  # Centre +Inf with a finite upper neighbour: both bounds -Inf, the sampler's error.
  A[2, 1] <- 1e300
  expect_error(mvt(A, c(0, 0), c(-Inf, 0, 1e300, Inf), 2L, 3L),
               "both infinite on the same side")
})

test_that("neighbours out of order reach the sampler's error: diagnostic, three lines, status 1", {
  expect_fatal_exit(c('dyn.load(file.path(build, "vaskor.so"))',
                      '.Call("mvtrnorms", diag(2), c(0, 0), c(0, 0.5, -1, 3), 2L, 1L, PACKAGE = "vaskor")'),
                    "Error: as>bl\n", stdout = "as=      0.000000, bl=     -1.000000")
})
