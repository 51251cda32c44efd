# The acceptance ratio as a whole: long chains of quorval steps (replacing
# the cutpoints on flag 100) for K = 5 and K = 6 must sample the exact
# posterior of the free cutpoints under a flat prior, computed here by
# numerical integration of the likelihood. A wrong or missing term in the
# ratio (likelihood, forward or reverse proposal constant) shifts the
# chain's distribution by many Monte Carlo standard errors.
#
# The ratio carries the reverse move's normalising constants but not its
# support: the reverse draw of c[j] lies in [c[j-1], p[j+1]], so when a
# proposed p[j+1] falls below the current c[j] the reverse move is impossible
# and the exact ratio is 0. With K = 5 that cannot happen (p[3] = c[3]). For
# K = 6 the chain adds that condition on the caller's side, so that it
# measures the terms of the ratio alone.
qv_load("quorval")

simulate_codes <- function(m, t, cutpoints) {
  z <- m + rnorm(length(m)) / t
  as.integer(findInterval(z, cutpoints[2:(length(cutpoints) - 1)]) + 1L)
}

# Log probability of [lo, hi] for a normal with mean m and sd 1/t; -Inf
# where it vanishes.
log_mass <- function(m, t, lo, hi) log(pmax(pnorm(t * (hi - m)) - pnorm(t * (lo - m)), 0))

run_chain <- function(y, start, m, t, s, iterations, seed, reverse_support = FALSE) {
  K <- length(start); N <- length(y); free <- 3:(K - 2)
  c_srand(seed)
  draws <- matrix(NA_real_, iterations, length(free))
  current <- start; accepted <- 0L; impossible <- 0L
  for (i in seq_len(iterations)) {
    r <- .Call("quorval", N, K, y, current, m, t, s, PACKAGE = "quorval")
    possible <- all(current[free] <= r[free + 1L])
    impossible <- impossible + !possible
    if (r[K + 1L] == 100 && (possible || !reverse_support)) {
      current <- r[seq_len(K)]
      accepted <- accepted + 1L
    }
    draws[i, ] <- current[free]
  }
  list(draws = draws, acceptance = accepted / iterations, impossible = impossible / iterations)
}

# Distribution function from a density on an equally spaced grid (trapezoids),
# and its quantile function by linear interpolation.
quantile_function <- function(grid, density) {
  cdf <- c(0, cumsum((density[-1] + density[-length(density)]) / 2))
  cdf <- cdf / cdf[length(cdf)]
  function(p) approx(cdf, grid, p, ties = "ordered")$y
}

# For each probability p: the chain's share of draws at or below the exact
# p-quantile, in standard errors from batch means (the draws are correlated).
quantile_z <- function(x, quantile, probs = c(0.05, 0.25, 0.5, 0.75, 0.95), batches = 50) {
  used <- seq_len(batches * (length(x) %/% batches))
  vapply(probs, function(p) {
    below <- matrix(as.numeric(x[used] <= quantile(p)), ncol = batches)
    means <- colMeans(below)
    (mean(means) - p) / (sd(means) / sqrt(batches))
  }, numeric(1))
}

# A Monte Carlo error allowance of 4.5 standard errors per quantile.
z_limit <- 4.5

test_that("K = 5: the chain of the one free cutpoint samples its exact posterior", {
  t <- 1.5; s <- 2
  start <- c(-Inf, 0, 0.6, 1.2, Inf)
  withr::with_seed(7, {
    m <- rnorm(24, 0.6, 0.6)
    y <- simulate_codes(m, t, start)
  })
  grid <- seq(0, 1.2, length.out = 2401)
  loglik <- vapply(grid, function(g) {
    sum(log_mass(m[y == 2], t, 0, g)) + sum(log_mass(m[y == 3], t, g, 1.2))
  }, numeric(1))
  quantile <- quantile_function(grid, exp(loglik - max(loglik)))

  chain <- run_chain(y, start, m, t, s, 100000, seed = 5)
  expect_identical(chain$impossible, 0)
  expect_lt(max(abs(quantile_z(chain$draws[, 1], quantile))), z_limit)
  expect_gt(chain$acceptance, 0.2)
  expect_lt(chain$acceptance, 0.8)
})

test_that("K = 6: the chain of the two free cutpoints samples their exact posterior", {
  t <- 1.5; s <- 2
  start <- c(-Inf, 0, 0.5, 1.0, 1.5, Inf)
  withr::with_seed(8, {
    m <- rnorm(30, 0.75, 0.7)
    y <- simulate_codes(m, t, start)
  })
  grid <- seq(0, 1.5, length.out = 601)
  below <- vapply(grid, function(g) sum(log_mass(m[y == 2], t, 0, g)), numeric(1))
  above <- vapply(grid, function(g) sum(log_mass(m[y == 4], t, g, 1.5)), numeric(1))
  between <- outer(grid, grid, function(lo, hi) {
    total <- 0
    for (mi in m[y == 3]) total <- total + log_mass(mi, t, lo, hi)
    total
  })
  loglik <- outer(below, above, "+") + between
  loglik[outer(grid, grid, ">")] <- -Inf  # cutpoints in order
  density <- exp(loglik - max(loglik))

  chain <- run_chain(y, start, m, t, s, 150000, seed = 6, reverse_support = TRUE)
  expect_gt(chain$impossible, 0.01)  # proposal spread comparable to the gaps
  expect_true(all(chain$draws[, 1] <= chain$draws[, 2]))
  expect_lt(max(abs(quantile_z(chain$draws[, 1], quantile_function(grid, rowSums(density))))), z_limit)
  expect_lt(max(abs(quantile_z(chain$draws[, 2], quantile_function(grid, colSums(density))))), z_limit)
  expect_gt(chain$acceptance, 0.1)
  expect_lt(chain$acceptance, 0.8)
})
