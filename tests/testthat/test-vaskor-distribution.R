# mvtrnorms leaves invariant the density proportional to
#   exp(-1/2 sum_i A_ii x_i^2 + sum_{i<j} A_ij x_i x_j - sum_i x_i sum_{j!=i} A_ij m_j)
# on x_0 <= x_1 <= ... <= x_{n+1}: a normal with precision Q = 2 diag(A) - A and
# mean Q^-1 b, b_i = -sum_{j!=i} A_ij m_j, restricted to the order. Long chains
# are compared with exact moments (numerical integration) and with tmvtnorm's
# Gibbs sampler, within Monte Carlo error (batch means for the autocorrelation).
qv_load("vaskor")

# States after each of `draws` calls of `sweeps` sweeps, chained; one row per call.
chain <- function(A, m, x, draws, sweeps = 1L) {
  n <- length(x) - 2L
  out <- matrix(0, draws, n)
  for (k in seq_len(draws)) {
    x <- mvt(A, m, x, n, sweeps)
    out[k, ] <- x[2:(n + 1)]
  }
  out
}

# Column means of f(sample) and their standard errors from `batches` batch means.
batch_estimate <- function(values, batches = 40) {
  values <- as.matrix(values)
  id <- rep(seq_len(batches), each = nrow(values) %/% batches)
  means <- apply(values[seq_along(id), , drop = FALSE], 2, function(v) tapply(v, id, mean))
  list(mean = colMeans(values), se = apply(means, 2, sd) / sqrt(batches))
}

# First and second moments of a sample: means, then E[x_i x_j] for i <= j.
moment_columns <- function(s) {
  pairs <- which(upper.tri(diag(ncol(s)), diag = TRUE), arr.ind = TRUE)
  cbind(s, apply(pairs, 1, function(p) s[, p[1]] * s[, p[2]]))
}

test_that("one component is a normal with sd 1/sqrt(A_11) truncated to the ends", {
  c_srand(31)
  z <- sort(chain(matrix(4), numeric(0), c(-0.3, 0.1, 0.8), 4000)[, 1])
  # Independent draws (the centre is 0 whatever the state): the largest
  # distance of the empirical cdf stays within the DKW bound for level 0.001.
  cdf <- ptrunc(z * 2, -0.6, 1.6)
  n <- length(z)
  distance <- max(seq_len(n) / n - cdf, cdf - (seq_len(n) - 1) / n)
  expect_lt(distance, sqrt(log(2 / 0.001) / (2 * n)))
})

test_that("two components match the exact moments of the invariant density", {
  A <- matrix(c(2, 0.8, NaN, 1.5), 2)   # lower triangle 2, 0.8, 1.5
  m <- c(0.7, -1.2)
  lo <- -1; hi <- 2.5
  log_density <- function(x1, x2) {
    -0.5 * (A[1, 1] * x1^2 + A[2, 2] * x2^2) + A[2, 1] * x1 * x2 -
      x1 * A[2, 1] * m[2] - x2 * A[2, 1] * m[1]
  }
  expectation <- function(g) {
    inner <- function(x2) vapply(x2, function(v) integrate(
      function(x1) g(x1, v) * exp(log_density(x1, v)), lo, v, rel.tol = 1e-10)$value, 0)
    integrate(inner, lo, hi, rel.tol = 1e-10)$value
  }
  mass <- expectation(function(a, b) 1 + 0 * a)
  exact <- vapply(list(function(a, b) a, function(a, b) b, function(a, b) a * a,
                       function(a, b) a * b, function(a, b) b * b),
                  function(g) expectation(g) / mass, 0)

  c_srand(41)
  s <- chain(A, m, c(lo, 0, 1, hi), 40000)
  est <- batch_estimate(moment_columns(s))
  expect_true(all(apply(cbind(lo, s, hi), 1, ordered_up_to_rounding)))
  expect_true(all(abs(est$mean - exact) < 4.5 * est$se),
              label = paste(sprintf("%.4f vs %.4f (se %.4f)", est$mean, exact, est$se),
                            collapse = "; "))
})

test_that("three components agree with tmvtnorm's Gibbs sampler on the same target", {
  skip_if_not_installed("tmvtnorm")
  A <- matrix(c(1.5, -0.6, 0.3, 9, 2, 0.5, 9, 9, 1), 3)
  A_sym <- A; A_sym[upper.tri(A_sym)] <- t(A)[upper.tri(A)]
  m <- c(0.5, -1, 1)
  upper_end <- 1.5
  Q <- 2 * diag(diag(A_sym)) - A_sym
  b <- -((A_sym - diag(diag(A_sym))) %*% m)
  sigma <- solve(Q)
  mu <- drop(sigma %*% b)
  # Order as linear constraints: x2 - x1 >= 0, x3 - x2 >= 0, x3 <= upper end.
  D <- rbind(c(-1, 1, 0), c(0, -1, 1), c(0, 0, 1))
  set.seed(5)
  theirs <- suppressWarnings(tmvtnorm::rtmvnorm2(20000, mean = mu, sigma = sigma,
    lower = c(0, 0, -Inf), upper = c(Inf, Inf, upper_end), D = D, algorithm = "gibbs",
    burn.in.samples = 500, thinning = 2, start.value = c(-1, 0, 1)))
  c_srand(51)
  ours <- chain(A, m, c(-Inf, -1, 0, 1, upper_end), 20000, sweeps = 2L)
  expect_true(all(apply(cbind(ours, upper_end), 1, ordered_up_to_rounding)))
  a <- batch_estimate(moment_columns(ours))
  b <- batch_estimate(moment_columns(theirs))
  z <- (a$mean - b$mean) / sqrt(a$se^2 + b$se^2)
  expect_true(all(abs(z) < 4.5),
              label = paste(sprintf("%.4f vs %.4f (z %.1f)", a$mean, b$mean, z), collapse = "; "))
})
