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

test_that("the same seed gives the same draws of quorval and vaskor, fresh or later in a session", {
  first <- seeded_draws(2024, fresh = TRUE)
  expect_length(first, 40 + 7 + 1 + 20 + 4)
  expect_identical(seeded_draws(2024, fresh = TRUE), first)
  # Earlier draws move both streams; reseeding puts them back.
  invisible(rtruncnorm_qv(50, lower = 4))
  expect_identical(seeded_draws(2024), first)
  invisible(ordered_gibbs(diag(3), 0, c(-Inf, 0, 1, 2, Inf), 7))
  expect_identical(seeded_draws(2024), first)
  expect_false(identical(seeded_draws(2025), first))
})

test_that("seed 0 is the C library's seed 1, and no other seed is", {
  draws <- function(seed) {
    c_stream_seed(seed)
    list(c_rand(3), rtruncnorm_qv(5, lower = -1, upper = 1))
  }
  expect_identical(draws(0), draws(1))
  expect_false(identical(draws(0), draws(2)))
})
