# oprobit_mcmc with group terms: recovery, agreement with clmm and with the
# fixed-effects sampler, the formula forms and their names, the methods.

# The convergence warning of the short chains here is expected and muted;
# every other warning still reaches the tests.
oprobit_mcmc <- function(...) {
  call <- sys.call()
  call[[1L]] <- quote(quorval::oprobit_mcmc)
  withCallingHandlers(eval(call, parent.frame()), warning = function(w) {
    if (grepl("have not converged", conditionMessage(w), fixed = TRUE)) invokeRestart("muffleWarning")
  })
}

# Ratings of G groups with a correlated random intercept and slope.
simulated_groups <- function(G, per, seed) {
  set.seed(seed)
  g <- factor(rep(seq_len(G), each = per))
  x <- rnorm(G * per)
  z <- rbinom(G * per, 1, 0.5)
  root <- chol(matrix(c(0.64, 0.2, 0.2, 0.25), 2))
  u <- crossprod(root, matrix(rnorm(2 * G), 2))
  w <- 0.7 * x - 0.5 * z + u[1, g] + u[2, g] * x + rnorm(G * per)
  data.frame(y = cut(w, c(-Inf, -1, 0, 1.2, Inf), labels = FALSE), x = x, z = z, g = g)
}

posterior_table <- function(fit) {
  pooled <- pooled_of(fit$draws)
  list(mean = colMeans(pooled), sd = apply(pooled, 2L, sd), rhat = apply(unclass(fit$draws), 3L, posterior::rhat))
}

test_that("a random intercept and slope are recovered, names in brms's style", {
  data <- simulated_groups(60, 40, 11)
  fit <- oprobit_mcmc(y ~ x + z + (1 + x | g), data = data, chains = 2, iter = 800, burnin = 400,
                      seed = 3, cores = 1)
  truth <- c(x = 0.7, z = -0.5, `1|2` = -1, `2|3` = 0, `3|4` = 1.2, sd_g__Intercept = 0.8,
             sd_g__x = 0.5, cor_g__Intercept__x = 0.5)
  expect_named(coef(fit), names(truth))
  post <- posterior_table(fit)
  expect_true(all(abs(post$mean[names(truth)] - truth) < 3 * post$sd[names(truth)]))
  expect_true(all(post$rhat < 1.05))
  # ranef: one data frame per grouping factor, levels by coefficients.
  effects <- ranef(fit)
  expect_named(effects, "g")
  expect_equal(dim(effects$g), c(60L, 2L))
  expect_named(effects$g, c("(Intercept)", "x"))
  expect_true(all(attr(effects$g, "sd") > 0))
  expect_equal(unname(attr(VarCorr(fit)$g, "stddev")), unname(post$mean[c("sd_g__Intercept", "sd_g__x")]))
  draws <- posterior::as_draws(fit, ranef = TRUE)
  expect_equal(posterior::nvariables(draws), 8L + 120L)
  expect_true("r_g[7,x]" %in% posterior::variables(draws))
  expect_equal(coda::nvar(coda::as.mcmc.list(fit)), 8L)
})

test_that("wine: posterior means within 2 sd of clmm(link = \"probit\")", {
  skip_if_not_installed("ordinal")
  wine <- ordinal::wine
  fit <- oprobit_mcmc(rating ~ temp + contact + (1 | judge), data = wine, chains = 2, iter = 2000,
                      burnin = 1000, seed = 1, cores = 1)
  peer <- ordinal::clmm(rating ~ temp + contact + (1 | judge), data = wine, link = "probit")
  estimates <- c(peer$beta, peer$alpha, sd_judge__Intercept = attr(ordinal::VarCorr(peer)$judge, "stddev")[[1]])
  post <- posterior_table(fit)
  expect_setequal(names(post$mean), names(estimates))
  expect_true(all(abs(post$mean[names(estimates)] - estimates) < 2 * post$sd[names(estimates)]))
})

test_that("with little between-group spread the model is the fixed-effects one", {
  data <- simulated_groups(30, 20, 5)
  data$one <- "a"
  fixed <- oprobit_mcmc(y ~ x + z, data = data, chains = 2, iter = 1500, burnin = 500, seed = 9, cores = 1)
  # A single level cannot be told from the thresholds: the term goes.
  expect_warning(single <- oprobit_mcmc(y ~ x + z + (1 | one), data = data, chains = 2, iter = 1500,
                                        burnin = 500, seed = 9, cores = 1), "one level")
  expect_identical(single$draws, fixed$draws)
  # An sd held near 0 by its prior: the same posterior as without the term.
  tight <- oprobit_mcmc(y ~ x + z + (1 | g), data = data, chains = 2, iter = 1500, burnin = 500, seed = 9,
                        cores = 1, sd_prior = "normal", sd_scale = 1e-3)
  a <- posterior_table(fixed)
  b <- posterior_table(tight)
  names <- names(a$mean)
  expect_true(all(abs(a$mean - b$mean[names]) < 0.15 * a$sd))
  expect_true(all(abs(b$sd[names] / a$sd - 1) < 0.15))
})

