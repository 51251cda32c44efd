# Effective sample size and potential scale reduction factor of the demo.

test_that("ess_monotone is near n for independent draws and near n (1 - r) / (1 + r) for AR(1)", {
  set.seed(8)
  n <- 20000
  expect_equal(ess_monotone(rnorm(n)), n, tolerance = 0.1)
  r <- 0.8
  ar <- as.numeric(stats::filter(rnorm(n, sd = sqrt(1 - r^2)), r, method = "recursive"))
  expect_equal(ess_monotone(ar), n * (1 - r) / (1 + r), tolerance = 0.2)
  expect_true(is.na(ess_monotone(rep(1, 100))))
})

test_that("mcmc_ess sums over chains, by coda or by its own estimator alike", {
  set.seed(9)
  chains <- lapply(1:3, function(j) cbind(a = rnorm(4000), b = cumsum(rnorm(4000)) / 50 + rnorm(4000)))
  own <- mcmc_ess(chains, "own")
  expect_named(own, c("a", "b"))
  expect_equal(own[["a"]], 12000, tolerance = 0.1)
  expect_lt(own[["b"]], own[["a"]] / 5)
  skip_if_not_installed("coda")
  expect_equal(mcmc_ess(chains, "coda")[["a"]], own[["a"]], tolerance = 0.15)
})

test_that("mcmc_rhat is near 1 for chains of one distribution and large for chains apart", {
  set.seed(10)
  same <- lapply(1:4, function(j) cbind(x = rnorm(2000)))
  expect_lt(abs(mcmc_rhat(same)[["x"]] - 1), 0.01)
  apart <- lapply(1:4, function(j) cbind(x = rnorm(2000, mean = j)))
  expect_gt(mcmc_rhat(apart)[["x"]], 1.5)
  # One chain drifting between its halves shows too.
  drift <- list(cbind(x = c(rnorm(1000), rnorm(1000, 3))))
  expect_gt(mcmc_rhat(drift)[["x"]], 1.5)
})
