# The stages of oprobit_mcmc() called one by one, and the objects they take:
# the prior, the sampler's settings and the family. The chains are short:
# only their convergence warning is muted.

short <- function(expr) {
  withCallingHandlers(expr, warning = function(w) {
    if (grepl("have not converged", conditionMessage(w))) invokeRestart("muffleWarning")
  })
}

stage_data <- function() {
  set.seed(3)
  d <- data.frame(x = round(rnorm(40), 1), f = factor(sample(c("a", "b"), 40, TRUE)), g = factor(rep(1:8, 5)))
  d$y <- cut(d$x + (d$f == "b") + rnorm(40), c(-Inf, -0.3, 0.8, Inf), labels = FALSE)
  d$w <- rep(1:4, 10)
  d
}

test_that("the stages run one by one give the front door's draws", {
  d <- stage_data()
  fit <- short(oprobit_mcmc(y ~ x + f, data = d, weights = w, chains = 2, iter = 200, burnin = 100, seed = 5,
                            cores = 1))
  frame <- oprobit_frame(y ~ x + f, data = d, weights = w)
  plan <- oprobit_plan(oprobit_data(frame), iter = 200, burnin = 100)
  results <- .oprobit_run_chains(plan, .qv_chain_seeds(5, 2), 1L, NULL, FALSE)
  expect_identical(unname(results[[2]]$draws), unname(chains_of(fit$draws)[[2]]))
  # The same stages with group terms.
  mixed <- short(oprobit_mcmc(y ~ x + (1 | g), data = d, chains = 1, iter = 100, burnin = 50, seed = 2, cores = 1))
  plan <- oprobit_plan(oprobit_data(oprobit_frame(y ~ x + (1 | g), data = d)), iter = 100, burnin = 50)
  results <- .oprobit_run_chains(plan, .qv_chain_seeds(2, 1), 1L, NULL, FALSE)
  expect_identical(unname(results[[1]]$draws), unname(chains_of(mixed$draws)[[1]]))
})

test_that("the data builder gives one unit per unit of weight, sorted into rows and cells", {
  d <- stage_data()
  frame <- oprobit_frame(y ~ x + f, data = d, weights = w)
  expect_s3_class(frame, "oprobit_frame")
  data <- oprobit_data(frame, units = TRUE)
  expect_identical(data$n, as.integer(sum(d$w)))
  expect_identical(sum(data$cells$size), data$n)
  expect_identical(sum(data$row_size), data$n)
  # Units of one covariate row are consecutive and share their covariates;
  # within a row the categories rise.
  for (r in seq_len(nrow(data$X_distinct))) {
    units <- which(data$row == r)
    expect_identical(units, seq(min(units), max(units)))
    expect_true(all(data$X[units, ] == rep(data$X_distinct[r, ], each = length(units))))
    expect_false(is.unsorted(data$y[units]))
  }
  # The same units however the rows are weighted: two copies of a row are two
  # units of weight 1.
  doubled <- d[rep(seq_len(nrow(d)), d$w), ]
  unweighted <- oprobit_data(oprobit_frame(y ~ x + f, data = doubled), units = TRUE)
  expect_identical(unweighted$X, data$X)
  expect_identical(unweighted$cells, data$cells)
  # By cells (the default without group terms): the same rows and cells and
  # the same start, without expanding the weights.
  cells <- oprobit_data(frame)
  expect_false(cells$units)
  expect_null(cells[["X"]])
  expect_identical(cells$n, data$n)
  expect_identical(cells$X_distinct, data$X_distinct)
  expect_equal(cells$cells, data$cells)
  expect_identical(oprobit_data(oprobit_frame(y ~ x + f, data = doubled))$start, cells$start)
  expect_error(oprobit_data(frame, units = NA), "oprobit_data: 'units'")
  # With group terms every unit is its own covariate row, units sorted by level.
  grouped <- oprobit_data(oprobit_frame(y ~ x + (1 | g), data = d))
  expect_identical(nrow(grouped$X_distinct), grouped$n)
  expect_false(is.unsorted(grouped$groups$terms[[1]]$unit_level))
  expect_error(oprobit_data(list()), "oprobit_data: 'frame' must be made by oprobit_frame()")
  expect_error(oprobit_data(oprobit_frame(y ~ x + (1 | g), data = d), units = FALSE), "needs 'units = TRUE'")
  expect_error(oprobit_plan(frame), "oprobit_plan: 'data' must be made by oprobit_data()")
  expect_error(oprobit_frame(y ~ x, data = d[0, ]), "oprobit_frame: no observations left")
})

