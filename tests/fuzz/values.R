# Random arguments for the fuzz campaign, drawn from R's generator (the
# batch fixes its seed). Doubles mix ordinary numbers of every scale with the
# values that break careless code; slots can also receive an object of the
# wrong type or a vector of the wrong length.

# Values that break careless arithmetic: non-numbers, infinities, the largest
# and smallest doubles, denormals, negative zero, the samplers' thresholds,
# the square-overflow and float-overflow edges.
fuzz_specials <- c(NA, NaN, Inf, -Inf, 1e308, -1e308, .Machine$double.xmax,
                   -.Machine$double.xmax, 5e-324, -5e-324, 1e-310, -1e-310,
                   .Machine$double.xmin, 1e-300, -1e-300, 0, -0, 1, -1, 0.5, 2, -2,
                   8, -8, 7.5, -7.5, 10, -10, 40, -40, 1e154, -1e154, 1.4e154, -1.4e154,
                   2.6e19, -2.6e19, 3e19, -3e19, 1e10, -1e10, 1e200, -1e200)

# Neighbours of the samplers' thresholds and of 1, one or two ulps apart:
# these make intervals that are valid but far narrower than the tail
# sampler's proposals, so they go only where the case filter can see them.
fuzz_near_pairs <- c(8, 8 + 2 * .Machine$double.eps * 8, 8 - .Machine$double.eps * 4,
                     -8, -8 - 2 * .Machine$double.eps * 8, -8 + .Machine$double.eps * 4,
                     1, 1 + .Machine$double.eps, 1 - .Machine$double.eps / 2,
                     10, 10 + 2 * .Machine$double.eps * 8)

# One double: a special value, an ordinary number at a random scale, a
# small integer, or (with `near`) a value one ulp from another.
fuzz_double <- function(special = 0.35, near = FALSE) {
  u <- runif(1)
  if (u < special) return(sample(fuzz_specials, 1))
  if (near && u < special + 0.1) return(sample(fuzz_near_pairs, 1))
  if (u < special + 0.35) return(rnorm(1) * 10^runif(1, -3, 3))
  if (u < special + 0.5) return(as.double(sample(-3:12, 1)))
  rnorm(1, sd = 3)
}

fuzz_doubles <- function(length, special = 0.35, near = FALSE) {
  vapply(seq_len(length), function(i) fuzz_double(special, near), 0)
}

# How many elements an entry is asked to use: mostly a few, sometimes more
# than 16 doubles, so that the vectors get their own heap blocks and the
# address sanitizer sees a read or write past their end.
fuzz_size <- function(most = 5) {
  if (runif(1) < 0.85) sample(0:most, 1) else sample(17:20, 1)
}

# A length around `wanted`: mostly enough, sometimes short or empty.
fuzz_length <- function(wanted) {
  wanted <- max(wanted, 0)
  switch(sample(5, 1, prob = c(0.85, 0.05, 0.04, 0.03, 0.03)),
         wanted, max(wanted - sample(1:2, 1), 0), 0L, wanted + sample(1:3, 1),
         sample(0:6, 1))
}

# An object of a type that no slot of the entries expects (or an integer
# where doubles are read): what R code produces by mistake.
fuzz_wrong_type <- function(length = sample(0:4, 1)) {
  switch(sample(12, 1),
         NULL,
         sample(-3:5, length, replace = TRUE),
         rep(c(TRUE, NA, FALSE), length.out = length),
         as.character(round(rnorm(length), 2)),
         complex(real = rnorm(length), imaginary = 1),
         as.list(rnorm(length)),
         as.raw(seq_len(length)),
         function(x) x,
         quote(symbol),
         globalenv(),
         factor(letters[seq_len(length)]),
         expression(1 + 2))
}

# A count as R code passes it: mostly a plain integer from -3 to beyond
# `around`, else a double (fractional, huge, NA), a string, or no value.
fuzz_count <- function(around) {
  u <- runif(1)
  if (u < 0.6) return(sample(-3:(around + 3), 1))
  if (u < 0.8) return(as.double(sample(-3:(around + 3), 1)) + sample(c(0, 0.5, 0.99), 1))
  switch(sample(9, 1),
         NA_integer_, NA_real_, NaN, 1e10, -1e10, Inf, integer(0),
         as.character(sample(0:(around + 1), 1)), c(sample(0:around, 1), 99L))
}

# A double vector for a slot that reads `wanted` elements: mostly right,
# sometimes of the wrong length or another type.
fuzz_double_slot <- function(wanted, wrong_type = 0.04, ...) {
  if (runif(1) < wrong_type) return(fuzz_wrong_type(max(wanted, 0)))
  fuzz_doubles(fuzz_length(wanted), ...)
}
