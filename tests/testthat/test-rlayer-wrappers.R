# The R layer's wrappers: argument checks, recycling, the choice of stream.

test_that("rtruncnorm_qv recycles its parameters like rnorm and keeps every draw in its interval", {
  x <- rtruncnorm_qv(7, mean = c(0, 10), sd = c(1, 2), lower = c(-1, 9), upper = c(1, 11))
  expect_length(x, 7)
  odd <- seq(1, 7, by = 2)
  expect_true(all(x[odd] >= -1 & x[odd] <= 1))
  expect_true(all(x[-odd] >= 9 & x[-odd] <= 11))
  expect_length(rtruncnorm_qv(c(5, 5, 5), stream = "r"), 3)
  expect_identical(rtruncnorm_qv(0), numeric(0))
  expect_identical(rtruncnorm_qv(0, mean = numeric(0)), numeric(0))
  y <- rtruncnorm_qv(4, lower = c(-Inf, 2), upper = c(-3, Inf), stream = "r")
  expect_true(y[1] <= -3 && y[3] <= -3 && y[2] >= 2 && y[4] >= 2)
})

test_that("rtruncnorm_qv refuses what would stop the sampler, naming the argument", {
  expect_error(rtruncnorm_qv(-1), "rtruncnorm_qv: 'n' must be a whole number")
  expect_error(rtruncnorm_qv(NA), "'n' must be a whole number")
  expect_error(rtruncnorm_qv(2.5), "'n' must be a whole number")
  expect_error(rtruncnorm_qv(3, mean = "a"), "'mean' must be numeric")
  expect_error(rtruncnorm_qv(3, sd = numeric(0)), "'sd' must not be empty")
  expect_error(rtruncnorm_qv(3, sd = c(1, 0)), "'sd' must be positive and finite \\(element 2 is 0\\)")
  # As rnorm: a negative sd is NaN with one warning (see the test of R's convention below).
  expect_warning(expect_identical(rtruncnorm_qv(3, sd = -1), rep(NaN, 3)), "NAs produced")
  expect_error(rtruncnorm_qv(3, sd = Inf), "'sd' must be positive")
  expect_error(rtruncnorm_qv(3, mean = c(0, 0, Inf)), "'mean' must be finite \\(element 3")
  expect_warning(expect_true(is.nan(rtruncnorm_qv(3, lower = 2, upper = c(3, 1))[2])), "NAs produced")
  expect_warning(expect_identical(rtruncnorm_qv(1, lower = Inf, upper = Inf), NaN), "NAs produced")
  expect_error(rtruncnorm_qv(1, stream = "x"), "'arg' should be one of")
})

test_that("an NA parameter gives a NaN draw and one warning, the other draws stand", {
  for (stream in c("c", "r")) {
    expect_warning(x <- rtruncnorm_qv(3, mean = c(0, NA, 0), lower = -1, upper = 1, stream = stream),
                   "NAs produced")
    expect_true(is.nan(x[2]))  # NaN, not NA, in every build
    expect_true(all(abs(x[-2]) <= 1))
  }
})

# Warnings of one call, counted.
warnings_of <- function(expr) {
  said <- character(0)
  value <- withCallingHandlers(expr, warning = function(w) {
    said <<- c(said, conditionMessage(w))
    invokeRestart("muffleWarning")
  })
  list(value = value, warnings = said)
}

test_that("rtruncnorm_qv follows R's convention element by element: NaN and one warning, the point where lower == upper", {
  for (stream in c("c", "r")) {
    got <- warnings_of(rtruncnorm_qv(8, mean = c(0, 0, 0, 0, 0, 3, 0, 0), sd = c(1, 1, 1, -2, 1, 1, 1, 1),
                                     lower = c(-1, 2, -Inf, -1, 0.5, 0.5, NA, -1),
                                     upper = c(1, 1, -Inf, 1, 0.5, 0.5, 1, NA), stream = stream))
    expect_identical(got$warnings, "NAs produced")
    expect_true(all(is.nan(got$value[c(2, 3, 4, 7, 8)])))
    expect_identical(got$value[5:6], c(0.5, 0.5))
    expect_true(abs(got$value[1]) <= 1)
    # NA in either bound behaves alike.
    for (bound in list(list(lower = NA_real_), list(upper = NA_real_))) {
      got <- warnings_of(do.call(rtruncnorm_qv, c(list(2, stream = stream), bound)))
      expect_identical(got, list(value = c(NaN, NaN), warnings = "NAs produced"))
    }
  }
  # Standardised bounds both +Inf (sd 1e-3, mean -1e308): the lower bound, no error of the sampler.
  expect_identical(rtruncnorm_qv(1, mean = -1e308, sd = 1e-3, lower = 5), 5)
  expect_identical(rtruncnorm_qv(2, mean = 1e308, sd = 1e-3, upper = -5, stream = "r"), c(-5, -5))
  # An sd whose reciprocal overflows: the point nearest to the mean.
  expect_identical(rtruncnorm_qv(3, mean = c(0.25, -3, 3), sd = 1e-320, lower = 0, upper = 1), c(0.25, 0, 1))
})

