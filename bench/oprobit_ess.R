# Effective samples per second of oprobit_mcmc next to the R samplers of the
# same ordinal probit model, measured on the same quantities, data, machine
# and process, one chain each; then the ms per iteration of oprobit_mcmc at
# N = 1e4, 1e5, 1e6. Prints two tables and the targets.
#
# Data: two contingency tables (occupationalStatus, one row per unit;
# housing, 72 weighted rows), a survey (carData's World Values Survey
# extract, N = 5381, several factors and age) and simulated individual-level
# sets (5 continuous covariates, 7 categories) at N = 2e4, 1e5 and 1e6. Each
# peer gets the data in its best form: brms the distinct (covariates,
# response) rows with weights where that shortens the data, MCMCoprobit and
# bayesm (which take no weights) one row per unit. brms runs in full only
# where a 60-iteration run says it ends within 10 minutes.
#
# Quantities, all on the probit scale (latent sd 1, no intercept): the slopes,
# the thresholds and the gaps between successive thresholds. A run's figure is
# the smallest bulk effective sample size over them (posterior::ess_bulk,
# rank-normalized, split chain; coda::effectiveSize when posterior is
# missing: the report says which), divided by the seconds the run took.
#
# Time: burn-in (warm-up) included, compilation left out. oprobit_mcmc,
# MCMCoprobit and bayesm: wall clock around the whole call. brms: its Stan
# program (brms::make_stancode / make_standata, flat priors as the others),
# compiled once with rstan (and kept between runs) and run with rstan::sampling;
# the time is Stan's own warm-up + sampling time. The machine's timings
# wander by 20% from run to run, so every run shorter than 10 s is made
# QV_BENCH_REPEATS times (default 5) with the same seed, hence the same draws,
# and its median time is taken: the same rule for every sampler.
#
# Valid runs only: a sampler with a cutpoint Metropolis step counts when its
# acceptance over the kept draws lies in [0.15, 0.85] (for MCMCoprobit and
# bayesm it is read off the draws: the share of kept iterations whose
# cutpoints moved); Stan's NUTS counts when it has no divergent transition,
# the split R-hat of every quantity is below 1.05 and its smallest ESS is at
# least 100. MCMCoprobit is run at tunes 0.005 ... 0.1 (above N = 2e4: four
# of them scaled by sqrt(2e4 / N), with pilots of 50 + 100 iterations) and
# its best valid tune is the one compared; a tune whose pilot (100 burn-in +
# 200 iterations) accepts outside [0.10, 0.90] is not run in full (it would
# not count).
# "dev": the largest |posterior mean - polr estimate| / posterior sd over the
# quantities, a check that every sampler fits the same model.
#
# Environment: QV_RLIB (library holding the installed package, default
# build/rlib), QV_BENCH_KEPT / QV_BENCH_BURNIN (kept draws and burn-in on
# the tables, the survey and N = 2e4: 5000 / 1000), QV_BENCH_BIG_KEPT /
# QV_BENCH_BIG_BURNIN (the N = 1e5 and 1e6 sets, every sampler: 500 / 200),
# QV_BENCH_CACHE (where the compiled Stan program is kept between runs,
# default build/bench-cache),
# QV_BENCH_REPEATS (runs of a short run, see Time),
# QV_BENCH_SKIP (comma-separated: brms, bayesm, MCMCoprobit, big (N = 1e5), huge (N = 1e6),
# scaling),
# QV_BENCH_SCALING_N (default "1e4,1e5,1e6"), QV_BENCH_SETS (comma-separated
# beginnings of the set names to run, default all: occupationalStatus,
# housing, survey, simulated).
# Usage: Rscript bench/oprobit_ess.R

