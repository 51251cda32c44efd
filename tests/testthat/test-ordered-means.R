# ordered_means_mcmc(): the constrained posterior against independent
# computations, the isotonic fit as data grow, the Bayes factor, and the
# interface.

# Data with group means `means`, `sizes` observations each, sd 1.
ordered_data <- function(means, sizes, seed) {
  set.seed(seed)
  g <- rep(seq_along(means), sizes)
  data.frame(g = factor(g), y = means[g] + rnorm(length(g)))
}

# Exact draws of the unconstrained posterior under flat priors and
# 1/sigma^2: sigma^2 | y, then the means given sigma^2.
unconstrained_draws <- function(d, draws, seed) {
  set.seed(seed)
  n <- tabulate(d$g)
  ybar <- as.vector(tapply(d$y, d$g, mean))
  ssw <- sum((d$y - ybar[d$g])^2)
  sigma2 <- ssw / (2 * rgamma(draws, (nrow(d) - length(n)) / 2))
  matrix(rnorm(draws * length(n), rep(ybar, each = draws), sqrt(sigma2 / rep(n, each = draws))), draws)
}

fit_means <- function(d, ...) {
  ordered_means_mcmc(y ~ g, d, chains = 2, iter = 6000, burnin = 500, seed = 4, cores = 1, ...)
}

test_that("the constrained means agree with unconstrained draws kept when ordered (k = 3, 4)", {
  for (means in list(c(0, 0.2, 0.1), c(0, 0.3, 0.2, 0.6))) {
    d <- ordered_data(means, rep(c(6, 4), length.out = length(means)), seed = length(means))
    fit <- fit_means(d, bf_prior = FALSE)
    mu <- lapply(chains_of(fit$draws), function(x) x[, seq_along(means), drop = FALSE])
    free <- unconstrained_draws(d, 4e5, seed = 5)
    reference <- free[apply(free, 1L, function(x) !is.unsorted(x)), ]
    ess <- ess_of(mu)
    pooled <- do.call(rbind, mu)
    z_mean <- (colMeans(pooled) - colMeans(reference)) /
      sqrt(apply(pooled, 2, var) / ess + apply(reference, 2, var) / nrow(reference))
    expect_true(all(abs(z_mean) < 4), info = paste(round(z_mean, 2), collapse = " "))
    expect_equal(unname(apply(pooled, 2, sd)), apply(reference, 2, sd), tolerance = 0.06)
  }
})

test_that("as the data grow, the posterior means close in on the weighted isotonic fit", {
  for (scale in c(1, 10, 100)) {
    sizes <- c(10, 15, 20, 25) * scale
    d <- ordered_data(c(0, 0.4, 0.3, 1), sizes, seed = 7)
    ybar <- as.vector(tapply(d$y, d$g, mean))
    iso <- isoreg(rep(ybar, sizes))$yf[cumsum(sizes)]
    fit <- ordered_means_mcmc(y ~ g, d, chains = 2, iter = 2000, burnin = 300, seed = 1, cores = 1,
                              bf_prior = FALSE)
    post <- summary(fit)$table[1:4, ]
    expect_true(all(abs(post$mean - iso) < 2 * post$sd), info = sprintf("scale %d", scale))
  }
  # The spread shrinks with the data: the last fit sits on the isotonic values.
  expect_lt(max(abs(post$mean - iso)), 0.05)
})

test_that("the probability that independent normals fall in order matches exact values", {
  order_probability <- quorval:::.qv_order_probability
  # Two means: P(x1 <= x2) in closed form, also with very unequal sds.
  for (sd in list(c(1, 1), c(0.01, 3))) {
    exact <- pnorm(0.7 / sqrt(sum(sd^2)))
    expect_equal(exp(as.vector(order_probability(c(-0.2, 0.5), sd, -Inf, Inf))), exact, tolerance = 1e-5)
  }
  # Exchangeable means between bounds: P(all in [lo, hi]) / k!, for k = 6 and 40.
  for (k in c(6, 40)) {
    expect_equal(as.vector(order_probability(rep(0.3, k), rep(0.5, k), 0, 1)),
                 k * log(pnorm(1, 0.3, 0.5) - pnorm(0, 0.3, 0.5)) - lgamma(k + 1), tolerance = 1e-6)
  }
  # Three means far out of order: a tiny probability, still on the log scale.
  set.seed(21)
  x <- matrix(rnorm(3e6, c(0.5, 0, -0.5), 0.4), ncol = 3, byrow = TRUE)
  share <- mean(x[, 1] <= x[, 2] & x[, 2] <= x[, 3])
  expect_equal(exp(as.vector(order_probability(c(0.5, 0, -0.5), rep(0.4, 3), -Inf, Inf))), share,
               tolerance = 4 * sqrt((1 - share) / (share * nrow(x))))
  # Far out of order (log probability near -233): P(x1 <= t) phi_2(t) P(x3 >= t) integrated over t.
  t <- seq(2, 4, length.out = 2e5 + 1)
  log_integrand <- pnorm(t, 6, 0.2, log.p = TRUE) + dnorm(t, 3, 0.2, log = TRUE) +
    pnorm(t, 0, 0.2, lower.tail = FALSE, log.p = TRUE)
  top <- max(log_integrand)
  expect_equal(as.vector(order_probability(c(6, 3, 0), rep(0.2, 3), -Inf, Inf)),
               top + log(sum(exp(log_integrand - top)) * (t[2] - t[1])), tolerance = 1e-5)
})

