# oprobit_mcmc samples the right posterior: recovery of known parameters,
# the flat prior on the probit scale against an independent sampler, and the
# working frame's constant U leaving the posterior as it is.

# An independent random-walk Metropolis sampler of the probit-scale
# posterior (flat prior on slopes and thresholds), on the likelihood alone.
rwm_oprobit <- function(X, y, start, scale, iterations, seed, b0 = 0, B0 = 0) {
  set.seed(seed)
  J <- max(y)
  loglik <- function(theta) {
    beta <- theta[seq_len(ncol(X))]
    zeta <- c(-Inf, theta[-seq_len(ncol(X))], Inf)
    if (is.unsorted(zeta, strictly = TRUE)) return(-Inf)
    eta <- drop(X %*% beta)
    sum(log(pnorm(zeta[y + 1L] - eta) - pnorm(zeta[y] - eta))) - sum(B0 * (beta - b0)^2) / 2
  }
  theta <- start
  current <- loglik(theta)
  draws <- matrix(NA_real_, iterations, length(theta))
  for (i in seq_len(iterations)) {
    proposal <- theta + drop(scale %*% rnorm(length(theta)))
    value <- loglik(proposal)
    if (log(runif(1)) < value - current) {
      theta <- proposal
      current <- value
    }
    draws[i, ] <- theta
  }
  draws
}

test_that("simulated data: intervals cover the truth and means lie within 2 sd of polr", {
  set.seed(102)
  n <- 3000
  data <- data.frame(x1 = rnorm(n), x2 = runif(n, -1, 1), g = factor(sample(c("a", "b", "c"), n, TRUE)))
  beta <- c(x1 = 0.6, x2 = -0.8, gb = 0.4, gc = -0.3)
  zeta <- c(-1, -0.2, 0.5, 1.3)
  latent <- drop(model.matrix(~ x1 + x2 + g, data)[, -1] %*% beta) + rnorm(n)
  data$y <- cut(latent, c(-Inf, zeta, Inf), labels = c("v1", "v2", "v3", "v4", "v5"), ordered_result = TRUE)

  fit <- oprobit_mcmc(y ~ x1 + x2 + g, data = data, chains = 2, iter = 1000, burnin = 300,
                      seed = 3, cores = 1)
  ml <- MASS::polr(y ~ x1 + x2 + g, data = data, method = "probit", Hess = TRUE)
  draws <- pooled_of(fit$draws)
  truth <- c(beta, zeta)
  # The data set is a typical draw (its ML estimates lie within 1.5 standard
  # errors of the truth), so that the coverage checks the sampler, not luck.
  expect_lt(max(abs(c(coef(ml), ml$zeta) - truth) / sqrt(diag(vcov(ml)))), 1.5)
  bounds <- apply(draws, 2, quantile, c(0.025, 0.975))
  expect_true(all(bounds[1, ] < truth & truth < bounds[2, ]))
  gap <- abs(coef(fit) - c(coef(ml), ml$zeta)) / apply(draws, 2, sd)
  expect_true(all(gap < 2), info = paste(round(gap, 2), collapse = " "))
  expect_true(all(summary(fit)$table$Rhat < 1.05))
  # Every unit its own cell: the whole point still moves, from the proposal
  # at the posterior mode.
  expect_true(all(fit$whole_acceptance > 0.5))
})

central_gradient <- function(f, x, h = 1e-6) {
  vapply(seq_along(x), function(k) (f(replace(x, k, x[k] + h)) - f(replace(x, k, x[k] - h))) / (2 * h), 0)
}

test_that("the whole-point proposal is centred at the posterior mode: polr's estimates when flat", {
  housing <- MASS::housing
  model <- oprobit_frame(Sat ~ Infl + Type + Cont, data = housing, weights = Freq)
  ml <- MASS::polr(Sat ~ Infl + Type + Cont, data = housing, weights = Freq, method = "probit", Hess = TRUE)
  flat <- oprobit_plan(oprobit_data(model))$whole
  expect_equal(flat$mode, unname(c(coef(ml), ml$zeta)), tolerance = 1e-5)
  # With a slope prior: the mode maximises the log posterior (written out
  # here), and the proposal's scale is the inverse of its numerical Hessian.
  setup <- oprobit_plan(oprobit_data(model), oprobit_prior(b = normal(0.3, 0.5)))
  X <- model$X[, -1L]
  log_posterior <- function(theta) {
    eta <- drop(X %*% theta[1:6])
    cut <- c(-Inf, theta[7:8], Inf)
    sum(model$weights * log(pnorm(cut[model$y + 1L] - eta) - pnorm(cut[model$y] - eta))) -
      2 * sum((theta[1:6] - 0.3)^2)
  }
  mode <- setup$whole$mode
  expect_lt(max(abs(central_gradient(log_posterior, mode))), 1e-4)
  expect_equal(crossprod(setup$whole$root), solve(-optimHess(mode, log_posterior)), tolerance = 1e-4)
})