test_that("the prior object and the older prior arguments give the same chains", {
  d <- stage_data()
  run <- function(...) short(oprobit_mcmc(y ~ x + f, data = d, chains = 1, iter = 150, burnin = 50, seed = 8,
                                          cores = 1, ...))
  expect_identical(run(b0 = 0.3, B0 = 4)$draws, run(prior = oprobit_prior(b = normal(0.3, 0.5)))$draws)
  expect_identical(run(b0 = c(0, 1), B0 = c(1, 0.25))$draws,
                   run(prior = oprobit_prior(b = normal(c(0, 1), c(1, 2))))$draws)
  expect_false(identical(run(B0 = 4)$draws, run()$draws))
  grouped <- function(...) {
    short(oprobit_mcmc(y ~ x + (1 | g), data = d, chains = 1, iter = 100, burnin = 50, seed = 3, cores = 1, ...))
  }
  expect_identical(grouped(sd_prior = "normal", sd_scale = 0.7)$draws,
                   grouped(prior = oprobit_prior(sd = half_normal(0.7)))$draws)
  expect_identical(grouped(sd_df = 5)$draws, grouped(prior = oprobit_prior(sd = student_t(5, 0, 2.5)))$draws)

  expect_error(run(B0 = 1, prior = oprobit_prior()), "either through 'prior' or through 'B0'")
  expect_error(run(prior = oprobit_prior(b = normal(0, c(1, 2, 3)))), "3 values of its scale for 2 slopes")
  expect_error(run(prior = oprobit_prior(thresholds = dirichlet(2))), "flat thresholds only")
  expect_error(run(prior = oprobit_prior(cor = lkj(2))), "LKJ\\(1\\) correlations only")
  expect_error(run(prior = list()), "'prior' must be made by oprobit_prior()")
  expect_error(oprobit_prior(b = half_normal(1)), "oprobit_prior: 'b' must be NULL or made by normal()")
  expect_error(normal(0, -1), "normal: 'scale' must be positive")
  expect_error(student_t(df = 0), "student_t: 'df'")
  expect_error(lkj(NA), "lkj: 'eta'")
  expect_error(dirichlet(c(1, -1)), "dirichlet: 'concentration'")
})

test_that("a fit's prior states every prior on the probit scale", {
  fit <- short(oprobit_mcmc(Sat ~ Infl, data = MASS::housing, weights = Freq, chains = 1, iter = 100, burnin = 50,
                            seed = 1, cores = 1, b0 = 0.5, B0 = c(1, 4)))
  printed <- capture.output(print(fit$prior))
  expect_match(printed[1], "probit scale")
  expect_match(printed, "slopes: +normal\\(location = 0.5, 0.5, sd = 1, 0.5\\)", all = FALSE)
  expect_match(printed, "thresholds: +flat", all = FALSE)
  expect_match(printed, "group-level sds: +half Student t\\(df = 3, scale = 2.5\\)", all = FALSE)
  expect_match(capture.output(print(oprobit_prior())), "slopes: +flat", all = FALSE)
  expect_match(format(dirichlet(2)), "Dirichlet\\(2\\)")
})

test_that("the sampler's settings: control and the front door's arguments", {
  d <- stage_data()
  run <- function(...) short(oprobit_mcmc(y ~ x + f, data = d, chains = 1, iter = 100, burnin = 50, seed = 4,
                                          cores = 1, ...))
  expect_identical(run(control = oprobit_control(latent = "r"))$draws, run(latent = "r")$draws)
  # The front door's argument, when given, takes precedence.
  expect_identical(run(control = oprobit_control(latent = "r"), latent = "c")$draws, run()$draws)
  expect_error(run(control = list()), "oprobit_mcmc: 'control' must be made by oprobit_control()")
  expect_error(oprobit_control(method = "gibbs"), "oprobit_control: 'method'")
  expect_error(oprobit_control(whole_moves = 0), "oprobit_control: 'whole_moves'")
  expect_error(oprobit_control(target_acceptance = 1), "oprobit_control: 'target_acceptance'")
  expect_error(oprobit_control(latent = "x"), "oprobit_control: 'latent' must be one of")
  expect_error(oprobit_control(progress = NA), "oprobit_control: 'progress'")
  expect_match(capture.output(print(oprobit_control())), "automatic whole-point", all = FALSE)
})

test_that("the probit family's probabilities and cell terms", {
  family <- ordinal_family()
  eta <- c(-2, 0, 0.5, 30)
  zeta <- c(-1, 0.2, 1)
  probs <- family$probs(eta, zeta)
  expect_equal(rowSums(probs), rep(1, 4))
  expect_equal(probs[, 2], pnorm(0.2 - eta) - pnorm(-1 - eta))
  # The cell terms' log mass keeps its precision far in the tail, where the
  # difference of the distribution functions is 0.
  terms <- family$cell_terms(c(-Inf, 30), c(-1, 31))
  expect_equal(terms$log_mass[1], pnorm(-1, log.p = TRUE))
  expect_true(is.finite(terms$log_mass[2]) && terms$log_mass[2] < -400)
  # Its derivatives against central differences.
  h <- 1e-6
  lo <- -0.4
  hi <- 1.1
  at <- function(l, u) family$cell_terms(l, u)
  expect_equal(at(lo, hi)$d_lo, (at(lo + h, hi)$log_mass - at(lo - h, hi)$log_mass) / (2 * h), tolerance = 1e-6)
  expect_equal(at(lo, hi)$d_hihi, (at(lo, hi + h)$d_hi - at(lo, hi - h)$d_hi) / (2 * h), tolerance = 1e-6)
  expect_equal(at(lo, hi)$d_lohi, (at(lo, hi + h)$d_lo - at(lo, hi - h)$d_lo) / (2 * h), tolerance = 1e-6)
  expect_error(ordinal_family("identity"), "ordinal_family: 'link' must be one of \"probit\", \"logit\"")
  expect_output(print(family), "link \"probit\"")
})
