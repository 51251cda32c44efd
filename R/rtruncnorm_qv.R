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
#' As [rnorm()] does, an element that has no distribution gives `NaN`, and
#' the call warns "NAs produced" once: an `NA` or `NaN` in any parameter, a
#' negative `sd`, `lower > upper`, and an interval `[Inf, Inf]` or
#' `[-Inf, -Inf]`. Where `lower == upper` (finite) the draw is that point.
#' An `sd` of 0 or infinite and a non-finite `mean` are errors.
#'
#' Draws are made on the interval's own scale, also where the mean lies so
#' far from it that the standardised bounds `(lower - mean) / sd` and
#' `(upper - mean) / sd` cannot be told apart in double precision (such as
#' mean 1e17 on `[1, 2]`). The library draws an element whenever its answer
#' resolves the interval: where the mean lies inside it, or where the
#' rounding of mean and bounds stays below about 1e-6 of the spread of the
#' distribution on it (the smallest of the width, `sd` and `sd^2 / D`, `D`
#' the distance of the mean from the interval). The other elements are
#' drawn at their distance `D` from the mean: the offset `t` from the near
#' bound, into the interval, has density proportional to
#' `exp(-D t / sd^2 - t^2 / (2 sd^2))`, exactly. Where `D >= sd` or the
#' width is at most `sd`, `t` comes from the exponential part (truncated to
#' the width) and is kept with probability `exp(-t^2 / (2 sd^2))`; otherwise
#' the library draws the well-conditioned standard normal truncated to
#' `[D / sd, (D + width) / sd]` and `t` is `sd` times its excess over
#' `D / sd`. Uniforms for the first come from [runif()] with `stream = "r"`
#' and, with `stream = "c"`, from the library's standard normals truncated to
#' `[0, Inf)`, as `2 * pnorm(-z)`. These elements are drawn after the others,
#' in order. An `sd` below the smallest normal double (1 / sd overflows)
#' gives the point of the interval nearest to the mean, the limit of the
#' distribution. Every draw is finally kept within `[lower, upper]` (the
#' rounding of `mean + sd * z` can fall a unit in the last place outside).
#'
#' Sampling has no iteration limit. An interval far in a tail that is
#' narrow, yet wide enough for the library to resolve it, is accepted rarely
#' by the library's tail sampler: at mean 0 and sd 1, `[10, 10 + 1e-8]`
#' takes about 0.2 s a draw. Narrower ones (such as `[10, 10 + 1e-15]`) are
#' drawn on their own scale, as above, at once.
#'
#' @param n number of draws (a vector of length above 1 stands for its length).
#' @param mean,sd means (finite) and standard deviations (`sd` finite and
#'   not 0; a negative one gives `NaN`).
#' @param lower,upper bounds of the intervals (may be infinite), `lower <= upper`
#'   (otherwise `NaN`).
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

  # Errors for the whole call; per-element faults give NaN, as rnorm does.
  bad <- !is.na(mean) & !is.finite(mean)
  if (any(bad)) .qv_stop(fn, "'mean' must be finite (element %d is %g)", .qv_first(bad), mean[bad][1L])
  bad <- !is.na(sd) & (sd == 0 | is.infinite(sd))
  if (any(bad)) .qv_stop(fn, "'sd' must be positive and finite (element %d is %g)", .qv_first(bad), sd[bad][1L])
  void <- is.na(mean) | is.na(sd) | is.na(lower) | is.na(upper)
  void[!void] <- sd[!void] < 0 | lower[!void] > upper[!void] |
    (lower[!void] == upper[!void] & is.infinite(lower[!void]))

  library <- if (stream == "c") "quorval" else "quorval2"
  x <- rep(NaN, n)
  ok <- which(!void)
  route <- .qv_truncnorm_route(mean[ok], sd[ok], lower[ok], upper[ok])
  at <- ok[route == "library"]
  nan_drawn <- FALSE
  if (length(at) > 0L) {
    x[at] <- withCallingHandlers(
      .qv_call("trunomcall", library, length(at), mean[at], 1 / sd[at], lower[at], upper[at]),
      warning = function(w) {
        if (identical(conditionMessage(w), "NAs produced")) {
          nan_drawn <<- TRUE
          invokeRestart("muffleWarning")
        }
      })
  }
  at <- ok[route == "point"]
  x[at] <- pmin(pmax(mean[at], lower[at]), upper[at])
  at <- ok[route == "tail"]
  if (length(at) > 0L) x[at] <- .qv_truncnorm_shifted(library, mean[at], sd[at], lower[at], upper[at])
  x[ok] <- pmin(pmax(x[ok], lower[ok]), upper[ok])
  if (any(void) || nan_drawn) warning("NAs produced", call. = FALSE)
  x
}