test_that("the Bayes factor is large where the order holds, small where it fails, as an independent count gives", {
  # Independent count: exact flat-prior posterior draws, weighted by the
  # encompassing prior's density (which turns them into that posterior).
  counted <- function(d, fit) {
    free <- unconstrained_draws(d, 4e5, seed = 9)
    prior <- fit$bayes_factor
    log_w <- rowSums(dnorm(free, rep(prior$prior_mean, each = nrow(free)),
                           rep(prior$prior_sd, each = nrow(free)), log = TRUE))
    w <- exp(log_w - max(log_w))
    ordered <- apply(free, 1L, function(x) !is.unsorted(x))
    share <- sum(w * ordered) / sum(w)
    c(bf = share / prior$prior_share, se = sqrt(share * (1 - share) / nrow(free)) / prior$prior_share)
  }
  holds <- ordered_data(c(0, 1, 2, 3), rep(8, 4), seed = 11)
  fails <- ordered_data(c(0.8, 0, -0.6), rep(10, 3), seed = 12)
  for (case in list(list(d = holds, check = function(bf) expect_gt(bf, 10)),
                    list(d = fails, check = function(bf) expect_lt(bf, 0.1)))) {
    fit <- ordered_means_mcmc(y ~ g, case$d, chains = 1, iter = 10, burnin = 10, seed = 2, cores = 1,
                              bf_draws = 2000)
    bf <- fit$bayes_factor
    case$check(bf$bf)
    reference <- counted(case$d, fit)
    expect_lt(abs(bf$bf - reference[["bf"]]), 4 * sqrt(bf$mc_error^2 + reference[["se"]]^2))
    expect_lt(bf$mc_error, 0.05 * bf$bf)
  }
})

test_that("covariates: exact draws kept when ordered agree; restricted least squares as data grow", {
  # Covariate means differ by group, so the means and the slope are correlated.
  ancova <- function(per_group, seed) {
    set.seed(seed)
    d <- data.frame(g = factor(rep(c("lo", "mid", "hi"), each = per_group), levels = c("lo", "mid", "hi")))
    d$x <- rnorm(nrow(d), c(lo = 0, mid = 0.5, hi = 1)[as.character(d$g)])
    d$y <- c(lo = 0, mid = 0.3, hi = 0.2)[as.character(d$g)] + 0.8 * d$x + rnorm(nrow(d))
    d
  }
  d <- ancova(8, 14)
  fit <- ordered_means_mcmc(y ~ g + x, d, chains = 2, iter = 6000, seed = 5, cores = 1, bf_prior = FALSE)
  # The unconstrained posterior under flat priors: sigma^2 | y, then (mu, gamma).
  Z <- model.matrix(~ 0 + g + x, d)
  ls <- lm.fit(Z, d$y)
  set.seed(15)
  draws <- 4e5
  sigma2 <- sum(ls$residuals^2) / (2 * rgamma(draws, (nrow(d) - 4) / 2))
  free <- matrix(rnorm(draws * 4), draws) %*% chol(solve(crossprod(Z))) * sqrt(sigma2) +
    rep(ls$coefficients, each = draws)
  reference <- free[free[, 1] <= free[, 2] & free[, 2] <= free[, 3], ]
  chains <- lapply(chains_of(fit$draws), function(x) x[, 1:4])
  pooled <- do.call(rbind, chains)
  z <- (colMeans(pooled) - colMeans(reference)) /
    sqrt(apply(pooled, 2, var) / ess_of(chains) + apply(reference, 2, var) / nrow(reference))
  expect_true(all(abs(z) < 4), info = paste(round(z, 2), collapse = " "))
  expect_equal(unname(apply(pooled, 2, sd)), unname(apply(reference, 2, sd)), tolerance = 0.06)

  skip_if_not_installed("quadprog")
  d <- ancova(3000, 16)
  Z <- model.matrix(~ 0 + g + x, d)
  order_rows <- cbind(c(-1, 1, 0, 0), c(0, -1, 1, 0))
  restricted <- quadprog::solve.QP(crossprod(Z), crossprod(Z, d$y), order_rows, c(0, 0))$solution
  fit <- ordered_means_mcmc(y ~ g + x, d, chains = 2, iter = 2000, seed = 6, cores = 1, bf_prior = FALSE)
  post <- summary(fit)$table[1:4, ]
  expect_true(all(abs(post$mean - restricted) < 2 * post$sd),
              info = paste(round((post$mean - restricted) / post$sd, 2), collapse = " "))
})

