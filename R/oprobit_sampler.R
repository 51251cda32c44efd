# One chain of the ordinal probit sampler behind oprobit_mcmc().
#
# Model on the probit scale: latent w_i ~ N(x_i' beta, 1) (x_i without an
# intercept), y_i = k when zeta[k-1] < w_i <= zeta[k], zeta[0] = -Inf,
# zeta[J] = Inf. Prior: flat on (beta, zeta), or independent normal on the
# slopes (mean b0, precision B0).
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
# One iteration:
#   1. each threshold zeta[k] in turn, given the slopes and the other
#      thresholds, by one Metropolis-Hastings step of quorval's entry with the
#      latent variables integrated out (a five-cutpoint call: the moving
#      threshold between its two neighbours; the outer thresholds get a
#      neighbour far outside the data, where the category probability is 0 to
#      the precision of the entry). Thresholds above the middle of the data
#      are moved on the mirrored axis (w -> -w), which keeps their category
#      probabilities in the lower tail, where the entry's single precision
#      arithmetic is accurate;
#   2. all z at once from their truncated normals (one trunomcall);
#   3. (b, t) given z in the working frame, from their exact conditional: t
#      with b integrated out (a gamma draw for t^2, or a slice step when a
#      prior mean of the slopes enters), then b. Seen on the probit scale this
#      rescales and shifts the latent axis together with (beta, zeta).
# The proposal precision of each threshold is tuned during burn-in towards
# 44% acceptance, then fixed.

.oprobit_target_acceptance <- 0.44
.oprobit_adapt_window <- 50L
# Distance, in latent sd, from the data to the far neighbour of an outer
# threshold: the normal distribution function there is 0 in single precision.
.oprobit_far <- 40

