# The fit class every sampler returns: the draws held once as a draws_array,
# and the methods the samplers share through it.

# Short chains: their convergence warning is expected and muted.
quiet <- function(expr) {
  withCallingHandlers(expr, warning = function(w) {
    if (grepl("have not converged", conditionMessage(w), fixed = TRUE)) invokeRestart("muffleWarning")
  })
}
housing <- MASS::housing
wine <- data.frame(rating = as.integer(rep(1:5, 12)), temp = rep(c("cold", "warm"), 30),
                   judge = factor(rep(1:6, each = 10)))
doses <- data.frame(g = rep(c("lo", "mid", "hi"), each = 6), x = seq(-1, 1, length.out = 18))
doses$y <- c(lo = 0, mid = 0.4, hi = 1)[doses$g] + 0.3 * doses$x + sin(1:18) / 2
fits <- list(
  fixed = quiet(oprobit_mcmc(Sat ~ Infl + Cont, data = housing, weights = Freq, chains = 2, iter = 60,
                             burnin = 20, seed = 3, cores = 1)),
  mixed = quiet(oprobit_mcmc(rating ~ temp + (1 | judge), data = wine, chains = 2, iter = 60, burnin = 20,
                             seed = 3, cores = 1)),
  means = ordered_means_mcmc(y ~ g + x, doses, order = c("lo", "mid", "hi"), chains = 3, iter = 60,
                             burnin = 20, seed = 3, cores = 1, bf_prior = FALSE)
)

test_that("the draws are one draws_array: iterations x chains x parameters, each chain as it ran", {
  shapes <- list(fixed = c(60L, 2L, 5L), mixed = c(60L, 2L, 6L), means = c(60L, 3L, 5L))
  for (name in names(fits)) {
    fit <- fits[[name]]
    expect_s3_class(fit$draws, "draws_array")
    expect_identical(dim(fit$draws), shapes[[name]], info = name)
    expect_identical(posterior::variables(fit$draws), names(coef(fit)), info = name)
    expect_identical(posterior::as_draws(fit), fit$draws, info = name)
    expect_equal(coef(fit), colMeans(pooled_of(fit$draws)), info = name)
    expect_equal(vcov(fit), cov(pooled_of(fit$draws)), info = name)
  }
  # Chain j's streams do not depend on the number of chains: a chain lies in
  # its own slice of the array, not spread over the others.
  one <- quiet(oprobit_mcmc(Sat ~ Infl + Cont, data = housing, weights = Freq, chains = 1, iter = 60,
                            burnin = 20, seed = 3, cores = 1))
  expect_identical(chains_of(one$draws)[[1]], chains_of(fits$fixed$draws)[[1]])
  two <- ordered_means_mcmc(y ~ g + x, doses, order = c("lo", "mid", "hi"), chains = 2, iter = 60,
                            burnin = 20, seed = 3, cores = 1, bf_prior = FALSE)
  expect_identical(chains_of(two$draws), chains_of(fits$means$draws)[1:2])
  # The group effects: their own array, joined on request.
  mixed <- fits$mixed
  expect_identical(dim(mixed$effects), c(60L, 2L, 6L))
  both <- posterior::as_draws(mixed, ranef = TRUE)
  expect_identical(posterior::variables(both), c(names(coef(mixed)), posterior::variables(mixed$effects)))
  expect_identical(unclass(both)[, , "r_judge[4,Intercept]"], unclass(mixed$effects)[, , "r_judge[4,Intercept]"])
})

