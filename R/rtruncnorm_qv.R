#' Truncated normal draws
#'
#' Draw `i` comes from the normal distribution with mean `mean[i]` and
#' standard deviation `sd[i]` truncated to the interval from `lower[i]` to
#' `upper[i]`. The four parameter vectors are recycled to `n` as [rnorm()]
#' recycles them.
#'
#' Two libraries draw them, with the same algorithm and different sources of
#' randomness:
#' * `stream = "c"`: the library quorval, on the C library stream and its own
#'   generator; [c_stream_seed()] makes the draws reproducible.
#' * `stream = "r"`: the library quorval2, on R's generator; [set.seed()]
#'   governs the draws.
#'
#' The C library stream gives 15 bits per uniform. Where the interval lies
#' in the body of the distribution, the draws of `stream = "c"` therefore
#' lie on a grid of 32768 points per interval: 1e5 draws of a standard
#' normal truncated to `[-1, 1]` take 31,070 distinct values, against 99,999
#' with `stream = "r"`. The grid belongs to the stream and is kept; for
#' means, quantiles and the posteriors of [oprobit_mcmc()] its effect was
#' below Monte Carlo error in our measurements (see `?oprobit_mcmc`). Use
#' `stream = "r"` where distinct values matter (for example ties in rank
#' statistics).
#'
#' An `NA` or `NaN` parameter gives a `NaN` draw and the warning
#' "NAs produced". Sampling has no iteration limit: an interval that is tiny
#' and far in a tail (such as `[10, 10 + 1e-15]`) is accepted so rarely that a
#' draw can take practically forever.
#'
#' @param n number of draws (a vector of length above 1 stands for its length).
#' @param mean,sd means and standard deviations (`sd` positive and finite).
#' @param lower,upper bounds of the intervals (may be infinite), `lower <= upper`.
#' @param stream `"c"` (C library stream, library quorval) or `"r"` (R's
#'   stream, library quorval2).
#' @return A numeric vector of length `n`.
#' @seealso [c_stream_seed()]; `vignette("streams", package = "quorval")`.
#' @examples
#' c_stream_seed(1)
#' rtruncnorm_qv(5, mean = 1, sd = 0.5, lower = 0, upper = 2)
#' set.seed(1)
#' x <- rtruncnorm_qv(1000, lower = 2, stream = "r")
#' c(min = min(x), mean = mean(x))
#' @export
rtruncnorm_qv <- function(n, mean = 0, sd = 1, lower = -Inf, upper = Inf,
                          stream = c("c", "r")) {
  fn <- "rtruncnorm_qv"
  stream <- match.arg(stream)
  n <- .qv_count(n, fn)
  mean <- .qv_recycled(mean, n, fn, "mean")
  sd <- .qv_recycled(sd, n, fn, "sd")
  lower <- .qv_recycled(lower, n, fn, "lower")
  upper <- .qv_recycled(upper, n, fn, "upper")

  # Faults that would otherwise stop the sampler; NA elements pass (NaN draws).
  bad <- !is.na(mean) & !is.finite(mean)
  if (any(bad)) .qv_stop(fn, "'mean' must be finite (element %d is %g)", .qv_first(bad), mean[bad][1L])
  bad <- !is.na(sd) & !(is.finite(sd) & sd > 0)
  if (any(bad)) .qv_stop(fn, "'sd' must be positive and finite (element %d is %g)", .qv_first(bad), sd[bad][1L])
  bad <- !is.na(lower) & !is.na(upper) & lower > upper
  if (any(bad)) {
    i <- .qv_first(bad)
    .qv_stop(fn, "'lower' must not exceed 'upper' (element %d: %g > %g)", i, lower[i], upper[i])
  }
  bad <- !is.na(lower) & lower == upper & is.infinite(lower)
  if (any(bad)) .qv_stop(fn, "element %d: the interval [%g, %g] holds no draw", .qv_first(bad),
                         lower[bad][1L], upper[bad][1L])

  library <- if (stream == "c") "quorval" else "quorval2"
  .qv_call("trunomcall", library, n, mean, 1 / sd, lower, upper)
}