# Runs one chain. `setup` is what .oprobit_setup() made; `setting` holds the
# chain's seeds (r_seed: a L'Ecuyer-CMRG state; c_seed: the C stream seed) and
# its starting point. The caller has fresh C streams ready (see
# .oprobit_run_chain). `report(i)` is called now and then with the iteration.
# Returns list(draws, acceptance, threshold_acceptance, s, seconds).
.oprobit_chain <- function(setup, setting, report = NULL) {
  X <- setup$X
  y <- setup$y
  y_above <- y + 1L
  n <- setup$n
  p <- ncol(X)
  J <- setup$J
  K <- J + 1L
  U <- setup$U
  slopes <- seq_len(p)[-1L]
  # Means and X'z on the distinct covariate rows: eta = eta_distinct[pattern],
  # X'z = X_distinct' (z summed within each pattern; rows lie by pattern).
  X_distinct <- setup$X_distinct
  X_distinct_slopes <- X_distinct[, slopes, drop = FALSE]
  pattern <- setup$pattern
  pattern_end <- setup$pattern_end
  few_patterns <- nrow(X_distinct) < n
  cells <- setup$cells
  # With few distinct (pattern, category) cells the likelihood with the
  # latent variables integrated out is cheap: then, after burn-in, every
  # iteration adds a move of the whole point (beta, zeta) from a fixed
  # independence proposal, a multivariate t fitted to the second half of
  # burn-in.
  dimension <- p - 1L + J - 1L
  zeta_at <- p - 1L + seq_len(J - 1L)
  beta_at <- seq_len(p - 1L)
  # The cells twice, the current point's first (with negative sizes), so that
  # one pass gives the log likelihood ratio.
  cell_pair <- list(pattern = c(cells$pattern, cells$pattern + nrow(X_distinct)),
                    y = c(cells$y, cells$y + J + 1L), y_above = c(cells$y_above, cells$y_above + J + 1L),
                    size = c(-cells$size, cells$size))
  whole <- NULL
  whole_accepted <- 0
  whole_df <- 30
  # Fitted first to the second quarter of burn-in, then again to its second
  # half, where the move already runs.
  pilot_fits <- c(setup$burnin %/% 2L, setup$burnin)
  pilot <- if (4 * length(cells$size) <= n) matrix(NA_real_, setup$burnin, dimension)
  prior <- setup$prior
  iterations <- setup$burnin + setup$iter * setup$thin
  trunomcall <- getNativeSymbolInfo("trunomcall", if (setup$latent == "c") "quorval" else "quorval2")
  step_entry <- getNativeSymbolInfo("quorval", "quorval")

  # Conditional of (b, t) given z: M = X'X + diag(0, B0), with prior mean
  # term P m = (0, B0 * b0).
  M_inv <- setup$M_inv
  M_root <- setup$M_root
  Pm <- c(0, prior$B0 * prior$b0)
  has_prior_mean <- any(Pm != 0)
  prior_shift <- drop(M_inv %*% Pm)
  M_root_inv <- backsolve(M_root, diag(p))
  flat <- all(prior$B0 == 0)
  gamma_shape <- (n + K - 3) / 2

  # The threshold moves: for threshold k the rows of categories k and k + 1
  # and their codes in a five-cutpoint call (2 below, 3 above the moving
  # threshold; swapped on the mirrored axis).
  moves <- setup$moves
  s <- rep_len(setup$s_start, J - 1L)
  accepted <- numeric(J - 1L)
  window <- numeric(J - 1L)
  five <- c(-Inf, 0, 0, 0, Inf)

  # Starting point, on the probit scale.
  beta <- setting$start$beta
  zeta <- setting$start$zeta
  eta <- drop(X_distinct_slopes %*% beta)  # x' beta, by pattern

  bounds_of <- NULL
  kept <- 0L
  draws <- matrix(NA_real_, setup$iter, p - 1L + J - 1L, dimnames = list(NULL, setup$names))
  started <- proc.time()[["elapsed"]]
  for (i in seq_len(iterations)) {
    # 1. Thresholds given beta, latent variables integrated out.
    far_low <- min(eta) - .oprobit_far
    far_high <- max(eta) + .oprobit_far
    minus_eta <- -eta
    for (k in seq_len(J - 1L)) {
      lower <- if (k == 1L) far_low else zeta[k - 1L]
      upper <- if (k == J - 1L) far_high else zeta[k + 1L]
      # An outer threshold 40 sd beyond every mean (no data can put it
      # there) stays where it is; the move never proposes such a point.
      if ((k == 1L && !(far_low < zeta[1L])) || (k == J - 1L && !(zeta[k] < far_high))) next
      move <- moves[[k]]
      if (move$mirrored) {
        five[2:4] <- c(-upper, -zeta[k], -lower)
        result <- .Call(step_entry, move$n, 5L, move$code, five, minus_eta[move$pattern], 1, s[k])
        proposal <- -result[3L]
      } else {
        five[2:4] <- c(lower, zeta[k], upper)
        result <- .Call(step_entry, move$n, 5L, move$code, five, eta[move$pattern], 1, s[k])
        proposal <- result[3L]
      }
      if (result[6L] == 100) {
        zeta[k] <- proposal
        window[k] <- window[k] + 1
        if (i > setup$burnin) accepted[k] <- accepted[k] + 1
      }
    }

    # 1b. The whole point (beta, zeta) from the fitted proposal, latent
    # variables integrated out.
    if (!is.null(whole)) {
      w <- whole$mu + drop(stats::rnorm(dimension) %*% whole$root) * sqrt(whole$df / stats::rchisq(1L, whole$df))
      new_zeta <- w[zeta_at]
      if (!is.unsorted(new_zeta, strictly = TRUE)) {
        new_beta <- w[beta_at]
        new_eta <- drop(X_distinct_slopes %*% new_beta)
        log_ratio <- .oprobit_cell_log_ratio(eta, zeta, new_eta, new_zeta, cell_pair) +
          .oprobit_log_t_ratio(c(beta, zeta), w, whole)
        if (!flat) log_ratio <- log_ratio + .oprobit_log_prior(new_beta, prior) - .oprobit_log_prior(beta, prior)
        if (!is.na(log_ratio) && log(stats::runif(1L)) < log_ratio) {
          beta <- new_beta
          zeta <- new_zeta
          eta <- new_eta
          whole_accepted <- whole_accepted + 1
        }
      }
    }

    # The working frame of the current point.
    if (J > 2L) {
      t <- (zeta[J - 1L] - zeta[1L]) / U
    } else {
      t <- 1
    }
    intercept <- -zeta[1L] / t
    cutpoints <- c(-Inf, intercept + zeta / t, Inf)
    cutpoints[2L] <- 0
    if (J > 2L) cutpoints[J] <- U
    mean <- intercept + eta / t
    if (few_patterns) mean <- mean[pattern]

    # 2. Latent variables.
    # The bounds are rebuilt only when the cutpoints moved (with three
    # categories the working frame's cutpoints never do).
    if (!identical(cutpoints, bounds_of)) {
      z_lower <- cutpoints[y]
      z_upper <- cutpoints[y_above]
      bounds_of <- cutpoints
    }
    z <- .Call(trunomcall, n, mean, rep.int(t, n), z_lower, z_upper)

    # 3. (b, t) given z.
    if (few_patterns) {
      sums <- cumsum(z)[pattern_end]
      Xz <- drop(crossprod(X_distinct, sums - c(0, sums[-length(sums)])))
    } else {
      Xz <- drop(crossprod(X, z))
    }
    fitted <- drop(M_inv %*% Xz)
    if (J > 2L) {
      rss <- drop(crossprod(z)) - sum(Xz * fitted)
      if (has_prior_mean) {
        t <- .oprobit_slice_t(t, 2 * gamma_shape - 1, rss, sum(fitted * Pm))
      } else {
        t <- sqrt(stats::rgamma(1L, shape = gamma_shape, rate = rss / 2))
      }
    }
    u <- fitted * t + prior_shift + drop(M_root_inv %*% stats::rnorm(p))
    b <- u / t
    # Back to the probit scale: the cutpoints stay, b and t are new.
    beta <- t * b[slopes]
    zeta <- t * (cutpoints[2:J] - b[1L])
    eta <- drop(X_distinct_slopes %*% beta)

    if (!is.null(pilot) && i <= setup$burnin) {
      pilot[i, ] <- c(beta, zeta)
      if (i %in% pilot_fits) {
        fitted_proposal <- .oprobit_fit_proposal(pilot[(i %/% 2L + 1L):i, , drop = FALSE], whole_df)
        if (!is.null(fitted_proposal) || i == setup$burnin) whole <- fitted_proposal
      }
    }
    if (i <= setup$burnin && i %% .oprobit_adapt_window == 0L) {
      # Stochastic-approximation steps on log s with a shrinking gain.
      rate <- window / .oprobit_adapt_window
      gain <- 2 / sqrt(i / .oprobit_adapt_window)
      s <- pmin(pmax(s * exp(gain * (.oprobit_target_acceptance - rate)), 1e-8), 1e8)
      window[] <- 0
    }
    if (i > setup$burnin && (i - setup$burnin) %% setup$thin == 0L) {
      kept <- kept + 1L
      draws[kept, ] <- c(beta, zeta)
    }
    if (!is.null(report) && i %% setup$report_every == 0L) report(i)
  }
  seconds <- proc.time()[["elapsed"]] - started
  kept_iterations <- iterations - setup$burnin
  list(draws = draws, acceptance = mean(accepted) / kept_iterations,
       threshold_acceptance = accepted / kept_iterations, s = s,
       whole_acceptance = if (is.null(whole)) NA_real_ else whole_accepted / kept_iterations, seconds = seconds)
}