test_that("formula forms: uncorrelated, crossed, nested, without intercept; weights, subset, binary", {
  data <- simulated_groups(12, 15, 2)
  data$h <- factor(rep(1:5, length.out = nrow(data)))
  data$b <- as.integer(data$y > 2)
  run <- function(formula) oprobit_mcmc(formula, data = data, chains = 1, iter = 60, burnin = 40, seed = 1,
                                        cores = 1)
  expect_equal(run(y ~ x + (1 + x || g))$group_parameters, c("sd_g__Intercept", "sd_g__x"))
  expect_setequal(run(y ~ x + (1 | g) + (1 | h))$group_parameters, c("sd_g__Intercept", "sd_h__Intercept"))
  expect_setequal(run(y ~ x + (1 | g/h))$group_parameters, c("sd_h:g__Intercept", "sd_g__Intercept"))
  expect_equal(run(y ~ x + (0 + x | g))$group_parameters, "sd_g__x")
  binary <- run(b ~ x + (1 | g))
  expect_named(coef(binary), c("x", "0|1", "sd_g__Intercept"))
  data$x[3] <- NA
  data$two <- 2
  weighted <- oprobit_mcmc(y ~ x + (1 | g), data = data, weights = two, subset = h != "1", chains = 1,
                           iter = 60, burnin = 40, seed = 1, cores = 1)
  expect_equal(weighted$nobs, 2 * sum(data$h != "1" & !is.na(data$x)))
  expect_error(run(y ~ x + (1 | g) + (1 | g)), "same group term twice")
})

test_that("offsets: as a term or an argument alike; a constant one moves only the thresholds", {
  data <- simulated_groups(30, 20, 5)
  data$o <- 0.6
  run <- function(formula) oprobit_mcmc(formula, data = data, chains = 2, iter = 1500, burnin = 500, seed = 4,
                                        cores = 1)
  term <- run(y ~ x + z + offset(o) + (1 | g))
  argument <- oprobit_mcmc(y ~ x + z + (1 | g), data = data, offset = o, chains = 2, iter = 1500,
                           burnin = 500, seed = 4, cores = 1)
  expect_identical(term$draws, argument$draws)
  plain <- posterior_table(run(y ~ x + z + (1 | g)))
  shifted <- posterior_table(term)
  names <- names(plain$mean)
  moved <- c("1|2", "2|3", "3|4")
  expect_true(all(abs(shifted$mean[names] - plain$mean - 0.6 * (names %in% moved)) < 0.2 * plain$sd))
  # The fitted rows' offsets and those evaluated in newdata agree.
  expect_equal(predict(term), predict(term, data))
  expect_equal(predict(argument), predict(argument, data))
})

test_that("predict: population level, the groups, new levels", {
  skip_if_not_installed("ordinal")
  wine <- ordinal::wine
  fit <- oprobit_mcmc(rating ~ temp + (1 | judge), data = wine, chains = 2, iter = 300, burnin = 200,
                      seed = 1, cores = 1)
  expect_equal(predict(fit), predict(fit, wine))
  new <- data.frame(temp = "warm", judge = c("1", "7", "new"))
  population <- predict(fit, new, re_form = NA)
  expect_equal(population[1, ], population[2, ])
  grouped <- predict(fit, new[1:2, ])
  # Judge 1 rates high, judge 7 low: their predictions move apart.
  expect_gt(sum(grouped[1, ] * 1:5), sum(population[1, ] * 1:5))
  expect_lt(sum(grouped[2, ] * 1:5), sum(population[1, ] * 1:5))
  expect_error(predict(fit, new), "level 'new' of 'judge'")
  expect_error(predict(fit, transform(new[1, ], judge = NA)), "missing values of a grouping variable")
  fresh <- predict(fit, new, allow_new_levels = TRUE)
  expect_equal(unname(rowSums(fresh)), rep(1, 3))
  # A new level averages over the population: spread wider than u = 0.
  expect_gt(fresh[3, 1] + fresh[3, 5], population[3, 1] + population[3, 5])
  expect_equal(predict(fit, new[1, ], re_form = ~0), population[1, , drop = FALSE])
})

test_that("log_lik, loo, simulate and predictive_check take each draw's own group effects", {
  skip_if_not_installed("ordinal")
  wine <- ordinal::wine
  fit <- oprobit_mcmc(rating ~ temp + (1 | judge), data = wine, chains = 2, iter = 200, burnin = 200,
                      seed = 1, cores = 1)
  values <- log_lik(fit)
  expect_equal(dim(values), c(400L, 72L))
  # Draw 250, rating 30, by hand from the draw's slope, thresholds and effect.
  draw <- unclass(posterior::as_draws_matrix(posterior::as_draws(fit, ranef = TRUE)))[250, , drop = FALSE]
  row <- wine[30, ]
  eta <- draw[, "tempwarm"] * (row$temp == "warm") + draw[, sprintf("r_judge[%s,Intercept]", row$judge)]
  zeta <- c(-Inf, draw[, fit$thresholds], Inf)
  k <- as.integer(row$rating)
  expect_equal(as.numeric(values[250, 30]), as.numeric(log(pnorm(zeta[k + 1] - eta) - pnorm(zeta[k] - eta))))
  skip_if_not_installed("loo")
  expect_s3_class(suppressWarnings(loo::loo(fit)), "psis_loo")
  sims <- simulate(fit, nsim = 2, seed = 3)
  expect_equal(dim(sims), c(72L, 2L))
  expect_identical(sims, simulate(fit, nsim = 2, seed = 3))
  check <- predictive_check(fit, ndraws = 100, seed = 1, plot = FALSE)
  expect_equal(sum(check$observed), 72)
  expect_error(logLik(fit), "log_lik\\(\\) gives each draw's")
})

