# The seeding helper: c_stream_seed() fixes the C library stream that quorval
# and vaskor draw from.

test_that("c_stream_seed seeds the process's rand() stream", {
  c_stream_seed(42)
  a <- c_rand(5)
  c_srand(42)
  expect_identical(a, c_rand(5))
  c_stream_seed(43)
  expect_false(identical(a, c_rand(5)))
  c_stream_seed(4294967295)
  top <- c_rand(3)
  c_srand(-1L)  # the same unsigned seed, 2^32 - 1
  expect_identical(top, c_rand(3))
})

test_that("c_stream_seed and the entry refuse seeds srand cannot take", {
  for (bad in list(-1, 1.5, NA, 2^32, "1", c(1, 2))) {
    expect_error(c_stream_seed(bad), "c_stream_seed: 'seed' must be a whole number")
  }
  expect_error(.Call("crandseed", "1", PACKAGE = "crandseed"), "crandseed: argument 'seed' must be a number")
  expect_error(.Call("crandseed", c(1, 2), PACKAGE = "crandseed"), "must be one number")
  expect_error(.Call("crandseed", -3, PACKAGE = "crandseed"), "whole number in 0 ... 4294967295")
  expect_error(.Call("crandseed", NA_integer_, PACKAGE = "crandseed"), "whole number")
})

test_that("the same seed before the first draw gives the same draws of quorval and vaskor", {
  # The libraries' own generators start from the C stream at their first
  # draw, so each run is a fresh process seeded before it draws. The draws
  # cover the tails (the libraries' own generators) and the middle (rand()).
  draws <- function(seed) {
    run_rlayer_child(c(
      sprintf("c_stream_seed(%d)", seed),
      "x <- rtruncnorm_qv(40, mean = 0, sd = 1, lower = c(-Inf, -1, 3, -20), upper = c(-9, 1, Inf, 20))",
      "cp <- cutpoint_step(rep(1:6, 20), c(-Inf, 0, 0.4, 0.8, 1.2, 2, Inf), 0.9, 1, 40)",
      "v <- .Call('trunomcall', 20L, numeric(20), rep(1, 20), rep(c(-Inf, 8.5), 10), rep(c(-8.5, Inf), 10), PACKAGE = 'vaskor')",
      "g <- ordered_gibbs(matrix(c(2, 0.5, 0.5, 2), 2), 0, c(-Inf, 0, 1, Inf), 30)",
      "writeLines(sprintf('%a', c(x, cp$proposal, cp$accepted, v, g)))"))
  }
  first <- draws(2024)
  expect_length(first, 40 + 7 + 1 + 20 + 4)
  expect_identical(draws(2024), first)
  expect_false(identical(draws(2025), first))
})
