# One chain of the ordinal probit sampler behind oprobit_mcmc().
#
# Model on the probit scale: latent w_i ~ N(x_i' beta, 1) (x_i without an
# intercept), y_i = k when zeta[k-1] < w_i <= zeta[k], zeta[0] = -Inf,
# zeta[J] = Inf. Prior: flat on (beta, zeta), or independent normal on the
# slopes (mean b0, precision B0). An offset o_i, known, adds to x_i' beta;
# rows are grouped by covariates and offset together, so each covariate row
# of the driver has one offset.
#
# The data augmentation runs in a working frame: z_i ~ N(x_i' b, 1/t^2) with
# an intercept b[1], cutpoints c = (-Inf, 0, c[2], ..., c[J-2], U, Inf), so
# that c[1] = 0 pins the location and c[J-1] = U (a constant picked from the
# data) the scale. The frame is a one-to-one map of (beta, zeta):
#   t = (zeta[J-1] - zeta[1]) / U,  b[1] = -zeta[1] / t,  b[-1] = beta / t,
#   c[k] = b[1] + zeta[k] / t.
# Its Jacobian |d(beta, zeta) / d(b, t, c[2..J-2])| is U t^(p + K - 4)
# (p columns of X with the intercept, K = J + 1 cutpoints with the infinite
# ones): t^(p-1) from the slopes, t^(K-4) from the free cutpoints and t U from
# (b[1], t) -> (zeta[1], zeta[J-1]). A flat prior on the probit scale is thus
# the density t^(p + K - 4) on the working parameters. With two categories
# the scale cannot be pinned by cutpoints: t = 1 and only c[1] = 0 is fixed.
#
# One iteration (the loop runs in the chain driver, oprobitchain):
#   1. each threshold zeta[k] in turn (one per iteration, in turn, once the
#      whole-point move of step 2 runs), given the slopes and the other
#      thresholds, by one Metropolis-Hastings step of quorval's entry with the
#      latent variables integrated out (a five-cutpoint call: the moving
#      threshold between its two neighbours; the outer thresholds get a
#      neighbour far outside the data, where the category probability is 0 to
#      the precision of the entry). Thresholds above the middle of the data
#      are moved on the mirrored axis (w -> -w), which keeps their category
#      probabilities in the lower tail, where the entry's single precision
#      arithmetic is accurate;
#   2. moves of the whole point (beta, zeta) from a fixed multivariate t
#      proposal, accepted on the cell likelihood (latent variables integrated
#      out, summed over the distinct (covariate row, category) cells in double
#      precision). The proposal is centred at the posterior mode with the
#      curvature there (Newton's method before the chains, R/oprobit_mode.R),
#      so the move runs from the first iteration. Where no mode is found
#      (an improper posterior, for one), the move does not run;
#   3. all z at once from their truncated normals (one trunomcall);
#   4. (b, t) given z in the working frame, from their exact conditional: t
#      with b integrated out (a gamma draw for t^2, or a slice step when a
#      prior mean of the slopes enters), then b. Seen on the probit scale this
#      rescales and shifts the latent axis together with (beta, zeta).
# The proposal precision of each threshold is tuned during burn-in towards
# 44% acceptance, then fixed.

# Distance, in latent sd, from the data to the far neighbour of an outer
# threshold: the normal distribution function there is 0 in single precision.
.oprobit_far <- 40

# Runs one chain. `setup` is what oprobit_plan() made; `setting` holds the
# chain's seeds (r_seed: a L'Ecuyer-CMRG state; c_seed: the C stream seed) and
# its starting point. The caller has fresh C streams ready (see
# .qv_run_one). `report(i)` is called now and then with the iteration.
# Returns list(draws, acceptance, threshold_acceptance, s, whole_acceptance,
# seconds).
.oprobit_chain <- function(setup, setting, report = NULL) {
  if (identical(setup$method, "independence")) {
    # No library entry: the independence move draws on R's stream alone.
    plan <- .oprobit_independence_plan_list(setup, setting$start, setup$control)
    entries <- NULL
  } else {
    plan <- .oprobit_plan_list(setup, setting$start, setup$control)
    entries <- list(.oprobit_entry("quorval", "quorval"),
                    .oprobit_entry("trunomcall", if (setup$latent == "c") "quorval" else "quorval2"))
  }
  started <- proc.time()[["elapsed"]]
  out <- .qv_call("oprobit_chain", "oprobitchain", plan, entries, report)
  seconds <- proc.time()[["elapsed"]] - started
  dimnames(out$draws) <- list(NULL, setup$names)
  # A threshold whose step never ran (beyond the far neighbour throughout) has
  # no acceptance.
  threshold_acceptance <- ifelse(out$tried > 0, out$accepted / out$tried, NA_real_)
  result <- list(draws = out$draws, acceptance = mean(threshold_acceptance, na.rm = TRUE),
                 threshold_acceptance = threshold_acceptance, s = out$s,
                 whole_acceptance = out$whole_accepted / out$whole_tried,
                 burnin_acceptance = out$whole_burnin_accepted / out$whole_burnin_tried,
                 seconds = seconds)
  if (!is.null(setup$groups)) result <- .oprobit_group_chain_result(result, out, setup$groups)
  result
}

# The address of an entry as its library is loaded now (c_stream_seed()
# loads quorval again before every chain).
.oprobit_entry <- function(name, library) getNativeSymbolInfo(name, library)$address
