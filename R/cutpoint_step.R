#' One Metropolis-Hastings update of ordinal probit cutpoints
#'
#' Proposes new values of the free cutpoints of an ordinal probit model and
#' accepts or rejects them, by the library quorval's entry. The latent
#' variable of observation `i` is normal with mean `mean[i]` and standard
#' deviation `1 / t`; category `k` is observed when it lies between
#' `cutpoints[k]` and `cutpoints[k + 1]`. The latent variables are integrated
#' out. Randomness comes from the C library stream ([c_stream_seed()]).
#'
#' Elements 1, 2, K-1 and K of `cutpoints` stay fixed (they pin location and
#' scale); elements 3 ... K-2 are proposed, each from a normal with standard
#' deviation `1 / s` truncated between its proposed lower neighbour and its
#' current upper neighbour.
#'
#' @param y category codes 1 ... K-1 (numeric or a factor).
#' @param cutpoints the K current cutpoints, non-decreasing; the first may be
#'   `-Inf` and the last `Inf`, the others finite.
#' @param mean latent means, recycled to `length(y)`.
#' @param t reciprocal standard deviation of the latent variable.
#' @param s reciprocal standard deviation of the proposal (larger `s`: smaller
#'   steps).
#' @param reversible when `TRUE` (the default), a proposal that the reverse
#'   move could not have produced is rejected: the reverse draw of cutpoint `j`
#'   lies between `cutpoints[j - 1]` and `proposal[j + 1]`, so a
#'   `proposal[j + 1]` below `cutpoints[j]` makes the exact acceptance ratio
#'   0. The entry's own ratio leaves this out (it can only happen with K >= 6);
#'   `FALSE` keeps the entry's decision as it is. Anything else (`NA`, a
#'   number, a vector) is refused.
#' @return A list: `cutpoints`, the state to continue with; `proposal`, the
#'   proposed cutpoints; `accepted`, whether the proposal was accepted;
#'   `proposed`, whether anything was proposed. With K <= 4 no cutpoint is
#'   free: `proposed` is `FALSE` and `accepted` is `NA`.
#' @examples
#' c_stream_seed(7)
#' y <- c(1, 2, 2, 3, 4, 4, 5)
#' step <- cutpoint_step(y, c(-Inf, 0, 0.8, 1.6, 2.5, Inf), mean = 1, t = 1, s = 4)
#' step$accepted
#' step$cutpoints
#' @export
cutpoint_step <- function(y, cutpoints, mean, t, s, reversible = TRUE) {
  fn <- "cutpoint_step"
  if (!is.numeric(cutpoints) || length(cutpoints) < 2L || anyNA(cutpoints)) {
    .qv_stop(fn, "'cutpoints' must be a numeric vector of at least 2 numbers")
  }
  k <- length(cutpoints)
  inner <- cutpoints[-c(1L, k)]
  if (!all(is.finite(inner))) .qv_stop(fn, "'cutpoints' must be finite apart from the first and the last")
  if (is.unsorted(cutpoints)) .qv_stop(fn, "'cutpoints' must be in non-decreasing order")

  if (is.factor(y)) y <- as.integer(y)
  if (!is.numeric(y)) .qv_stop(fn, "'y' must hold category codes (numbers or a factor), not %s", class(y)[1L])
  if (anyNA(y)) .qv_stop(fn, "'y' must hold category codes without NA (element %d is NA)", .qv_first(is.na(y)))
  bad <- y < 1 | y > k - 1 | y != floor(y)
  if (any(bad)) {
    .qv_stop(fn, "'y' must hold whole category codes in 1 ... %d (element %d is %g)",
             k - 1L, .qv_first(bad), y[bad][1L])
  }
  n <- length(y)
  mean <- .qv_recycled(mean, n, fn, "mean")
  if (!all(is.finite(mean))) .qv_stop(fn, "'mean' must be finite")
  t <- .qv_positive(t, fn, "t")
  s <- .qv_positive(s, fn, "s")
  if (!isTRUE(reversible) && !isFALSE(reversible)) .qv_stop(fn, "'reversible' must be TRUE or FALSE")

  result <- .qv_cutpoint_result(.Call("quorval", n, k, as.integer(y), as.double(cutpoints), mean, t, s,
                                      PACKAGE = "quorval"), k)
  proposal <- result$proposal
  # Without a free cutpoint (K <= 4) nothing is proposed and nothing decided:
  # proposed = FALSE and accepted = NA, so that an acceptance rate over such
  # steps is NA (or left out with na.rm = TRUE) instead of 1.
  proposed <- k >= 5L
  accepted <- if (proposed) result$accepted else NA
  if (isTRUE(accepted) && isTRUE(reversible) && k >= 6L) {
    free <- seq.int(3L, k - 2L)
    accepted <- all(cutpoints[free] <= proposal[free + 1L])
  }
  list(cutpoints = if (isTRUE(accepted)) proposal else as.double(cutpoints),
       proposal = proposal, accepted = accepted, proposed = proposed)
}

# What the cutpoint entry returns for k cutpoints (quorval/cutpoint_result.h):
# the k proposed cutpoints, then the decision, 100 for accepted and 0 for
# rejected.
.qv_cutpoint_result <- function(result, k) {
  list(proposal = result[seq_len(k)], accepted = result[k + 1L] == 100)
}
