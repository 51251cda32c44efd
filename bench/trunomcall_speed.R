# ns per draw of trunomcall (n = 1e6) in a few regimes, median of several runs.
# Usage: Rscript bench/trunomcall_speed.R   (libraries from $QV_BUILD_DIR, default build/)
build <- Sys.getenv("QV_BUILD_DIR", "build")
libs <- intersect(c("quorval", "vaskor", "quorval2"),
                  sub("\\.so$", "", list.files(build, pattern = "\\.so$")))
for (lib in libs) dyn.load(file.path(build, paste0(lib, ".so")))

n <- 1e6
runs <- as.integer(Sys.getenv("QV_BENCH_RUNS", "7"))
regimes <- list("[-1, 1]" = c(-1, 1), "[0, Inf)" = c(0, Inf), "[4, Inf)" = c(4, Inf))
m <- numeric(n); s <- rep(1, n)

ns_per_draw <- function(lib, b) {
  lo <- rep(b[1], n); hi <- rep(b[2], n)
  times <- vapply(seq_len(runs), function(i) {
    t0 <- proc.time()[["elapsed"]]
    .Call("trunomcall", n, m, s, lo, hi, PACKAGE = lib)
    proc.time()[["elapsed"]] - t0
  }, numeric(1))
  median(times) / n * 1e9
}

table <- sapply(names(regimes), function(r) sapply(libs, function(l) ns_per_draw(l, regimes[[r]])))
if (!is.matrix(table)) table <- matrix(table, nrow = 1, dimnames = list(libs, names(regimes)))
cat(sprintf("trunomcall, n = %g, median of %d runs, ns per draw\n", n, runs))
print(round(table, 1))