test_that("rtruncnorm_qv keeps every draw in its interval over an adversarial grid, on both streams", {
  means <- c(-1e308, -1e17, -1e10, -40, -5, 0, 3, 1e10, 1e16, 1e17, 1e308)
  sds <- c(1e-300, 1e-3, 1, 3, 1e10, 1e300)
  intervals <- list(c(1, 2), c(0, 1), c(-40, -39), c(5, Inf), c(-Inf, -3), c(-Inf, Inf), c(2, 2),
                    c(1e10, 1e10 + 1e-5), c(1e16, 1e16 + 4), c(-1e308, 1e308), c(-1e308, -1e307),
                    c(10, 10 + 1e-15), c(-1, -1 + 2^-40), c(1e300, Inf))
  grid <- expand.grid(mean = means, sd = sds, interval = seq_along(intervals))
  lower <- vapply(intervals, `[`, 0, 1)[grid$interval]
  upper <- vapply(intervals, `[`, 0, 2)[grid$interval]
  c_stream_seed(12)
  set.seed(12)
  for (stream in c("c", "r")) {
    for (repeats in 1:3) {
      x <- rtruncnorm_qv(nrow(grid), grid$mean, grid$sd, lower, upper, stream = stream)
      expect_false(anyNA(x))
      outside <- which(!(x >= lower & x <= upper))
      expect_identical(outside, integer(0), info = paste(stream, paste(outside, collapse = " ")))
    }
  }
  # Far from the interval, on the near bound's side, to double precision.
  for (stream in c("c", "r")) {
    expect_true(all(rtruncnorm_qv(20, mean = 1e17, lower = 1, upper = 2, stream = stream) > 2 - 1e-12))
    expect_true(all(rtruncnorm_qv(20, mean = 1e16, lower = 0, upper = 1, stream = stream) > 1 - 1e-12))
    expect_identical(rtruncnorm_qv(50, mean = 1e308, sd = 3, lower = -40, upper = -39, stream = stream), rep(-39, 50))
    x <- rtruncnorm_qv(2000, mean = -1e10, sd = 1, lower = 0, upper = 1, stream = stream)
    expect_true(all(x >= 0) && abs(mean(x) / 1e-10 - 1) < 0.1)  # exponential, mean sd^2 / D
  }
})

test_that("draws on the interval's own scale have the truncated normal's distribution", {
  # The exact distribution function of N(mean, sd) on [lower, upper], mean below lower.
  cdf <- function(x, mean, sd, lower, upper) {
    tail <- function(v) stats::pnorm((v - mean) / sd, lower.tail = FALSE)
    (tail(lower) - tail(pmin(pmax(x, lower), upper))) / (tail(lower) - tail(upper))
  }
  shifted <- getFromNamespace(".qv_truncnorm_shifted", "quorval")
  cases <- list(list(mean = 0, sd = 1, lower = 3, upper = 4),      # exponential part, d >= 1
                list(mean = 0, sd = 2, lower = 1, upper = 2.5),    # width below one sd, d < 1
                list(mean = 0, sd = 1, lower = 0.5, upper = 6),    # the library's shifted problem
                list(mean = 0, sd = 1, lower = 0.25, upper = Inf),
                list(mean = 10, sd = 1, lower = 6, upper = 8))     # mean above: from the upper bound
  c_stream_seed(21)
  set.seed(21)
  for (library in c("quorval", "quorval2")) {
    for (case in cases) {
      k <- 4000
      x <- shifted(library, rep(case$mean, k), rep(case$sd, k), rep(case$lower, k), rep(case$upper, k))
      if (case$mean > case$upper) {  # mirrored
        x <- -x
        case <- list(mean = -case$mean, sd = case$sd, lower = -case$upper, upper = -case$lower)
      }
      p <- suppressWarnings(stats::ks.test(x, cdf, case$mean, case$sd, case$lower, case$upper)$p.value)
      expect_gt(p, 1e-3)
    }
  }
})

