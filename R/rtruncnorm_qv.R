# Truncated normal draws: rtruncnorm_qv(n, mean, sd, lower, upper, stream).
# Draw i comes from N(mean[i], sd[i]^2) truncated to [lower[i], upper[i]];
# the four parameter vectors are recycled to n as rnorm() recycles them.
#   stream = "c": quorval's trunomcall, on the C library stream (seed it with
#                 c_stream_seed());
#   stream = "r": quorval2's trunomcall, on R's generator (set.seed() governs it).
# An NA or NaN parameter gives a NaN draw and the warning "NAs produced".

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
  .qv_need_entry(fn, "trunomcall", library)
  .Call("trunomcall", n, mean, 1 / sd, lower, upper, PACKAGE = library)
}
