# Convergence and efficiency figures for a set of chains, each a matrix of
# draws (rows: iterations, columns: parameters, the same in every chain).
#
#   mcmc_ess(chains)   effective sample size per parameter, summed over the
#                      chains: coda::effectiveSize when coda is installed,
#                      else ess_monotone() on each chain
#   ess_monotone(x)    one chain: n / (1 + 2 * sum of autocorrelations), the
#                      sum cut by the initial monotone positive sequence
#   mcmc_rhat(chains)  potential scale reduction factor on split chains
#                      (every chain halved, so one chain gives a figure too)
#   mcmc_ess_bulk(chains)
#                      bulk effective sample size: the draws of all chains
#                      replaced by the normal scores of their ranks, every
#                      chain halved, and the multi-chain autocorrelations
#                      summed by the initial monotone sequence

#' Effective sample size and R-hat of a set of chains
#'
#' Convergence and efficiency figures for chains given as matrices of draws
#' (rows: iterations, columns: parameters, the same columns in every chain).
#' `mcmc_ess()` sums each chain's effective sample size (by
#' `coda::effectiveSize` when coda is installed, else by the initial monotone
#' sequence estimator); `mcmc_ess_bulk()` gives the bulk effective sample
#' size (the draws of all chains replaced by the normal scores of their ranks,
#' every chain halved, the multi-chain autocorrelations summed by the initial
#' monotone sequence); `mcmc_rhat()` the potential scale reduction factor on
#' split chains (every chain halved, so one chain gives a figure too).
#'
#' @param chains a list of numeric matrices with the same column names.
#' @param method for `mcmc_ess()`: `"coda"`, `"own"`, or `"auto"` (coda when
#'   installed).
#' @return A named numeric vector, one value per column.
#' @examples
#' set.seed(1)
#' chains <- lapply(1:2, function(j) cbind(a = rnorm(1000), b = cumsum(rnorm(1000))))
#' mcmc_ess(chains, "own")
#' mcmc_ess_bulk(chains)
#' mcmc_rhat(chains)
#' @export
mcmc_ess <- function(chains, method = c("auto", "coda", "own")) {
  method <- match.arg(method)
  if (method == "auto") method <- if (requireNamespace("coda", quietly = TRUE)) "coda" else "own"
  if (method == "coda") {
    ess <- coda::effectiveSize(coda::mcmc.list(lapply(chains, coda::mcmc)))
  } else {
    per_chain <- sapply(chains, function(draws) apply(draws, 2L, ess_monotone))
    ess <- if (is.matrix(per_chain)) rowSums(per_chain) else sum(per_chain)
  }
  stats::setNames(as.double(ess), colnames(chains[[1L]]))
}

ess_monotone <- function(x) {
  n <- length(x)
  if (n < 4L || stats::var(x) == 0) return(NA_real_)
  centred <- x - mean(x)
  # Autocovariances at lags 0 ... n-1 by FFT on the zero-padded series.
  spectrum <- stats::fft(c(centred, numeric(n)))
  acov <- Re(stats::fft(spectrum * Conj(spectrum), inverse = TRUE))[seq_len(n)] / (2 * n) / n
  rho <- acov / acov[1L]
  # Sums of adjacent pairs (lags 2k and 2k+1) stay positive and decreasing for
  # a reversible chain: keep them while positive, forced non-increasing.
  pairs <- floor(n / 2)
  gamma <- rho[2 * seq_len(pairs) - 1L] + rho[2 * seq_len(pairs)]
  last <- match(TRUE, gamma <= 0, nomatch = pairs + 1L) - 1L
  gamma <- cummin(gamma[seq_len(last)])
  tau <- -1 + 2 * sum(gamma)
  n / max(tau, 1 / log10(n))
}

#' @rdname mcmc_ess
#' @export
mcmc_rhat <- function(chains) {
  half <- floor(nrow(chains[[1L]]) / 2)
  if (half < 2L) return(stats::setNames(rep(NA_real_, ncol(chains[[1L]])), colnames(chains[[1L]])))
  pieces <- unlist(lapply(chains, function(draws) {
    list(draws[seq_len(half), , drop = FALSE], draws[nrow(draws) - half + seq_len(half), , drop = FALSE])
  }), recursive = FALSE)
  means <- sapply(pieces, colMeans)
  variances <- sapply(pieces, function(p) apply(p, 2L, stats::var))
  if (!is.matrix(means)) {
    means <- matrix(means, nrow = 1L)
    variances <- matrix(variances, nrow = 1L)
  }
  within <- rowMeans(variances)
  between <- half * apply(means, 1L, stats::var)
  pooled <- (half - 1) / half * within + between / half
  stats::setNames(sqrt(pooled / within), colnames(chains[[1L]]))
}

#' @rdname mcmc_ess
#' @export
mcmc_ess_bulk <- function(chains) {
  half <- floor(nrow(chains[[1L]]) / 2)
  ess <- vapply(colnames(chains[[1L]]), function(name) {
    if (half < 4L) return(NA_real_)
    pieces <- do.call(cbind, lapply(chains, function(draws) {
      x <- draws[, name]
      cbind(x[seq_len(half)], x[length(x) - half + seq_len(half)])
    }))
    if (stats::var(as.vector(pieces)) == 0) return(NA_real_)
    ranks <- rank(pieces, ties.method = "average")
    scores <- matrix(stats::qnorm((ranks - 3 / 8) / (length(ranks) + 1 / 4)), half)
    .ess_multichain(scores)
  }, 0)
  stats::setNames(ess, colnames(chains[[1L]]))
}

# Effective sample size of the columns of `x` (one chain each, equal length).
.ess_multichain <- function(x) {
  n <- nrow(x)
  m <- ncol(x)
  acov <- apply(x, 2L, function(v) {
    centred <- v - mean(v)
    spectrum <- stats::fft(c(centred, numeric(n)))
    Re(stats::fft(spectrum * Conj(spectrum), inverse = TRUE))[seq_len(n)] / (2 * n) / n
  })
  within <- mean(acov[1L, ] * n / (n - 1))
  pooled <- (n - 1) / n * within + if (m > 1L) stats::var(colMeans(x)) else 0
  rho <- 1 - (within - rowMeans(acov)) / pooled
  rho[1L] <- 1
  pairs <- floor(n / 2)
  gamma <- rho[2 * seq_len(pairs) - 1L] + rho[2 * seq_len(pairs)]
  last <- match(TRUE, gamma <= 0, nomatch = pairs + 1L) - 1L
  gamma <- cummin(gamma[seq_len(last)])
  tau <- -1 + 2 * sum(gamma)
  n * m / max(tau, 1 / log10(n * m))
}