# An independent random-walk Metropolis sampler of the posterior of y ~ x +
# (1 | g) over (beta, zeta, log sd, u), flat on (beta, zeta), the sd's prior
# given as a log density. Proposal scale from a covariance.
rwm_groups <- function(data, log_sd_prior, start, covariance, iterations, seed) {
  set.seed(seed)
  G <- nlevels(data$g)
  g <- as.integer(data$g)
  log_post <- function(theta) {
    zeta <- c(-Inf, theta[2:3], Inf)
    if (is.unsorted(zeta, strictly = TRUE)) return(-Inf)
    sd <- exp(theta[4])
    u <- theta[4 + seq_len(G)]
    eta <- theta[1] * data$x + u[g]
    sum(log(pnorm(zeta[data$y + 1L] - eta) - pnorm(zeta[data$y] - eta))) +
      sum(dnorm(u, 0, sd, log = TRUE)) + log_sd_prior(sd) + theta[4]
  }
  root <- t(chol(covariance)) * 2.4 / sqrt(length(start))
  theta <- start
  current <- log_post(theta)
  draws <- matrix(NA_real_, iterations, 4L)
  for (i in seq_len(iterations)) {
    proposal <- theta + drop(root %*% rnorm(length(theta)))
    value <- log_post(proposal)
    if (log(runif(1)) < value - current) {
      theta <- proposal
      current <- value
    }
    draws[i, ] <- c(theta[1:3], exp(theta[4]))
  }
  draws
}

test_that("few groups: the posterior agrees with an independent sampler under either sd prior", {
  set.seed(8)
  data <- data.frame(x = rnorm(48), g = factor(rep(1:6, each = 8)))
  data$y <- cut(0.7 * data$x + rnorm(6, 0, 0.8)[data$g] + rnorm(48), c(-Inf, -0.4, 0.5, Inf), labels = FALSE)
  priors <- list(list(name = "student_t", scale = 2.5, log = function(s) -2 * log1p(s^2 / (3 * 2.5^2))),
                 list(name = "normal", scale = 1, log = function(s) -s^2 / 2))
  for (prior in priors) {
    fit <- oprobit_mcmc(y ~ x + (1 | g), data = data, chains = 2, iter = 5000, burnin = 1000, seed = 4,
                        cores = 2, sd_prior = prior$name, sd_scale = prior$scale)
    ours <- pooled_of(fit$draws)
    effects <- pooled_of(fit$effects)
    start_draws <- cbind(ours[, 1:3], log(ours[, 4]), effects)
    reference <- rwm_groups(data, prior$log, colMeans(start_draws), cov(start_draws), 150000, seed = 2)[-(1:10000), ]
    se <- function(chains) apply(do.call(rbind, chains), 2, sd) / sqrt(ess_of(chains))
    z <- (colMeans(ours) - colMeans(reference)) / sqrt(se(chains_of(fit$draws))^2 + se(list(reference))^2)
    expect_true(all(abs(z) < 4), info = paste(prior$name, paste(round(z, 2), collapse = " ")))
    expect_equal(unname(apply(ours, 2, sd)), apply(reference, 2, sd), tolerance = 0.1)
  }
})

test_that("arguments, draws kept or not, and the same draws wherever the chains run", {
  skip_if_not_installed("ordinal")
  wine <- ordinal::wine
  run <- function(...) oprobit_mcmc(rating ~ temp + (1 | judge), data = wine, chains = 2, iter = 50,
                                    burnin = 20, seed = 6, ...)
  expect_error(run(cores = 1, sd_scale = 0), "'sd_scale'")
  expect_error(run(cores = 1, sd_df = -1), "'sd_df'")
  expect_error(run(cores = 1, save_ranef = NA), "'save_ranef'")
  expect_error(run(cores = 1, sd_prior = "cauchy"), "should be one of")
  here <- run(cores = 1)
  expect_identical(run(cores = 2)$draws, here$draws)
  lean <- run(cores = 1, save_ranef = FALSE)
  expect_identical(lean$draws, here$draws)
  expect_equal(ranef(lean), ranef(here))
  expect_error(predict(lean, wine[1:2, ]), "save_ranef = FALSE")
  expect_error(posterior::as_draws(lean, ranef = TRUE), "save_ranef = FALSE")
  expect_equal(predict(lean, wine[1:2, ], re_form = NA), predict(here, wine[1:2, ], re_form = NA))
})
