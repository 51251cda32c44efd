# Truncated normal draws from quorval: sample means next to the exact means.
# Usage: Rscript examples/truncated_means.R   (after installing the package)

dyn.load(quorval::qv_library_path("quorval"))

# Exact mean of N(mu, sd^2) truncated to [lo, hi].
truncated_mean <- function(mu, sd, lo, hi) {
  a <- (lo - mu) / sd; b <- (hi - mu) / sd
  mass <- pnorm(b) - pnorm(a)
  mu + sd * (dnorm(a) - dnorm(b)) / mass
}

cases <- data.frame(
  mean = c(0, 0, 1, 2, 0, -1),
  sd = c(1, 1, 2, 0.5, 1, 1),
  lower = c(-1, 0, 1.5, -Inf, 4, -Inf),
  upper = c(1, Inf, 4, 1.5, Inf, -4))
n <- 1e5
rows <- lapply(seq_len(nrow(cases)), function(i) {
  k <- cases[i, ]
  draws <- .Call("trunomcall", n, rep(k$mean, n), rep(1 / k$sd, n), rep(k$lower, n),
                 rep(k$upper, n), PACKAGE = "quorval")
  data.frame(k, sample_mean = mean(draws), exact_mean = truncated_mean(k$mean, k$sd, k$lower, k$upper),
             min = min(draws), max = max(draws))
})
result <- do.call(rbind, rows)
cat(sprintf("%g truncated normal draws per row from quorval's trunomcall\n\n", n))
print(format(result, digits = 5), row.names = FALSE)
cat("\nFirst five draws of N(0, 1) truncated to [-1, 1]:\n")
print(.Call("trunomcall", 5L, numeric(5), rep(1, 5), rep(-1, 5), rep(1, 5), PACKAGE = "quorval"))
