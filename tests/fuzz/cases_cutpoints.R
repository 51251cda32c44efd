# Cases for quorval's .Call entry quorval(N, K, y, c, m, t, s): one
# Metropolis-Hastings update of ordinal probit cutpoints.

# Cutpoints: mostly non-decreasing with open ends, sometimes out of order.
fuzz_cutpoints <- function(k) {
  c <- sort(fuzz_doubles(k, special = 0.1))
  if (k >= 1 && runif(1) < 0.4) c[1] <- -Inf
  if (k >= 2 && runif(1) < 0.4) c[k] <- Inf
  if (k >= 2 && runif(1) < 0.15) c <- sample(c)
  if (k >= 1 && runif(1) < 0.1) c[sample(k, 1)] <- sample(fuzz_specials, 1)
  c
}

# Category codes: mostly in 1 ... K-1, sometimes outside, NA or not integers.
fuzz_codes <- function(n, k) {
  codes <- if (k >= 2) sample(seq_len(k - 1), n, replace = TRUE) else rep(1L, n)
  if (n > 0 && runif(1) < 0.05) {
    codes[sample(n, 1)] <- sample(c(0L, -1L, k, k + 1L, NA_integer_, .Machine$integer.max), 1)
  }
  length(codes) <- fuzz_length(n)
  u <- runif(1)
  if (u < 0.03) return(as.double(codes))
  if (u < 0.05) return(fuzz_wrong_type(n))
  codes
}

# t and s: a positive number mostly; any number, an empty vector or another
# type sometimes.
fuzz_scale_arg <- function() {
  u <- runif(1)
  if (u < 0.75) return(abs(fuzz_double(special = 0.15)))
  if (u < 0.9) return(fuzz_double())
  if (u < 0.95) return(sample(list(numeric(0), 2L, TRUE, c(1, 2)), 1)[[1]])
  fuzz_wrong_type()
}

args_quorval <- function() {
  k <- if (runif(1) < 0.9) sample(0:9, 1, prob = c(0.03, 0.03, rep(0.94 / 8, 8))) else fuzz_size()
  n <- fuzz_size(6)
  list(N = if (runif(1) < 0.85) n else fuzz_count(n),
       K = if (runif(1) < 0.85) k else fuzz_count(k),
       y = fuzz_codes(n, k),
       c = if (runif(1) < 0.95) fuzz_cutpoints(fuzz_length(k)) else fuzz_wrong_type(k),
       m = fuzz_double_slot(n, special = 0.15),
       t = fuzz_scale_arg(), s = fuzz_scale_arg())
}

# Whether the entry's argument checks pass: counts, types, lengths, codes,
# the sign of t and s.
valid_quorval <- function(args) {
  n <- fuzz_as_count(args$N); k <- fuzz_as_count(args$K)
  if (is.na(n) || is.na(k) || n < 0 || k < 0) return(FALSE)
  if (typeof(args$y) != "integer" || length(args$y) < n) return(FALSE)
  codes <- unclass(args$y)[seq_len(n)]
  real_scalar <- function(x) typeof(x) %in% c("double", "integer", "logical") && length(x) >= 1L
  # A reciprocal sd of 0 or below (-Inf included) is refused; NaN and NA pass.
  positive <- function(x) !isTRUE(fuzz_as_real(x) <= 0)
  all(!is.na(codes) & codes >= 1L & codes <= k - 1L) &&
    fuzz_is_doubles(args$c, k) && fuzz_is_doubles(args$m, n) &&
    real_scalar(args$t) && real_scalar(args$s) && positive(args$t) && positive(args$s)
}

check_quorval <- function(args, outcome) {
  if (!valid_quorval(args)) return(fuzz_expect(outcome, "error", "a bad count, code or argument"))
  k <- fuzz_as_count(args$K)
  # Without a free cutpoint and with every code on a fixed interval (K <= 3)
  # there is nothing to compute: the cutpoints come back, accepted.
  if (k <= 3) {
    problems <- fuzz_expect(outcome, "success", "a step with K <= 3")
    if (length(problems)) return(problems)
  }
  if (!is.null(outcome$error)) return(character())
  r <- outcome$value
  if (typeof(r) != "double" || length(r) != k + 1L) return("result is not a double vector of length K + 1")
  problems <- character()
  if (!r[k + 1L] %in% c(0, 100) || (k <= 3 && r[k + 1L] != 100)) {
    problems <- sprintf("flag %a", r[k + 1L])
  }
  c <- args$c[seq_len(k)]
  p <- r[seq_len(k)]
  fixed <- intersect(c(1L, 2L, k - 1L, k), seq_len(k))
  if (k <= 4) fixed <- seq_len(k)
  if (!identical(p[fixed], c[fixed], num.eq = FALSE)) problems <- c(problems, "a fixed cutpoint changed")
  s <- fuzz_as_real(args$s)
  # Free cutpoint j (from 1): c[j] + z / s, z drawn on the standardised
  # interval from the new cutpoint below to the current one above.
  for (j in setdiff(seq_len(k), fixed)) {
    as <- s * (p[j - 1L] - c[j]); bl <- s * (c[j + 1L] - c[j])
    ends <- c[j] + c(as, bl) / s
    if (!is.finite(p[j]) ||
        !fuzz_within(p[j], min(ends), max(ends), fuzz_tolerance(c[j], ends, p[j - 1L], c[j + 1L]))) {
      problems <- c(problems, sprintf("proposed cutpoint %d = %a outside [%a, %a]", j, p[j], p[j - 1L], c[j + 1L]))
    }
  }
  problems
}
