# ns per draw of quorval2's trunomcall (R's generator) next to quorval's
# (C library stream and own generator), in the same run: n = 1e6 draws of a
# standard normal truncated to each interval, median of several runs.
# Usage: Rscript bench/quorval2_vs_quorval.R   (libraries from $QV_BUILD_DIR,
# default build/; QV_BENCH_RUNS sets the number of runs, default 7)
build <- Sys.getenv("QV_BUILD_DIR", "build")
libs <- c("quorval2", "quorval")
for (lib in libs) dyn.load(file.path(build, paste0(lib, ".so")), local = TRUE)

n <- 1e6
runs <- as.integer(Sys.getenv("QV_BENCH_RUNS", "7"))
regimes <- list("[-1, 1]" = c(-1, 1), "[0, Inf)" = c(0, Inf), "[4, Inf)" = c(4, Inf))
m <- numeric(n)
s <- rep(1, n)
set.seed(1)

ns_per_draw <- function(lib, bounds) {
  lo <- rep(bounds[1], n)
  hi <- rep(bounds[2], n)
  seconds <- vapply(seq_len(runs), function(i) {
    t0 <- proc.time()[["elapsed"]]
    .Call("trunomcall", n, m, s, lo, hi, PACKAGE = lib)
    proc.time()[["elapsed"]] - t0
  }, numeric(1))
  median(seconds) / n * 1e9
}

# Regimes in the outer loop, libraries alternating inside it, so that both
# see the same machine load.
table <- matrix(NA_real_, nrow = length(libs), ncol = length(regimes),
                dimnames = list(libs, names(regimes)))
for (r in names(regimes)) for (lib in libs) table[lib, r] <- ns_per_draw(lib, regimes[[r]])

cat(sprintf("trunomcall, n = %g, median of %d runs, ns per draw\n", n, runs))
print(round(table, 1))
cat("\nquorval2 / quorval\n")
print(round(table["quorval2", ] / table["quorval", ], 2))