test_that("stream 'r' is quorval2's trunomcall on R's seed, with s = 1 / sd", {
  set.seed(11)
  a <- rtruncnorm_qv(50, mean = 1, sd = 0.5, lower = 0, upper = 3, stream = "r")
  set.seed(11)
  b <- .Call("trunomcall", 50L, rep(1, 50), rep(2, 50), rep(0, 50), rep(3, 50), PACKAGE = "quorval2")
  expect_identical(a, b)
  set.seed(11)
  expect_false(identical(runif(1), {set.seed(11); rtruncnorm_qv(5, stream = "r"); runif(1)}))
})

test_that("stream 'c' is quorval's trunomcall on the C stream and leaves R's stream alone", {
  # Bounds within the middle region: the draws take nothing but rand() values,
  # so re-seeding the C stream repeats them.
  c_stream_seed(5)
  a <- rtruncnorm_qv(50, mean = 1, sd = 0.5, lower = 0, upper = 3, stream = "c")
  c_stream_seed(5)
  b <- .Call("trunomcall", 50L, rep(1, 50), rep(2, 50), rep(0, 50), rep(3, 50), PACKAGE = "quorval")
  expect_identical(a, b)
  set.seed(3)
  u <- runif(1)
  set.seed(3)
  rtruncnorm_qv(20, stream = "c")
  expect_identical(runif(1), u)
})

test_that("cutpoint_step keeps the fixed cutpoints, continues from the proposal only when accepted", {
  y <- rep(1:5, c(10, 30, 40, 30, 10))
  cuts <- c(-Inf, 0, 1, 2, 3, Inf)
  decisions <- logical(0)
  for (s in c(0.5, 2, 50)) {
    for (i in 1:30) {
      step <- cutpoint_step(y, cuts, mean = 1.5, t = 1, s = s)
      expect_identical(step$proposal[c(1, 2, 5, 6)], cuts[c(1, 2, 5, 6)])
      expect_false(is.unsorted(step$proposal))
      expect_identical(step$cutpoints, if (step$accepted) step$proposal else cuts)
      decisions <- c(decisions, step$accepted)
    }
  }
  expect_true(any(decisions) && !all(decisions))
})

test_that("cutpoint_step recycles the mean and takes factors as codes", {
  y <- rep(1:5, c(10, 30, 40, 30, 10))
  cuts <- c(-Inf, 0, 1, 2, 3, Inf)
  # s = 2 keeps the proposal bounds in the middle region: rand() values only.
  c_stream_seed(9)
  a <- cutpoint_step(y, cuts, mean = 1.4, t = 1.2, s = 2)
  c_stream_seed(9)
  b <- cutpoint_step(factor(y), cuts, mean = rep(1.4, length(y)), t = 1.2, s = 2)
  c_stream_seed(9)
  raw <- .Call("quorval", length(y), 6L, y, cuts, rep(1.4, length(y)), 1.2, 2, PACKAGE = "quorval")
  expect_identical(a, b)
  expect_identical(a$proposal, raw[1:6])
  expect_identical(a$accepted, raw[7] == 100)
})

test_that("cutpoint_step refuses codes, cutpoints and scalars the step cannot use", {
  y <- c(1, 2, 3)
  cuts <- c(-Inf, 0, 1, 2, Inf)
  expect_error(cutpoint_step(c(1, 5), cuts, 0, 1, 1), "codes in 1 \\.\\.\\. 4 \\(element 2 is 5\\)")
  expect_error(cutpoint_step(c(1, 1.5), cuts, 0, 1, 1), "whole category codes")
  expect_error(cutpoint_step(c(1, NA), cuts, 0, 1, 1), "without NA")
  expect_error(cutpoint_step(y, c(-Inf, 0, 2, 1, Inf), 0, 1, 1), "non-decreasing")
  expect_error(cutpoint_step(y, c(-Inf, 0, Inf, 2, Inf), 0, 1, 1), "finite apart from")
  expect_error(cutpoint_step(y, cuts, c(0, NA), 1, 1), "'mean' must be finite")
  expect_error(cutpoint_step(y, cuts, 0, 0, 1), "'t' must be one positive finite number")
  expect_error(cutpoint_step(y, cuts, 0, 1, c(1, 2)), "'s' must be one positive")
})

