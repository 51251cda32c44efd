# One chain of ordered_means_mcmc()'s sampler, and the encompassing-prior
# Bayes factor of the order.
#
# Model: y_i ~ N(mu[g_i] + x_i'gamma, sigma^2 / w_i), lower <= mu_1 <= ... <=
# mu_k <= upper (groups in the sampler's increasing order), flat prior on
# gamma, on each mu_j flat or N(prior_mean_j, prior_sd_j^2), 1/sigma^2 on
# sigma^2. One iteration, each block from its exact full conditional:
#   1. sigma^2 | mu, gamma: inverse gamma, shape n/2, scale SSE/2;
#   2. mu | gamma, sigma^2: independent normals (precision a_j = W_j /
#      sigma^2 + prior precision) restricted to the order: one sweep of the
#      ordered Gibbs entry (vaskor's mvtrnorms), on the C stream;
#   3. gamma | mu, sigma^2: normal, by R's stream.
# Everything is read from the sufficient statistics of .ordered_means_setup:
# an iteration costs O(k p + p^2), whatever the number of observations.

# Runs one chain on the streams the runner has set. Returns list(draws,
# seconds): draws in the sampler's group order, then the slopes, then sigma.
.ordered_means_chain <- function(setup, setting, report = NULL) {
  s <- setup
  k <- s$k
  p <- s$p
  entry <- getNativeSymbolInfo("mvtrnorms", "vaskor")$address
  started <- proc.time()[["elapsed"]]
  # The chain's own start: the isotonic fit, spread a little by R's stream.
  spread <- s$scale / sqrt(pmax(s$W, 1))
  mu <- sort(s$mu_start + stats::rnorm(k, 0, 0.1 * spread))
  inside <- c(s$lower, s$upper)
  width <- if (all(is.finite(inside))) diff(inside) else Inf
  mu <- pmin(pmax(mu, s$lower + 1e-3 * pmin(width, spread)), s$upper - 1e-3 * pmin(width, spread))
  gamma <- if (p > 0L) s$gamma_start + stats::rnorm(p, 0, 0.1) * sqrt(diag(chol2inv(s$root))) * s$scale
  draws <- matrix(NA_real_, s$iter, k + p + 1L)
  total <- s$burnin + s$iter * s$thin
  kept <- 0L
  for (it in seq_len(total)) {
    adjusted <- .ordered_means_adjusted(s, gamma)
    sigma2 <- .ordered_means_sigma2(s, adjusted, mu, gamma)
    a <- s$W / sigma2 + s$prior_prec
    b <- (s$W * adjusted / sigma2 + s$prior_prec * s$prior_mean) / a
    mu <- .qv_ordered_sweep_diagonal(entry, a, b, mu, s$lower, s$upper)
    mu <- .qv_ordered_shift_sweep(entry, a, b, mu, s$lower, s$upper)
    if (p > 0L) {
      gamma <- s$g0 - drop(s$H %*% mu) + sqrt(sigma2) * backsolve(s$root, stats::rnorm(p))
    }
    if (it > s$burnin && (it - s$burnin) %% s$thin == 0L) {
      kept <- kept + 1L
      draws[kept, ] <- c(mu, gamma, sqrt(sigma2))
    }
    if (!is.null(report) && it %% s$report_every == 0L) report(it)
  }
  list(draws = draws, seconds = proc.time()[["elapsed"]] - started)
}

