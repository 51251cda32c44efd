# Argument checks and recycling shared by the wrappers. Each failure is an R
# error that names the function, the argument and what was expected.

.qv_stop <- function(fn, format, ...) {
  stop(sprintf("%s: %s", fn, sprintf(format, ...)), call. = FALSE)
}

# A count as rnorm() reads it: a vector of length above 1 stands for its length.
.qv_count <- function(x, fn, name = "n") {
  if (length(x) > 1L) return(length(x))
  if (!is.numeric(x) || length(x) != 1L || is.na(x) || x < 0 ||
      x > .Machine$integer.max || x != floor(x)) {
    .qv_stop(fn, "'%s' must be a whole number in 0 ... %d", name, .Machine$integer.max)
  }
  as.integer(x)
}

# A numeric vector recycled to `n` elements, as doubles. It may be empty only
# when n is 0.
.qv_recycled <- function(x, n, fn, name) {
  if (!is.numeric(x)) .qv_stop(fn, "'%s' must be numeric, not %s", name, class(x)[1L])
  if (length(x) == 0L && n > 0L) .qv_stop(fn, "'%s' must not be empty", name)
  rep_len(as.double(x), n)
}

# A positive finite number.
.qv_positive <- function(x, fn, name) {
  if (!is.numeric(x) || length(x) != 1L || !is.finite(x) || x <= 0) {
    .qv_stop(fn, "'%s' must be one positive finite number", name)
  }
  as.double(x)
}

# The first element (1-based) where `bad` holds, for messages.
.qv_first <- function(bad) which(bad)[1L]

# A whole number of at least `minimum` (counts) as an integer.
.qv_whole <- function(fn, x, name, minimum) {
  if (!is.numeric(x) || length(x) != 1L || !is.finite(x) || x != floor(x) || x < minimum ||
      x > .Machine$integer.max) {
    .qv_stop(fn, "'%s' must be a whole number of at least %d", name, minimum)
  }
  as.integer(x)
}

# A seed as c_stream_seed() and oprobit_mcmc() take it: a whole number in
# 0 ... 4294967295 (the range of the C library's srand()), as a double.
.qv_seed <- function(seed, fn, name = "seed") {
  if (!is.numeric(seed) || length(seed) != 1L || is.na(seed) || seed < 0 ||
      seed > 4294967295 || seed != floor(seed)) {
    .qv_stop(fn, "'%s' must be a whole number in 0 ... 4294967295", name)
  }
  as.double(seed)
}

# `x` with some of its elements replaced, its class kept.
.qv_replace <- function(x, ...) {
  values <- list(...)
  x[names(values)] <- values
  x
}