options(width = 160, warn = 1)
started <- proc.time()[["elapsed"]]
rlib <- Sys.getenv("QV_RLIB", "build/rlib")
suppressPackageStartupMessages(library(quorval, lib.loc = rlib))
oprobit_mcmc <- get("oprobit_mcmc", asNamespace("quorval"))
env_int <- function(name, default) as.integer(Sys.getenv(name, default))
kept <- env_int("QV_BENCH_KEPT", "5000")
burnin <- env_int("QV_BENCH_BURNIN", "1000")
big_kept <- env_int("QV_BENCH_BIG_KEPT", "500")
big_burnin <- env_int("QV_BENCH_BIG_BURNIN", "200")
repeats <- env_int("QV_BENCH_REPEATS", "5")
cache <- Sys.getenv("QV_BENCH_CACHE", file.path(dirname(rlib), "bench-cache"))
skip <- strsplit(Sys.getenv("QV_BENCH_SKIP", ""), ",")[[1]]
has <- function(p) suppressPackageStartupMessages(requireNamespace(p, quietly = TRUE))
use <- c(MCMCoprobit = has("MCMCpack") && !"MCMCoprobit" %in% skip,
         bayesm = has("bayesm") && !"bayesm" %in% skip,
         brms = has("brms") && has("rstan") && !"brms" %in% skip)
ess_kind <- if (has("posterior")) "posterior::ess_bulk" else "coda::effectiveSize"
tunes <- c(0.005, 0.01, 0.02, 0.03, 0.05, 0.1)
acceptance_range <- c(0.15, 0.85)

# ---- data sets ------------------------------------------------------------------
# Each: formula, data, the name of a frequency weight column (or NULL), and
# the same data with one row per unit for the samplers that take no weights.
expand <- function(d, w) if (is.null(w)) d else d[rep(seq_len(nrow(d)), d[[w]]), setdiff(names(d), w)]
occupational <- local({
  d <- as.data.frame(occupationalStatus)
  d <- d[rep(seq_len(nrow(d)), d$Freq), c("origin", "destination")]
  data.frame(son = factor(d$destination, ordered = TRUE), father = as.integer(d$origin))
})
simulate_set <- function(n, seed = 20261208) {
  set.seed(seed)
  x <- matrix(stats::rnorm(n * 5), n, 5, dimnames = list(NULL, paste0("x", 1:5)))
  beta <- c(0.5, -0.3, 0.2, 0.1, -0.4)
  zeta <- c(-1.5, -0.8, -0.2, 0.3, 0.9, 1.6)
  y <- findInterval(drop(x %*% beta) + stats::rnorm(n), zeta) + 1L
  data.frame(y = factor(y, levels = 1:7, ordered = TRUE), x)
}
# A survey: the World Values Survey extract in carData (N = 5381), several
# factors and one continuous covariate (age).
survey <- if (has("carData")) carData::WVS
sets <- list(
  occupationalStatus = list(formula = son ~ father, data = occupational, weights = NULL,
                            kept = kept, burnin = burnin),
  housing = list(formula = Sat ~ Infl + Type + Cont, data = MASS::housing, weights = "Freq",
                 kept = kept, burnin = burnin))
if (!is.null(survey)) {
  sets$`survey WVS N=5381` <- list(formula = poverty ~ religion + degree + country + age + gender, data = survey,
                                   weights = NULL, kept = kept, burnin = burnin)
}
sets$`simulated N=2e4` <- list(formula = y ~ x1 + x2 + x3 + x4 + x5, data = simulate_set(2e4),
                               weights = NULL, kept = kept, burnin = burnin)
if (!"big" %in% skip) {
  sets$`simulated N=1e5` <- list(formula = y ~ x1 + x2 + x3 + x4 + x5, data = simulate_set(1e5),
                                 weights = NULL, kept = big_kept, burnin = big_burnin)
}
if (!"huge" %in% skip) {
  sets$`simulated N=1e6` <- list(formula = y ~ x1 + x2 + x3 + x4 + x5, data = simulate_set(1e6),
                                 weights = NULL, kept = big_kept, burnin = big_burnin)
}
# QV_BENCH_SETS: only the sets whose names start with one of these words.
only <- strsplit(Sys.getenv("QV_BENCH_SETS", ""), ",")[[1]]
if (length(only)) sets <- sets[vapply(names(sets), function(n) any(startsWith(n, only)), TRUE)]

