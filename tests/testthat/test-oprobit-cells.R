# The fixed-effects methods on distinct covariate rows and cells, against a
# direct computation over the rows and the units (a row of weight w is w
# units); the memory checks; loo on large weights.

# Short chains: their convergence warning is expected and muted.
quiet_fit <- function(...) {
  call <- as.call(c(quote(oprobit_mcmc), match.call(expand.dots = FALSE)$...,
                    list(chains = 2, iter = 60, burnin = 20, seed = 4, cores = 1)))
  suppressWarnings(eval(call, parent.frame()))
}
# 24 rows on 8 distinct covariate rows (x, g, offset o), weights 1 to 4, one
# missing covariate.
cells_data <- data.frame(x = rep(c(-1, 0, 1), each = 8), g = rep(c("a", "b"), 12), o = rep(c(0, 0.3), each = 12),
                         y = factor(c("lo", "mid", "hi")[c(1, 1, 2, 1, 3, 2, 1, 1, 2, 2, 1, 3, 2, 3, 2, 2, 3, 3, 2, 3, 1, 3, 3, 2)],
                                    levels = c("lo", "mid", "hi")),
                         w = c(2, 1, 3, 2, 1, 4, 2, 2, 1, 3, 2, 1, 4, 2, 1, 1, 3, 2, 2, 1, 1, 2, 3, 2))
cells_data$x[7] <- NA
fit <- quiet_fit(y ~ x + g + offset(o), data = cells_data, weights = w, na.action = na.exclude)

# Probabilities by hand, draws x rows x categories.
direct_probs <- function(fit, X, offset) {
  pooled <- pooled_of(fit$draws)
  eta <- pooled[, fit$slopes, drop = FALSE] %*% t(X[, fit$slopes, drop = FALSE]) + rep(offset, each = nrow(pooled))
  J <- length(fit$levels)
  below <- c(list(0 * eta), lapply(seq_len(J - 1), function(k) pnorm(pooled[, fit$thresholds[k]] - eta)), list(0 * eta + 1))
  simplify2array(lapply(seq_len(J), function(k) below[[k + 1]] - below[[k]]))
}
probs <- direct_probs(fit, fit$x, fit$offset)
units <- rep(seq_along(fit$y), fit$weights)
unit_ll <- log(sapply(seq_along(fit$y), function(i) probs[, i, fit$y[i]]))[, units]

test_that("fitted and predict per distinct row are the rows' own, in one chunk or many", {
  expect_identical(nrow(quorval:::.oprobit_fit_cells(fit)$X), 8L)
  kept <- rownames(fit$x)
  means <- apply(probs, c(2, 3), mean)
  expect_equal(unname(fitted(fit)[kept, ]), unname(means), tolerance = 1e-13)
  expect_identical(dim(fitted(fit)), c(24L, 3L))
  expect_true(all(is.na(fitted(fit)["7", ])))
  bands <- predict(fit, interval = TRUE, level = 0.8)
  expect_equal(unname(bands[kept, , "lwr"]), unname(apply(probs, c(2, 3), quantile, 0.1)), tolerance = 1e-13)
  expect_equal(unname(bands[kept, , "upr"]), unname(apply(probs, c(2, 3), quantile, 0.9)), tolerance = 1e-13)
  expect_identical(as.integer(predict(fit, type = "class")[as.integer(kept)]), max.col(means, "first"))
  every <- predict(fit, summary = FALSE)
  expect_identical(dim(every), c(120L, 24L, 3L))
  expect_equal(unname(every[, kept, ]), unname(probs), tolerance = 1e-14)
  expect_true(all(is.na(every[, "7", ])))
  # New rows, a missing one kept by na.pass, with intervals.
  new <- cells_data[c(7, 1, 2, 1, 20), ]
  X <- model.matrix(~ x + g, new[-1, ])
  banded <- predict(fit, new, interval = TRUE)
  expect_true(all(is.na(banded[1, , ])))
  expect_equal(unname(banded[-1, , "fit"]), unname(apply(direct_probs(fit, X, new$o[-1]), c(2, 3), mean)), tolerance = 1e-13)
  expect_equal(unname(predict(fit, new, summary = FALSE)[, -1, ]), unname(direct_probs(fit, X, new$o[-1])), tolerance = 1e-14)
  withr::local_options(quorval.chunk_doubles = 1)
  expect_equal(predict(fit, interval = TRUE, level = 0.8), bands, tolerance = 1e-15)
  expect_equal(predict(fit, summary = FALSE), every, tolerance = 1e-15)
  expect_equal(log_lik(fit), unit_ll, tolerance = 1e-14)
})