# The encompassing-prior Bayes factor of the order (with the bounds) against
# the unconstrained model. Both share the prior on gamma and sigma^2 (flat,
# 1/sigma^2); the unconstrained model takes mu_j ~ N(m0_j, s0_j^2)
# independently, a proper prior, and the order model that prior restricted
# to the order. Then
#   BF = P(order | y, unconstrained) / P(order | unconstrained).
# The prior share is exact: for exchangeable mu (one m0, one s0) it is
# P(lower <= mu_j <= upper)^k / k!; otherwise the same recursion as below.
# The posterior share is estimated from a Gibbs chain of the unconstrained
# model (sigma^2 | mu, gamma; mu | gamma, sigma^2; gamma | mu, sigma^2),
# Rao-Blackwellised: given (gamma, sigma^2) the means are independent
# normals, and the probability that they fall in order is computed by
# .qv_order_probability at `draws` iterations, `spacing` apart. Its Monte
# Carlo error comes from the effective size of that series.
.ordered_means_bf <- function(s, m0, s0, draws, burnin = 200L, spacing = 5L) {
  k <- s$k
  p <- s$p
  prec0 <- 1 / s0^2
  exchangeable <- length(unique(m0)) == 1L && length(unique(s0)) == 1L
  log_prior_share <- if (exchangeable) {
    # Where the difference of the distribution functions holds the mass, it
    # serves as it always has; far in a tail, the log of the far tail does.
    mass <- stats::pnorm(s$upper, m0[1L], s0[1L]) - stats::pnorm(s$lower, m0[1L], s0[1L])
    k * (if (mass > 0) log(mass) else .qv_log_normal_interval(m0[1L], s0[1L], s$lower, s$upper)) - lgamma(k + 1)
  } else {
    .qv_order_probability(m0, s0, s$lower, s$upper)
  }
  prior_share <- exp(log_prior_share)
  mu <- ifelse(s$W > 0, s$ybar, m0)
  gamma <- if (p > 0L) s$gamma_w
  log_share <- numeric(draws)
  points <- NULL
  for (it in seq_len(burnin + draws * spacing)) {
    adjusted <- .ordered_means_adjusted(s, gamma)
    sigma2 <- .ordered_means_sigma2(s, adjusted, mu, gamma)
    a <- s$W / sigma2 + prec0
    b <- (s$W * adjusted / sigma2 + prec0 * m0) / a
    if (it > burnin && (it - burnin) %% spacing == 0L) {
      # The lattice found for the first evaluation serves the others: the
      # components' sds change with sigma^2 only.
      value <- .qv_order_probability(b, 1 / sqrt(a), s$lower, s$upper, points)
      points <- attr(value, "points")
      log_share[(it - burnin) %/% spacing] <- value
    }
    mu <- stats::rnorm(k, b, 1 / sqrt(a))
    if (p > 0L) gamma <- s$g0 - drop(s$H %*% mu) + sqrt(sigma2) * backsolve(s$root, stats::rnorm(p))
  }
  log_share[is.nan(log_share)] <- -Inf
  top <- max(log_share)
  if (top == -Inf) {
    # The order has no posterior mass within double precision.
    share <- numeric(draws)
    top <- 0
  } else {
    share <- exp(log_share - top)
  }
  ess <- if (stats::var(share) > 0) posterior::ess_mean(share) else NA_real_
  if (is.na(ess)) ess <- draws
  posterior_share <- mean(share) * exp(top)
  se <- stats::sd(share) * exp(top) / sqrt(max(1, min(ess, draws)))
  # On the log scale, so that shares below the smallest double still give
  # their ratio; a share that no double can hold leaves it unknown (NA).
  computable <- is.finite(log_prior_share) && posterior_share > 0
  if (!computable) {
    warning("ordered_means_mcmc: the Bayes factor is not computable (NA): the prior or the posterior share of ",
            "the order underflows with these 'lower', 'upper' and 'bf_prior'", call. = FALSE)
  }
  bf <- mc_error <- NA_real_
  if (computable && prior_share > 0) {
    bf <- posterior_share / prior_share
    mc_error <- se / prior_share
  } else if (computable) {
    bf <- exp(log(mean(share)) + top - log_prior_share)
    mc_error <- exp(log(se) - log_prior_share)
  }
  list(bf = bf, mc_error = mc_error,
       posterior_share = posterior_share, prior_share = prior_share,
       prior_mean = m0, prior_sd = s0, draws = draws, ess = ess)
}

