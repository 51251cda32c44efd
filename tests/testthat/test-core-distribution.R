# Each regime of the sampler in every library (quorval and vaskor from the C
# library stream, quorval2 from R's) against the exact truncated normal
# distribution function: the Kolmogorov distance of 20000 draws, from a fixed
# stream, must stay below the Dvoretzky-Kiefer-Wolfowitz bound for a failure
# chance of 1e-6 per regime. A wrong case choice, a wrong acceptance test or a
# wrong scale moves the distance far beyond it.
libraries <- c("quorval", "vaskor", "quorval2")
for (lib in libraries) qv_load(lib)

regimes <- list(
  narrow_middle = c(-0.1, 0.1), wide_middle = c(-7.9, 7.9), unit_middle = c(-1, 1),
  right_of_zero = c(1, 1.5), far_right_window = c(3, 3.5), left_window = c(-3.5, -3),
  lower_half = c(0, Inf), one_sided_2 = c(2, Inf), one_sided_4 = c(4, Inf),
  far_tail_10 = c(10, Inf), far_window = c(8.2, 9), at_upper_threshold = c(7, 8),
  lower_tail = c(-Inf, -4), far_lower_window = c(-9, -8.5), at_lower_threshold = c(-8, -7),
  negative_start_upper = c(-2, Inf), unbounded = c(-Inf, Inf), upper_cut = c(-Inf, 1),
  beyond_12 = c(12, 12.5))

draw <- function(lib, n, m, s, lo, hi) {
  .Call("trunomcall", n, rep(m, n), rep(s, n), rep(lo, n), rep(hi, n), PACKAGE = lib)
}

test_that("every regime draws from the exact truncated normal distribution", {
  n <- 20000
  c_srand(2024)
  set.seed(2024)
  for (lib in libraries) {
    for (name in names(regimes)) {
      b <- regimes[[name]]
      d <- kolmogorov_distance(draw(lib, n, 0, 1, b[1], b[2]), function(q) ptrunc(q, b[1], b[2]))
      expect_lt(d, dkw_bound(n), label = sprintf("%s %s: distance %.4f", lib, name, d))
    }
  }
})

test_that("mean and scale reach the draws: N(m, 1/s) truncated to [lo, hi]", {
  n <- 20000
  c_srand(77)
  set.seed(77)
  m <- 3; s <- 0.5; lo <- 2; hi <- 9
  for (lib in libraries) {
    d <- kolmogorov_distance(draw(lib, n, m, s, lo, hi),
                             function(q) ptrunc(s * (q - m), s * (lo - m), s * (hi - m)))
    expect_lt(d, dkw_bound(n), label = sprintf("%s: distance %.4f", lib, d))
  }
})
