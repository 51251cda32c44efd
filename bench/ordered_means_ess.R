# Effective samples per second of ordered_means_mcmc next to two other ways
# to sample the same order-constrained posterior, on the same data, machine
# and process; then its ms per iteration as the groups and the observations
# grow. Prints two tables.
#
# Data, for k = 5, 10, 20, 50 groups: 20 observations per group, sd 1, true
# means 0.1 * min(j, k/2) (a rise, then a plateau where the order binds).
# Model: flat prior on the means restricted to mu_1 <= ... <= mu_k,
# 1/sigma^2 on sigma^2. Every sampler runs one chain from the same start (the
# weighted isotonic fit), no burn-in.
#
#   quorval   ordered_means_mcmc(): per iteration sigma^2 | mu, then the
#             means by vaskor's sweeps (one over the means, one over the
#             steps between them); wall clock around the whole call.
#   tmvtnorm  the same outer loop in R (sigma^2 | mu from the same sufficient
#             statistics), the means | sigma^2 by one Gibbs sweep of
#             tmvtnorm's sampler (algorithm = "gibbs") per iteration, started
#             at the current state (burn.in.samples = 0), in two forms, the
#             better one counting (column tmvtnorm_form): "box", rtmvnorm on
#             the steps between the means (a box: z_1 free, z_j >= 0) with
#             their precision given as H, the means their cumulative sums;
#             "linear", rtmvnorm2 on the means with the first-difference
#             matrix D. Steps that rounding leaves a hair below 0 are put on
#             0. (rtmvnorm's own D argument is not used: it refuses ordered
#             start values.)
#   rejection independent draws of (sigma^2, mu) from the unconstrained
#             posterior (exact), kept when the means are in order: every
#             kept draw is an independent one. Run only when a pilot of 2e5
#             draws keeps at least 20 (acceptance >= 1e-4); otherwise the
#             row says "infeasible" and gives the pilot's acceptance.
#
# Figure: the smallest bulk effective sample size over the k means
# (posterior::ess_bulk; coda::effectiveSize without posterior), divided by
# the seconds of the run. The machine is shared and its timings wander, so
# each run is made QV_BENCH_REPEATS times (default 3) with the same seed
# (the same draws) and its median time is taken. "dev": the largest
# |mean - quorval's mean| / quorval's posterior sd over the means, a check
# that all three sample the same posterior.
#
# Environment: QV_RLIB (default build/rlib), QV_BENCH_REPEATS,
# QV_BENCH_OM_ITER (quorval's iterations, default 20000), QV_BENCH_OM_PEER_ITER
# (tmvtnorm's, default 2000), QV_BENCH_SKIP (comma-separated: tmvtnorm,
# rejection, om_scaling).
# Usage: Rscript bench/ordered_means_ess.R

options(width = 160, warn = 1)
started <- proc.time()[["elapsed"]]
rlib <- Sys.getenv("QV_RLIB", "build/rlib")
suppressPackageStartupMessages(library(quorval, lib.loc = rlib))
env_int <- function(name, default) as.integer(Sys.getenv(name, default))
repeats <- env_int("QV_BENCH_REPEATS", "3")
iter <- env_int("QV_BENCH_OM_ITER", "20000")
peer_iter <- env_int("QV_BENCH_OM_PEER_ITER", "2000")
skip <- strsplit(Sys.getenv("QV_BENCH_SKIP", ""), ",")[[1]]
has <- function(p) suppressPackageStartupMessages(requireNamespace(p, quietly = TRUE))
use_tmvtnorm <- has("tmvtnorm") && !"tmvtnorm" %in% skip
ess_of <- if (has("posterior")) {
  function(draws) apply(draws, 2L, posterior::ess_bulk)
} else {
  function(draws) coda::effectiveSize(coda::mcmc(draws))
}
wall <- function(f) {
  t0 <- Sys.time()
  value <- f()
  list(value = value, seconds = as.double(Sys.time()) - as.double(t0))
}
# One run, repeated when short; the median time of the repeats.
timed <- function(f) {
  first <- wall(f)
  if (repeats <= 1L || first$seconds > 20) return(first)
  first$seconds <- stats::median(c(first$seconds, vapply(seq_len(repeats - 1L), function(i) wall(f)$seconds, 0)))
  first
}