test_that("seeds, workers, decreasing order, bounds, one-observation groups and the methods", {
  d <- data.frame(dose = rep(c(0, 1, 2, 5), c(5, 1, 4, 3)))
  d$weight <- c(0.2, 0.3, 0.1, 0.25, 0.2, 0.4, 0.3, 0.5, 0.45, 0.35, 0.9, 0.8, 0.95)
  args <- list(weight ~ dose, d, order = c("0", "1", "2", "5"), chains = 3, iter = 50, burnin = 10, seed = 6,
               lower = 0, upper = 1, bf_draws = 100)
  here <- do.call(ordered_means_mcmc, c(args, cores = 1))
  expect_identical(do.call(ordered_means_mcmc, c(args, cores = 2))$draws, here$draws)
  expect_false(identical(chains_of(here$draws)[[1]], chains_of(here$draws)[[2]]))
  mu <- pooled_of(here$draws)[, 1:4]
  expect_true(all(mu >= 0 & mu <= 1) && all(apply(mu, 1, function(x) !is.unsorted(x))))
  # The same fit written as a decreasing order of the reversed levels.
  down <- do.call(ordered_means_mcmc, modifyList(args, list(order = c("5", "2", "1", "0"), decreasing = TRUE,
                                                            cores = 1)))
  expect_identical(chains_of(down$draws)[[1]][, 4:1], chains_of(here$draws)[[1]][, 1:4])
  expect_identical(names(coef(here)), c("dose0", "dose1", "dose2", "dose5", "sigma"))
  expect_identical(dim(vcov(here)), c(5L, 5L))
  probs <- order_probabilities(here, margin = 0.1)
  expect_identical(nrow(probs), 3L)
  expect_true(all(probs$probability >= 0 & probs$probability <= 1))
  expect_output(print(summary(here)), "Bayes factor")
  # Bounds enter the prior share: P(0 <= mu <= 1)^4 / 4! under the stated prior.
  prior <- here$bayes_factor
  expect_equal(prior$prior_share, prod(pnorm(1, prior$prior_mean, prior$prior_sd) -
                                         pnorm(0, prior$prior_mean, prior$prior_sd)) / 24)
  skip_if_not_installed("coda")
  expect_identical(coda::nchain(coda::as.mcmc.list(here)), 3L)
  skip_if_not_installed("posterior")
  expect_identical(dim(posterior::as_draws(here)), c(50L, 3L, 5L))
})

test_that("ordered_means_mcmc refuses what it cannot fit, naming the argument", {
  d <- data.frame(g = factor(rep(c("a", "b", "c"), each = 3), levels = c("a", "b", "c", "d")), y = 1:9, x = 1)
  fit <- function(..., chains = 1, bf_prior = FALSE) {
    ordered_means_mcmc(..., chains = chains, iter = 5, burnin = 0, cores = 1, bf_prior = bf_prior)
  }
  expect_error(fit(y ~ g, d), "group 'd' has no observations")
  d$g <- droplevels(d$g)
  expect_error(fit(y ~ g, d, order = c("a", "b")), "'order' leaves out the level 'c'")
  expect_error(fit(y ~ g, d, order = c("a", "b", "z")), "'order' names 'z'")
  expect_error(fit(y ~ g, d, lower = 1, upper = 0), "'lower' must be below 'upper'")
  expect_error(fit(y ~ g + x, d), "covariate column 'x' is constant")
  expect_error(fit(y ~ g * x, transform(d, x = 1:9)), "no interactions")
  expect_error(fit(y ~ g, d, chains = 0), "'chains' must be a whole number")
  expect_error(fit(y ~ g, d, bf_prior = c(0, -1)), "'bf_prior'")
  expect_error(fit(y ~ g, d[c(1, 4, 7), ]), "3 observations cannot fit 3 means")
})

test_that("ordered_means_mcmc subtracts an offset() term from the response", {
  set.seed(4)
  d <- data.frame(g = rep(c("a", "b", "c"), each = 10), o = rnorm(30, sd = 3))
  d$y <- c(a = 0, b = 1, c = 2)[d$g] + d$o + rnorm(30, sd = 0.5)
  d$less <- d$y - d$o
  with_offset <- ordered_means_mcmc(y ~ g + offset(o), d, chains = 1, iter = 200, seed = 5, cores = 1, bf_prior = FALSE)
  subtracted <- ordered_means_mcmc(less ~ g, d, chains = 1, iter = 200, seed = 5, cores = 1, bf_prior = FALSE)
  expect_identical(unclass(with_offset$draws), unclass(subtracted$draws))
  expect_error(ordered_means_mcmc(y ~ g + offset(o), transform(d, o = ifelse(seq_along(o) == 3, Inf, o)),
                                  chains = 1, iter = 50, seed = 5, cores = 1), "offset must be finite")
})

