# Each regime of quorval2's sampler against the exact truncated normal
# distribution function: the Kolmogorov distance of 20000 draws after a fixed
# set.seed() must stay below the Dvoretzky-Kiefer-Wolfowitz bound for a
# failure chance of 1e-6 per regime.
qv_load("quorval2")

q2_regimes <- list(
  narrow_middle = c(-0.1, 0.1), unit_middle = c(-1, 1), wide_middle = c(-7.9, 7.9),
  right_window = c(1, 1.5), far_right_window = c(3, 3.5), left_window = c(-3.5, -3),
  half_line = c(0, Inf), above_4 = c(4, Inf), above_10 = c(10, Inf),
  negative_start_upper = c(-2, Inf), far_window = c(8.2, 9), at_upper_threshold = c(7, 8),
  below_minus_4 = c(-Inf, -4), far_lower_window = c(-9, -8.5),
  at_lower_threshold = c(-8, -7), unbounded = c(-Inf, Inf), upper_cut = c(-Inf, 1))

test_that("every regime draws from the exact truncated normal distribution", {
  n <- 20000
  set.seed(2024)
  for (name in names(q2_regimes)) {
    b <- q2_regimes[[name]]
    z <- q2_call(rep(0, n), rep(1, n), rep(b[1], n), rep(b[2], n))
    d <- kolmogorov_distance(z, function(q) ptrunc(q, b[1], b[2]))
    expect_lt(d, dkw_bound(n), label = sprintf("%s: distance %.4f", name, d))
  }
})

test_that("mean and scale reach the draws: N(m, 1/s) truncated to [lo, hi]", {
  n <- 20000
  set.seed(77)
  m <- 3; s <- 0.5; lo <- 2; hi <- 9
  z <- q2_call(rep(m, n), rep(s, n), rep(lo, n), rep(hi, n))
  d <- kolmogorov_distance(z, function(q) ptrunc(s * (q - m), s * (lo - m), s * (hi - m)))
  expect_lt(d, dkw_bound(n))
})