bench_data <- function(k, per_group = 20, seed = 1) {
  set.seed(seed)
  mu <- 0.1 * pmin(seq_len(k), k / 2)
  d <- data.frame(g = factor(rep(seq_len(k), each = per_group)))
  d$y <- mu[d$g] + stats::rnorm(nrow(d))
  d
}

# Sufficient statistics of the flat-prior model.
stats_of <- function(d) {
  n <- as.vector(table(d$g))
  ybar <- as.vector(tapply(d$y, d$g, mean))
  list(n = n, ybar = ybar, ssw = sum((d$y - ybar[d$g])^2), N = nrow(d), k = length(n),
       start = stats::isoreg(rep(ybar, n))$yf[cumsum(n)])
}

run_quorval <- function(d, iterations) {
  fit <- ordered_means_mcmc(y ~ g, d, chains = 1, iter = iterations, burnin = 0, seed = 1, cores = 1,
                            bf_prior = FALSE)
  unclass(posterior::as_draws_matrix(fit$draws))[, seq_len(nlevels(d$g)), drop = FALSE]
}

# The outer loop with tmvtnorm's Gibbs sampler for the means, in one of two
# forms: "box", rtmvnorm on the steps z = D mu (z_1 = mu_1, z_j = mu_j -
# mu_(j-1) >= 0), a box, with their precision L' diag(a) L given as H (L the
# lower triangle of ones, mu = L z); "linear", rtmvnorm2 with D on mu itself.
run_tmvtnorm <- function(s, iterations, form) {
  k <- s$k
  D <- diag(k)
  D[cbind(2:k, 1:(k - 1L))] <- -1
  L <- lower.tri(diag(k), diag = TRUE) * 1
  lower <- c(-Inf, rep(0, k - 1L))
  upper <- rep(Inf, k)
  z_mean <- drop(D %*% s$ybar)
  z_precision_unit <- crossprod(L, s$n * L)   # L' diag(n) L; divided by sigma^2
  set.seed(1)
  mu <- s$start
  out <- matrix(NA_real_, iterations, k)
  for (it in seq_len(iterations)) {
    sigma2 <- (s$ssw + sum(s$n * (s$ybar - mu)^2)) / (2 * stats::rgamma(1L, s$N / 2))
    # (suppressWarnings: tmvtnorm's own argument checks warn under R >= 4.2)
    if (form == "box") {
      z <- suppressWarnings(tmvtnorm::rtmvnorm(1, mean = z_mean, H = z_precision_unit / sigma2, lower = lower,
                                               upper = upper, algorithm = "gibbs", burn.in.samples = 0,
                                               start.value = pmax(drop(D %*% mu), lower)))
      mu <- cumsum(z[1L, ])
    } else {
      mu <- suppressWarnings(tmvtnorm::rtmvnorm2(1, mean = s$ybar, sigma = diag(sigma2 / s$n, k), lower = lower,
                                                 upper = upper, D = D, algorithm = "gibbs", burn.in.samples = 0,
                                                 start.value = mu))[1L, ]
    }
    out[it, ] <- mu
  }
  out
}

# Independent draws of the unconstrained posterior in batches, kept when in
# order, until `wanted` are kept.
run_rejection <- function(s, wanted, batch = 1e5) {
  set.seed(1)
  kept <- list()
  total <- 0
  while (total < wanted) {
    sigma2 <- s$ssw / (2 * stats::rgamma(batch, (s$N - s$k) / 2))
    mu <- matrix(stats::rnorm(batch * s$k, rep(s$ybar, each = batch), sqrt(sigma2 / rep(s$n, each = batch))), batch)
    ordered <- rowSums(mu[, -1L, drop = FALSE] >= mu[, -s$k, drop = FALSE]) == s$k - 1L
    kept[[length(kept) + 1L]] <- mu[ordered, , drop = FALSE]
    total <- total + sum(ordered)
  }
  do.call(rbind, kept)[seq_len(wanted), , drop = FALSE]
}

