# Microseconds per Gibbs sweep of vaskor's mvtrnorms for n = 5, 19 and 50, and
# of tmvtnorm's Gibbs sampler (Fortran) on the same target, when installed.
# Usage: Rscript bench/mvtrnorms_sweep.R   (libraries from $QV_BUILD_DIR, default build/)
#
# Target: lower end -Inf, upper end 3; A with 1 on the diagonal and 0.3 next to
# it, so the invariant normal has precision Q = 2 diag(A) - A (tridiagonal,
# positive definite) and mean Q^-1 b with b = -(A - diag(A)) m. Ordered, as
# linear constraints for tmvtnorm: x[k+1] - x[k] >= 0 and x[n] <= 3.
build <- Sys.getenv("QV_BUILD_DIR", "build")
dyn.load(file.path(build, "vaskor.so"))
runs <- as.integer(Sys.getenv("QV_BENCH_RUNS", "5"))
have_tmvtnorm <- suppressPackageStartupMessages(requireNamespace("tmvtnorm", quietly = TRUE))

target <- function(n) {
  A <- diag(n)
  A[abs(row(A) - col(A)) == 1] <- 0.3
  m <- seq(-1, 1, length.out = n)
  upper_end <- 3
  x <- c(-Inf, seq(-2, 2, length.out = n), upper_end)
  Q <- 2 * diag(diag(A)) - A
  b <- -drop((A - diag(diag(A))) %*% m)
  D <- diag(n)
  if (n > 1) D[cbind(1:(n - 1), 2:n)] <- 1
  D[cbind(1:(n - 1), 1:(n - 1))] <- -1
  list(A = A, m = m, x = x, sigma = solve(Q), mean = solve(Q, b), D = D,
       lower = c(rep(0, n - 1), -Inf), upper = c(rep(Inf, n - 1), upper_end))
}

median_seconds <- function(f) {
  median(vapply(seq_len(runs), function(i) system.time(f())[["elapsed"]], numeric(1)))
}

rows <- lapply(c(5L, 19L, 50L), function(n) {
  t <- target(n)
  sweeps <- as.integer(1e6 / n)
  # Burn in, then time one call of many sweeps from the stationary state.
  x <- .Call("mvtrnorms", t$A, t$m, t$x, n, 1000L, PACKAGE = "vaskor")
  ours <- median_seconds(function() .Call("mvtrnorms", t$A, t$m, x, n, sweeps, PACKAGE = "vaskor"))
  calls <- 20000L
  one_call <- median_seconds(function() {
    for (k in seq_len(calls)) x <- .Call("mvtrnorms", t$A, t$m, x, n, 1L, PACKAGE = "vaskor")
  })
  theirs <- NA_real_
  if (have_tmvtnorm) {
    draws <- as.integer(2e5 / n)
    start <- sort(x[2:(n + 1)])  # in order also where rounding left a unit in the last place
    # (suppressWarnings: tmvtnorm's own check of the start warns under R >= 4.2)
    theirs <- median_seconds(function() suppressWarnings(tmvtnorm::rtmvnorm2(draws,
      mean = t$mean, sigma = t$sigma, lower = t$lower, upper = t$upper, D = t$D,
      algorithm = "gibbs", burn.in.samples = 0, thinning = 1, start.value = start))) / draws
  }
  data.frame(n = n, mvtrnorms = ours / sweeps * 1e6,
             mvtrnorms_1_sweep_calls = one_call / calls * 1e6, tmvtnorm_gibbs = theirs * 1e6)
})

cat(sprintf("microseconds per sweep, median of %d runs\n", runs))
table <- do.call(rbind, rows)
table$ratio <- table$mvtrnorms / table$tmvtnorm_gibbs
print(format(table, digits = 3), row.names = FALSE)
