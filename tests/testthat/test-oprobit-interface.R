# oprobit_mcmc's formula machinery, input checks, reproducibility and
# methods.

housing <- MASS::housing
quick <- function(...) {
  eval(substitute(oprobit_mcmc(..., chains = 2, iter = 40, burnin = 20, seed = 5, cores = 1)), parent.frame())
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
  expect_error(quick(rnorm(60) ~ x, data = d), "ordered factor, a factor or whole-number codes")
  for (w in list(rep(1.5, 60), rep(-1, 60), rep(Inf, 60))) {
    expect_error(quick(y ~ x, data = d, weights = w), "'weights' must be whole non-negative numbers")
  }
  d$x[3] <- NA
  expect_error(quick(y ~ x, data = d, na.action = na.fail), "missing values")
  expect_error(quick(y ~ x, data = d, na.action = na.pass), "missing values that 'na.action' left in")
  expect_error(oprobit_mcmc(y ~ x, data = d, chains = 0), "'chains' must be a whole number of at least 1")
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
  args <- list(Sat ~ Type, data = housing, weights = housing$Freq, chains = 3, iter = 30, burnin = 10, seed = 8)
  here <- do.call(oprobit_mcmc, c(args, cores = 1))
  cl <- parallel::makePSOCKcluster(2)
  on.exit(parallel::stopCluster(cl))
  expect_identical(do.call(oprobit_mcmc, c(args, list(cl = cl)))$draws, here$draws)
  expect_identical(do.call(oprobit_mcmc, c(args, cores = 2))$draws, here$draws)
  expect_false(any(here$draws[[1]] == here$draws[[2]]))
  expect_false(identical(do.call(oprobit_mcmc, modifyList(args, list(seed = 9, cores = 1)))$draws, here$draws))
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
  expect_identical(colnames(s$table), c("mean", "sd", "2.5%", "50%", "97.5%", "Rhat", "ess_bulk"))
  expect_output(print(s), "Cutpoint step acceptance")
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
  expect_identical(unclass(chains[[2]])[, ], fit$draws[[2]])
  skip_if_not_installed("posterior")
  draws <- posterior::as_draws(fit)
  expect_identical(posterior::variables(draws), names(coef(fit)))
  expect_identical(dim(draws), c(40L, 2L, 8L))
})

test_that("two categories fit the binary probit; integer codes and no covariates work", {
  binary <- housing
  binary$high <- as.integer(binary$Sat == "High")
  fit <- oprobit_mcmc(high ~ Infl + Cont, data = binary, weights = Freq, chains = 2, iter = 600,
                      burnin = 200, seed = 2, cores = 1)
  ml <- glm(high ~ Infl + Cont, data = binary, weights = Freq, family = binomial("probit"))
  expect_identical(names(coef(fit)), c("InflMedium", "InflHigh", "ContHigh", "0|1"))
  expect_true(is.na(fit$acceptance[1]) || fit$acceptance[1] > 0.2)
  sd <- apply(do.call(rbind, fit$draws), 2, sd)
  expect_true(all(abs(coef(fit) - c(coef(ml)[-1], -coef(ml)[1])) < 2 * sd))
  plain <- quick(Sat ~ 1, data = housing, weights = Freq)
  expect_identical(names(coef(plain)), c("Low|Medium", "Medium|High"))
})
