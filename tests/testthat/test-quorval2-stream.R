# quorval2 and R's seed: reproducible draws, the stream advanced by exactly
# the calls made, nothing taken by empty calls, and R's stored seed left in
# place when a call fails.
qv_load("quorval2")

# Evaluates expr with R's output and message streams captured and dropped.
silenced <- function(expr) invisible(capture.output(capture.output(expr, type = "message")))

middle <- list(m = c(0, 1, -2), s = c(1, 2, 0.5), lo = c(-1, 0.5, -3), hi = c(1, 3, 4))

test_that("the same seed and arguments give the same vector; another seed does not", {
  set.seed(42); first <- q2_call(middle$m, middle$s, middle$lo, middle$hi)
  set.seed(42); second <- q2_call(middle$m, middle$s, middle$lo, middle$hi)
  set.seed(43); other <- q2_call(middle$m, middle$s, middle$lo, middle$hi)
  expect_identical(first, second)
  expect_false(any(first == other))
})

test_that("a call advances R's stream and successive calls continue it", {
  set.seed(5); q2_call(0, 1, -1, 1); after_call <- runif(4)
  set.seed(5); without_call <- runif(4)
  expect_false(any(after_call == without_call))

  set.seed(6)
  in_two_calls <- c(q2_call(middle$m[1:2], middle$s[1:2], middle$lo[1:2], middle$hi[1:2]),
                    q2_call(middle$m[3], middle$s[3], middle$lo[3], middle$hi[3]))
  set.seed(6)
  expect_identical(in_two_calls, q2_call(middle$m, middle$s, middle$lo, middle$hi))
})

test_that("a count of 0 returns an empty vector, takes nothing, and stores R's seed", {
  set.seed(11)
  stored <- .Random.seed
  expect_identical(q2_call(double(), double(), double(), double(), n = 0L), double())
  expect_identical(.Random.seed, stored)

  # Without a stored seed, only a load and a store bracketing the (empty)
  # loop leave one behind.
  rm(".Random.seed", envir = globalenv())
  on.exit(assign(".Random.seed", stored, envir = globalenv()))
  q2_call(double(), double(), double(), double(), n = 0L)
  expect_true(exists(".Random.seed", envir = globalenv(), inherits = FALSE))
})

test_that("bounds out of order end the call with an R error and leave R's seed in place", {
  set.seed(12)
  stored <- .Random.seed
  # The error comes at the third element, after two draws.
  lo <- c(-1, 0, 2); hi <- c(1, Inf, 1)
  expect_fatal_report(q2_call(c(0, 0, 0), c(1, 1, 1), lo, hi), "Error: as>bl\n",
                      stdout = "as=      2.000000, bl=      1.000000")
  expect_identical(.Random.seed, stored)
  # The stream goes on from where it stood before the failed call.
  expect_identical(runif(1), { set.seed(12); runif(1) })
})

test_that("a negative multiplier swaps the bounds into an error", {
  set.seed(13)
  stored <- .Random.seed
  expect_error(silenced(q2_call(0, -1, 0, 1)), "as>bl")
  expect_identical(.Random.seed, stored)
})

test_that("bounds no draw can fill are errors, not endless loops", {
  set.seed(14)
  stored <- .Random.seed
  for (b in list(c(Inf, Inf), c(-Inf, -Inf))) {
    expect_error(silenced(q2_call(0, 1, b[1], b[2])), "both infinite on the same side")
  }
  expect_error(silenced(call_d_d("onetn", "quorval2", Inf)), "onetn bound is \\+Inf")
  expect_identical(.Random.seed, stored)
  # Equal bounds in a tail are the one point the interval holds, with no draw.
  expect_identical(q2_call(c(0, 0), c(1, 1), c(9, -10), c(9, -10)), c(9, -10))
  expect_identical(.Random.seed, stored)
})

test_that("bounds that are not numbers give NaN, one warning, and take nothing", {
  set.seed(15)
  clean <- q2_call(middle$m, middle$s, middle$lo, middle$hi)
  set.seed(15)
  expect_warning(
    z <- q2_call(c(0, middle$m[1:2], 0, middle$m[3]), c(1, middle$s[1:2], NA, middle$s[3]),
                 c(NaN, middle$lo[1:2], 0, middle$lo[3]), c(1, middle$hi[1:2], 1, middle$hi[3])),
    "NAs produced")
  expect_true(is.na(z[1]) && is.na(z[4]))
  expect_identical(z[-c(1, 4)], clean)
})

test_that("draws touch neither the C library stream nor the library's own generator", {
  tail_args <- list(m = rep(0, 50), s = rep(1, 50), lo = rep(c(4, -Inf), 25), hi = rep(c(Inf, -0.5), 25))
  expect_identical(rand_consumed(99, q2_call(tail_args$m, tail_args$s, tail_args$lo, tail_args$hi)), 0L)

  restart <- function() call_seeded("ran3", "quorval2", -7L, 3L)
  restart(); undisturbed <- call_seeded("ran3", "quorval2", 1L, 5L)
  restart(); q2_call(tail_args$m, tail_args$s, tail_args$lo, tail_args$hi)
  expect_identical(call_seeded("ran3", "quorval2", 1L, 5L), undisturbed)
})

test_that("independent L'Ecuyer-CMRG streams give reproducible, distinct chains", {
  old <- RNGkind()
  on.exit(RNGkind(old[1], old[2], old[3]))
  RNGkind("L'Ecuyer-CMRG")
  set.seed(2024)
  streams <- list(.Random.seed)
  for (k in 2:3) streams[[k]] <- parallel::nextRNGStream(streams[[k - 1]])
  chain <- function(stream) {
    assign(".Random.seed", stream, envir = globalenv())
    q2_call(rep(0, 20), rep(1, 20), rep(-1, 20), rep(2, 20))
  }
  in_order <- lapply(streams, chain)
  forked <- parallel::mclapply(streams, chain, mc.cores = 2)
  expect_identical(forked, in_order)
  expect_false(any(in_order[[1]] == in_order[[2]]))
  expect_false(any(in_order[[2]] == in_order[[3]]))
})