# Differences of our chains' means from a reference chain's, in Monte Carlo
# standard errors of both.
# Effective sample size per column of a list of chains (matrices).

mc_z <- function(chains, reference) {
  ours <- do.call(rbind, chains)
  se_ours <- apply(ours, 2, sd) / sqrt(ess_of(chains))
  se_reference <- apply(reference, 2, sd) / sqrt(ess_of(list(reference)))
  (colMeans(ours) - colMeans(reference)) / sqrt(se_ours^2 + se_reference^2)
}

# The random-walk sampler's start (polr's estimates) and proposal scale (from
# polr's covariance) for the data y ~ x.
rwm_setup <- function(x, y) {
  ml <- MASS::polr(factor(y) ~ x, method = "probit", Hess = TRUE)
  start <- c(coef(ml), ml$zeta)
  list(start = start, scale = t(chol(vcov(ml))) * 2.4 / sqrt(length(start)))
}

# Posterior means within Monte Carlo error of the reference chain's, and
# posterior sd within 8%.
expect_reference_posterior <- function(fit, reference) {
  z <- mc_z(chains_of(fit$draws), reference)
  expect_true(all(abs(z) < 4), info = paste(round(z, 2), collapse = " "))
  expect_equal(unname(apply(pooled_of(fit$draws), 2, sd)), apply(reference, 2, sd), tolerance = 0.08)
}

test_that("the flat prior on the probit scale: 50 rows agree with an independent sampler", {
  # So few rows that the prior shows: the posterior means lie well away from
  # the maximum likelihood estimates.
  set.seed(7)
  n <- 50
  x <- rnorm(n)
  y <- cut(0.8 * x + rnorm(n), c(-Inf, -0.6, 0.3, 1.1, Inf), labels = FALSE)
  fit <- oprobit_mcmc(factor(y, ordered = TRUE) ~ x, chains = 4, iter = 5000, burnin = 1000,
                      seed = 11, cores = 2)
  rw <- rwm_setup(x, y)
  reference <- rwm_oprobit(cbind(x), y, rw$start, rw$scale, 120000, seed = 5)[-(1:5000), ]
  expect_identical(fit$method, "independence")
  expect_reference_posterior(fit, reference)
  # The data-augmentation chain on the same data.
  augmented <- oprobit_mcmc(factor(y, ordered = TRUE) ~ x, chains = 4, iter = 5000, burnin = 1000,
                            seed = 11, cores = 2, control = oprobit_control(method = "augmented"))
  expect_identical(augmented$method, "augmented")
  expect_reference_posterior(augmented, reference)
  # The check has teeth: the prior moves the means by many Monte Carlo errors.
  se_reference <- apply(reference, 2, sd) / sqrt(ess_of(list(reference)))
  expect_gt(max(abs(colMeans(reference) - rw$start) / se_reference), 15)

  # A normal prior on the slope with a mean away from the data's estimate.
  fit <- oprobit_mcmc(factor(y, ordered = TRUE) ~ x, chains = 2, iter = 4000, burnin = 1000,
                      seed = 12, cores = 2, b0 = 0.2, B0 = 25)
  reference <- rwm_oprobit(cbind(x), y, rw$start, rw$scale, 60000, seed = 6, b0 = 0.2, B0 = 25)[-(1:5000), ]
  z <- mc_z(chains_of(fit$draws), reference)
  expect_true(all(abs(z) < 4), info = paste(round(z, 2), collapse = " "))
})

