# oprobit_mcmc's formula machinery, input checks, reproducibility and
# methods.

housing <- MASS::housing
# Short chains: their convergence warning is expected and muted.
quick <- function(...) {
  args <- match.call(expand.dots = FALSE)$...
  defaults <- list(chains = 2, iter = 40, burnin = 20, seed = 5, cores = 1)
  call <- as.call(c(quote(oprobit_mcmc), args, defaults[setdiff(names(defaults), names(args))]))
  suppressWarnings(eval(call, parent.frame()))
}

test_that("bad input stops with an error that names what is wrong", {
  d <- data.frame(y = factor(rep(c("a", "b", "c"), 20), levels = c("a", "b", "c", "d")),
                  x = rnorm(60), k = 1)
  d$x2 <- 2 * d$x
  expect_error(quick(y ~ x, data = d), "category 'd' of the response has no observations")
  expect_error(quick(y ~ x, data = d, subset = y == "a"), "only one category")
  d <- droplevels(d)
  expect_error(quick(y ~ x + k, data = d), "covariate column 'k' is constant")
  expect_error(quick(y ~ x + x2, data = d), "column 'x2' is collinear")
  expect_error(quick(y ~ x - 1, data = d), "must keep its intercept")
  expect_error(quick(rnorm(60) ~ x, data = d), "ordered factor, a factor, a logical or whole-number codes")
  expect_length(coef(quick(y ~ I(x > 0 | x < -1), data = d)), 3)
  expect_error(quick(y ~ x, data = d, chains = 1e9), "need about .* of memory")
  expect_error(quick(y ~ x, data = d, seed = 2^32), "'seed' must be a whole number in 0 ... 4294967295")
  expect_false(identical(quick(y ~ x, data = d, seed = 2^32 - 1)$draws, quick(y ~ x, data = d, seed = 2^31 - 1)$draws))
  expect_message(quick(factor(y, levels = c("b", "a", "c")) ~ x, data = d), "unordered factor; its levels are taken in their stored order: b < a < c")
  inf <- transform(d, x = replace(x, 4, Inf))
  expect_error(quick(y ~ x, data = inf), "covariate column 'x' holds an infinite value")
  # A covariate, or a factor's reference level, that orders the categories.
  sep <- transform(d, s = as.integer(y) + runif(60) / 2, g = factor(ifelse(y == "c" & x > 0, "top", rep(c("low", "mid"), 30))))
  expect_error(quick(y ~ x + s, data = sep), "covariate column 's' separates the response categories.*'B0'")
  expect_error(quick(y ~ x + relevel(g, "top"), data = sep), "level 'top' of 'relevel\\(g, \"top\"\\)' separates")
  expect_length(coef(quick(y ~ x + s, data = sep, B0 = 0.5)), 4)
  for (w in list(rep(1.5, 60), rep(-1, 60), rep(Inf, 60))) {
    expect_error(quick(y ~ x, data = d, weights = w), "'weights' must be whole non-negative numbers")
  }
  d$x[3] <- NA
  expect_error(quick(y ~ x, data = d, na.action = na.fail), "missing values")
  expect_error(quick(y ~ x, data = d, na.action = na.pass), "missing values that 'na.action' left in")
  expect_error(oprobit_mcmc(y ~ x, data = d, chains = 0), "'chains' must be a whole number in 1 ... ")
  expect_error(quick(y ~ x, data = d, B0 = -1), "'B0' must be one non-negative")
  expect_error(quick(y ~ x, data = d, b0 = c(1, 2)), "'b0' must be one finite number or one per slope")
  expect_error(quick(y ~ x, data = d, latent = "x"), "should be one of")
})

test_that("weights count rows, NA rows and zero weights drop out, subset selects", {
  rows <- rep(seq_len(nrow(housing)), housing$Freq)
  counted <- quick(Sat ~ Infl + Cont, data = housing, weights = Freq)
  expanded <- quick(Sat ~ Infl + Cont, data = housing[rows, ])
  expect_identical(counted$draws, expanded$draws)
  expect_identical(counted$nobs, 1681L)

  holes <- housing
  holes$Infl[c(2, 7)] <- NA
  holes$Freq[5] <- 0
  complete <- housing[-c(2, 5, 7), ]
  expect_identical(quick(Sat ~ Infl + Cont, data = holes, weights = Freq)$draws,
                   quick(Sat ~ Infl + Cont, data = complete, weights = Freq)$draws)
  expect_identical(quick(Sat ~ Infl + Cont, data = housing, weights = Freq, subset = Type != "Tower")$draws,
                   quick(Sat ~ Infl + Cont, data = housing[housing$Type != "Tower", ], weights = Freq)$draws)
})

