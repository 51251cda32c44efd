# Cases for vaskor's .Call entry mvtrnorms(A, m, x, n, sweeps): ordered
# Gibbs sweeps over the n inner components of x.

# A symmetric-looking matrix with a mostly positive diagonal, as a plain
# double vector or matrix; sometimes special values anywhere.
fuzz_gibbs_matrix <- function(n) {
  a <- matrix(rnorm(n * n) * 10^runif(1, -2, 1), n, n)
  a <- a + t(a)
  diag(a) <- abs(fuzz_doubles(n, special = 0.05)) + runif(n) * n
  if (n > 0 && runif(1) < 0.15) a[sample(n * n, 1)] <- sample(fuzz_specials, 1)
  if (n > 0 && runif(1) < 0.05) diag(a)[sample(n, 1)] <- sample(c(0, -1, NaN), 1)
  if (runif(1) < 0.1) a <- as.vector(a)
  a
}

# A start state: ends (often infinite) around sorted inner components;
# sometimes out of order or with special values.
fuzz_gibbs_state <- function(n) {
  inner <- sort(fuzz_doubles(max(n, 0), special = 0.05))
  ends <- sort(fuzz_doubles(2, special = 0.2))
  if (runif(1) < 0.5) ends[1] <- -Inf
  if (runif(1) < 0.5) ends[2] <- Inf
  lower <- min(c(ends[1], inner)); upper <- max(c(ends[2], inner))
  x <- c(if (is.na(lower)) ends[1] else lower, inner, if (is.na(upper)) ends[2] else upper)
  if (runif(1) < 0.1) x <- sample(x)
  if (runif(1) < 0.1) x[sample(length(x), 1)] <- sample(fuzz_specials, 1)
  x
}

args_mvtrnorms <- function() {
  n <- if (runif(1) < 0.9) sample(0:6, 1) else sample(c(-2:-1, 19:22), 1)
  size <- max(n, 0)
  slot <- function(x, wanted) {
    if (runif(1) < 0.03) return(fuzz_wrong_type(wanted))
    if (runif(1) < 0.06) length(x) <- fuzz_length(wanted)
    x
  }
  list(A = slot(fuzz_gibbs_matrix(size), size * size),
       m = slot(fuzz_doubles(size, special = 0.05), size),
       x = slot(fuzz_gibbs_state(n), n + 2),
       n = if (runif(1) < 0.8) n else fuzz_count(size),
       sweeps = if (runif(1) < 0.8) sample(-3:5, 1) else
         sample(list(NA_integer_, NA_real_, 2.7, 30L, TRUE, integer(0), "2", NULL), 1)[[1]])
}

# The checks the entry makes before anything is drawn: NULL when they pass,
# else TRUE (the call must be refused).
gibbs_layout <- function(args) {
  n <- fuzz_as_count(args$n)
  if (is.na(n) || n < -2 || !typeof(args$sweeps) %in% c("logical", "integer", "double")) return(NULL)
  size <- max(n, 0)
  if (!fuzz_is_doubles(args$m, if (n > 1) n else 0) || !fuzz_is_doubles(args$A, size * size) ||
      !fuzz_is_doubles(args$x, n + 2)) return(NULL)
  sweeps <- fuzz_as_count(args$sweeps)
  list(n = n, draws = n > 0 && !is.na(sweeps) && sweeps > 0)
}

# The first component's start (x[2]) is replaced unread: any value passes.
gibbs_values_valid <- function(args, n) {
  a <- matrix(args$A[seq_len(n * n)], n, n)
  x <- args$x
  all(is.finite(diag(a)) & diag(a) > 0) && all(is.finite(a[lower.tri(a)])) &&
    (n == 1 || all(is.finite(args$m[seq_len(n)]))) && all(is.finite(x[seq_len(n - 1L) + 2L])) &&
    !is.na(x[1]) && x[1] != Inf && !is.na(x[n + 2]) && x[n + 2] != -Inf
}

check_mvtrnorms <- function(args, outcome) {
  layout <- gibbs_layout(args)
  if (is.null(layout)) return(fuzz_expect(outcome, "error", "a bad count or argument"))
  n <- layout$n
  if (!layout$draws) {
    problems <- fuzz_expect(outcome, "success", "a call without sweeps")
    if (length(problems)) return(problems)
    if (!identical(outcome$value, args$x[seq_len(n + 2)], num.eq = FALSE)) return("start state not returned unchanged")
    return(character())
  }
  if (!gibbs_values_valid(args, n)) return(fuzz_expect(outcome, "error", "a value that is not a number or infinite"))
  if (!is.null(outcome$error)) return(character())
  r <- outcome$value
  if (typeof(r) != "double" || length(r) != n + 2) return("result is not a double vector of length n + 2")
  problems <- character()
  if (!identical(r[c(1, n + 2)], args$x[c(1, n + 2)], num.eq = FALSE)) problems <- "end values changed"
  if (anyNA(r) && !"NAs produced" %in% outcome$warnings) {
    problems <- c(problems, "NaN in the result without the warning 'NAs produced'")
  }
  # Every update lies between its neighbours up to the rounding of
  # centre + z / s; the centres are bounded by the matrix and the states.
  a <- abs(matrix(args$A[seq_len(n * n)], n, n))
  a[upper.tri(a)] <- t(a)[upper.tri(a)]
  states <- abs(c(args$x, r)); states <- max(states[is.finite(states)], 0)
  locations <- if (n > 1) abs(args$m[seq_len(n)]) else 0
  centres <- (a %*% (states + locations)) / diag(a)
  tol <- 64 * fuzz_tolerance(centres, states)
  steps <- diff(r)
  if (any(!is.na(steps) & steps < -tol)) {
    problems <- c(problems, sprintf("result out of order: %s", paste(sprintf("%a", r), collapse = " ")))
  }
  problems
}
