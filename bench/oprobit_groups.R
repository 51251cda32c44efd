# Group terms in oprobit_mcmc: effective samples per second next to brms and
# MCMCglmm on the same data, then the ms per iteration at 1e4 ... 1e6 rows.
#
# Data: ordinal::wine, rating ~ temp + contact + (1 | judge) (72 ratings, 9
# judges); ordinal::soup, SURENESS ~ PROD + DAY + (1 | RESP) (1847 ratings,
# 185 respondents); lme4::InstEval, department 5, y ~ service + (1 | s) +
# (1 | d) (3790 ratings, 302 students and 53 lecturers, crossed); simulated,
# N = 1e5 with 2000 groups, y ~ x + z + (1 + x | g) (correlated intercept and
# slope, 4 categories).
#
# Quantities, on the probit scale: the slopes, the thresholds, the gaps
# between successive thresholds and every group-level sd. A run's figure is
# the smallest bulk ESS over them (posterior::ess_bulk) per second, one chain,
# burn-in included, compilation left out: oprobit_mcmc and MCMCglmm wall clock
# around the call, brms Stan's own warm-up + sampling time.
#
# Priors: oprobit_mcmc's defaults (flat fixed part, half-t(3, 2.5) sds, LKJ(1)
# correlations); brms the same (flat b and thresholds set explicitly).
# MCMCglmm (family "threshold", residual variance fixed at 1) takes its
# parameter-expanded prior, whose sd is half-Cauchy with scale 2.5 (V = 1,
# nu = 1, alpha.V = 2.5^2): the closest it has, not the same; its figure is
# one of speed. brms runs on the big set only where a 60-iteration run says
# the whole run ends within 10 minutes, or, with QV_BENCH_BRMS_SHORT set, for
# 150 warm-up + 150 draws.
#
# Environment: QV_RLIB (default build/rlib), QV_BENCH_KEPT / QV_BENCH_BURNIN
# (the real sets: 5000 / 1000), QV_BENCH_BIG_KEPT / QV_BENCH_BIG_BURNIN (N = 1e5:
# 500 / 200), QV_BENCH_SKIP (comma-separated: brms, MCMCglmm, big, scaling),
# QV_BENCH_GROUP_SCALING_N (default "1e4,1e5,1e6"), QV_BENCH_GROUP_SETS (comma-separated
# set names, default all).
# Usage: Rscript bench/oprobit_groups.R

options(width = 160, warn = 1)
rlib <- Sys.getenv("QV_RLIB", "build/rlib")
suppressPackageStartupMessages(library(quorval, lib.loc = rlib))
env_int <- function(name, default) as.integer(Sys.getenv(name, default))
kept <- env_int("QV_BENCH_KEPT", "5000")
burnin <- env_int("QV_BENCH_BURNIN", "1000")
big_kept <- env_int("QV_BENCH_BIG_KEPT", "500")
big_burnin <- env_int("QV_BENCH_BIG_BURNIN", "200")
skip <- strsplit(Sys.getenv("QV_BENCH_SKIP", ""), ",")[[1]]
has <- function(p) suppressPackageStartupMessages(requireNamespace(p, quietly = TRUE))
use <- c(brms = has("brms") && has("rstan") && !"brms" %in% skip,
         MCMCglmm = has("MCMCglmm") && !"MCMCglmm" %in% skip)

simulate_groups <- function(n, groups, seed = 20261208) {
  set.seed(seed)
  g <- sample.int(groups, n, replace = TRUE)
  x <- stats::rnorm(n)
  z <- stats::rbinom(n, 1, 0.5)
  u <- crossprod(chol(matrix(c(0.49, 0.1, 0.1, 0.16), 2)), matrix(stats::rnorm(2 * groups), 2))
  w <- 0.5 * x - 0.4 * z + u[1, g] + u[2, g] * x + stats::rnorm(n)
  data.frame(y = factor(findInterval(w, c(-0.8, 0, 0.9)) + 1L, levels = 1:4, ordered = TRUE),
             x = x, z = z, g = factor(g))
}