test_that("the three classes share print, summary, plot and the draws conversions through the base", {
  expect_identical(class(fits$fixed), c("oprobit_mcmc", "qv_fit"))
  expect_identical(class(fits$mixed), c("oprobit_mixed", "oprobit_mcmc", "qv_fit"))
  expect_identical(class(fits$means), c("ordered_means_mcmc", "qv_fit"))
  titles <- list(fixed = "Thresholds", mixed = "Group-level sds and correlations", means = "Residual sd")
  pdf(NULL)
  on.exit(dev.off())
  for (name in names(fits)) {
    fit <- fits[[name]]
    expect_output(print(fit), sprintf("%s \\(posterior mean and sd\\)", titles[[name]]), info = name)
    s <- summary(fit)
    expect_s3_class(s, "summary.qv_fit")
    expect_identical(colnames(s$table), c("mean", "sd", "2.5%", "50%", "97.5%", "Rhat", "ess_bulk", "ess_tail"))
    expect_identical(rownames(s$table), names(coef(fit)))
    expect_equal(s$table$mean, unname(coef(fit)))
    expect_equal(s$table[["97.5%"]], unname(apply(pooled_of(fit$draws), 2, quantile, 0.975)))
    expect_equal(s$table$ess_tail, unname(apply(unclass(fit$draws), 3L, posterior::ess_tail)))
    expect_output(print(s), sprintf("%s:\n", titles[[name]]), info = name)
    expect_equal(unname(confint(fit, level = 0.5)), unname(t(apply(pooled_of(fit$draws), 2, quantile, c(0.25, 0.75)))))
    expect_invisible(plot(fit, parameters = names(coef(fit))[1:2]))
    expect_error(plot(fit, parameters = "nothing"), "plot: unknown parameter 'nothing'")
    chains <- coda::as.mcmc.list(fit)
    expect_identical(coda::nchain(chains), posterior::nchains(fit$draws))
    last <- coda::nchain(chains)
    expect_identical(unname(unclass(chains[[last]])[, ]), unname(chains_of(fit$draws)[[last]]))
    expect_identical(coda::mcpar(chains[[1]]), c(21, 80, 1))
  }
  expect_output(print(summary(fits$means, margin = 0.2)), "gmid < ghi by > 0.2")
})

test_that("print, summary, plot and confint refuse bad 'digits', 'per_page' and 'parm', naming them", {
  binary <- quiet(oprobit_mcmc(factor(Sat == "High") ~ Infl, data = housing, weights = Freq, chains = 1,
                               iter = 40, burnin = 20, seed = 3, cores = 1))
  slopes <- quiet(oprobit_mcmc(rating ~ temp + (1 + temp | judge), data = wine, chains = 1, iter = 40,
                               burnin = 20, seed = 3, cores = 1))
  every <- c(fits, list(binary = binary, slopes = slopes))
  for (name in names(every)) {
    fit <- every[[name]]
    for (bad in list(NA, 0, 1.5, 23, "3", c(2, 3))) {
      expect_error(print(fit, digits = bad), "print: 'digits' must be a whole number in 1 ... 22", info = name)
      expect_error(summary(fit, digits = bad), "summary: 'digits' must be a whole number", info = name)
      expect_error(print(summary(fit), digits = bad), "print: 'digits' must be a whole number", info = name)
    }
    for (bad in list(0, -1, NA, 1.5, "2")) {
      expect_error(plot(fit, per_page = bad), "plot: 'per_page' must be a whole number of at least 1", info = name)
    }
    expect_error(confint(fit, parm = "nonesuch"), "confint: 'parm' names an unknown parameter 'nonesuch'",
                 info = name)
    expect_error(confint(fit, parm = c(names(coef(fit))[1], "nonesuch")), "unknown parameter 'nonesuch'")
    expect_error(confint(fit, parm = length(coef(fit)) + 1), "'parm' must be parameter names or positions")
    expect_identical(rownames(confint(fit, parm = names(coef(fit))[2])), names(coef(fit))[2])
  }
  # digits given to summary() are the ones its print uses.
  out <- capture.output(print(summary(fits$means, digits = 7)))
  expect_identical(out, capture.output(print(summary(fits$means), digits = 7)))
})

test_that("predictive_check, simulate and predict: no empty draws, and NULL newdata is the fitted rows", {
  for (name in c("fixed", "mixed")) {
    fit <- fits[[name]]
    expect_error(predictive_check(fit, ndraws = 0, plot = FALSE), "predictive_check: 'ndraws' must be a whole number of at least 1")
    expect_error(simulate(fit, nsim = 0), "simulate.oprobit_mcmc: 'nsim' must be a whole number of at least 1")
    expect_identical(predict(fit, NULL), predict(fit), info = name)
    expect_identical(predict(fit, newdata = NULL, type = "class"), predict(fit, type = "class"), info = name)
    check <- predictive_check(fit, ndraws = 1, plot = FALSE, seed = 1)
    expect_false(anyNA(check[c("mean", "lower", "upper")]))
  }
})