# The same data as weighted rows, one per distinct (covariates, response)
# combination: the best form for a sampler that takes weights, where it has
# fewer rows.
as_weighted_rows <- function(s) {
  if (!is.null(s$weights)) return(list(data = s$data, weights = s$weights))
  keys <- all.vars(s$formula)
  key <- do.call(paste, c(lapply(s$data[keys], as.character), sep = "\r"))
  first <- !duplicated(key)
  if (sum(first) > 0.9 * nrow(s$data)) return(list(data = s$data, weights = NULL))
  d <- s$data[first, keys, drop = FALSE]
  d$.w <- as.vector(table(factor(key, levels = key[first])))
  list(data = d, weights = ".w")
}

# ---- the compared quantities ------------------------------------------------------------
# slopes: draws x slopes; zeta: draws x thresholds (in order).
quantities <- function(slopes, zeta) {
  gaps <- zeta[, -1, drop = FALSE] - zeta[, -ncol(zeta), drop = FALSE]
  colnames(gaps) <- paste0("gap ", colnames(zeta)[-1])
  cbind(slopes, zeta, gaps)
}
ess <- function(q) {
  if (ess_kind == "posterior::ess_bulk") apply(q, 2L, posterior::ess_bulk)
  else coda::effectiveSize(coda::mcmc(q))
}
split_rhat <- function(q) {
  if (has("posterior")) return(apply(q, 2L, posterior::rhat))
  h <- nrow(q) %/% 2L
  apply(q, 2L, function(v) {
    a <- v[seq_len(h)]; b <- v[h + seq_len(h)]
    w <- (stats::var(a) + stats::var(b)) / 2
    sqrt(((h - 1) / h * w + stats::var(c(mean(a), mean(b)))) / w)
  })
}
# Share of iterations whose cutpoints moved (draws x cutpoints).
moved_share <- function(cut) {
  if (ncol(cut) == 0L || nrow(cut) < 2L) return(NA_real_)
  mean(rowSums(abs(diff(cut))) > 0)
}
wall <- function(f) {
  t0 <- Sys.time()
  value <- f()
  list(value = value, seconds = as.double(Sys.time()) - as.double(t0))
}
# A run (a function returning list(q, seconds, ...)) with the median time of
# `repeats` runs when it is short.
repeated <- function(run) {
  first <- run()
  if (repeats <= 1L || first$seconds > 10) return(first)
  times <- c(first$seconds, vapply(seq_len(repeats - 1L), function(i) run()$seconds, 0))
  first$seconds <- stats::median(times)
  first
}
row_of <- function(set, sampler, setting, q, seconds, acceptance, valid, reference, note = "") {
  e <- ess(q)
  dev <- max(abs(colMeans(q)[names(reference)] - reference) / apply(q[, names(reference), drop = FALSE], 2L, stats::sd))
  data.frame(set = set, sampler = sampler, setting = setting, min_ess = min(e),
             worst = names(e)[which.min(e)], seconds = seconds, ess_per_s = min(e) / seconds,
             acceptance = acceptance, valid = valid, dev = dev, note = note)
}
in_range <- function(a) !is.na(a) && a >= acceptance_range[1] && a <= acceptance_range[2]

