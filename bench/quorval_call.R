# Time of one quorval call (one cutpoint update) for N = 3498 observations
# and K = 9 cutpoints, in milliseconds.
# Usage: Rscript bench/quorval_call.R   (library from $QV_BUILD_DIR, default build/)
build <- Sys.getenv("QV_BUILD_DIR", "build")
dyn.load(file.path(build, "quorval.so"))

N <- 3498L
K <- 9L

# Simulated ordinal probit data: latent normal values around the means, cut
# at the current cutpoints; every category in use.
set.seed(42)
cutpoints <- c(-Inf, 0, 0.5, 1, 1.5, 2, 2.5, 3, Inf)
t <- 1.25
m <- rnorm(N, 1.5, 1)
y <- findInterval(m + rnorm(N) / t, cutpoints[2:(K - 1)]) + 1L
s <- 4

# proc.time() resolves about 1 ms: time blocks of calls and report the
# median block time per call.
blocks <- as.integer(Sys.getenv("QV_BENCH_BLOCKS", "25"))
per_block <- as.integer(Sys.getenv("QV_BENCH_CALLS", "40"))
ms_per_call <- vapply(seq_len(blocks), function(b) {
  elapsed <- system.time(for (i in seq_len(per_block)) {
    .Call("quorval", N, K, y, cutpoints, m, t, s, PACKAGE = "quorval")
  })[["elapsed"]]
  elapsed / per_block * 1e3
}, numeric(1))

counted <- sum(y != 1L & y != K - 1L)
ms_distinct <- median(ms_per_call)

# The same observations with a categorical covariate: 8 distinct means.
m_groups <- round(m * 2) / 2
m_groups <- pmin(pmax(m_groups, -0.5), 3)
ms_grouped <- median(vapply(seq_len(blocks), function(b) {
  system.time(for (i in seq_len(per_block)) {
    .Call("quorval", N, K, y, cutpoints, m_groups, t, s, PACKAGE = "quorval")
  })[["elapsed"]] / per_block * 1e3
}, numeric(1)))
cat(sprintf("quorval, N = %d (%d counted), K = %d, median of %d blocks of %d calls:\n",
            N, counted, K, blocks, per_block))
cat(sprintf("  all means distinct:        %.3f ms per call\n", ms_distinct))
cat(sprintf("  %d distinct means:          %.3f ms per call\n", length(unique(m_groups)), ms_grouped))