# Slopes, thresholds (in order), gaps and sds: a draws x quantities matrix.
quantities <- function(slopes, zeta, sds) {
  gaps <- zeta[, -1, drop = FALSE] - zeta[, -ncol(zeta), drop = FALSE]
  colnames(gaps) <- paste0("gap ", seq_len(ncol(gaps)))
  cbind(slopes, zeta, gaps, sds)
}
row <- function(name, q, seconds, note = "") {
  ess <- apply(q, 2L, posterior::ess_bulk)
  data.frame(sampler = name, min_ess = round(min(ess)), at = names(ess)[which.min(ess)],
             seconds = round(seconds, 2), per_second = round(min(ess) / seconds, 1), note = note)
}

run_oprobit <- function(s) {
  fit <- oprobit_mcmc(s$formula, data = s$data, chains = 1, iter = s$kept, burnin = s$burnin,
                      seed = 1, cores = 1, save_ranef = FALSE)
  d <- unclass(posterior::as_draws_matrix(fit$draws))
  row("oprobit_mcmc", quantities(d[, fit$slopes, drop = FALSE], d[, fit$thresholds, drop = FALSE],
                                 d[, grep("^sd_", colnames(d)), drop = FALSE]), fit$seconds)
}

run_brms <- function(s) {
  priors <- c(brms::set_prior("", class = "Intercept"), brms::set_prior("student_t(3, 0, 2.5)", class = "sd"))
  if (s$correlated) priors <- c(priors, brms::set_prior("lkj(1)", class = "cor"))
  compiled <- suppressMessages(brms::brm(s$formula, data = s$data, family = brms::cumulative("probit"),
                                         prior = priors, chains = 0, silent = 2, refresh = 0))
  sample <- function(iter, warmup) {
    suppressMessages(stats::update(compiled, recompile = FALSE, chains = 1, iter = iter, warmup = warmup,
                                   seed = 1, refresh = 0, silent = 2))
  }
  kept <- s$kept
  burnin <- s$burnin
  if (s$big && nzchar(Sys.getenv("QV_BENCH_BRMS_SHORT"))) {
    # By hand: a shorter run instead (about 20 minutes at 1e5 rows).
    kept <- 150L
    burnin <- 150L
  } else if (s$big) {
    pilot <- sample(60, 30)
    guess <- sum(rstan::get_elapsed_time(pilot$fit)) / 60 * (s$kept + s$burnin)
    if (guess > 600) {
      return(data.frame(sampler = "brms", min_ess = NA, at = "", seconds = round(guess), per_second = NA,
                        note = "not run: a 60-iteration run puts the whole run over 10 minutes"))
    }
  }
  fit <- sample(kept + burnin, burnin)
  d <- as.matrix(fit)
  slopes <- d[, grep("^b_[^I]", colnames(d)), drop = FALSE]
  zeta <- d[, grep("^b_Intercept\\[", colnames(d)), drop = FALSE]
  sds <- d[, grep("^sd_", colnames(d)), drop = FALSE]
  divergent <- sum(rstan::get_divergent_iterations(fit$fit))
  row("brms", quantities(slopes, zeta, sds), sum(rstan::get_elapsed_time(fit$fit)),
      if (divergent > 0) sprintf("%d divergent", divergent) else "")
}

# MCMCglmm's random formula and prior for the bench's forms: (1 | g) as ~ g,
# (1 + x | g) as ~ us(1 + x):g, each with the parameter-expanded prior.
mcmcglmm_random <- function(formula) {
  bars <- lme4::findbars(formula)
  parts <- vapply(bars, function(b) {
    lhs <- deparse(b[[2]])
    if (lhs == "1") deparse(b[[3]]) else sprintf("us(%s):%s", lhs, deparse(b[[3]]))
  }, "")
  q <- vapply(bars, function(b) if (deparse(b[[2]]) == "1") 1L else 2L, 0L)
  G <- lapply(q, function(k) list(V = diag(k), nu = k, alpha.mu = rep(0, k), alpha.V = diag(2.5^2, k)))
  names(G) <- paste0("G", seq_along(G))
  list(random = stats::as.formula(paste("~", paste(parts, collapse = " + "))),
       prior = list(R = list(V = 1, fix = 1), G = G))
}