# ---- the samplers -------------------------------------------------------------------------
# method "independence" (the default sampler) or "augmented" (the
# data-augmentation chain). The acceptance is the independence move's, or
# the cutpoint step's.
run_ours <- function(s, seed = 1, method = "independence") {
  args <- list(s$formula, data = s$data, chains = 1, iter = s$kept, burnin = s$burnin, seed = seed,
               cores = 1, progress = FALSE, control = oprobit_control(method = method))
  if (!is.null(s$weights)) args$weights <- as.name(s$weights)  # a column of data, as a user writes it
  r <- wall(function() do.call(oprobit_mcmc, args))
  d <- unclass(posterior::as_draws_matrix(r$value$draws))
  z <- grepl("|", colnames(d), fixed = TRUE)
  ran <- r$value$method
  list(q = quantities(d[, !z, drop = FALSE], d[, z, drop = FALSE]), seconds = r$seconds, method = ran,
       acceptance = if (identical(ran, "independence")) r$value$whole_acceptance[1] else r$value$acceptance[1])
}
# MCMCoprobit: P(y <= k) = Phi(gamma_k - intercept - x beta), gamma_1 = 0.
run_mcmcoprobit <- function(s, tune, kept, burnin, seed = 11) {
  d <- expand(s$data, s$weights)
  r <- wall(function() suppressWarnings(MCMCpack::MCMCoprobit(s$formula, data = d, burnin = burnin,
    mcmc = kept, tune = tune, verbose = 0, seed = seed)))
  m <- as.matrix(r$value)
  gamma <- cbind(0, m[, grep("^gamma", colnames(m)), drop = FALSE])
  zeta <- gamma - m[, "(Intercept)"]
  colnames(zeta) <- threshold_names(s)
  slopes <- m[, setdiff(colnames(m)[!grepl("^gamma", colnames(m))], "(Intercept)"), drop = FALSE]
  list(q = quantities(slopes, zeta), seconds = r$seconds,
       acceptance = moved_share(gamma[, -1, drop = FALSE]))
}
# bayesm: y = k when cut_{k-1} < x beta + e <= cut_k, cut_1 = 0; default priors.
run_bayesm <- function(s, seed = 13) {
  d <- expand(s$data, s$weights)
  mf <- stats::model.frame(s$formula, d)
  X <- stats::model.matrix(s$formula, mf)
  y <- as.integer(stats::model.response(mf))
  set.seed(seed)
  r <- wall(function() {
    out <- NULL
    invisible(utils::capture.output(out <- bayesm::rordprobitGibbs(
      Data = list(y = y, X = X, k = nlevels(stats::model.response(mf))),
      Mcmc = list(R = s$burnin + s$kept, nprint = 0))))
    out
  })
  keep <- -seq_len(s$burnin)
  beta <- r$value$betadraw[keep, , drop = FALSE]
  cut <- r$value$cutdraw[keep, , drop = FALSE]
  zeta <- cut - beta[, 1]
  colnames(zeta) <- threshold_names(s)
  slopes <- beta[, -1, drop = FALSE]
  colnames(slopes) <- colnames(X)[-1]
  list(q = quantities(slopes, zeta), seconds = r$seconds, acceptance = moved_share(cut[, -1, drop = FALSE]))
}
threshold_names <- function(s) {
  lev <- levels(factor(stats::model.response(stats::model.frame(s$formula, s$data))))
  paste(lev[-length(lev)], lev[-1], sep = "|")
}
# brms's program for a weighted cumulative probit model with flat priors is
# the same for every data set here (sizes are data), so it is compiled once.
brms_program <- NULL
brms_compile_seconds <- NA_real_
run_brms <- function(s, seed = 17, iterations = s$burnin + s$kept, warmup = s$burnin) {
  best <- as_weighted_rows(s)
  d <- best$data
  w <- best$weights
  if (is.null(w)) {
    d$.w <- 1
    w <- ".w"
  }
  response <- all.vars(s$formula)[1]
  f <- brms::bf(stats::as.formula(paste(response, "| weights(", w, ") ~", deparse(s$formula[[3]]))))
  flat <- brms::set_prior("", class = "Intercept")
  code <- brms::make_stancode(f, data = d, family = brms::cumulative("probit"), prior = flat)
  standata <- brms::make_standata(f, data = d, family = brms::cumulative("probit"), prior = flat)
  if (is.null(brms_program) || !identical(attr(brms_program, "code"), code)) {
    # Kept between runs in the build folder, keyed by the program's text.
    code_file <- tempfile(fileext = ".stan")
    writeLines(code, code_file)
    dir.create(cache, showWarnings = FALSE, recursive = TRUE)
    cached <- file.path(cache, paste0("brms-", unname(tools::md5sum(code_file)), ".rds"))
    compiled <- if (file.exists(cached)) list(value = readRDS(cached), seconds = 0) else {
      wall(function() rstan::stan_model(model_code = code))
    }
    if (!file.exists(cached)) saveRDS(compiled$value, cached)
    brms_program <<- structure(compiled$value, code = code)
    brms_compile_seconds <<- compiled$seconds
  }
  # (rstan's own warnings about R-hat and ESS are left to the checks below)
  fit <- suppressWarnings(rstan::sampling(brms_program, data = standata, chains = 1, iter = iterations,
                                          warmup = warmup, seed = seed, refresh = 0))
  seconds <- sum(rstan::get_elapsed_time(fit))
  m <- as.matrix(fit)
  slopes <- m[, grep("^b\\[", colnames(m)), drop = FALSE]
  colnames(slopes) <- colnames(standata$X)
  zeta <- m[, grep("^b_Intercept\\[", colnames(m)), drop = FALSE]
  colnames(zeta) <- threshold_names(s)
  list(q = quantities(slopes, zeta), seconds = seconds,
       divergent = rstan::get_num_divergent(fit), rows = nrow(d))
}
# Whether brms's full run would end within brms_limit seconds, from a short
# run (its warm-up's first iterations are no cheaper than the later ones).
brms_limit <- 600
brms_estimate <- function(s) {
  pilot <- run_brms(s, iterations = 60L, warmup = 30L)
  pilot$seconds / 60 * (s$burnin + s$kept)
}