test_that("another value of the working frame's fixed cutpoint gives the same posterior", {
  data <- MASS::housing
  data$Sat5 <- factor(paste(data$Sat, data$Cont), ordered = TRUE,
                      levels = c("Low Low", "Low High", "Medium Low", "Medium High", "High Low", "High High"))
  data <- oprobit_data(oprobit_frame(Sat5 ~ Infl + Type, data = data, weights = Freq), units = TRUE)
  settings <- .qv_chain_seeds(21, 2)
  run <- function(factor) {
    setup <- oprobit_plan(data, control = oprobit_control(method = "augmented"), iter = 3000, burnin = 500)
    setup$U <- setup$U * factor
    do.call(rbind, lapply(.oprobit_run_chains(setup, settings, 1L, NULL, FALSE), `[[`, "draws"))
  }
  chosen <- run(1)
  other <- run(3)
  ess <- 2000  # well below what either run reaches
  z <- (colMeans(chosen) - colMeans(other)) / sqrt((apply(chosen, 2, var) + apply(other, 2, var)) / ess)
  expect_true(all(abs(z) < 4), info = paste(round(z, 2), collapse = " "))
  expect_equal(apply(chosen, 2, sd), apply(other, 2, sd), tolerance = 0.1)
})

test_that("few distinct cells: the whole-point move keeps the posterior", {
  # 4 covariate values x 4 categories: the cells are few, so the chain makes
  # several moves of the whole point per iteration.
  set.seed(31)
  n <- 80
  x <- sample(0:3, n, TRUE)
  y <- cut(0.5 * x + rnorm(n), c(-Inf, 0.2, 0.9, 1.6, Inf), labels = FALSE)
  fit <- oprobit_mcmc(factor(y, ordered = TRUE) ~ x, chains = 2, iter = 5000, burnin = 1000,
                      seed = 4, cores = 2, control = oprobit_control(method = "augmented"))
  expect_true(all(fit$whole_acceptance > 0.3))
  rw <- rwm_setup(x, y)
  reference <- rwm_oprobit(cbind(x), y, rw$start, rw$scale, 80000, seed = 9)[-(1:5000), ]
  expect_reference_posterior(fit, reference)
})

test_that("the independence sampler on hard data keeps the posterior", {
  # A category of a single unit; sparse categories; a covariate that nearly
  # separates the categories, under a slope prior. Each against the
  # random-walk sampler on the same posterior.
  set.seed(41)
  n <- 40
  x <- rnorm(n)
  y <- cut(0.7 * x + rnorm(n), c(-Inf, -0.5, 0.5, Inf), labels = FALSE)
  y[which.max(x)] <- 4L  # the fourth category: one unit
  fit <- oprobit_mcmc(factor(y, ordered = TRUE) ~ x, chains = 2, iter = 6000, burnin = 500, seed = 2, cores = 2)
  expect_identical(fit$method, "independence")
  rw <- rwm_setup(x, y)
  reference <- rwm_oprobit(cbind(x), y, rw$start, rw$scale, 150000, seed = 3)[-(1:5000), ]
  expect_reference_posterior(fit, reference)

  # 25 units over 5 categories, two of them with two units each.
  set.seed(42)
  x <- rnorm(25)
  y <- c(rep(1L, 9), 2L, 2L, rep(3L, 9), 4L, 4L, rep(5L, 3))[order(order(x + rnorm(25, sd = 0.8)))]
  fit <- oprobit_mcmc(factor(y, ordered = TRUE) ~ x, chains = 2, iter = 6000, burnin = 500, seed = 5, cores = 2)
  rw <- rwm_setup(x, y)
  reference <- rwm_oprobit(cbind(x), y, rw$start, rw$scale, 200000, seed = 6)[-(1:5000), ]
  expect_reference_posterior(fit, reference)

  # Near separation: the categories overlap at two units only; the slope's
  # prior keeps the posterior proper and its tail long.
  set.seed(43)
  x <- sort(rnorm(30))
  y <- rep(1:3, each = 10)
  y[c(10, 11)] <- y[c(11, 10)]
  y[c(20, 21)] <- y[c(21, 20)]
  fit <- oprobit_mcmc(factor(y, ordered = TRUE) ~ x, chains = 2, iter = 6000, burnin = 500, seed = 7, cores = 2,
                      b0 = 0, B0 = 0.05)
  expect_identical(fit$method, "independence")
  start <- c(2, -1, 1)
  reference <- rwm_oprobit(cbind(x), y, start, diag(c(1.5, 0.8, 0.8)), 300000, seed = 8, b0 = 0, B0 = 0.05)[-(1:10000), ]
  expect_reference_posterior(fit, reference)
})