test_that("ordered_gibbs keeps the ends and the order, and recycles m", {
  A <- matrix(c(1, 0.3, 0.1, 0.3, 1, 0.3, 0.1, 0.3, 1), 3)
  start <- c(-1, -0.5, 0, 0.5, 1)
  x <- ordered_gibbs(A, c(0.2, 0.2, 0.2), start, sweeps = 25)
  expect_length(x, 5)
  expect_identical(x[c(1, 5)], c(-1, 1))
  expect_false(is.unsorted(x))
  # Finite ends and a unit diagonal keep every draw in the middle region.
  c_stream_seed(4)
  a <- ordered_gibbs(A, 0.2, start, sweeps = 5)
  c_stream_seed(4)
  b <- .Call("mvtrnorms", A, rep(0.2, 3), start, 3L, 5L, PACKAGE = "vaskor")
  expect_identical(a, b)
  expect_identical(ordered_gibbs(A, 0.2, start, sweeps = 0), start)
})

test_that("ordered_gibbs refuses states and matrices the sweeps cannot use", {
  A <- diag(2)
  expect_error(ordered_gibbs(A, 0, c(0, 2, 1, 3)), "non-decreasing")
  expect_error(ordered_gibbs(A, 0, c(0, NA, 1, 3)), "'state' must be a numeric vector")
  expect_error(ordered_gibbs(A, 0, c(0, Inf, Inf, Inf)), "finite inner components")
  expect_error(ordered_gibbs(diag(3), 0, c(0, 1, 2, 3)), "'state' must have 5 elements (the two end values around the 3 components of 'A'), not 4", fixed = TRUE)
  expect_error(ordered_gibbs(matrix(1, 2, 3), 0, c(0, 1, 2, 3)), "numeric 2 x 2 matrix")
  expect_error(ordered_gibbs(matrix(c(1, 0.5, 0, 1), 2), 0, c(0, 1, 2, 3)), "symmetric")
  expect_error(ordered_gibbs(diag(c(1, 0)), 0, c(0, 1, 2, 3)), "positive diagonal")
  expect_error(ordered_gibbs(A, 0, c(0, 1, 2, 3), sweeps = -1), "'sweeps' must be a whole number")
})

test_that("ordered_gibbs_target gives the sweeps the target's full conditional means", {
  sigma <- 0.5^abs(outer(1:4, 1:4, "-")) + 0.3
  mu <- c(-1, 0.5, 0.2, 2)
  target <- ordered_gibbs_target(mu, sigma)
  precision <- solve(sigma)
  set.seed(2)
  for (rep in 1:5) {
    x <- rnorm(4)
    for (i in 1:4) {
      centre <- sum(target$A[i, -i] * (x[-i] - target$m[-i])) / target$A[i, i]
      conditional <- mu[i] - sum(precision[i, -i] * (x[-i] - mu[-i])) / precision[i, i]
      expect_equal(centre, conditional, tolerance = 1e-10)
    }
  }
  expect_equal(diag(target$A), diag(precision))
  expect_error(ordered_gibbs_target(1, matrix(1)), "cannot be set through the location vector")
  expect_error(ordered_gibbs_target(c(0, 0), diag(c(1, -1))), "positive definite")
})

test_that("cutpoint_step rejects proposals the reverse move could not produce, unless asked not to", {
  y <- rep(1:6, c(5, 10, 10, 10, 10, 5))
  cuts <- c(-Inf, 0, 0.3, 0.6, 0.9, 1.2, Inf)
  free <- 3:5
  crossings <- 0L
  # Wide proposals (s = 0.5) keep every draw in the middle case: rand() only,
  # so reseeding replays the same proposal.
  for (i in 1:300) {
    c_stream_seed(i)
    plain <- cutpoint_step(y, cuts, mean = 0.6, t = 1, s = 0.5, reversible = FALSE)
    c_stream_seed(i)
    exact <- cutpoint_step(y, cuts, mean = 0.6, t = 1, s = 0.5)
    expect_identical(exact$proposal, plain$proposal)
    crossed <- any(cuts[free] > plain$proposal[free + 1L])
    crossings <- crossings + crossed
    expect_identical(exact$accepted, plain$accepted && !crossed)
  }
  expect_gt(crossings, 10L)
})

test_that("ordered_gibbs_target's check of the reachable mean does not depend on the scale of sigma", {
  correlated <- matrix(0.5, 2, 2) + diag(0.5, 2)
  base <- ordered_gibbs_target(c(1, 2), correlated)
  for (scale in 10^c(-10, -3, 3, 10)) {
    expect_error(ordered_gibbs_target(c(1, 2), diag(2) * scale), "cannot be set through the location vector")
    expect_error(ordered_gibbs_target(c(1, 2) * sqrt(scale), diag(2) * scale), "cannot be set through")
    target <- ordered_gibbs_target(c(1, 2), correlated * scale)
    expect_equal(target$m, base$m, tolerance = 1e-9)
    expect_equal(target$A, base$A / scale, tolerance = 1e-9)
  }
  # A zero mean is reached with any sigma, a diagonal one included.
  expect_identical(ordered_gibbs_target(c(0, 0), diag(2) * 1e10)$m, c(0, 0))
})