# log P(lower <= X <= upper) for X ~ N(mean, sd^2), from the tail on the
# far side of the mean, so that an interval far in a tail keeps its digits.
.qv_log_normal_interval <- function(mean, sd, lower, upper) {
  if (lower > mean) return(.qv_log_normal_interval(-mean, sd, -upper, -lower))
  # lower <= mean: P = Phi(u) - Phi(l) = Phi(u) (1 - Phi(l) / Phi(u)).
  log_u <- stats::pnorm(upper, mean, sd, log.p = TRUE)
  log_l <- stats::pnorm(lower, mean, sd, log.p = TRUE)
  log_u + log1p(-exp(log_l - log_u))
}

# log P(lower <= x_1 <= ... <= x_k <= upper) for independent normals
# x_j ~ N(mean_j, sd_j^2), by the recursion F_j(t) = integral up to t of
# F_(j-1) dPhi_j, with trapezoids on a uniform lattice over the span where
# the components have mass (8.5 sds about each, within the bounds), F
# rescaled at each step to stay in range. Interval masses above a
# component's mean come from upper tails, so far-tail masses keep their
# precision. The error falls with the square of the spacing: the results on
# `points` and on 2 * points - 1 lattice points give a Richardson
# extrapolation. With `points = NULL` the lattice is refined until two
# extrapolations agree within `tolerance`; the value has attribute "points",
# the lattice it ended on, for later calls on similar components.
.qv_order_probability <- function(mean, sd, lower, upper, points = NULL, tolerance = 0.005,
                                  max_points = 20000) {
  k <- length(mean)
  from <- max(lower, min(mean - 8.5 * sd))
  to <- min(upper, max(mean + 8.5 * sd))
  if (!(from < to)) return(structure(-Inf, points = points))
  on_lattice <- function(points) {
    grid <- c(if (lower < from) lower, seq(from, to, length.out = points), if (upper > to) upper)
    F <- rep(1, length(grid))
    log_scale <- 0
    for (j in seq_len(k)) {
      above <- grid > mean[j]
      tail <- stats::pnorm(grid, mean[j], sd[j])
      tail[above] <- stats::pnorm(grid[above], mean[j], sd[j], lower.tail = FALSE)
      mass <- abs(diff(ifelse(above, -tail, tail)))
      across <- which(diff(above) != 0)          # the interval holding the mean
      mass[across] <- 1 - tail[across] - tail[across + 1L]
      F <- c(0, cumsum(mass * (F[-1L] + F[-length(F)]) / 2))
      top <- F[length(F)]
      if (!(top > 0)) return(-Inf)
      F <- F / top
      log_scale <- log_scale + log(top)
    }
    log_scale
  }
  extrapolated <- function(points) {
    coarse <- on_lattice(points)
    fine <- on_lattice(2 * points - 1)
    if (!is.finite(coarse) || !is.finite(fine)) fine else fine + (fine - coarse) / 3
  }
  if (!is.null(points)) return(structure(extrapolated(points), points = points))
  points <- ceiling(max((to - from) / (min(sd) / 4), 8 * k)) + 1
  previous <- extrapolated(points)
  repeat {
    points <- 2 * points - 1
    estimate <- extrapolated(points)
    if (!is.finite(estimate) || abs(estimate - previous) <= tolerance || points > max_points) {
      return(structure(estimate, points = points))
    }
    previous <- estimate
  }
}

# The group means of y less the covariates' part, given the slopes gamma.
.ordered_means_adjusted <- function(s, gamma) {
  if (length(gamma) > 0L) s$ybar - drop(s$xbar %*% gamma) else s$ybar
}

# sigma^2 from its conditional given the means and the slopes (one gamma
# draw from R's stream).
.ordered_means_sigma2 <- function(s, adjusted, mu, gamma) {
  sse <- s$rss_w + sum(s$W * (adjusted - mu)^2)
  if (length(gamma) > 0L) {
    d <- gamma - s$gamma_w
    sse <- sse + sum(d * (s$XtX_w %*% d))
  }
  sse / (2 * stats::rgamma(1L, shape = s$shape))
}
