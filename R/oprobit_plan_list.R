# The chain driver's plan (read by oprobitchain/chain_setup.cpp and
# group_setup.cpp): what the driver cannot derive itself. The data by
# distinct covariate row, the regression step's linear algebra (M = X'X +
# diag(0, B0), prior mean term P m = (0, B0 * b0)), done here with R's BLAS and
# LAPACK, the whole-point proposal the R layer fitted, the starting point and
# the settings. The driver derives the cells, the threshold moves and their
# starting precisions, t's and the slopes' prior form and the number of
# whole-point moves (control$whole_moves NULL: its own choice, sent as 0).
# `control` is an oprobit_control().
#
# With group terms, a part `groups`: per term its units' levels and
# covariates, starting effects 0 and starting sds spread a little around a
# half by the chain's R stream; the sd prior.
.oprobit_plan_list <- function(setup, start, control) {
  p <- ncol(setup$X)
  prior <- setup$prior
  offset <- setup$offset_distinct
  # P m - X' o: the slope prior's mean term less the offsets' (see the
  # regression step in the driver).
  linear_term <- c(0, prior$B0 * prior$b0) - drop(crossprod(setup$X_distinct, offset * setup$row_size))
  M_root_inv <- backsolve(setup$M_root, diag(p))
  plan <- list(method = "augmented", link = setup$family$link,
               n = as.integer(setup$n), p = as.integer(p), J = as.integer(setup$J), U = as.double(setup$U),
               X = setup$X_distinct, offset = as.double(offset), row_start = as.integer(c(0L, setup$row_end)),
               y = as.integer(setup$y),
               M_inv = setup$M_inv, M_root_inv = M_root_inv,
               prior_shift = drop(setup$M_inv %*% linear_term), linear_term = linear_term,
               b0 = as.double(prior$b0), B0 = as.double(prior$B0),
               burnin = as.integer(setup$burnin), iter = as.integer(setup$iter), thin = as.integer(setup$thin),
               whole_df = as.double(control$whole_df), whole_mix = 0,
               whole_moves = if (is.null(control$whole_moves)) 0L else as.integer(control$whole_moves),
               adapt_window = as.integer(control$adapt_window),
               target_acceptance = as.double(control$target_acceptance),
               far = .oprobit_far, latent_r = setup$latent == "r",
               whole_centre = setup$whole$mode, whole_root = setup$whole$root,
               beta = as.double(start$beta), zeta = as.double(start$zeta))
  groups <- setup$groups
  if (!is.null(groups)) {
    plan$groups <- list(
      terms = lapply(groups$terms, function(term) {
        q <- length(term$coefs)
        list(q = as.integer(q), levels = as.integer(length(term$levels)),
             level = as.integer(term$unit_level - 1L), d = as.double(term$unit_d),
             shift = as.integer(term$shift), u = double(q * length(term$levels)),
             sd = 0.5 * exp(stats::rnorm(q, 0, 0.1)))
      }),
      sd_prior = as.character(groups$prior$family), df = groups$prior$df, scale = groups$prior$scale,
      keep_effects = isTRUE(groups$save))
  }
  plan
}