test_that("the same seed gives the same draws in this process and on a cluster; chains differ", {
  # Chains this short warn that they have not converged.
  oprobit_mcmc <- function(...) suppressWarnings(quorval::oprobit_mcmc(...))
  args <- list(Sat ~ Type, data = housing, weights = housing$Freq, chains = 3, iter = 30, burnin = 10, seed = 8)
  here <- do.call(oprobit_mcmc, c(args, cores = 1))
  cl <- parallel::makePSOCKcluster(2)
  on.exit(parallel::stopCluster(cl))
  expect_identical(do.call(oprobit_mcmc, c(args, list(cl = cl)))$draws, here$draws)
  expect_identical(do.call(oprobit_mcmc, c(args, cores = 2))$draws, here$draws)
  expect_false(any(unclass(here$draws)[, 1, ] == unclass(here$draws)[, 2, ]))
  expect_false(identical(do.call(oprobit_mcmc, modifyList(args, list(seed = 9, cores = 1)))$draws, here$draws))
  # The data-augmentation chain on either stream of its latent draws.
  args$control <- oprobit_control(method = "augmented")
  here <- do.call(oprobit_mcmc, c(args, cores = 1))
  expect_identical(do.call(oprobit_mcmc, c(args, list(cl = cl)))$draws, here$draws)
  expect_identical(do.call(oprobit_mcmc, c(args, cores = 2))$draws, here$draws)
  r <- do.call(oprobit_mcmc, c(args, cores = 1, latent = "r"))
  expect_identical(do.call(oprobit_mcmc, c(args, cores = 2, latent = "r"))$draws, r$draws)
  expect_false(identical(r$draws, here$draws))
})

test_that("methods: names as polr's, shapes, probabilities, coda and posterior draws", {
  fit <- quick(Sat ~ Infl + Type + Cont, data = housing, weights = Freq)
  ml <- MASS::polr(Sat ~ Infl + Type + Cont, data = housing, weights = Freq, method = "probit")
  expect_identical(names(coef(fit)), names(c(coef(ml), ml$zeta)))
  expect_identical(dimnames(vcov(fit)), list(names(coef(fit)), names(coef(fit))))
  expect_length(fit$seconds, 2)
  expect_length(fit$acceptance, 2)
  s <- summary(fit)
  expect_identical(colnames(s$table), c("mean", "sd", "2.5%", "50%", "97.5%", "Rhat", "ess_bulk", "ess_tail"))
  expect_output(print(s), "Independence move acceptance by chain")
  expect_output(print(fit), "Sampler: independence Metropolis-Hastings")
  augmented <- quick(Sat ~ Infl + Type + Cont, data = housing, weights = Freq,
                     control = oprobit_control(method = "augmented"))
  expect_output(print(summary(augmented)), "Cutpoint step acceptance")
  expect_output(print(augmented), "Sampler: data augmentation")
  expect_output(print(fit), "Thresholds")
  prob <- predict(fit, housing[c(1, 4, 70), ])
  expect_identical(dim(prob), c(3L, 3L))
  expect_equal(unname(rowSums(prob)), rep(1, 3))
  expect_lt(max(abs(prob - predict(ml, housing[c(1, 4, 70), ], type = "probs"))), 0.03)
  expect_identical(levels(predict(fit, type = "class")), levels(housing$Sat))
  pdf(NULL)
  expect_invisible(plot(fit))
  dev.off()
  skip_if_not_installed("coda")
  chains <- coda::as.mcmc.list(fit)
  expect_identical(coda::nchain(chains), 2L)
  expect_identical(coda::varnames(chains), names(coef(fit)))
  expect_identical(unname(unclass(chains[[2]])[, ]), unname(unclass(fit$draws)[, 2, ]))
  skip_if_not_installed("posterior")
  draws <- posterior::as_draws(fit)
  expect_identical(posterior::variables(draws), names(coef(fit)))
  expect_identical(dim(draws), c(40L, 2L, 8L))
})

test_that("two categories fit the binary probit; integer codes and no covariates work", {
  binary <- housing
  binary$high <- as.integer(binary$Sat == "High")
  fit <- suppressWarnings(oprobit_mcmc(high ~ Infl + Cont, data = binary, weights = Freq, chains = 2,
                                       iter = 600, burnin = 200, seed = 2, cores = 1))
  ml <- glm(high ~ Infl + Cont, data = binary, weights = Freq, family = binomial("probit"))
  expect_identical(names(coef(fit)), c("InflMedium", "InflHigh", "ContHigh", "0|1"))
  expect_true(is.na(fit$acceptance[1]) || fit$acceptance[1] > 0.2)
  sd <- apply(pooled_of(fit$draws), 2, sd)
  expect_true(all(abs(coef(fit) - c(coef(ml)[-1], -coef(ml)[1])) < 2 * sd))
  plain <- quick(Sat ~ 1, data = housing, weights = Freq)
  expect_identical(names(coef(plain)), c("Low|Medium", "Medium|High"))
})