# ---- the runs -------------------------------------------------------------------------------
rows <- list()
add <- function(r) rows[[length(rows) + 1L]] <<- r
for (set in names(sets)) {
  s <- sets[[set]]
  setting <- sprintf("%d + %d", s$burnin, s$kept)
  p <- suppressWarnings(MASS::polr(s$formula, data = s$data, method = "probit",
                                   weights = if (!is.null(s$weights)) s$data[[s$weights]]))
  reference <- c(stats::coef(p), p$zeta)
  reference <- c(reference, stats::setNames(diff(p$zeta), paste0("gap ", names(p$zeta)[-1])))
  cat(sprintf("%s: %d rows, %s kept draws after burn-in\n", set, nrow(expand(s$data, s$weights)), setting))
  n_units <- nrow(expand(s$data, s$weights))
  estimate <- if (use[["brms"]] && n_units > 2e4) brms_estimate(s) else 0
  if (use[["brms"]] && estimate > brms_limit) {
    add(data.frame(set = set, sampler = "brms (Stan NUTS)", setting = paste("warm-up", setting), min_ess = NA_real_,
                   worst = "", seconds = NA_real_, ess_per_s = NA_real_, acceptance = NA_real_, valid = FALSE,
                   dev = NA_real_, note = sprintf("not run: %.0f s estimated from 60 iterations (> %d s)",
                                                  estimate, brms_limit)))
  } else if (use[["brms"]]) {
    b <- repeated(function() run_brms(s))
    rh <- max(split_rhat(b$q))
    e <- min(ess(b$q))
    add(row_of(set, "brms (Stan NUTS)", paste("warm-up", setting), b$q, b$seconds, NA_real_,
               b$divergent == 0 && rh < 1.05 && e >= 100, reference,
               sprintf("%d divergent, max R-hat %.3f, %d weighted rows", b$divergent, rh, b$rows)))
  }
  # The independence sampler counts when it ran (no fallback) and accepted
  # at least a tenth of its proposals; the data-augmentation chain by its
  # cutpoint step's acceptance, as the peers' Metropolis steps.
  o <- repeated(function() run_ours(s))
  add(row_of(set, "oprobit_mcmc", setting, o$q, o$seconds, o$acceptance,
             identical(o$method, "independence") && o$acceptance >= 0.1, reference, "independence sampler"))
  a <- repeated(function() run_ours(s, method = "augmented"))
  add(row_of(set, "oprobit_mcmc augmented", setting, a$q, a$seconds, a$acceptance,
             is.na(a$acceptance) || in_range(a$acceptance), reference, "data-augmentation chain"))
  # MCMCoprobit's best tune shrinks with the data (as 1/sqrt(N)); large sets
  # get a grid scaled to their size and shorter pilots.
  large <- n_units > 2e4
  set_tunes <- if (large) signif(tunes[2:5] * sqrt(2e4 / n_units), 2) else tunes
  if (use[["MCMCoprobit"]]) for (tune in set_tunes) {
    pilot <- if (large) run_mcmcoprobit(s, tune, 100L, 50L) else run_mcmcoprobit(s, tune, 200L, 100L)
    label <- sprintf("tune %g, %s", tune, setting)
    if (is.na(pilot$acceptance) || pilot$acceptance < 0.10 || pilot$acceptance > 0.90) {
      add(data.frame(set = set, sampler = "MCMCoprobit", setting = label, min_ess = NA_real_, worst = "",
                     seconds = NA_real_, ess_per_s = NA_real_, acceptance = pilot$acceptance, valid = FALSE,
                     dev = NA_real_, note = "pilot acceptance out of range: not run in full"))
      next
    }
    m <- repeated(function() run_mcmcoprobit(s, tune, s$kept, s$burnin))
    add(row_of(set, "MCMCoprobit", label, m$q, m$seconds, m$acceptance, in_range(m$acceptance), reference))
  }
  if (use[["bayesm"]]) {
    b <- repeated(function() run_bayesm(s))
    add(row_of(set, "bayesm rordprobitGibbs", setting, b$q, b$seconds, b$acceptance, in_range(b$acceptance),
               reference, "its default priors"))
  }
}
table <- do.call(rbind, rows)

