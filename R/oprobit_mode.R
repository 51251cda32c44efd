# The posterior mode of (beta, zeta) on the probit scale and the curvature
# there, by Newton's method on the likelihood with the latent variables
# integrated out, summed over the distinct (covariate row, category) cells.
# It centres and scales the whole-point move's proposal, so that the move
# runs from the first iteration on any data: O(cells p^2) per step, a few
# steps per fit, shared by every chain.

# Log posterior, gradient and Hessian at theta = (beta, zeta). cells: the
# covariate row (Xc, without the intercept; offset) and category y of each
# cell, and its size w; b0 and B0 the slope prior; `family` the link's
# (ordinal_family()).
.oprobit_log_posterior <- function(theta, cells, J, b0, B0, family) {
  Xc <- cells$X
  slopes <- ncol(Xc)
  b <- seq_len(slopes)
  z <- slopes + seq_len(J - 1L)
  beta <- theta[b]
  eta <- drop(Xc %*% beta) + cells$offset
  cut <- c(-Inf, theta[z], Inf)
  y <- cells$y
  t <- family$cell_terms(cut[y] - eta, cut[y + 1L] - eta)
  w <- cells$w
  value <- sum(w * t$log_mass) - 0.5 * sum(B0 * (beta - b0)^2)
  if (!is.finite(value)) return(list(value = -Inf))
  # By category: sums of each cell's terms in its upper bound zeta[y] and in
  # its lower bound zeta[y-1] (rows: categories 1 ... J).
  by_y <- function(v) {
    s <- rowsum(w * v, y, reorder = TRUE)
    out <- matrix(0, J, NCOL(s))
    out[as.integer(rownames(s)), ] <- s
    out
  }
  upper <- seq_len(J - 1L)  # zeta[k] is the upper bound of category k ...
  lower <- upper + 1L       # ... and the lower bound of category k + 1
  gradient <- c(-drop(crossprod(Xc, w * (t$d_lo + t$d_hi))) - B0 * (beta - b0),
                by_y(t$d_hi)[upper] + by_y(t$d_lo)[lower])
  hessian <- matrix(0, slopes + J - 1L, slopes + J - 1L)
  hessian[b, b] <- crossprod(Xc, Xc * (w * (t$d_lolo + 2 * t$d_lohi + t$d_hihi))) - diag(B0, slopes)
  cross <- -(by_y(Xc * (t$d_hihi + t$d_lohi))[upper, , drop = FALSE] +
             by_y(Xc * (t$d_lolo + t$d_lohi))[lower, , drop = FALSE])
  hessian[z, b] <- cross
  hessian[b, z] <- t(cross)
  diag(hessian)[z] <- by_y(t$d_hihi)[upper] + by_y(t$d_lolo)[lower]
  if (J > 2L) {
    between <- by_y(t$d_lohi)[2:(J - 1L)]  # y = k + 1: bounds zeta[k] and zeta[k + 1]
    hessian[cbind(z[-1L], z[-(J - 1L)])] <- hessian[cbind(z[-(J - 1L)], z[-1L])] <- between
  }
  list(value = value, gradient = gradient, hessian = hessian)
}

# Newton's method with step halving from `start`; NULL when it finds no mode
# with a negative definite Hessian (an improper posterior, for one).
.oprobit_mode <- function(setup, start) {
  rows <- setup$cells$row
  cells <- list(X = setup$X_distinct[rows, -1L, drop = FALSE], offset = setup$offset_distinct[rows],
                y = setup$cells$y, w = setup$cells$size)
  J <- setup$J
  slopes <- ncol(cells$X)
  f <- function(theta) .oprobit_log_posterior(theta, cells, J, setup$prior$b0, setup$prior$B0, setup$family)
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
      zeta <- proposal[slopes + seq_len(J - 1L)]
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
