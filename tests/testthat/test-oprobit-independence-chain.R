# The chain driver's independence method: the whole-point moves alone on the
# cells with counts, against the augmented chain and, for another link, the
# maximum likelihood fit; its plan checked element by element.

independence_data <- function() {
  set.seed(21)
  n <- 300
  d <- data.frame(x = round(rnorm(n), 1))
  d$y <- cut(0.9 * d$x + rnorm(n), c(-Inf, -0.6, 0.3, 1.1, Inf), labels = FALSE)
  d
}

independence_plan <- function(setup, control = list(whole_df = 30)) {
  mode <- setup$whole$mode
  slopes <- ncol(setup$X_distinct) - 1L
  .oprobit_independence_plan_list(setup, list(beta = mode[seq_len(slopes)], zeta = mode[-seq_len(slopes)]),
                                  control)
}

run_independence <- function(plan, seed) {
  set.seed(seed)
  .qv_call("oprobit_chain", "oprobitchain", plan, NULL, NULL)
}

test_that("the independence chain's draws have the augmented chain's posterior means, at high acceptance", {
  d <- independence_data()
  setup <- oprobit_plan(oprobit_data(oprobit_frame(y ~ x, data = d)), iter = 3000, burnin = 300)
  control <- list(whole_df = 30, whole_moves = 1L, whole_mix = 0.05, whole_mix_df = 3, whole_mix_scale = 2)
  out <- run_independence(independence_plan(setup, control), 4)
  expect_identical(dim(out$draws), c(3000L, 4L))
  expect_identical(c(out$whole_tried, out$whole_burnin_tried), c(3000, 300))
  expect_length(out$tried, 0L)
  expect_length(out$s, 0L)
  expect_gt(out$whole_accepted / out$whole_tried, 0.75)
  expect_gt(out$whole_burnin_accepted / out$whole_burnin_tried, 0.6)

  fit <- suppressWarnings(oprobit_mcmc(y ~ x, data = d, chains = 2, iter = 3000, burnin = 500, seed = 9, cores = 1))
  augmented <- pooled_of(fit$draws)
  ess <- function(x) apply(x, 2, posterior::ess_basic)
  se <- sqrt(apply(out$draws, 2, var) / ess(out$draws) + apply(augmented, 2, var) / ess(augmented))
  difference <- colMeans(out$draws) - colMeans(augmented)
  expect_true(all(abs(difference) < 4 * se), info = paste(signif(difference / se, 3), collapse = " "))
  # The two chains sample one posterior: their sds agree too.
  expect_equal(unname(apply(out$draws, 2, sd)), unname(apply(augmented, 2, sd)), tolerance = 0.1)
  # The same seed gives the same draws; thinning keeps every second.
  expect_identical(run_independence(independence_plan(setup, control), 4)$draws, out$draws)
  setup$thin <- 2L
  setup$iter <- 1500L
  thinned <- run_independence(independence_plan(setup, control), 4)$draws
  expect_identical(thinned, out$draws[seq(2, 3000, by = 2), ])
})

test_that("the independence chain samples a logit model around its maximum likelihood fit", {
  skip_if_not_installed("MASS")
  d <- independence_data()
  d$y <- factor(d$y)
  polr <- MASS::polr(y ~ x, data = d, method = "logistic", Hess = TRUE)
  setup <- oprobit_plan(oprobit_data(oprobit_frame(y ~ x, data = d)), iter = 4000, burnin = 200)
  setup$family <- list(link = "logit")
  setup$whole <- list(mode = c(coef(polr), polr$zeta), root = chol(vcov(polr)))
  out <- run_independence(independence_plan(setup), 6)
  expect_gt(out$whole_accepted / out$whole_tried, 0.75)
  sds <- sqrt(diag(vcov(polr)))
  expect_equal(unname(apply(out$draws, 2, sd)), unname(sds), tolerance = 0.1)
  # A flat prior and 300 units: the posterior mean lies within a small part
  # of a posterior sd from the estimate (on probit's likelihood it would not).
  expect_true(all(abs(colMeans(out$draws) - c(coef(polr), polr$zeta)) < 0.2 * sds))
})

test_that("the independence plan is checked element by element", {
  d <- independence_data()
  setup <- oprobit_plan(oprobit_data(oprobit_frame(y ~ x, data = d)), iter = 10, burnin = 0)
  plan <- independence_plan(setup)
  run <- function(change) {
    changed <- plan
    changed[names(change)] <- change
    run_independence(changed, 1)
  }
  expect_error(run(list(cell_y = replace(plan$cell_y, 3L, 5L))), "'cell_y'")
  expect_error(run(list(cell_row = replace(plan$cell_row, 1L, nrow(plan$X)))), "'cell_row'")
  expect_error(run(list(cell_size = replace(plan$cell_size, 2L, 0))), "'cell_size'")
  expect_error(run(list(cell_size = plan$cell_size[-1L])), "'cell_size'")
  expect_error(run(list(whole_centre = NULL)), "'whole_centre'")
  expect_error(run(list(whole_moves = 0L)), "'whole_moves'")
  expect_error(run(list(whole_mix = 1)), "'whole_mix'")
  expect_error(run(list(whole_mix = 0.1)), "'whole_mix_df'")
  expect_error(run(list(whole_mix = 0.1, whole_mix_df = 3, whole_mix_scale = -1)), "'whole_mix_scale'")
  expect_error(run(list(link = "tobit")), "'link'")
  expect_error(run(list(method = "gibbs")), "'method'")
  expect_error(run(list(zeta = rev(plan$zeta))), "'zeta'")
  expect_error(run(list(X = plan$X[, -1L])), "'X'")
  # An independence plan runs without the library entries; the augmented
  # chain refuses a link other than probit.
  expect_identical(dim(run(list())$draws), c(10L, 4L))
  units <- oprobit_plan(oprobit_data(oprobit_frame(y ~ x, data = d), units = TRUE), iter = 10, burnin = 0,
                        control = oprobit_control(method = "augmented"))
  augmented <- .oprobit_plan_list(units, list(beta = plan$beta, zeta = plan$zeta), units$control)
  augmented$link <- "logit"
  entries <- list(.oprobit_entry("quorval", "quorval"), .oprobit_entry("trunomcall", "quorval"))
  expect_error(.qv_call("oprobit_chain", "oprobitchain", augmented, entries, NULL), "'link'.*probit")
})

test_that("the front door falls back to the data-augmentation chain and says why", {
  d <- independence_data()
  # An acceptance no chain reaches over burn-in: the fit runs again with the
  # data-augmentation chain, with its own lengths.
  fit <- suppressWarnings(oprobit_mcmc(y ~ x, data = d, chains = 2, seed = 3, cores = 1,
                                       control = oprobit_control(min_acceptance = 0.99)))
  expect_identical(fit$method, "augmented")
  expect_match(fit$fallback, "acceptance over burn-in")
  expect_identical(c(fit$iter, fit$burnin), c(2000L, 1000L))
  expect_output(print(fit), "in place of the independence sampler")
  expect_identical(unclass(fit$draws),
                   unclass(suppressWarnings(oprobit_mcmc(y ~ x, data = d, chains = 2, seed = 3, cores = 1,
                                                         control = oprobit_control(method = "augmented")))$draws))
  default <- oprobit_mcmc(y ~ x, data = d, chains = 2, seed = 3, cores = 1)
  expect_identical(c(default$method, default$iter, default$burnin), c("independence", "1000", "200"))
})
