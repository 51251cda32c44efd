# The figures summary() shows and the warning at the end of a fit come from
# the posterior package, so they agree with what users compare them with.

test_that("summary's R-hat and effective sizes are posterior's; short chains warn, long ones do not", {
  expect_warning(fit <- oprobit_mcmc(Sat ~ Infl, data = MASS::housing, weights = Freq, chains = 2,
                                     iter = 30, burnin = 5, seed = 4, cores = 1),
                 "bulk effective sample size below 100")
  reference <- posterior::summarise_draws(posterior::as_draws(fit), "rhat", "ess_bulk", "ess_tail")
  table <- summary(fit)$table
  expect_equal(table$Rhat, as.numeric(reference$rhat))
  expect_equal(table$ess_bulk, as.numeric(reference$ess_bulk))
  expect_equal(table$ess_tail, as.numeric(reference$ess_tail))
  expect_silent(oprobit_mcmc(Sat ~ Infl, data = MASS::housing, weights = Freq, chains = 2,
                             iter = 800, burnin = 300, seed = 4, cores = 1))
})
