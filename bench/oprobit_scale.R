# oprobit_mcmc at scale, each case in a fresh R process so that its time and
# its peak resident memory are its own: a default fit (4 chains, 2 cores) on
# 2e5 and 1e6 simulated rows (5 continuous covariates, 5 categories) and
# loo() on shorter fits there (loo's cost is draws x cells: PSIS on every
# cell); the independence sampler's cost per row and iteration at 1e4,
# 1e5 and 1e6 rows (one chain); a short fit on 1e7 rows; a table of a few
# hundred rows whose weights sum to 1e9. Peak memory is the largest
# resident set of the case's processes (GNU time's %M: the R process or its
# largest forked chain, whichever is larger), or "-" where /usr/bin/time is
# missing. Prints one table and the targets.
#
# Environment: QV_RLIB (library holding the package, default build/rlib),
# QV_BENCH_SKIP (comma-separated; "huge" leaves out the 1e6 and 1e7 cases).
# Usage: Rscript bench/oprobit_scale.R

options(width = 160)
rlib <- normalizePath(Sys.getenv("QV_RLIB", "build/rlib"))
skip <- strsplit(Sys.getenv("QV_BENCH_SKIP", ""), ",")[[1]]
time_bin <- if (file.exists("/usr/bin/time")) "/usr/bin/time" else ""

