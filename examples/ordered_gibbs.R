# Ordered normal vector by vaskor's Gibbs sweeps (mvtrnorms), next to
# tmvtnorm's Gibbs sampler and to exact draws by rejection, on one target:
# x ~ N(mu, Sigma) in 6 dimensions with a dense Sigma, restricted to
# -1 <= x_1 <= x_2 <= ... <= x_6.
#
# Speed is compared per sweep on the same number of sweeps (200000, burn-in
# included), median of three runs each: vaskor's in one call of mvtrnorms (as a
# user runs a long chain), tmvtnorm's in its own single call. The vaskor chain
# that is checked against the exact draws is drawn with one call per kept
# draw, which adds R's call overhead and is not timed.
#
# Usage: Rscript examples/ordered_gibbs.R [--draws N] [--seed N]
#   --draws N   draws of each Gibbs sampler after 1000 burn-in sweeps (default 20000)
#   --seed N    seed of R's stream and of the C library stream (default 2024)
# Libraries from $QV_BUILD_DIR (default build/). Needs the R package tmvtnorm
# (Debian: apt-get install r-cran-tmvtnorm; or install.packages("tmvtnorm")).

suppressPackageStartupMessages(library(quorval))

args <- commandArgs(trailingOnly = TRUE)
option <- function(name, default) {
  at <- match(paste0("--", name), args)
  value <- if (is.na(at)) default else suppressWarnings(as.numeric(args[at + 1L]))
  if (length(value) != 1L || is.na(value) || value < 0 || value != floor(value)) {
    stop(sprintf("--%s must be a whole number", name), call. = FALSE)
  }
  value
}
draws <- option("draws", 20000)
seed <- option("seed", 2024)
burnin <- 1000L

if (!requireNamespace("tmvtnorm", quietly = TRUE)) {
  stop("this example needs the R package tmvtnorm: apt-get install r-cran-tmvtnorm (Debian) or install.packages(\"tmvtnorm\")",
       call. = FALSE)
}

# The target.
n <- 6L
mu <- c(-0.8, -0.5, 0, 0.2, 0.9, 1.0)
sigma <- 0.6 * 0.5^abs(outer(seq_len(n), seq_len(n), "-")) + 0.2 + diag(0.2, n)
lower_end <- -1
upper_end <- Inf

# vaskor: the matrix and location vector whose sweeps have this target.
c_stream_seed(seed)
set.seed(seed)
inputs <- ordered_gibbs_target(mu, sigma)
state <- c(lower_end, lower_end + seq_len(n) * 0.5, upper_end)
sweeps <- 200000L
median_seconds <- function(run) median(replicate(3L, system.time(run())[["elapsed"]]))
state <- ordered_gibbs(inputs$A, inputs$m, state, sweeps = burnin)
ours <- ordered_gibbs_chain(inputs$A, inputs$m, state, draws = draws, sweeps = 1L)
ours_seconds <- median_seconds(function() ordered_gibbs(inputs$A, inputs$m, state, sweeps = sweeps))

# tmvtnorm: the same constraints as lower <= D x <= upper, with D the first
# component and the successive differences.
difference <- diag(n)
difference[cbind(2:n, 1:(n - 1L))] <- -1
theirs_chain <- function(draws) {
  tmvtnorm::rtmvnorm(draws, mean = mu, sigma = sigma, lower = c(lower_end, rep(0, n - 1L)),
                     upper = rep(Inf, n), D = difference, algorithm = "gibbs",
                     burn.in.samples = burnin)
}
theirs <- theirs_chain(draws)
theirs_seconds <- median_seconds(function() theirs_chain(sweeps - burnin))

# Exact draws: unconstrained normal draws kept when they satisfy the constraints.
proposals <- 1e6
root_sigma <- chol(sigma)
candidates <- matrix(rnorm(proposals * n), proposals, n) %*% root_sigma + rep(mu, each = proposals)
kept <- candidates[, 1L] >= lower_end & rowSums(candidates[, -1L] < candidates[, -n]) == 0
exact <- candidates[kept, ]

# Each Gibbs sampler's means against the exact ones, in standard errors (the
# Gibbs sampler's from its effective sample size).
z_against_exact <- function(x) {
  se_gibbs <- apply(x, 2L, var) / apply(x, 2L, posterior::ess_basic)
  (colMeans(x) - colMeans(exact)) / sqrt(se_gibbs + apply(exact, 2L, var) / nrow(exact))
}
colnames(ours) <- colnames(theirs) <- colnames(exact) <- paste0("x", seq_len(n))
table <- data.frame(
  component = colnames(ours),
  `mean vaskor` = colMeans(ours), `mean tmvtnorm` = colMeans(theirs), `mean exact` = colMeans(exact),
  `var vaskor` = apply(ours, 2L, var), `var tmvtnorm` = apply(theirs, 2L, var), `var exact` = apply(exact, 2L, var),
  `z vaskor` = z_against_exact(ours), `z tmvtnorm` = z_against_exact(theirs), check.names = FALSE)

cat(sprintf("Ordered normal vector, n = %d: N(mu, Sigma) restricted to %g <= x1 <= ... <= x%d\n", n, lower_end, n))
cat(sprintf("Gibbs samplers: %d draws (one sweep each) after %d burn-in sweeps; exact: %d of %g normal draws kept\n\n",
            draws, burnin, nrow(exact), proposals))
options(width = 120)
print(format(table, digits = 3, nsmall = 3), row.names = FALSE)
ordered <- all(ours[, 1L] >= lower_end) && all(ours[, -1L] >= ours[, -n])
cat(sprintf("\nz: (Gibbs mean - exact mean) / standard error. Largest |z|: vaskor %.2f, tmvtnorm %.2f\n",
            max(abs(table$`z vaskor`)), max(abs(table$`z tmvtnorm`))))
cat(sprintf("vaskor draws all ordered and above %g: %s\n", lower_end, if (ordered) "yes" else "NO"))
cat(sprintf("Time per sweep over %d sweeps in one call, median of 3 runs: vaskor %.2f us (%.3f s), tmvtnorm %.2f us (%.3f s)\n",
            sweeps, 1e6 * ours_seconds / sweeps, ours_seconds, 1e6 * theirs_seconds / sweeps, theirs_seconds))