rows <- list()
for (k in c(5L, 10L, 20L, 50L)) {
  d <- bench_data(k)
  s <- stats_of(d)
  q <- timed(function() run_quorval(d, iter))
  q_ess <- min(ess_of(q$value))
  centre <- colMeans(q$value)
  spread <- apply(q$value, 2L, stats::sd)
  dev <- function(draws) max(abs(colMeans(draws) - centre) / spread)
  row <- data.frame(k = k, N = s$N, quorval_ess_s = q_ess / q$seconds, quorval_ms_iter = 1000 * q$seconds / iter,
                    tmvtnorm_ess_s = NA_real_, tmvtnorm_ms_iter = NA_real_, tmvtnorm_dev = NA_real_,
                    tmvtnorm_form = NA_character_,
                    rejection_ess_s = NA_real_, rejection_accept = NA_real_, rejection_dev = NA_real_)
  if (use_tmvtnorm) {
    for (form in c("box", "linear")) {
      t <- timed(function() run_tmvtnorm(s, peer_iter, form))
      if (is.na(row$tmvtnorm_ess_s) || min(ess_of(t$value)) / t$seconds > row$tmvtnorm_ess_s) {
        row$tmvtnorm_ess_s <- min(ess_of(t$value)) / t$seconds
        row$tmvtnorm_ms_iter <- 1000 * t$seconds / peer_iter
        row$tmvtnorm_dev <- dev(t$value)
        row$tmvtnorm_form <- form
      }
    }
  }
  if (!"rejection" %in% skip) {
    set.seed(1)
    sigma2 <- s$ssw / (2 * stats::rgamma(2e5, (s$N - s$k) / 2))
    mu <- matrix(stats::rnorm(2e5 * s$k, rep(s$ybar, each = 2e5), sqrt(sigma2 / rep(s$n, each = 2e5))), 2e5)
    accepted <- sum(rowSums(mu[, -1L, drop = FALSE] >= mu[, -k, drop = FALSE]) == k - 1L)
    row$rejection_accept <- accepted / 2e5
    if (accepted >= 20) {
      r <- timed(function() run_rejection(s, 5000))
      row$rejection_ess_s <- 5000 / r$seconds
      row$rejection_dev <- dev(r$value)
    }
  }
  rows[[length(rows) + 1L]] <- row
}
table <- do.call(rbind, rows)
best <- pmax(table$tmvtnorm_ess_s, table$rejection_ess_s, na.rm = TRUE)
table$ratio_to_best <- table$quorval_ess_s / best

cat(sprintf("ordered_means_mcmc: min ESS/s over the group means (%s), median of %d runs\n",
            if (has("posterior")) "posterior::ess_bulk" else "coda::effectiveSize", repeats))
cat(sprintf("quorval %d iterations, tmvtnorm %d iterations, rejection 5000 kept draws; 20 observations per group\n",
            iter, peer_iter))
shown <- format(table, digits = 3)
shown$rejection_ess_s[is.na(table$rejection_ess_s)] <- "infeasible"
shown$rejection_accept <- ifelse(table$rejection_accept > 0, format(signif(table$rejection_accept, 2)), "< 5e-06")
print(shown, row.names = FALSE)

if (!"om_scaling" %in% skip) {
  cat("\nordered_means_mcmc: ms per iteration (median of", repeats, "runs, 5000 iterations)\n")
  scaling <- list()
  for (k in c(5L, 10L, 20L, 50L)) for (per_group in c(20L, 200L, 2000L)) {
    d <- bench_data(k, per_group)
    q <- timed(function() ordered_means_mcmc(y ~ g, d, chains = 1, iter = 5000, burnin = 0, seed = 1, cores = 1,
                                             bf_prior = FALSE)$seconds)
    scaling[[length(scaling) + 1L]] <- data.frame(k = k, N = nrow(d), ms_iter_call = 1000 * q$seconds / 5000,
                                                  ms_iter_chain = 1000 * q$value / 5000)
  }
  print(format(do.call(rbind, scaling), digits = 3), row.names = FALSE)
}
cat(sprintf("\n(%.0f s)\n", proc.time()[["elapsed"]] - started))
