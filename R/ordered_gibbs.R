# Gibbs sweeps over an ordered normal vector (the library vaskor).

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
  if (n >= 2L && sweeps > 0L) .qv_ordered_gibbs_range(fn, A, m, state)

  storage.mode(A) <- "double"
  list(A = A, m = m, state = as.double(state), n = n, sweeps = sweeps)
}

# The centre of component i in a sweep, sum over j != i of A[i, j] (x_j -
# m_j) / A[i, i], is rounded on the scale of its terms, and the draw is the
# centre plus a standardised value. Where those terms are so large that the
# rounding exceeds about 1e-6 of what the draw can resolve anyway (the larger
# of the component's standard deviation and the size of the state's finite
# values), the entry's answer is rounding noise (or its arithmetic overflows
# and it stops with its fatal error): such 'm' (or 'A') is refused.
.qv_ordered_gibbs_range <- function(fn, A, m, state) {
  n <- length(m)
  inner <- state[2:(n + 1L)]
  scale <- max(abs(state[is.finite(state)]))
  off <- abs(A)
  diag(off) <- 0
  sd <- 1 / sqrt(diag(A))
  resolvable <- 2^-20 * pmax(sd, scale) / .Machine$double.eps
  if (!all(is.finite(inner - m))) {
    .qv_stop(fn, "'m' is out of range: 'state' - 'm' overflows (element %d)", .qv_first(!is.finite(inner - m)))
  }
  pull_m <- drop(off %*% abs(m)) / diag(A)
  bad <- !(pull_m <= resolvable)
  if (any(bad)) {
    i <- .qv_first(bad)
    .qv_stop(fn, paste("'m' is out of range for this 'A': it moves the centre of component %d by about %g,",
                       "which double precision cannot resolve at a standard deviation of %g and a state of size %g"),
             i, pull_m[i], sd[i], scale)
  }
  pull_x <- drop(off %*% abs(inner)) / diag(A)
  bad <- !(pull_x <= resolvable)
  if (any(bad)) {
    i <- .qv_first(bad)
    .qv_stop(fn, paste("'A' is out of range: its off-diagonal entries move the centre of component %d by about %g,",
                       "which double precision cannot resolve at a standard deviation of %g"), i, pull_x[i], sd[i])
  }
  invisible(NULL)
}

#' Gibbs sweeps over an ordered normal vector
#'
#' Runs sweeps of a Gibbs sampler, by the library vaskor's entry, over a
#' normal vector whose components must stay in order between two fixed end
#' values. In a sweep, component `i` is drawn from the normal distribution
#' with mean `w_i` and variance `1 / A[i, i]`, truncated to the interval
#' between its current neighbours, where
#' `w_i = sum over j != i of A[i, j] * (x_j - m_j) / A[i, i]`. Randomness
#' comes from the C library stream ([c_stream_seed()]).
#'
#' [ordered_gibbs_target()] gives the `A` and `m` whose sweeps leave a given
#' multivariate normal restricted to the order as their stationary
#' distribution. `ordered_gibbs_chain()` checks once and collects a chain of
#' states; it is the efficient way to draw many.
#'
#' A draw is rounded, so a component can land one unit in the last place
#' beyond its neighbour; the order check allows for that.
#'
#' A location vector `m` so large (for the off-diagonal entries of `A`) that
#' a component's centre cannot be resolved to about 1e-6 of its standard
#' deviation, or of the size of the state's values where that is larger, is
#' refused before drawing: the sweep's draws would be rounding noise, or its
#' arithmetic would overflow. With a diagonal `A`, `m` is not read.
#'
#' @param A symmetric n x n matrix with a positive diagonal (only its lower
#'   triangle is read by the entry).
#' @param m location vector, recycled to n.
#' @param state `x_0, x_1, ..., x_n, x_(n+1)`: the end values `x_0` and
#'   `x_(n+1)` stay fixed (they may be `-Inf` and `Inf`), the n inner
#'   components are updated; non-decreasing.
#' @param sweeps number of sweeps per returned state.
#' @return `ordered_gibbs()`: the state after the last sweep (length n + 2).
#'   `ordered_gibbs_chain()`: a `draws` x n matrix whose row k holds the inner
#'   components after k * `sweeps` sweeps.
#' @examples
#' sigma <- matrix(0.5, 3, 3) + diag(0.5, 3)
#' target <- ordered_gibbs_target(mean = c(0, 0.5, 1), sigma = sigma)
#' c_stream_seed(3)
#' ordered_gibbs(target$A, target$m, c(-Inf, -1, 0, 1, Inf), sweeps = 10)
#' chain <- ordered_gibbs_chain(target$A, target$m, c(-Inf, -1, 0, 1, Inf), draws = 2000)
#' colMeans(chain)
#' @export
ordered_gibbs <- function(A, m, state, sweeps = 1L) {
  a <- .qv_ordered_gibbs_inputs("ordered_gibbs", A, m, state, sweeps)
  .qv_call("mvtrnorms", "vaskor", a$A, a$m, a$state, a$n, a$sweeps)
}

