# Gibbs sweeps over an ordered normal vector, by vaskor's entry mvtrnorms:
# ordered_gibbs(A, m, state, sweeps).
#   state   x_0, x_1 ... x_n, x_{n+1}: the end values x_0 and x_{n+1} stay
#           fixed, the n inner components are updated; non-decreasing, inner
#           components finite, x_0 may be -Inf and x_{n+1} Inf
#   A       symmetric n x n matrix with a positive diagonal
#   m       location vector, recycled to n
#   sweeps  number of sweeps
# In a sweep component i is drawn from N(w_i, 1 / A[i, i]) truncated to
# [x_{i-1}, x_{i+1}], with w_i = sum over j != i of A[i, j] (x_j - m_j) / A[i, i].
# Returns the state after the last sweep (length n + 2).
#
# ordered_gibbs_chain(A, m, state, draws, sweeps = 1) checks once and returns
# a draws x n matrix: row k holds the inner components after k * sweeps sweeps.
#
# A draw x_i = w_i + z / s_i is rounded, so a component can land one unit in
# the last place beyond its neighbour; the order check allows for that.
#
# ordered_gibbs_target(mean, sigma) gives the A and m whose sweeps have
# N(mean, sigma) restricted to x_0 <= x_1 <= ... <= x_{n+1} as their
# stationary distribution.

# Checks the arguments of ordered_gibbs and ordered_gibbs_chain; returns them
# in the form the entry reads.
.qv_ordered_gibbs_inputs <- function(fn, A, m, state, sweeps) {
  if (!is.numeric(state) || length(state) < 2L || anyNA(state)) {
    .qv_stop(fn, "'state' must be a numeric vector of at least 2 numbers (the two end values)")
  }
  n <- length(state) - 2L
  if (n > 0L && !all(is.finite(state[2:(n + 1L)]))) .qv_stop(fn, "'state' must have finite inner components")
  if (state[1L] == Inf || state[n + 2L] == -Inf) .qv_stop(fn, "'state' has an end value that leaves no room")
  # Non-decreasing up to the rounding of a draw (a few units in the last place).
  steps <- diff(state)
  slack <- 4 * .Machine$double.eps * pmax(abs(state[-1L]), abs(state[-(n + 2L)]))
  if (any(steps < -slack, na.rm = TRUE)) .qv_stop(fn, "'state' must be in non-decreasing order")

  if (is.numeric(A) && is.null(dim(A)) && length(A) == 1L && n == 1L) A <- matrix(A, 1L, 1L)
  # A square A of another size: the state is the one of the wrong length.
  if (is.numeric(A) && is.matrix(A) && nrow(A) == ncol(A) && nrow(A) != n) {
    .qv_stop(fn, "'state' must have %d elements (the two end values around the %d components of 'A'), not %d",
             nrow(A) + 2L, nrow(A), length(state))
  }
  if (!is.numeric(A) || !is.matrix(A) || nrow(A) != n || ncol(A) != n) {
    .qv_stop(fn, "'A' must be a numeric %d x %d matrix", n, n)
  }
  if (!all(is.finite(A))) .qv_stop(fn, "'A' must be finite")
  # Only the lower triangle is read: an upper triangle that differs is a mistake.
  if (any(abs(A - t(A)) > 1e-8 * max(abs(A)))) .qv_stop(fn, "'A' must be symmetric")
  if (any(diag(A) <= 0)) .qv_stop(fn, "'A' must have a positive diagonal")
  m <- .qv_recycled(m, n, fn, "m")
  if (!all(is.finite(m))) .qv_stop(fn, "'m' must be finite")
  sweeps <- .qv_count(sweeps, fn, "sweeps")

  .qv_need_entry(fn, "mvtrnorms", "vaskor")
  storage.mode(A) <- "double"
  list(A = A, m = m, state = as.double(state), n = n, sweeps = sweeps)
}

ordered_gibbs <- function(A, m, state, sweeps = 1L) {
  a <- .qv_ordered_gibbs_inputs("ordered_gibbs", A, m, state, sweeps)
  .Call("mvtrnorms", a$A, a$m, a$state, a$n, a$sweeps, PACKAGE = "vaskor")
}

ordered_gibbs_chain <- function(A, m, state, draws, sweeps = 1L) {
  fn <- "ordered_gibbs_chain"
  a <- .qv_ordered_gibbs_inputs(fn, A, m, state, sweeps)
  draws <- .qv_count(draws, fn, "draws")
  n <- a$n
  out <- matrix(NA_real_, draws, max(n, 0L))
  x <- a$state
  inner <- seq_len(n) + 1L
  for (k in seq_len(draws)) {
    x <- .Call("mvtrnorms", a$A, a$m, x, n, a$sweeps, PACKAGE = "vaskor")
    out[k, ] <- x[inner]
  }
  out
}

ordered_gibbs_target <- function(mean, sigma) {
  fn <- "ordered_gibbs_target"
  n <- length(mean)
  if (!is.numeric(mean) || n == 0L || !all(is.finite(mean))) .qv_stop(fn, "'mean' must be a finite numeric vector")
  if (!is.numeric(sigma) || !is.matrix(sigma) || nrow(sigma) != n || ncol(sigma) != n ||
      !all(is.finite(sigma)) || !isSymmetric(unname(sigma))) {
    .qv_stop(fn, "'sigma' must be a finite symmetric %d x %d matrix", n, n)
  }
  precision <- tryCatch(solve(sigma), error = function(e) NULL)
  if (is.null(precision) || any(eigen(sigma, symmetric = TRUE, only.values = TRUE)$values <= 0)) {
    .qv_stop(fn, "'sigma' must be positive definite")
  }
  # Full conditional of x_i: mean_i - sum_{j != i} P_ij (x_j - mean_j) / P_ii
  # with P the precision. It matches the sweep's centre when A's off-diagonal
  # is -P's and the off-diagonal part of P carries m onto P mean.
  A <- -precision
  diag(A) <- diag(precision)
  off <- precision
  diag(off) <- 0
  rhs <- drop(precision %*% mean)
  m <- qr.coef(qr(off), rhs)
  m[is.na(m)] <- 0
  if (max(abs(off %*% m - rhs)) > 1e-8 * max(1, abs(rhs))) {
    .qv_stop(fn, "this mean cannot be set through the location vector with this sigma (its off-diagonal part of the precision is singular)")
  }
  list(A = (A + t(A)) / 2, m = m)
}