test_that("log_lik per unit and per cell; loo and waic from the cells equal loo's on the units", {
  expect_equal(log_lik(fit), unit_ll, tolerance = 1e-14)
  per_cell <- log_lik(fit, cells = TRUE)
  expect_identical(dim(per_cell), c(120L, nrow(attr(per_cell, "cells"))))
  expect_identical(sum(attr(per_cell, "counts")), as.double(nobs(fit)))
  cell_of_unit <- quorval:::.oprobit_fit_cells(fit)$cell[units]
  expect_equal(per_cell[, cell_of_unit], unit_ll, tolerance = 1e-14, ignore_attr = TRUE)
  expect_error(log_lik(fit, cells = NA), "'cells' must be TRUE or FALSE")
  skip_if_not_installed("loo")
  chain <- rep(1:2, each = 60)
  # 120 draws are few for loo's diagnostics, which warn; the values are compared.
  reference <- suppressWarnings(loo::loo(unit_ll, r_eff = loo::relative_eff(exp(unit_ll), chain_id = chain)))
  mine <- suppressWarnings(loo::loo(fit))
  expect_s3_class(mine, "psis_loo")
  expect_equal(mine$estimates, reference$estimates, tolerance = 1e-12)
  expect_equal(mine$pointwise, reference$pointwise, tolerance = 1e-12)
  expect_equal(mine$diagnostics, reference$diagnostics, tolerance = 1e-12)
  expect_equal(attr(mine, "dims"), attr(reference, "dims"))
  expect_identical(nrow(mine$cells$pointwise), ncol(per_cell))
  # Two cells at a time, the pieces joined.
  pieces <- withr::with_options(list(quorval.chunk_doubles = 240), suppressWarnings(loo::loo(fit)))
  expect_equal(pieces$pointwise, reference$pointwise, tolerance = 1e-12)
  expect_equal(pieces$diagnostics, reference$diagnostics, tolerance = 1e-12)
  expect_equal(unname(loo::loo_compare(mine, reference)[, "se_diff"]), c(0, 0), tolerance = 1e-8)
  expect_output(print(mine), sprintf("Computed from 120 by %d log-likelihood matrix", nobs(fit)))
  w_ref <- suppressWarnings(loo::waic(unit_ll))
  w_mine <- suppressWarnings(loo::waic(fit))
  expect_equal(w_mine$estimates, w_ref$estimates, tolerance = 1e-12)
  expect_equal(w_mine$pointwise, w_ref$pointwise, tolerance = 1e-12)
})

test_that("simulate and predictive_check draw as a unit-by-unit draw does", {
  by_hand <- function(seed, nsim) {
    set.seed(seed)
    picks <- sample.int(120, nsim, replace = TRUE)
    sapply(picks, function(d) 1 + rowSums(runif(length(fit$y)) > t(apply(probs[d, , ], 1, cumsum))[, 1:2]))
  }
  sims <- simulate(fit, nsim = 4, seed = 9)
  expect_equal(unname(sapply(sims, as.integer)), unname(by_hand(9, 4)))
  expect_identical(rownames(sims), rownames(fit$x))
  set.seed(3)
  picks <- sample.int(120, 30)
  yrep <- t(sapply(picks, function(d) tabulate(1 + rowSums(runif(length(units)) > t(apply(probs[d, units, ], 1, cumsum))[, 1:2]), 3)))
  expect_equal(unname(attr(predictive_check(fit, ndraws = 30, seed = 3, plot = FALSE), "yrep")), yrep)
})

