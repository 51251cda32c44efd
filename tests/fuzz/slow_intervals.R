# The one kind of valid input on which a draw may legitimately take
# practically forever: an interval in a tail that is far narrower than the
# spacing of the tail sampler's proposals (say [10, 10 + 1e-15]). The
# rejection loops have no iteration limit, so the campaign keeps such
# intervals out of its cases; any other call that does not return in time
# is a hang.

fuzz_max_attempts <- 1e5

# ulp of x (x > 0, finite).
fuzz_ulp <- function(x) 2^(floor(log2(x)) - 52)

# Expected number of tail proposals that trunom makes on standardised bounds
# [as, bl]: about 1 / (1 - exp(-alpha (w + ulp / 2))) for a tail bound x with
# rate alpha and width w. Middle intervals, wide intervals and inputs that
# fail or return at once cost a handful of proposals.
trunom_attempts <- function(as, bl) {
  if (is.na(as) || is.na(bl) || as >= bl) return(1)
  if (bl >= 8) {
    x <- as          # upper tail: draws above as, kept when <= bl
  } else if (as <= -8) {
    x <- -bl         # lower tail: mirrored draws above -bl, kept when > as
  } else {
    return(1)        # middle
  }
  width <- bl - as
  if (x < 0 || !is.finite(width) || !is.finite(x)) return(1)
  alpha <- if (x > 1e150) x else 0.5 * x + 0.5 * sqrt(x * x + 4)
  spacing <- if (x > 0) fuzz_ulp(x) / 2 else 0
  1 / -expm1(-alpha * (width + spacing))
}

# Whether any of the bound pairs would make a practically endless draw.
fuzz_slow_bounds <- function(as, bl) {
  if (length(as) == 0L) return(FALSE)
  any(mapply(trunom_attempts, as, bl) > fuzz_max_attempts)
}
