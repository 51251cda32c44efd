# A model of quorval2's draws written in R: the same steps, each random
# number taken with one call of runif(1), rexp(1) or rnorm(1), so that after
# the same set.seed() it must reproduce the library's vectors to the last bit
# and leave R's stream at the same place.
q2_acceptance_log <- function() {
  v <- runif(1)
  if (v > 0) log(v) else 0
}

q2_onetn <- function(x) {
  if (is.na(x)) return(x)
  if (x >= 0) {
    if (x == Inf) stop("Error: onetn bound is +Inf")
    x2 <- x * x
    alpha <- if (is.infinite(x2)) x else 0.5 * x + 0.5 * sqrt(x2 + 4)
    repeat {
      e <- rexp(1)
      z <- x + e / alpha
      d <- z - alpha
      if (q2_acceptance_log() <= -d * d * 0.5) return(z)
    }
  }
  repeat {
    z <- rnorm(1)
    if (z > x) return(z)
  }
}

q2_trunom <- function(as, bl) {
  if (!is.na(as) && !is.na(bl) && as > bl) stop("Error: as>bl")
  if (is.na(as) || is.na(bl)) return(NaN)
  if (bl >= 8 || as <= -8) {
    if (as == bl) {
      if (is.infinite(as)) stop("Error: as and bl both infinite on the same side")
      return(as)
    }
    if (bl >= 8) {
      repeat { z <- q2_onetn(as); if (z <= bl) return(z) }
    }
    repeat { z <- -q2_onetn(-bl); if (z > as) return(z) }
  }
  w <- bl - as
  repeat {
    z <- as + runif(1) * w
    r <- if (bl < 0) (bl * bl - z * z) * 0.5 else if (as > 0) (as * as - z * z) * 0.5 else -z * z * 0.5
    if (q2_acceptance_log() <= r) return(z)
  }
}

q2_trunomcall <- function(m, s, lo, hi) {
  vapply(seq_along(m), function(i) {
    z <- q2_trunom(s[i] * (lo[i] - m[i]), s[i] * (hi[i] - m[i]))
    m[i] + z / s[i]
  }, numeric(1))
}

q2_call <- function(m, s, lo, hi, n = length(m)) {
  .Call("trunomcall", n, m, s, lo, hi, PACKAGE = "quorval2")
}

# Runs `expr` after set.seed(seed) and returns its value with R's stored seed
# afterwards.
q2_seeded <- function(seed, expr) {
  set.seed(seed)
  value <- force(expr)
  list(value = value, seed = get(".Random.seed", envir = globalenv()))
}
