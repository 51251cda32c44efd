# The posterior mode of (beta, zeta) on the probit scale and the curvature
# there, by Newton's method on the likelihood with the latent variables
# integrated out, summed over the distinct (covariate row, category) cells.
# It centres and scales the whole-point move's proposal, so that the move
# runs from the first iteration on any data: O(cells p^2) per step, a few
# steps per fit, shared by every chain.

# The cells' log likelihood terms and the first and second derivatives of
# each term in its two bounds lo = zeta[y-1] - eta, hi = zeta[y] - eta.
.oprobit_cell_terms <- function(lo, hi) {
  # The mass from the tail on the far side of the mean, in logs, so that it
  # keeps its precision far out.
  upper <- lo > 0
  near <- ifelse(upper, stats::pnorm(lo, lower.tail = FALSE, log.p = TRUE), stats::pnorm(hi, log.p = TRUE))
  far <- ifelse(upper, stats::pnorm(hi, lower.tail = FALSE, log.p = TRUE), stats::pnorm(lo, log.p = TRUE))
  log_mass <- near + log1p(-exp(far - near))
  g_lo <- exp(stats::dnorm(lo, log = TRUE) - log_mass)
  g_hi <- exp(stats::dnorm(hi, log = TRUE) - log_mass)
  lo_g <- ifelse(is.finite(lo), lo * g_lo, 0)
  hi_g <- ifelse(is.finite(hi), hi * g_hi, 0)
  list(log_mass = log_mass, d_lo = -g_lo, d_hi = g_hi,
       d_lolo = lo_g - g_lo^2, d_hihi = -hi_g - g_hi^2, d_lohi = g_lo * g_hi)
}

# Log posterior, gradient and Hessian at theta = (beta, zeta). X: distinct
# covariate rows without the intercept; cells: row, y, size; offset by row.
.oprobit_log_posterior <- function(theta, X, offset, cells, J, b0, B0) {
  slopes <- ncol(X)
  beta <- theta[seq_len(slopes)]
  zeta <- theta[slopes + seq_len(J - 1L)]
  eta <- drop(X %*% beta) + offset
  cut <- c(-Inf, zeta, Inf)
  e <- eta[cells$row]
  t <- .oprobit_cell_terms(cut[cells$y] - e, cut[cells$y + 1L] - e)
  w <- cells$size
  value <- sum(w * t$log_mass) - 0.5 * sum(B0 * (beta - b0)^2)
  if (!is.finite(value)) return(list(value = -Inf))
  Xc <- X[cells$row, , drop = FALSE]
  d <- slopes + J - 1L
  gradient <- numeric(d)
  hessian <- matrix(0, d, d)
  b <- seq_len(slopes)
  gradient[b] <- -drop(crossprod(Xc, w * (t$d_lo + t$d_hi))) - B0 * (beta - b0)
  hessian[b, b] <- crossprod(Xc, Xc * (w * (t$d_lolo + 2 * t$d_lohi + t$d_hihi))) - diag(B0, slopes)
  for (k in seq_len(J - 1L)) {
    as_hi <- cells$y == k       # zeta[k] is the cell's upper bound
    as_lo <- cells$y == k + 1L  # ... or its lower bound
    z <- slopes + k
    gradient[z] <- sum(w[as_hi] * t$d_hi[as_hi]) + sum(w[as_lo] * t$d_lo[as_lo])
    hessian[z, z] <- sum(w[as_hi] * t$d_hihi[as_hi]) + sum(w[as_lo] * t$d_lolo[as_lo])
    cross <- -(crossprod(Xc[as_hi, , drop = FALSE], w[as_hi] * (t$d_hihi[as_hi] + t$d_lohi[as_hi])) +
               crossprod(Xc[as_lo, , drop = FALSE], w[as_lo] * (t$d_lolo[as_lo] + t$d_lohi[as_lo])))
    hessian[b, z] <- hessian[z, b] <- cross
    if (k > 1L) hessian[z - 1L, z] <- hessian[z, z - 1L] <- sum(w[as_hi] * t$d_lohi[as_hi])
  }
  list(value = value, gradient = gradient, hessian = hessian)
}

# Newton's method with step halving from `start`; NULL when it finds no mode
# with a negative definite Hessian (an improper posterior, for one).
.oprobit_mode <- function(setup, start) {
  X <- setup$X_distinct[, -1L, drop = FALSE]
  J <- setup$J
  b0 <- setup$prior$b0
  B0 <- setup$prior$B0
  f <- function(theta) .oprobit_log_posterior(theta, X, setup$offset_distinct, setup$cells, J, b0, B0)
  theta <- c(start$beta, start$zeta)
  current <- f(theta)
  if (!is.finite(current$value)) return(NULL)
  for (step in seq_len(100L)) {
    direction <- tryCatch(-solve(current$hessian, current$gradient), error = function(e) NULL)
    if (is.null(direction) || any(!is.finite(direction))) return(NULL)
    # An ascent direction only: otherwise the steepest ascent.
    if (sum(direction * current$gradient) <= 0) direction <- current$gradient
    size <- 1
    repeat {
      proposal <- theta + size * direction
      zeta <- proposal[ncol(X) + seq_len(J - 1L)]
      if (all(diff(zeta) > 0)) {
        candidate <- f(proposal)
        if (is.finite(candidate$value) && candidate$value >= current$value - 1e-10) break
      }
      size <- size / 2
      if (size < 1e-10) return(NULL)
    }
    moved <- max(abs(proposal - theta))
    theta <- proposal
    current <- candidate
    if (moved < 1e-9 * max(1, max(abs(theta)))) break
  }
  root <- tryCatch(chol(-current$hessian), error = function(e) NULL)
  if (is.null(root) || any(!is.finite(theta)) || max(abs(theta)) > 1e6) return(NULL)
  # The covariance's upper triangular root: r' r = (-H)^-1.
  covariance <- chol2inv(root)
  list(mode = theta, root = chol(covariance))
}