#' @rdname ordered_gibbs
#' @param draws number of states to return.
#' @export
ordered_gibbs_chain <- function(A, m, state, draws, sweeps = 1L) {
  fn <- "ordered_gibbs_chain"
  a <- .qv_ordered_gibbs_inputs(fn, A, m, state, sweeps)
  draws <- .qv_count(draws, fn, "draws")
  n <- a$n
  out <- matrix(NA_real_, draws, max(n, 0L))
  x <- a$state
  inner <- seq_len(n) + 1L
  for (k in seq_len(draws)) {
    x <- .qv_call("mvtrnorms", "vaskor", a$A, a$m, x, n, a$sweeps)
    out[k, ] <- x[inner]
  }
  out
}

#' The sweep parameters of an ordered multivariate normal
#'
#' Gives the `A` and `m` whose sweeps by [ordered_gibbs()] have the normal
#' distribution with mean `mean` and covariance `sigma`, restricted to
#' `x_0 <= x_1 <= ... <= x_(n+1)`, as their stationary distribution.
#'
#' @param mean finite mean vector of length n.
#' @param sigma symmetric positive definite n x n covariance matrix.
#' @return A list with the matrix `A` and the location vector `m`.
#' @examples
#' sigma <- matrix(c(1, 0.5, 0.5, 1), 2)
#' ordered_gibbs_target(c(0, 1), sigma)
#' @export
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
  # Relative to the size of the terms, so that scaling sigma changes nothing.
  if (max(abs(off %*% m - rhs)) > 1e-8 * max(abs(rhs), abs(off) %*% abs(m))) {
    .qv_stop(fn, "this mean cannot be set through the location vector with this sigma (its off-diagonal part of the precision is singular)")
  }
  list(A = (A + t(A)) / 2, m = m)
}

# One Gibbs sweep over independent normals x_i ~ N(b_i, 1/a_i) restricted to
# lo <= x_1 <= ... <= x_n <= hi (a diagonal precision), by the entry.
# With a diagonal A the entry centres every component at 0 (its location
# vector reaches only components that share a precision entry), so each
# component is swept on its own, shifted by its mean: the entry draws
# x_i - b_i between the shifted neighbours. `entry` is the address of
# mvtrnorms as vaskor is loaded now; x must be in order. A draw that rounds
# past a neighbour is put on it; a component pinned between equal neighbours
# stays.
.qv_ordered_sweep_diagonal <- function(entry, a, b, x, lo, hi) {
  n <- length(x)
  padded <- c(lo, x, hi)
  for (i in seq_len(n)) {
    left <- padded[i]
    right <- padded[i + 2L]
    if (left < right) {
      shift <- b[i]
      value <- .Call(entry, a[i], 0, c(left - shift, 0, right - shift), 1L, 1L)[2L] + shift
      padded[i + 1L] <- if (value < left) left else if (value > right) right else value
    } else {
      padded[i + 1L] <- left
    }
  }
  padded[2:(n + 1L)]
}

# The same target swept along the other coordinates of the order, the steps
# z_j = x_j - x_(j-1): moving z_j alone shifts x_j ... x_n together, so a run
# of tied components moves as one. The shift d of x_j ... x_n is normal with
# precision sum(a[j:n]) and mean sum(a[j:n] * (b[j:n] - x[j:n])) / that,
# truncated to keep x_(j-1) <= x_j and x_n <= hi. Steps run from j = n down
# to 1; at step j only x_n has moved yet among what the bounds read, so the
# shifts are summed up once at the end.
.qv_ordered_shift_sweep <- function(entry, a, b, x, lo, hi) {
  n <- length(x)
  below <- c(lo, x[-n]) - x  # the lowest shift that keeps x_(j-1) <= x_j
  pull_each <- a * (b - x)
  shift <- numeric(n)
  moved <- 0                 # total shift of x_n so far
  top <- hi - x[n]
  precision <- 0
  pull <- 0                  # sum over the suffix of a * (b - x), x as moved
  for (j in n:1) {
    precision <- precision + a[j]
    pull <- pull + pull_each[j]
    left <- below[j]
    right <- top - moved
    if (left < right) {
      centre <- pull / precision
      d <- .Call(entry, precision, 0, c(left - centre, 0, right - centre), 1L, 1L)[2L] + centre
      if (d < left) d <- left else if (d > right) d <- right
      shift[j] <- d
      moved <- moved + d
      pull <- pull - d * precision
    }
  }
  x <- x + cumsum(shift)
  # Rounding of the sums may leave a component a hair past its neighbour.
  x <- cummax(pmax(x, lo))
  pmin(x, hi)
}