test_that("ordered_means_mcmc refuses priors whose precision overflows and bounds far beyond the data", {
  set.seed(4)
  d <- data.frame(g = rep(c("a", "b", "c"), each = 6))
  d$y <- c(a = 0, b = 1, c = 2)[d$g] + rnorm(18)
  run <- function(...) ordered_means_mcmc(y ~ g, d, chains = 1, iter = 50, burnin = 10, seed = 5, cores = 1, ...)
  expect_error(run(bf_prior = c(0, 1e-300)), "ordered_means_mcmc: the sd of 'bf_prior' is so small")
  expect_error(run(bf_prior = c(1e300, 1e-10)), "the sd of 'bf_prior' is so small")
  expect_error(run(prior_sd = 1e-300), "ordered_means_mcmc: 'prior_sd' is so small")
  expect_error(run(lower = 1e300), "ordered_means_mcmc: 'lower' \\(1e\\+300\\) lies so far from the data")
  expect_error(run(upper = -1e300), "'upper' \\(-1e\\+300\\) lies so far from the data")
  # Small but workable, data outside the bounds, at them, or the bounds infinite: a fit with means in bounds.
  bounds <- list(c(10, 20), c(-20, -10), c(min(d$y), max(d$y)), c(-Inf, min(d$y)), c(max(d$y), Inf),
                 c(-1e308, 1e308), c(0, 1e-300), c(1e10, Inf))
  log_share <- getFromNamespace(".qv_log_normal_interval", "quorval")
  expect_equal(log_share(0, 1, 20, 21), log(pnorm(20, lower.tail = FALSE) - pnorm(21, lower.tail = FALSE)))
  # Beyond the smallest double: the tail's asymptote, -x^2 / 2 - log(x sqrt(2 pi)) - 1 / x^2.
  expect_equal(log_share(0, 1, 40, 41), -800 - log(40 * sqrt(2 * pi)) - 1 / 1600, tolerance = 1e-8)
  expect_equal(log_share(0, 1, -41, -40), log_share(0, 1, 40, 41))
  expect_equal(log_share(0, 1, -1, 2), log(pnorm(2) - pnorm(-1)))
  expect_true(is.finite(log_share(0, 1, 1e10, Inf)))
  for (b in bounds) {
    said <- character(0)
    fit <- withCallingHandlers(run(lower = b[1], upper = b[2], bf_draws = 10), warning = function(w) {
      said <<- c(said, conditionMessage(w))
      invokeRestart("muffleWarning")
    })
    means <- unclass(fit$draws)[, , fit$means]
    expect_true(all(means >= b[1] & means <= b[2]), info = paste(b, collapse = " "))
    bf <- fit$bayes_factor
    expect_false(anyNA(unlist(bf[c("posterior_share", "prior_share")])))
    # A Bayes factor, or NA with the warning that says why.
    expect_identical(is.na(bf$bf), any(grepl("Bayes factor is not computable", said)), info = paste(b, collapse = " "))
    if (!is.na(bf$bf)) expect_true(bf$bf >= 0 && is.finite(bf$bf))
  }
})

test_that("the front doors check 'cl' before use: a stopped cluster or one without workers is named", {
  d <- data.frame(g = rep(c("a", "b"), each = 4), y = c(1:4, 3:6))
  cl <- parallel::makePSOCKcluster(1)
  parallel::stopCluster(cl)
  expect_error(ordered_means_mcmc(y ~ g, d, chains = 1, iter = 20, seed = 1, cl = cl),
               "ordered_means_mcmc: 'cl' worker 1's connection is closed: the cluster was stopped")
  expect_error(oprobit_mcmc(Sat ~ Infl, data = MASS::housing, weights = Freq, chains = 1, iter = 20, seed = 1, cl = cl),
               "oprobit_mcmc: 'cl' worker 1's connection is closed")
  empty <- structure(list(), class = c("SOCKcluster", "cluster"))
  expect_error(ordered_means_mcmc(y ~ g, d, chains = 1, iter = 20, seed = 1, cl = empty), "'cl' has no workers")
  expect_error(ordered_means_mcmc(y ~ g, d, chains = 1, iter = 20, seed = 1, cl = structure(list(1), class = "cluster")),
               "'cl' worker 1 has no connection")
  expect_error(ordered_means_mcmc(y ~ g, d, chains = 1, iter = 20, seed = 1, cl = list()), "made by the parallel package")
})
