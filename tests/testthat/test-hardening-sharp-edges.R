# Sharp edges met when the package was tried as a new user would.

c5 <- c(-Inf, -0.5, 0, 0.6, Inf)

test_that("the quorval entry refuses a reciprocal sd of 0 or below before drawing", {
  for (case in list(list(0, 1, "t"), list(-2, 1, "t"), list(1, 0, "s"), list(1, -0.5, "s"))) {
    used <- rand_consumed(5, err <- tryCatch(
      .Call("quorval", 2L, 5L, c(2L, 3L), c5, c(0, 1), case[[1]], case[[2]], PACKAGE = "quorval"),
      error = conditionMessage))
    expect_identical(used, 0L)
    expect_match(err, sprintf("quorval: argument '%s' must be positive, not", case[[3]]))
  }
})

test_that("NULL or a function as a count is refused with the entry's message naming it", {
  for (count in list(NULL, function() 3)) {
    type <- if (is.null(count)) "NULL" else "closure"
    expect_error(.Call("quorval", count, 5L, 2L, c5, 0, 1, 1, PACKAGE = "quorval"),
                 sprintf("quorval: argument 'N' must be a count, not of type '%s'", type), fixed = TRUE)
    expect_error(.Call("mvtrnorms", 1, 0, c(-1, 0, 1), count, 1L, PACKAGE = "vaskor"),
                 sprintf("mvtrnorms: argument 'n' must be a count, not of type '%s'", type), fixed = TRUE)
  }
})

test_that("mvtrnorms takes any starting first component, which it replaces unread", {
  A <- matrix(c(2, 0.3, 0.1, 0.3, 1, 0.2, 0.1, 0.2, 3), 3)
  run <- function(x1) {
    c_srand(8)
    .Call("mvtrnorms", A, c(0.5, 0, -0.5), c(-1, x1, 0.5, 0.7, 1), 3L, 4L, PACKAGE = "vaskor")
  }
  reference <- run(0)
  for (x1 in c(NaN, NA, Inf, -Inf, 5)) expect_identical(run(x1), reference)
  expect_true(all(is.finite(reference)))
})

test_that("cutpoint_step says that nothing was proposed when no cutpoint is free", {
  none <- cutpoint_step(c(1, 2, 3, 2), c(-Inf, 0, 1, Inf), mean = 0.5, t = 1, s = 1)
  expect_identical(none[c("cutpoints", "accepted", "proposed")],
                   list(cutpoints = c(-Inf, 0, 1, Inf), accepted = NA, proposed = FALSE))
  some <- cutpoint_step(c(1, 2, 3, 4), c5, mean = 0.5, t = 1, s = 1)
  expect_true(some$proposed)
  expect_true(is.logical(some$accepted) && !is.na(some$accepted))
})

test_that("messages name what is wrong: codes that are not numbers, a state of the wrong length", {
  expect_error(cutpoint_step(c("1", "2"), c5, 0, 1, 1),
               "'y' must hold category codes (numbers or a factor), not character", fixed = TRUE)
  expect_error(cutpoint_step(c(1, NA, 2), c5, 0, 1, 1), "without NA (element 2 is NA)", fixed = TRUE)
  expect_error(ordered_gibbs_chain(diag(2), 0, c(-Inf, 0, 1, 2, Inf), draws = 2),
               "'state' must have 4 elements", fixed = TRUE)
})
