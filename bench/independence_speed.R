# Cost of one proposal of the independence chain (a draw, x' beta for every
# distinct covariate row, the candidate's cell log likelihood, the decision)
# at 1e5 and 1e6 cells, 5 slopes, 5 categories, one proposal per iteration:
# a timed .Call of whole runs, the median of QV_BENCH_RUNS runs (default 3).
# Two layouts: every row its own cell (continuous covariates) and four cells
# per row (counts over a few covariate patterns); cell sizes 1 to 5.
# Usage: Rscript bench/independence_speed.R  (the package from $QV_RLIB,
# default build/rlib)
options(width = 120)
suppressPackageStartupMessages(library(quorval, lib.loc = Sys.getenv("QV_RLIB", "build/rlib")))
runs <- as.integer(Sys.getenv("QV_BENCH_RUNS", "3"))
iterations <- 40L

plan_of <- function(cells, per_row, link) {
  set.seed(11)
  rows <- cells / per_row
  p <- 6L
  X <- cbind(1, matrix(rnorm(rows * (p - 1L)), rows))
  beta <- c(0.5, -0.3, 0.2, 0.1, -0.4)
  zeta <- c(-1.5, -0.5, 0.4, 1.3)
  eta <- drop(X[, -1L] %*% beta)
  # per_row distinct categories per row, the ones nearest its mean.
  centre <- pmin(pmax(findInterval(eta, zeta) + 1L - per_row %/% 2L, 1L), 5L - per_row + 1L)
  y <- as.vector(t(outer(centre, seq_len(per_row) - 1L, `+`)))
  list(method = "independence", link = link, p = p, J = 5L, X = X, offset = double(rows),
       cell_row = rep(seq_len(rows) - 1L, each = per_row), cell_y = as.integer(y),
       cell_size = as.double(sample.int(5L, cells, TRUE)), b0 = double(p - 1L), B0 = double(p - 1L),
       burnin = 0L, iter = iterations, thin = 1L, whole_df = 30, whole_moves = 1L,
       whole_centre = c(beta, zeta), whole_root = diag(1e-3, 9L), whole_mix = 0,
       beta = beta, zeta = zeta)
}

dll <- getLoadedDLLs()[["oprobitchain"]]
if (is.null(dll)) dll <- dyn.load(system.file("libs", "oprobitchain.so", package = "quorval"))
entry <- getNativeSymbolInfo("oprobit_chain", dll)
cat(sprintf("%-8s %-8s %8s %12s %12s %9s\n", "link", "cells", "per row", "ms/proposal", "us per cell", "accepted"))
for (link in c("probit", "logit", "cloglog", "cauchit")) {
  for (cells in c(1e5, 1e6)) {
    for (per_row in c(1L, 4L)) {
      plan <- plan_of(cells, per_row, link)
      .Call(entry, plan, NULL, NULL)  # untimed
      seconds <- double(runs)
      for (r in seq_len(runs)) seconds[r] <- system.time(out <- .Call(entry, plan, NULL, NULL))[["elapsed"]]
      per <- median(seconds) / iterations
      cat(sprintf("%-8s %-8.0e %8d %12.2f %12.4f %9.2f\n", link, cells, per_row, 1e3 * per, 1e6 * per / cells,
                  out$whole_accepted / out$whole_tried))
    }
  }
}
