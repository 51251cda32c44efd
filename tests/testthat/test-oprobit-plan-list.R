# The chain's plan as the R layer writes it and the driver reads it: no
# element the driver derives, the driver's own choices (whole-point moves,
# starting proposal precisions), and refusals that name the element.

chain_plan <- function(d, iter = 20L) {
  s <- oprobit_plan(oprobit_data(oprobit_frame(y ~ x, data = d), units = TRUE),
                    control = oprobit_control(method = "augmented"), iter = iter, burnin = 10L)
  .oprobit_plan_list(s, s$start, s$control)
}
run_plan <- function(plan) {
  c_stream_seed(3)  # loads quorval again: its entries' addresses after it
  set.seed(3)
  entries <- lapply(c("quorval", "trunomcall"), function(e) getNativeSymbolInfo(e, "quorval")$address)
  .Call("oprobit_chain", plan, entries, NULL, PACKAGE = "oprobitchain")
}

test_that("the driver derives the moves' settings from the data and takes a count of moves as given", {
  # 60 units in 6 cells, 20 per category; no tuning within 10 burn-in iterations.
  d <- data.frame(y = factor(rep(1:3, 20), ordered = TRUE), x = factor(rep(1:2, each = 30)))
  plan <- chain_plan(d)
  derived <- c("cell_row", "cell_y", "cell_size", "move_row", "move_code", "move_mirrored", "s_start", "t_by_slice",
               "flat", "gamma_shape", "report_every", "whole_newton")
  expect_false(any(derived %in% names(plan)))
  out <- run_plan(plan)
  expect_equal(out$whole_tried, 4 * 20)  # four moves an iteration: 4 cells per unit at most
  expect_equal(out$s, rep(0.5 * sqrt(40), 2))
  plan$whole_moves <- 3L
  expect_equal(run_plan(plan)$whole_tried, 3 * 20)
  plan$whole_moves <- -1L
  expect_error(run_plan(plan), "'whole_moves'")
})

test_that("the group part's sd prior is read by name and anything else refused", {
  d <- data.frame(y = factor(rep(1:3, 10), ordered = TRUE), x = seq(-1, 1, length.out = 30))
  plan <- chain_plan(d)
  plan[c("whole_centre", "whole_root")] <- list(NULL)
  n <- plan$n
  term <- list(q = 1L, levels = 2L, level = rep(0:1, length.out = n), d = rep(1, n), shift = -1L, u = c(0, 0),
               sd = 0.5)
  plan$groups <- list(terms = list(term), sd_prior = "normal", df = 3, scale = 1, keep_effects = FALSE)
  out <- run_plan(plan)
  expect_equal(dim(out$groups$draws), c(20L, 1L))
  expect_equal(out$whole_tried, 2 * 20)  # Newton moves, two an iteration for few units
  plan$groups$sd_prior <- "cauchy"
  expect_error(run_plan(plan), "'sd_prior'")
  plan$groups$sd_prior <- 1L
  expect_error(run_plan(plan), "'sd_prior'")
})