test_that("large weights: loo and waic count the cells, predictive_check draws counts per row", {
  skip_if_not_installed("loo")
  thirty <- transform(rbind(cells_data[-7, ], cells_data[1:7, ]), w = w + 1)
  thirty$x[30] <- 0.5
  small <- quiet_fit(y ~ x + g, data = thirty, weights = w)
  expect_identical(nrow(small$x), 30L)
  big <- small
  k <- ceiling(1e7 / sum(small$weights))
  big$weights <- small$weights * k
  base <- suppressWarnings(loo::loo(small))
  gc(reset = TRUE)
  before <- sum(gc()[, 2])
  time <- system.time(expect_message(large <- suppressWarnings(loo::loo(big)), "pointwise table is per cell"))
  # Mb at the peak: a draws x units matrix would be 120 x 1e7 doubles, 9 GB.
  expect_lt(sum(gc()[, 6]) - before, 200)
  expect_lt(time[["elapsed"]], 10)
  expect_s3_class(large, "qv_cell_loo")
  N <- nobs(small)
  expect_equal(large$estimates[, "Estimate"], k * base$estimates[, "Estimate"], tolerance = 1e-10)
  expect_equal(large$estimates[, "SE"], base$estimates[, "SE"] * sqrt(k^2 * (N - 1) / (k * N - 1)), tolerance = 1e-10)
  expect_output(print(large), sprintf("by %s .*held as %d cells", format(sum(big$weights), big.mark = ","),
                                     nrow(large$cells$cells)))
  expect_error(loo::loo_compare(large, large), "loo_compare: .*needs one row per unit")
  expect_message(suppressWarnings(loo::waic(big)), "per cell")
  # The replicated counts of each draw near their means, sum_row w p(draw).
  check <- predictive_check(big, ndraws = 120, seed = 2, plot = FALSE)
  set.seed(2)
  picks <- sample.int(120, 120)
  expected <- t(sapply(picks, function(d) colSums(big$weights * direct_probs(big, big$x, big$offset)[d, , ])))
  spread <- sqrt(expected * (1 - expected / 1e7))
  expect_lt(max(abs(attr(check, "yrep") - expected) / spread), 6)
  expect_identical(check$observed, as.integer(tapply(big$weights, big$y, sum)))
})

test_that("objects the free memory cannot hold are refused with what to ask for instead", {
  expect_error(simulate(fit, nsim = 2e9), "simulate.oprobit_mcmc: .*ask for a smaller 'nsim'")
  withr::local_options(quorval.free_memory = 1e4)
  expect_error(log_lik(fit), sprintf(paste0("log_lik.oprobit_mcmc: 120 draws x %d observations need about ",
                                            ".*log_lik\\(fit, cells = TRUE\\)"), nobs(fit)))
  # The cells still come.
  per_cell <- log_lik(fit, cells = TRUE)
  expect_equal(per_cell[, quorval:::.oprobit_fit_cells(fit)$cell[units]], unit_ll, tolerance = 1e-14, ignore_attr = TRUE)
  expect_error(predict(fit, summary = FALSE), "predict.oprobit_mcmc: .*summary = TRUE.*chunks")
  expect_equal(unname(fitted(fit)[rownames(fit$x), ]), unname(apply(probs, c(2, 3), mean)), tolerance = 1e-13)
  mixed <- quiet_fit(y ~ x + (1 | g), data = cells_data, weights = w)
  expect_error(log_lik(mixed), "log_lik.oprobit_mcmc: .*group terms")
  expect_error(simulate(mixed, nsim = 10), "simulate.oprobit_mcmc: .*'nsim'")
})