# ---- scaling ---------------------------------------------------------------------------------
scaling <- NULL
if (!"scaling" %in% skip) {
  sizes <- as.numeric(strsplit(Sys.getenv("QV_BENCH_SCALING_N", "1e4,1e5,1e6"), ",")[[1]])
  scaling <- do.call(rbind, lapply(sizes, function(n) {
    d <- simulate_set(n, seed = 7)
    iterations <- max(20L, as.integer(5e6 / n))
    b <- iterations %/% 4L
    fit <- oprobit_mcmc(y ~ x1 + x2 + x3 + x4 + x5, data = d, chains = 1, iter = iterations - b,
                        burnin = b, seed = 3, cores = 1, progress = FALSE)
    data.frame(N = n, iterations = iterations, seconds = fit$seconds[1],
               ms_per_iteration = fit$seconds[1] / iterations * 1e3,
               us_per_row = fit$seconds[1] / iterations / n * 1e6)
  }))
}

# ---- report -----------------------------------------------------------------------------------
f <- function(x, d = 1) ifelse(is.na(x), "-", formatC(x, format = "f", digits = d, big.mark = ","))
cat(sprintf("\nOrdinal probit samplers, one chain each, same process; R %s.%s; %s\n",
            R.version$major, R.version$minor,
            sub("^.*: ", "", grep("^model name", readLines("/proc/cpuinfo"), value = TRUE)[1])))