# The simulated set: n rows, 5 continuous covariates, 5 categories.
prelude <- sprintf('
suppressPackageStartupMessages(library(quorval, lib.loc = "%s"))
simulate_set <- function(n) {
  set.seed(20261209)
  x <- matrix(rnorm(n * 5), n, 5, dimnames = list(NULL, paste0("x", 1:5)))
  y <- findInterval(drop(x %%*%% c(0.5, -0.3, 0.2, 0.1, -0.4)) + rnorm(n), c(-1, -0.3, 0.3, 1)) + 1L
  data.frame(y = factor(y, ordered = TRUE), x)
}
timed <- function(expr) { t0 <- proc.time()[["elapsed"]]; force(expr); proc.time()[["elapsed"]] - t0 }
', rlib)

# Runs `code` (which prints one line "seconds <s> [note]") in a child R
# process; returns its seconds, note and peak memory in MB.
run_case <- function(code) {
  script <- tempfile(fileext = ".R")
  writeLines(c(prelude, code), script)
  out <- tempfile()
  args <- c("-f", "%M", "-o", out, "Rscript", script)
  lines <- if (nzchar(time_bin)) system2(time_bin, args, stdout = TRUE, stderr = FALSE) else
    system2("Rscript", script, stdout = TRUE, stderr = FALSE)
  line <- grep("^seconds ", lines, value = TRUE)
  if (length(line) != 1L) return(list(seconds = NA_real_, note = "failed", mb = NA_real_))
  parts <- strsplit(sub("^seconds ", "", line), " ", fixed = TRUE)[[1]]
  kb <- if (nzchar(time_bin)) suppressWarnings(as.numeric(tail(readLines(out), 1))) else NA_real_
  list(seconds = as.numeric(parts[1]), note = paste(parts[-1], collapse = " "), mb = kb / 1024)
}

cases <- list(
  `default fit, N = 2e5` = 'd <- simulate_set(2e5)
s <- timed(fit <- oprobit_mcmc(y ~ x1 + x2 + x3 + x4 + x5, data = d, seed = 1, cores = 2, progress = FALSE))
cat("seconds", s, sprintf("min-ess=%.0f", min(summary(fit)$table$ess_bulk)), "\n")',
  `loo, N = 2e5, 2 x 500 draws` = 'd <- simulate_set(2e5)
fit <- oprobit_mcmc(y ~ x1 + x2 + x3 + x4 + x5, data = d, seed = 1, chains = 2, iter = 500, cores = 2, progress = FALSE)
s <- timed(l <- suppressWarnings(loo::loo(fit)))
cat("seconds", s, sprintf("elpd=%.1f", l$estimates["elpd_loo", "Estimate"]), "\n")',
  `independence, 1 chain, N = 1e4` = 'd <- simulate_set(1e4)
fit <- oprobit_mcmc(y ~ x1 + x2 + x3 + x4 + x5, data = d, seed = 1, chains = 1, iter = 2000, burnin = 0, cores = 1, progress = FALSE)
cat("seconds", fit$seconds, sprintf("us/row/iteration=%.4f", fit$seconds / 2000 / 1e4 * 1e6), "\n")',
  `independence, 1 chain, N = 1e5` = 'd <- simulate_set(1e5)
fit <- oprobit_mcmc(y ~ x1 + x2 + x3 + x4 + x5, data = d, seed = 1, chains = 1, iter = 500, burnin = 0, cores = 1, progress = FALSE)
cat("seconds", fit$seconds, sprintf("us/row/iteration=%.4f", fit$seconds / 500 / 1e5 * 1e6), "\n")',
  `table, weights summing to 1e9` = 'set.seed(3)
d <- expand.grid(a = factor(1:6), b = factor(1:5), c = factor(1:4), y = 1:4)
d$w <- round(runif(nrow(d), 0.5, 1.5) * 1e9 / nrow(d))
s <- timed(fit <- oprobit_mcmc(y ~ a + b + c, data = d, weights = w, seed = 1, cores = 2, progress = FALSE))
cat("seconds", s, sprintf("rows=%d units=%.3g sampler=%s", nrow(d), sum(d$w), fit$method), "\n")'
)
if (!"huge" %in% skip) {
  cases <- c(cases, list(
    `independence, 1 chain, N = 1e6` = 'd <- simulate_set(1e6)
fit <- oprobit_mcmc(y ~ x1 + x2 + x3 + x4 + x5, data = d, seed = 1, chains = 1, iter = 100, burnin = 0, cores = 1, progress = FALSE)
cat("seconds", fit$seconds, sprintf("us/row/iteration=%.4f", fit$seconds / 100 / 1e6 * 1e6), "\n")',
    `default fit, N = 1e6` = 'd <- simulate_set(1e6)
s <- timed(fit <- oprobit_mcmc(y ~ x1 + x2 + x3 + x4 + x5, data = d, seed = 1, cores = 2, progress = FALSE))
cat("seconds", s, sprintf("min-ess=%.0f", min(summary(fit)$table$ess_bulk)), "\n")',
    `loo, N = 1e6, 2 x 100 draws` = 'd <- simulate_set(1e6)
fit <- oprobit_mcmc(y ~ x1 + x2 + x3 + x4 + x5, data = d, seed = 1, chains = 2, iter = 100, cores = 2, progress = FALSE)
s <- timed(l <- suppressWarnings(loo::loo(fit)))
cat("seconds", s, sprintf("elpd=%.1f", l$estimates["elpd_loo", "Estimate"]), "\n")',
    `short fit, N = 1e7` = 'd <- simulate_set(1e7)
s <- timed(fit <- oprobit_mcmc(y ~ x1 + x2 + x3 + x4 + x5, data = d, seed = 1, chains = 2, iter = 100, burnin = 20, cores = 2, progress = FALSE))
cat("seconds", s, sprintf("2x(20+100)-iterations accept=%.2f", mean(fit$whole_acceptance)), "\n")'))
}

rows <- lapply(names(cases), function(name) {
  r <- run_case(cases[[name]])
  data.frame(case = name, seconds = r$seconds, `peak MB` = r$mb, note = r$note, check.names = FALSE)
})
table <- do.call(rbind, rows)
cat(sprintf("\noprobit_mcmc at scale (each case a fresh R process; R %s.%s; %s)\n", R.version$major, R.version$minor,
            sub("^.*: ", "", grep("^model name", readLines("/proc/cpuinfo"), value = TRUE)[1])))
print(data.frame(case = table$case, seconds = formatC(table$seconds, format = "f", digits = 2),
                 `peak MB` = ifelse(is.na(table$`peak MB`), "-", formatC(table$`peak MB`, format = "f", digits = 0)),
                 note = table$note, check.names = FALSE), row.names = FALSE, right = FALSE)
figure <- function(case) table$seconds[table$case == case]
per_row <- function(case) as.numeric(sub(".*us/row/iteration=", "", table$note[table$case == case]))
verdict <- function(ok) if (length(ok) == 0L || is.na(ok)) "not run" else if (ok) "met" else "MISS"
cat(sprintf("\nTargets: default 4-chain fit on 2e5 rows within 30 s: %s; weights summing to 1e9 within 10 s: %s",
            verdict(figure("default fit, N = 2e5") <= 30), verdict(figure("table, weights summing to 1e9") <= 10)))
if (!"huge" %in% skip) {
  cat(sprintf("; at most 0.05 us per row per iteration at N = 1e6: %s; N = 1e7 in memory: %s",
              verdict(per_row("independence, 1 chain, N = 1e6") <= 0.05),
              verdict(!is.na(figure("short fit, N = 1e7")))))
}
cat("\n")