# One slice-sampling update (stepping out, then shrinking) of t > 0 under the
# log density a log t - rss t^2 / 2 + S t, which is log-concave.
.oprobit_slice_t <- function(t, a, rss, S) {
  logf <- function(x) a * log(x) - rss * x * x / 2 + S * x
  mode <- (S + sqrt(S * S + 4 * rss * a)) / (2 * rss)
  width <- 2 / sqrt(a / mode^2 + rss)
  level <- logf(t) - stats::rexp(1L)
  left <- t - stats::runif(1L) * width
  right <- left + width
  while (left > 0 && logf(left) > level) left <- left - width
  while (logf(right) > level) right <- right + width
  left <- max(left, 0)
  repeat {
    x <- left + stats::runif(1L) * (right - left)
    if (x > 0 && logf(x) > level) return(x)
    if (x < t) left <- x else right <- x
  }
}

# Log likelihood ratio of (new_beta, new_zeta) to (beta, zeta) on the
# probit scale with the latent variables integrated out, summed over the
# distinct (pattern, category) cells; eta and new_eta hold x' beta by
# pattern, `pair` the cells of both points. Each interval's mass is taken on
# the side of the mean where it is small, so that it keeps its precision.
.oprobit_cell_log_ratio <- function(eta, zeta, new_eta, new_zeta, pair) {
  bounds <- c(-Inf, zeta, Inf, -Inf, new_zeta, Inf)
  m <- c(eta, new_eta)[pair$pattern]
  low <- bounds[pair$y] - m
  # Phi(h) - Phi(l) = Phi(-l) - Phi(-h): the side where both terms are small.
  side <- 1 - 2 * (low > 0)
  sum(pair$size * log(abs(stats::pnorm(side * (bounds[pair$y_above] - m)) - stats::pnorm(side * low))))
}

# Log density of the slopes' normal prior, up to a constant (0 when flat).
.oprobit_log_prior <- function(beta, prior) -0.5 * sum(prior$B0 * (beta - prior$b0)^2)

# A multivariate t proposal (df degrees of freedom) fitted to pilot draws (rows); NULL when
# there are too few of them or they do not span every direction.
.oprobit_fit_proposal <- function(pilot, df) {
  d <- ncol(pilot)
  if (nrow(pilot) < 20L * d) return(NULL)
  root <- tryCatch(chol(stats::cov(pilot)), error = function(e) NULL)
  if (is.null(root)) return(NULL)
  list(mu = colMeans(pilot), root = root, root_inv = backsolve(root, diag(d)), df = df)
}

# Log density of that proposal at `current` less that at `w`.
.oprobit_log_t_ratio <- function(current, w, whole) {
  r <- crossprod(whole$root_inv, cbind(current, w) - whole$mu)
  squares <- colSums(r * r)
  -0.5 * (whole$df + length(w)) * (log1p(squares[1L] / whole$df) - log1p(squares[2L] / whole$df))
}