cat(sprintf("min ESS: smallest %s over slopes, thresholds and threshold gaps (probit scale)\n", ess_kind))
if (!is.na(brms_compile_seconds)) {
  cat(if (brms_compile_seconds > 0) sprintf("brms: Stan program compiled once in %.0f s (not counted)\n", brms_compile_seconds)
      else sprintf("brms: Stan program compiled by an earlier run, read from %s\n", cache))
}
print(data.frame(`data set` = table$set, sampler = table$sampler, setting = table$setting,
                 `min ESS` = f(table$min_ess, 0), worst = table$worst, seconds = f(table$seconds, 2),
                 `min ESS/s` = f(table$ess_per_s, 1), accept = f(table$acceptance, 3),
                 valid = ifelse(table$valid, "yes", "no"), dev = f(table$dev, 2), note = table$note,
                 check.names = FALSE), row.names = FALSE, right = FALSE)

cat("\nTargets (the independence sampler): min ESS/s >= 10 x MCMCoprobit's best valid tune on every set; against brms")
cat(" >= 10 x on tables (given to brms as weighted rows), >= 20 x on the survey and on simulated sets\n")
for (set in unique(table$set)) {
  t <- table[table$set == set & table$valid, ]
  ours <- t$ess_per_s[t$sampler == "oprobit_mcmc"]
  best <- function(name) { v <- t$ess_per_s[t$sampler == name]; if (length(v)) max(v) else NA_real_ }
  brms <- best("brms (Stan NUTS)")
  mcmcoprobit <- best("MCMCoprobit")
  ours <- if (length(ours)) ours else NA_real_
  s <- sets[[set]]
  units <- nrow(expand(s$data, s$weights))
  # A table: its distinct (covariates, response) rows are few against the units.
  table_like <- nrow(as_weighted_rows(s)$data) * 4 <= units
  factor <- if (table_like) 10 else 20
  verdict <- function(ratio, need) if (is.na(ratio)) "" else if (ratio >= need) "met" else "MISS"
  cat(sprintf("  %-22s ours %8s | brms %8s: ratio %6s (need %2d) %-4s | best valid MCMCoprobit %8s: ratio %6s %s\n",
              set, f(ours), f(brms), f(ours / brms, 1), factor, verdict(ours / brms, factor),
              f(mcmcoprobit), f(ours / mcmcoprobit, 1), verdict(ours / mcmcoprobit, 10)))
  if (table_like) {
    # The whole call (frame, mode, chain) against brms's sampling and its
    # program's compilation, which a new user waits for too.
    ours_seconds <- t$seconds[t$sampler == "oprobit_mcmc"]
    brms_seconds <- t$seconds[t$sampler == "brms (Stan NUTS)"]
    cat(sprintf("  %-22s whole call: ours %s s; brms %s s sampling%s\n", "", f(ours_seconds[1], 2),
                f(brms_seconds[1], 2), if (is.na(brms_compile_seconds) || brms_compile_seconds == 0) "" else
                  sprintf(" + %.0f s compiling its program", brms_compile_seconds)))
  }
}

if (!is.null(scaling)) {
  cat("\noprobit_mcmc per iteration, simulated data (5 continuous covariates, 7 categories), one chain\n")
  print(data.frame(N = formatC(scaling$N, format = "d", big.mark = ","), iterations = scaling$iterations,
                   seconds = f(scaling$seconds, 2), `ms/iteration` = f(scaling$ms_per_iteration, 2),
                   `us/row/iteration` = f(scaling$us_per_row, 3), check.names = FALSE), row.names = FALSE)
  largest <- scaling[which.max(scaling$N), ]
  cat(sprintf("Target: at most 0.15 us per row per iteration at N = %s: %.3f, %s; linear: us/row from the smallest to the largest N changes by a factor %.2f\n",
              formatC(largest$N, format = "d", big.mark = ","), largest$us_per_row,
              if (largest$us_per_row <= 0.15) "met" else "MISS",
              largest$us_per_row / scaling$us_per_row[which.min(scaling$N)]))
}
cat(sprintf("\n(oprobit bench: %.0f s)\n", proc.time()[["elapsed"]] - started))