test_that("ordered_gibbs refuses an 'm' whose centres the sweep cannot resolve, before drawing", {
  A2 <- ordered_gibbs_target(c(0, 1), matrix(0.5, 2, 2) + diag(0.5, 2))$A
  A3 <- ordered_gibbs_target(c(0, 0, 0), matrix(0.5, 3, 3) + diag(0.5, 3))$A
  cases <- list(list(A2, -1e308, c(-3, -0.87, -0.01, 3)),    # draws of rounding noise
                list(A3, -1e308, c(-Inf, -1, 0, 1, Inf)),   # overflow: the entry's fatal error
                list(A3, 1e308, c(-Inf, -1, 0, 1, Inf)),
                list(A3, 1e300, c(-3, -1, 0, 1, 3)),        # components below the lower end
                list(A3, c(0, 0, 1e20), c(-Inf, -1, 0, 1, Inf)))
  for (case in cases) {
    c_stream_seed(2)
    expect_error(ordered_gibbs(case[[1]], case[[2]], case[[3]], sweeps = 10), "ordered_gibbs: 'm' is out of range")
    expect_error(ordered_gibbs_chain(case[[1]], case[[2]], case[[3]], draws = 2), "ordered_gibbs_chain: 'm' is out of range")
    after <- c_rand(2)
    c_stream_seed(2)
    expect_identical(after, c_rand(2))
  }
  # A non-positive-definite A with huge off-diagonal entries: 'A' is named.
  expect_error(ordered_gibbs(matrix(c(1, 1e300, 1e300, 1), 2), 0, c(-3, -1, 1, 3)), "'A' is out of range")
  # Large but resolvable: a mean of 1e10 (its state on that scale), and any m with a diagonal A.
  target <- ordered_gibbs_target(c(1e10, 1e10 + 1), matrix(0.5, 2, 2) + diag(0.5, 2))
  x <- ordered_gibbs(target$A, target$m, c(-Inf, 1e10, 1e10 + 1, Inf), sweeps = 20)
  expect_true(all(abs(x[2:3] - 1e10) < 20) && x[2] <= x[3])
  x <- ordered_gibbs(diag(2), -1e308, c(-3, -1, 1, 3), sweeps = 5)
  expect_true(all(x[2:3] >= -3 & x[2:3] <= 3) && x[2] <= x[3])
})

test_that("cutpoint_step refuses a 'reversible' that is not TRUE or FALSE, before drawing", {
  y <- c(1, 2, 3, 4, 5)
  cuts <- c(-Inf, 0, 0.8, 1.6, 2.5, 3, Inf)
  for (bad in list(NA, 1, "TRUE", c(TRUE, FALSE), logical(0), NULL)) {
    c_stream_seed(8)
    expect_error(cutpoint_step(y, cuts, mean = 1, t = 1, s = 4, reversible = bad),
                 "cutpoint_step: 'reversible' must be TRUE or FALSE")
    after <- c_rand(2)
    c_stream_seed(8)
    expect_identical(after, c_rand(2))
  }
})

test_that("ordered_gibbs_chain collects what repeated ordered_gibbs calls give", {
  A <- matrix(c(2, -0.6, 0, -0.6, 2, -0.6, 0, -0.6, 2), 3)
  start <- c(0, 0.5, 1, 1.5, 3)  # finite ends: middle-case draws, rand() only
  c_stream_seed(21)
  chain <- ordered_gibbs_chain(A, 0.3, start, draws = 40, sweeps = 2)
  c_stream_seed(21)
  x <- start
  by_hand <- t(vapply(1:40, function(k) {
    x <<- ordered_gibbs(A, 0.3, x, sweeps = 2)
    x[2:4]
  }, numeric(3)))
  expect_identical(chain, by_hand)
  expect_identical(dim(ordered_gibbs_chain(A, 0.3, start, draws = 0)), c(0L, 3L))
})

test_that("ordered_gibbs allows the rounding of a draw in the order check, not more", {
  A <- diag(2)
  one_ulp_below <- c(0, 0.7, 0.7 - .Machine$double.eps / 2, 2)
  expect_length(ordered_gibbs(A, 0, one_ulp_below, sweeps = 1), 4)
  expect_error(ordered_gibbs(A, 0, c(0, 0.7, 0.69, 2)), "non-decreasing")
})