run_mcmcglmm <- function(s) {
  design <- mcmcglmm_random(s$formula)
  fixed <- lme4::nobars(s$formula)
  started <- proc.time()[["elapsed"]]
  fit <- MCMCglmm::MCMCglmm(fixed, random = design$random, family = "threshold", data = s$data,
                            prior = design$prior, nitt = s$kept + s$burnin, burnin = s$burnin, thin = 1,
                            verbose = FALSE)
  seconds <- proc.time()[["elapsed"]] - started
  sol <- as.matrix(fit$Sol)
  cp <- cbind(0, as.matrix(fit$CP))
  zeta <- cp - sol[, "(Intercept)"]
  colnames(zeta) <- paste0("zeta", seq_len(ncol(zeta)))
  vcv <- as.matrix(fit$VCV)
  # Variances: the diagonal entries of each term, not the units' (fixed at 1).
  variances <- grep("^(.+):\\1\\.|^[^:.]+$", colnames(vcv), value = TRUE)
  variances <- setdiff(variances, "units")
  sds <- sqrt(vcv[, variances, drop = FALSE])
  row("MCMCglmm", quantities(sol[, -1, drop = FALSE], zeta, sds), seconds, "half-Cauchy(2.5) sd prior")
}

# Real sets: wine (9 judges); soup (185 respondents); InstEval's department
# 5 (3790 ratings of 53 lecturers by 302 students, crossed).
instEval_dept <- function(dept) {
  data(InstEval, package = "lme4", envir = environment())
  x <- droplevels(InstEval[InstEval$dept == dept, ])
  x$y <- factor(x$y, ordered = TRUE)
  x
}
data(soup, package = "ordinal", envir = environment())
sets <- list(wine = list(formula = rating ~ temp + contact + (1 | judge), data = ordinal::wine,
                         kept = kept, burnin = burnin, correlated = FALSE, big = FALSE),
             soup = list(formula = SURENESS ~ PROD + DAY + (1 | RESP), data = soup,
                         kept = kept, burnin = burnin, correlated = FALSE, big = FALSE),
             `InstEval dept 5` = list(formula = y ~ service + (1 | s) + (1 | d), data = instEval_dept("5"),
                                      kept = kept, burnin = burnin, correlated = FALSE, big = FALSE))
if (!"big" %in% skip) {
  sets$`simulated N=1e5, 2000 groups` <- list(formula = y ~ x + z + (1 + x | g),
                                              data = simulate_groups(1e5, 2000), kept = big_kept,
                                              burnin = big_burnin, correlated = TRUE, big = TRUE)
}
chosen <- strsplit(Sys.getenv("QV_BENCH_GROUP_SETS", ""), ",")[[1]]
if (length(chosen) > 0L) sets <- sets[names(sets) %in% chosen]
cat(sprintf("Group terms: smallest bulk ESS per second, one chain (peers: %s)\n\n",
            paste(names(use)[use], collapse = ", ")))
for (name in names(sets)) {
  s <- sets[[name]]
  rows <- list(run_oprobit(s))
  if (use[["brms"]]) rows[[length(rows) + 1L]] <- tryCatch(run_brms(s), error = function(e) {
    data.frame(sampler = "brms", min_ess = NA, at = "", seconds = NA, per_second = NA, note = conditionMessage(e))
  })
  if (use[["MCMCglmm"]]) rows[[length(rows) + 1L]] <- tryCatch(run_mcmcglmm(s), error = function(e) {
    data.frame(sampler = "MCMCglmm", min_ess = NA, at = "", seconds = NA, per_second = NA, note = conditionMessage(e))
  })
  table <- do.call(rbind, rows)
  table$ratio <- round(table$per_second[1] / table$per_second, 1)
  cat(sprintf("%s (%d kept + %d burn-in)\n", name, s$kept, s$burnin))
  print(table, row.names = FALSE)
  cat("\n")
}

if (!"scaling" %in% skip) {
  sizes <- as.numeric(strsplit(Sys.getenv("QV_BENCH_GROUP_SCALING_N", "1e4,1e5,1e6"), ",")[[1]])
  cat("ms per iteration, y ~ x + z + (1 + x | g), 1000 groups, one chain of 50 + 100 iterations\n")
  for (n in sizes) {
    d <- simulate_groups(n, 1000)
    fit <- oprobit_mcmc(y ~ x + z + (1 + x | g), data = d, chains = 1, iter = 100, burnin = 50, seed = 1,
                        cores = 1, save_ranef = FALSE)
    cat(sprintf("  N = %8.0f: %8.2f ms\n", n, 1000 * fit$seconds / 150))
  }
}
