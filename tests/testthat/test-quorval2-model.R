# quorval2 against the R model of its steps (helper-quorval2-model.R): the
# same vectors to the last bit and R's stream left at the same place, over
# random arguments that reach every case of the sampler.
qv_load("quorval2")

# Standardised bound pairs, one generator per case of the sampler.
q2_case_makers <- list(
  upper_open = function() c(runif(1, -3, 11), Inf),
  upper_window = function() { a <- runif(1, 6, 10); c(a, max(a + runif(1, 0, 2), 8)) },
  lower_open = function() c(-Inf, runif(1, -11, 3)),
  lower_window = function() { b <- runif(1, -10, -6); c(min(b - runif(1, 0, 2), -8), b) },
  middle_right = function() { a <- runif(1, 0, 5); c(a, min(a + rexp(1), 7.9)) },
  middle_left = function() { b <- runif(1, -5, 0); c(max(b - rexp(1), -7.9), b) },
  middle_around_zero = function() c(-runif(1, 0, 7.9), runif(1, 0, 7.9)),
  middle_equal = function() rep(runif(1, -7.9, 7.9), 2),
  unbounded = function() c(-Inf, Inf),
  upper_threshold = function() c(runif(1, -9, 7.9), 8),
  lower_threshold = function() c(-8, runif(1, -7.9, 7.9)),
  tail_equal = function() rep(sample(c(-1, 1), 1) * runif(1, 8, 12), 2)
)

# Argument vectors of length n: means and scales at random, except for the
# thresholds and equal bounds, which are given in standard units (m = 0,
# s = 1) so that they reach the sampler exactly.
q2_random_arguments <- function(n) {
  kinds <- sample(names(q2_case_makers), n, replace = TRUE)
  bounds <- t(vapply(kinds, function(k) q2_case_makers[[k]](), numeric(2)))
  exact <- kinds %in% c("upper_threshold", "lower_threshold", "middle_equal", "tail_equal")
  m <- ifelse(exact, 0, rnorm(n, sd = 3))
  s <- ifelse(exact, 1, exp(rnorm(n)))
  list(kinds = kinds, m = m, s = s, lo = m + bounds[, 1] / s, hi = m + bounds[, 2] / s)
}

test_that("trunomcall matches the model bit for bit and takes the same numbers from R", {
  for (seed in 1:6) {
    set.seed(1000 + seed)
    a <- q2_random_arguments(500)
    expect_setequal(unique(a$kinds), names(q2_case_makers))
    library_run <- q2_seeded(seed, q2_call(a$m, a$s, a$lo, a$hi))
    model_run <- q2_seeded(seed, q2_trunomcall(a$m, a$s, a$lo, a$hi))
    expect_identical(library_run$value, model_run$value)
    expect_identical(library_run$seed, model_run$seed)
    z <- library_run$value
    slack <- 4 * .Machine$double.eps * (abs(a$m) + abs(z))
    expect_true(all(z >= a$lo - slack & z <= a$hi + slack))
  }
})

test_that("the model agreement holds under L'Ecuyer-CMRG and Box-Muller normals", {
  old <- RNGkind()
  on.exit(RNGkind(old[1], old[2], old[3]))
  RNGkind("L'Ecuyer-CMRG", "Box-Muller")
  set.seed(77)
  a <- q2_random_arguments(400)
  library_run <- q2_seeded(5, q2_call(a$m, a$s, a$lo, a$hi))
  model_run <- q2_seeded(5, q2_trunomcall(a$m, a$s, a$lo, a$hi))
  expect_identical(library_run$value, model_run$value)
  expect_identical(library_run$seed, model_run$seed)
})

test_that("exported trunom and onetn draw from R's loaded state and store nothing back", {
  pairs <- rbind(c(-1, 1), c(0.5, 0.5), c(2, Inf), c(-Inf, -3), c(8, 9), c(-8.5, -8),
                 c(-Inf, Inf), c(-7.9, 7.9), c(1, 2), c(-2, -1))
  set.seed(31)
  stored <- .Random.seed
  z <- call_dd_d("trunom", "quorval2", pairs[, 1], pairs[, 2])
  expect_identical(.Random.seed, stored)
  set.seed(31)
  expect_identical(z, mapply(q2_trunom, pairs[, 1], pairs[, 2]))

  x <- c(-2, -0.5, -0, 0, 1.5, 4, 9)
  set.seed(32)
  z <- call_d_d("onetn", "quorval2", x)
  set.seed(32)
  expect_identical(z, vapply(x, q2_onetn, numeric(1)))
})

test_that("special intervals take the draws the steps name", {
  # (-Inf, Inf): the first normal; (a, a) in the middle: two uniforms.
  set.seed(8)
  z <- q2_call(0, 1, -Inf, Inf)
  after <- runif(1)
  set.seed(8)
  expect_identical(z, rnorm(1))
  expect_identical(after, runif(1))

  for (a in c(-7.99, -1.25, 0, 3.5, 7.99)) {
    set.seed(9)
    z <- q2_call(0, 1, a, a)
    after <- runif(1)
    set.seed(9)
    expect_identical(z, a)
    expect_identical(after, runif(3)[3])
  }

  # (as, Inf) and (-Inf, bl): the first accepted onetn value, as the model has it.
  set.seed(10)
  z <- q2_call(c(0, 0), c(1, 1), c(1.5, -Inf), c(Inf, 2.5))
  set.seed(10)
  expect_identical(z, c(q2_onetn(1.5), -q2_onetn(-2.5)))
})