test_that("offsets, as terms or as the argument, agree with polr's; a logical response is binary", {
  h <- transform(housing, o = 0.8 * (Cont == "High") - 0.5 * (Type == "Tower"))
  fit <- suppressWarnings(oprobit_mcmc(Sat ~ Infl + Type + offset(o), data = h, weights = Freq, chains = 2,
                                       iter = 1000, burnin = 300, seed = 3, cores = 2))
  ml <- MASS::polr(Sat ~ Infl + Type + offset(o), data = h, weights = Freq, method = "probit", Hess = TRUE)
  expect_lt(max(abs(coef(fit) - c(coef(ml), ml$zeta)) / sqrt(diag(vcov(ml)))), 0.3)
  argument <- suppressWarnings(oprobit_mcmc(Sat ~ Infl + Type, offset = o, data = h, weights = Freq, chains = 2,
                                            iter = 1000, burnin = 300, seed = 3, cores = 2))
  expect_identical(argument$draws, fit$draws)
  # New rows bring their offsets (polr's predict() leaves them out: its
  # estimates give the reference).
  rows <- h[c(1, 30, 60), ]
  eta <- model.matrix(~ Infl + Type, rows)[, -1] %*% coef(ml) + rows$o
  below <- cbind(0, pnorm(outer(-drop(eta), ml$zeta, `+`)), 1)
  expect_lt(max(abs(predict(argument, rows) - t(diff(t(below))))), 0.02)
  expect_equal(logLik(fit), logLik(ml), tolerance = 1e-3, ignore_attr = TRUE)
  binary <- transform(housing, high = Sat == "High")
  expect_identical(names(coef(quick(high ~ Infl, data = binary, weights = Freq))), c("InflMedium", "InflHigh", "FALSE|TRUE"))
})

test_that("a fit leaves R's stream, the C stream and the libraries' generators as they were", {
  c_stream_seed(1); set.seed(2)
  before <- list(rtruncnorm_qv(3), runif(2))
  for (cores in 1:2) {
    c_stream_seed(1); set.seed(2)
    quick(Sat ~ Infl, data = housing, weights = Freq, cores = cores)
    expect_identical(list(rtruncnorm_qv(3), runif(2)), before)
  }
})

test_that("predict, fitted, draws of the probabilities, na.exclude; log-likelihoods, loo, simulate", {
  holes <- housing
  holes$Infl[3] <- NA
  fit <- quick(Sat ~ Infl + Cont, data = holes, weights = Freq, na.action = na.exclude)
  expect_identical(dim(fitted(fit)), c(72L, 3L))
  expect_true(all(is.na(fitted(fit)[3, ])) && !anyNA(fitted(fit)[-3, ]))
  expect_identical(predict(fit, holes[1:4, ], type = "probs"), predict(fit, holes[1:4, ]))
  padded <- predict(fit, holes[1:4, ], na.action = na.exclude, summary = FALSE)
  expect_identical(dim(padded), c(80L, 4L, 3L))
  expect_equal(apply(padded[, -3, ], c(2, 3), mean), predict(fit, holes[c(1, 2, 4), ]), ignore_attr = TRUE)
  bands <- predict(fit, holes[1:2, ], interval = TRUE, level = 0.8)
  expect_true(all(bands[, , "lwr"] <= bands[, , "fit"] & bands[, , "fit"] <= bands[, , "upr"]))
  expect_error(residuals(fit), "an ordinal response has no residuals")
  expect_equal(unname(confint(fit, "ContHigh", 0.9)[1, ]),
               unname(quantile(pooled_of(fit$draws)[, "ContHigh"], c(0.05, 0.95))))
  expect_identical(model.matrix(fit), fit$x)
  ll <- log_lik(fit)
  expect_identical(dim(ll), c(80L, nobs(fit)))
  # A row of weight w is w columns: the sum over columns is the log-likelihood of each draw.
  expect_equal(rowSums(ll)[1], sum(fit$weights * log(sapply(seq_along(fit$y), function(i) exp(ll[1, cumsum(fit$weights)[i]])))))
  skip_if_not_installed("loo")
  # 80 draws are few for loo's diagnostics, which warn; the estimates agree.
  suppressWarnings(expect_equal(loo::loo(fit)$estimates["elpd_loo", "Estimate"],
                                loo::waic(fit)$estimates["elpd_waic", "Estimate"], tolerance = 1e-3))
  sims <- simulate(fit, nsim = 3, seed = 1)
  expect_identical(dim(sims), c(71L, 3L))
  expect_identical(sims, simulate(fit, nsim = 3, seed = 1))
  check <- predictive_check(fit, ndraws = 50, seed = 1, plot = FALSE)
  expect_identical(check$observed, as.vector(table(rep(fit$y, fit$weights))))
  expect_true(all(check$lower <= check$upper))
})
