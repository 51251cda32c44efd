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
