# The .Call entry quorval: argument checks before any draw, the result's
# layout, the cases without a free cutpoint, and its fatal paths.
qv_load("quorval")

qv_step <- function(N, K, y, c, m, t = 1, s = 2) {
  .Call("quorval", N, K, y, c, m, t, s, PACKAGE = "quorval")
}

c9 <- c(-Inf, -0.5, 0, 0.6, 1.1, 1.7, 2.2, 3, Inf)

test_that("arguments that would be read out of bounds are R errors raised before any draw", {
  good <- list(3L, 9L, c(2L, 5L, 8L), c9, c(0, 1, 2), 1, 2)
  bad <- list(
    list(1, NA_integer_, "'N' must be a count, not NA"),
    list(1, -1L, "'N' must be at least 0, not -1"),
    list(1, integer(0), "'N' must be a count, not empty"),
    list(2, -2, "'K' must be at least 0, not -2"),
    list(2, NA, "'K' must be a count, not NA"),
    list(3, c(2, 5, 8), "'y' must be an? integer vector, not of type 'double'"),
    list(3, c(2L, 5L), "'y' must have at least 3 elements, not 2"),
    list(3, c(2L, 9L, 8L), "'y' must hold category codes in 1 ... K-1 = 8; element 2 is 9"),
    list(3, c(2L, 5L, 0L), "'y' must hold category codes in 1 ... K-1 = 8; element 3 is 0"),
    list(3, c(-1L, 5L, 8L), "'y' must hold category codes in 1 ... K-1 = 8; element 1 is -1"),
    list(3, c(2L, NA, 8L), "'y' must hold category codes in 1 ... K-1 = 8; element 2 is NA"),
    list(4, c9[-9], "'c' must have at least 9 elements, not 8"),
    list(4, as.integer(c9[2:8]), "'c' must be a double vector"),
    list(5, c(0, 1), "'m' must have at least 3 elements, not 2"),
    list(5, NULL, "'m' must be a double vector, not of type 'NULL'"),
    list(6, "1", "'t' must be a number, not of type 'character'"),
    list(6, NULL, "'t' must be a number, not of type 'NULL'"),
    list(7, numeric(0), "'s' must be a number, not empty"),
    list(7, list(2), "'s' must be a number, not of type 'list'"))
  for (case in bad) {
    args <- good
    args[case[[1]]] <- list(case[[2]])
    used <- rand_consumed(5, err <- tryCatch(do.call(qv_step, args), error = conditionMessage))
    expect_identical(used, 0L)
    expect_match(err, paste0("quorval: argument ", case[[3]]))
  }
  # Codes are checked for K = 0 as well: no code is valid there.
  expect_error(qv_step(1L, 0L, 1L, numeric(0), 0), "1 ... K-1 = -1; element 1 is 1", fixed = TRUE)
  # Only the N observations read are checked; t and s take R's coercion.
  expect_length(qv_step(2L, 9L, c(2L, 5L, 99L), c9, c(0, 1), t = 1L, s = TRUE), 10)
})

test_that("the result holds the proposal in order and a flag of exactly 100 or 0", {
  y <- c(1L, 2L, 3L, 4L, 5L, 6L, 7L, 8L, 3L, 4L)
  m <- c(-1, -0.2, 0.3, 0.8, 1.4, 2, 2.5, 3.5, 0.5, 0.9)
  inputs <- list(y + 0L, c9 + 0, m + 0)
  c_srand(11)
  flags <- numeric(300)
  for (i in seq_along(flags)) {
    r <- qv_step(10L, 9L, y, c9, m, t = 1.2, s = 1.5)
    expect_length(r, 10)
    expect_identical(r[c(1, 2, 8, 9)], c9[c(1, 2, 8, 9)])
    expect_false(is.unsorted(r[2:8]))
    expect_true(all(r[3:7] <= c9[4:8]))
    flags[i] <- r[10]
  }
  expect_true(all(flags %in% c(0, 100)))
  expect_true(any(flags == 0) && any(flags == 100))
  expect_identical(list(y, c9, m), inputs)
})

test_that("without a free cutpoint the cutpoints come back with one rand() taken", {
  cases <- list(
    list(K = 0L, c = numeric(0), y = integer(0)),
    list(K = 1L, c = Inf, y = integer(0)),
    list(K = 2L, c = c(-Inf, Inf), y = c(1L, 1L)),
    list(K = 3L, c = c(-Inf, 0.5, Inf), y = c(1L, 2L, 2L)),
    list(K = 4L, c = c(-Inf, 0, 1, Inf), y = c(1L, 2L, 3L, 2L)))
  for (cs in cases) {
    N <- length(cs$y)
    # K <= 3 counts no observation, so not even NaN means are read.
    m <- if (cs$K <= 3L) rep(NaN, N) else c(-3, 0.5, 4, 0.2)
    for (seed in 1:5) {
      used <- rand_consumed(seed, r <- qv_step(N, cs$K, cs$y, cs$c, m, t = 0.7))
      expect_identical(used, 1L)
      expect_identical(r, c(cs$c, 100))
    }
  }
  # A counted observation of probability 0 makes the ratio NaN: rejected.
  for (seed in 1:5) {
    used <- rand_consumed(seed, r <- qv_step(1L, 4L, 2L, c(-Inf, 0, 1, Inf), 100))
    expect_identical(used, 1L)
    expect_identical(r, c(-Inf, 0, 1, Inf, 0))
  }
})

test_that("fatal conditions in the step are R errors after the three lines", {
  # Cutpoints out of order: the proposal interval for cutpoint 2 is empty.
  expect_fatal_report(qv_step(0L, 5L, integer(0), c(-Inf, 2, 1, 1.5, Inf), numeric(0)),
                      "Error: as>bl\n", stdout = "as=      2.000000, bl=      1.000000")
  # A non-finite t reaches norm through a counted observation...
  expect_fatal_report(qv_step(1L, 4L, 2L, c(-Inf, 0, 1, Inf), 0.5, t = NaN),
                      "a too large, ITMAX too small in routine GCF")
  # ... and is never used without one.
  expect_length(qv_step(1L, 4L, 1L, c(-Inf, 0, 1, Inf), 0.5, t = NA), 5)
})