# How each (valid) element is drawn: "library", the library's draw as it
# stands; "point", the point of [lower, upper] nearest to the mean (an sd
# whose reciprocal overflows, or lower == upper where the library's
# standardised bounds would not be finite and ordered); "tail", on the
# interval's own scale (.qv_truncnorm_shifted), where the library's
# standardised bounds lose the interval.
.qv_truncnorm_route <- function(mean, sd, lower, upper) {
  route <- rep("library", length(mean))
  s <- 1 / sd
  a <- (lower - mean) * s
  b <- (upper - mean) * s
  distance <- pmax(lower - mean, mean - upper, 0)
  width <- upper - lower
  spread <- pmin(width, sd, sd * (sd / distance))
  rounding <- .Machine$double.eps * (abs(mean) + distance)
  far <- distance > 0 & !(rounding <= 2^-20 * spread)
  route[far] <- "tail"
  broken <- is.nan(a) | is.nan(b) | (a == b & is.infinite(a))
  route[!is.finite(s) | (width == 0 & (far | broken))] <- "point"
  route[route == "library" & broken] <- "tail"
  route
}

# Draws from normals (mean, sd) truncated to [lower, upper], each mean
# outside its interval, at the offset t from the near bound: t in [0, width]
# has density proportional to exp(-d u - u^2 / 2) in u = t / sd, d the
# mean's distance in sds. With d >= 1 or a width of at most one sd, u comes
# from the exponential part truncated to the width and is accepted with
# probability exp(-u^2 / 2) (at least about 0.6); otherwise the library
# draws z from the standard normal truncated to [d, d + width / sd], which
# is then well conditioned, and u = z - d.
.qv_truncnorm_shifted <- function(library, mean, sd, lower, upper) {
  k <- length(mean)
  below <- mean < lower
  near <- ifelse(below, lower, upper)
  sign <- ifelse(below, 1, -1)
  d <- ifelse(below, lower - mean, mean - upper) / sd
  W <- (upper - lower) / sd
  u <- numeric(k)
  shifted <- d < 1 & W > 1
  if (any(shifted)) {
    z <- .qv_call("trunomcall", library, sum(shifted), rep(0, sum(shifted)), rep(1, sum(shifted)),
                  d[shifted], d[shifted] + W[shifted])
    u[shifted] <- z - d[shifted]
  }
  uniform <- if (library == "quorval2") function(m) stats::runif(m) else function(m) {
    2 * stats::pnorm(-.qv_call("trunomcall", library, m, rep(0, m), rep(1, m), rep(0, m), rep(Inf, m)))
  }
  left <- which(!shifted)
  while (length(left) > 0L) {
    v <- uniform(2L * length(left))
    m <- length(left)
    dl <- d[left]
    # Inversion of the exponential truncated to [0, W]; v in (0, 1].
    proposal <- ifelse(dl > 0, -log1p(-(1 - v[seq_len(m)]) * -expm1(-dl * W[left])) / dl,
                       (1 - v[seq_len(m)]) * W[left])
    proposal[is.nan(proposal)] <- 0
    accept <- log(v[m + seq_len(m)]) <= -proposal^2 / 2
    u[left[accept]] <- proposal[accept]
    left <- left[!accept]
  }
  near + sign * pmin(sd * u, upper - lower)
}
