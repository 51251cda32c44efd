# Bayesian ordinal probit regression of son's on father's occupational status
# (datasets::occupationalStatus, 3498 people, 8 ordered categories), with
# chains run in parallel on a PSOCK cluster. The model and the sampler are in
# R/ordinal_probit_model.R; this script runs the chains and reports.
#
# Usage: Rscript examples/ordinal_probit.R [options]
#   --iterations N   draws kept per chain, after burn-in (default 5000)
#   --burnin N       burn-in iterations per chain; the cutpoint proposal is
#                    tuned during them (default 1000)
#   --chains N       chains, one worker process each (default: one per core,
#                    or one per --hosts entry)
#   --seed N         seed of every random stream (default 2024)
#   --output DIR     folder for the plots, the summary and the draws
#                    (default out/ordinal_probit)
#   --hosts H1,H2    machines for the workers, one worker per entry, recycled
#                    to the number of chains (default: this machine)
#   --latent LIB     library of the latent draws: quorval (C library stream)
#                    or quorval2 (R's stream) (default quorval)
#   --remote-dir D   checkout of this project on the other hosts (default:
#                    the same path as here)
#   --master HOST    name under which the hosts reach this machine
# Libraries from $QV_BUILD_DIR (default build/).

suppressPackageStartupMessages(library(parallel))
options(width = 110)
wall_started <- proc.time()[["elapsed"]]

usage <- function() {
  lines <- readLines(script_path)
  cat(sub("^# ?", "", lines[grep("^# Usage", lines):grep("^# Libraries", lines)]), sep = "\n")
}
script_path <- normalizePath(sub("^--file=", "", grep("^--file=", commandArgs(FALSE), value = TRUE)[1L]))
root <- dirname(dirname(script_path))

# The package's functions, internal ones included, in the global environment
# (here and on each worker).
source_r_layer <- function(root) {
  suppressPackageStartupMessages(library(quorval))
  ns <- asNamespace("quorval")
  for (name in setdiff(ls(ns, all.names = TRUE), c(".onLoad", ".onUnload"))) {
    assign(name, get(name, ns), envir = globalenv())
  }
  assign("qv_load_libraries", function(...) invisible(NULL), envir = globalenv())
  assign("qv_has_entry", function(...) TRUE, envir = globalenv())
}
source_r_layer(root)

# ---- options ----------------------------------------------------------------
parse_options <- function(args) {
  options <- list(iterations = "5000", burnin = "1000", chains = NA, seed = "2024",
                  output = file.path("out", "ordinal_probit"), hosts = NA, latent = "quorval",
                  `remote-dir` = NA, master = NA)
  while (length(args) > 0L) {
    if (args[1L] %in% c("-h", "--help")) { usage(); quit(status = 0) }
    name <- sub("^--", "", sub("=.*$", "", args[1L]))
    if (!startsWith(args[1L], "--") || !name %in% names(options)) {
      usage(); stop(sprintf("unknown option '%s'", args[1L]), call. = FALSE)
    }
    if (grepl("=", args[1L])) {
      options[[name]] <- sub("^[^=]*=", "", args[1L]); args <- args[-1L]
    } else {
      if (length(args) < 2L) stop(sprintf("option --%s needs a value", name), call. = FALSE)
      options[[name]] <- args[2L]; args <- args[-(1:2)]
    }
  }
  whole <- function(name, minimum) {
    value <- suppressWarnings(as.numeric(options[[name]]))
    if (is.na(value) || value != floor(value) || value < minimum || value > .Machine$integer.max) {
      stop(sprintf("--%s must be a whole number of at least %d", name, minimum), call. = FALSE)
    }
    as.integer(value)
  }
  options$hosts <- if (is.na(options$hosts)) NULL else strsplit(options$hosts, ",", fixed = TRUE)[[1L]]
  if (is.na(options$chains)) {
    options$chains <- if (length(options$hosts) > 0L) length(options$hosts) else max(1L, detectCores(), na.rm = TRUE)
  }
  options$iterations <- whole("iterations", 10)
  options$burnin <- whole("burnin", 0)
  options$chains <- whole("chains", 1)
  options$seed <- whole("seed", 0)
  if (!options$latent %in% c("quorval", "quorval2")) stop("--latent must be quorval or quorval2", call. = FALSE)
  options
}
opt <- parse_options(commandArgs(trailingOnly = TRUE))

build_dir <- normalizePath(Sys.getenv("QV_BUILD_DIR", "build"), mustWork = FALSE)
qv_load_libraries(build_dir)
if (!qv_has_entry("quorval", "quorval")) {
  message(sprintf("ordinal_probit.R skipped: %s/quorval.so has no 'quorval' entry (the cutpoint step) yet; rebuild once it is there",
                  build_dir))
  quit(status = 0)
}

# ---- chains -----------------------------------------------------------------
data <- op_data()
hosts <- rep_len(if (length(opt$hosts) > 0L) opt$hosts else "localhost", opt$chains)
worker_root <- if (is.na(opt$`remote-dir`)) root else opt$`remote-dir`
worker_build <- if (startsWith(build_dir, paste0(root, "/"))) {
  file.path(worker_root, substring(build_dir, nchar(root) + 2L))
} else build_dir

cat(sprintf("Ordinal probit of son's on father's occupational status: %d people, %d categories\n",
            data$n, op_cutpoint_count - 1L))
cat(sprintf("%d chains x (%d burn-in + %d kept) iterations, seed %d, latent draws by %s, workers on %s\n\n",
            opt$chains, opt$burnin, opt$iterations, opt$seed, opt$latent,
            paste(unique(hosts), collapse = ", ")))

cluster_args <- list(names = hosts)
if (!is.na(opt$master)) cluster_args$master <- opt$master
cl <- do.call(makePSOCKcluster, cluster_args)
invisible(clusterCall(cl, function(root, build, source_r_layer) {
  source_r_layer(root)
  qv_load_libraries(build)
  invisible(NULL)
}, worker_root, worker_build, source_r_layer))
settings <- lapply(op_chain_seeds(opt$seed, opt$chains), c,
                list(iterations = opt$iterations, burnin = opt$burnin, latent = opt$latent))
invisible(clusterApply(cl, settings, function(setting) op_worker_start(setting)))

sampling_started <- proc.time()[["elapsed"]]
total <- opt$burnin + opt$iterations
block <- max(1L, total %/% 50L)
# A redrawn bar on a terminal, a growing line of '=' in a log.
bar <- txtProgressBar(0, total, style = if (isatty(stdout())) 3L else 1L)
done <- 0L
while (done < total) {
  count <- min(block, total - done)
  invisible(clusterCall(cl, "op_worker_run", count))
  done <- done + count
  setTxtProgressBar(bar, done)
}
close(bar)
results <- clusterCall(cl, "op_worker_result")
sampling_seconds <- proc.time()[["elapsed"]] - sampling_started
stopCluster(cl)

# ---- summaries ----------------------------------------------------------------
native <- lapply(results, `[[`, "draws")
chains <- lapply(native, probit_scale)
pooled <- do.call(rbind, chains)
parameters <- colnames(pooled)

son <- factor(data$y, ordered = TRUE)
father <- data$father
ml <- MASS::polr(son ~ father, method = "probit", Hess = TRUE)
ml_estimate <- c(coef(ml), ml$zeta)
ml_se <- sqrt(diag(vcov(ml)))[c("father", names(ml$zeta))]
names(ml_estimate) <- names(ml_se) <- parameters

post_mean <- colMeans(pooled)
post_sd <- apply(pooled, 2L, sd)
quantiles <- apply(pooled, 2L, quantile, probs = c(0.025, 0.975), names = FALSE)
ess <- mcmc_ess(chains)
rhat <- mcmc_rhat(chains)
gap <- (post_mean - ml_estimate) / post_sd

summary_table <- data.frame(parameter = parameters, mean = post_mean, sd = post_sd,
                            q2.5 = quantiles[1L, ], q97.5 = quantiles[2L, ],
                            polr = ml_estimate, polr_se = ml_se, gap_sd = gap,
                            rhat = rhat, ess = ess, row.names = NULL)
shown <- data.frame(
  parameter = parameters,
  mean = sprintf("%.4f", post_mean), sd = sprintf("%.4f", post_sd),
  `2.5%` = sprintf("%.4f", quantiles[1L, ]), `97.5%` = sprintf("%.4f", quantiles[2L, ]),
  polr = sprintf("%.4f", ml_estimate), `polr se` = sprintf("%.4f", ml_se),
  `(mean-polr)/sd` = sprintf("%+.2f", gap), `R-hat` = sprintf("%.3f", rhat),
  ESS = sprintf("%.0f", ess), check.names = FALSE)

cat(sprintf("\nPosterior from %d chains x %d draws (probit scale: latent sd 1, no intercept)\n",
            opt$chains, opt$iterations))
cat("next to maximum likelihood, MASS::polr(son ~ father, method = \"probit\"):\n\n")
print(shown, row.names = FALSE, right = TRUE)

acceptance <- vapply(results, `[[`, 0, "acceptance")
precision <- vapply(results, `[[`, 0, "s")
cat(sprintf("\nCutpoint step acceptance after burn-in: %.1f%% (by chain: %s)\n", 100 * mean(acceptance),
            paste(sprintf("%.1f%%", 100 * acceptance), collapse = ", ")))
cat(sprintf("Proposal precision s tuned in burn-in: %s\n", paste(sprintf("%.1f", precision), collapse = ", ")))
within <- abs(gap) <= 2
cat(sprintf("Posterior means within 2 posterior sd of the ML estimates: %d of %d%s\n", sum(within),
            length(within), if (all(within)) "" else paste0(" (not: ", paste(parameters[!within], collapse = ", "), ")")))
cat(sprintf("Largest R-hat %.3f (%s); smallest ESS %.0f (%s)\n", max(rhat), parameters[which.max(rhat)],
            min(ess), parameters[which.min(ess)]))

# ---- files --------------------------------------------------------------------
dir.create(opt$output, recursive = TRUE, showWarnings = FALSE)
draws_file <- file.path(opt$output, "draws.rds")
saveRDS(list(seed = opt$seed, latent = opt$latent, chains = native, acceptance = acceptance, s = precision),
        draws_file)
write.csv(summary_table, file.path(opt$output, "summary.csv"), row.names = FALSE)
serialized <- tempfile()
writeBin(serialize(native, NULL, xdr = TRUE), serialized)
cat(sprintf("Draws digest (md5 of the serialized draws): %s\n", unname(tools::md5sum(serialized))))
unlink(serialized)

colours <- c("#1b9e77", "#d95f02", "#7570b3", "#e7298a", "#66a61e", "#e6ab02", "#a6761d", "#666666")
chain_colours <- rep_len(colours, opt$chains)
plot_panels <- function(file, title, panel) {
  png(file, width = 1400, height = 1400, res = 120, type = "cairo")
  par(mfrow = c(4L, 2L), mar = c(4, 4, 2.5, 1), oma = c(0, 0, 2, 0))
  for (p in parameters) panel(p)
  mtext(title, outer = TRUE, font = 2)
  invisible(dev.off())
}
plot_panels(file.path(opt$output, "trace.png"), "Trace by chain (after burn-in)", function(p) {
  values <- sapply(chains, function(draws) draws[, p])
  matplot(values, type = "l", lty = 1, col = adjustcolor(chain_colours, 0.7), xlab = "iteration",
          ylab = p, main = p)
  abline(h = ml_estimate[[p]], lty = 2)
})
plot_panels(file.path(opt$output, "density.png"),
            "Posterior density by chain; dashed: normal approximation of the ML fit", function(p) {
  dens <- lapply(chains, function(draws) density(draws[, p]))
  grid <- seq(ml_estimate[[p]] - 4 * ml_se[[p]], ml_estimate[[p]] + 4 * ml_se[[p]], length.out = 200)
  ml_curve <- dnorm(grid, ml_estimate[[p]], ml_se[[p]])
  plot(NULL, xlim = range(grid, sapply(dens, function(d) range(d$x))),
       ylim = c(0, max(ml_curve, sapply(dens, function(d) max(d$y)))), xlab = p, ylab = "density", main = p)
  for (j in seq_along(dens)) lines(dens[[j]], col = chain_colours[j], lwd = 1.5)
  lines(grid, ml_curve, lty = 2)
})
cat(sprintf("Wrote %s: trace.png, density.png, summary.csv, draws.rds\n", opt$output))

# ---- timing (differs from run to run) -----------------------------------------
ess_per_second <- ess / sampling_seconds
cat(sprintf("\nTiming (varies between runs; everything above is fixed by the seed):\n"))
cat(sprintf("  chains: %.1f s wall for %d x %d iterations (%.1f ms per iteration and chain)\n",
            sampling_seconds, opt$chains, total, 1000 * sampling_seconds / total))
cat("  effective samples per second of chain wall time:\n")
print(data.frame(parameter = parameters, `ESS/s` = sprintf("%.1f", ess_per_second), check.names = FALSE),
      row.names = FALSE, right = TRUE)
cat(sprintf("  minimum ESS/s: %.1f (%s)\n", min(ess_per_second), parameters[which.min(ess_per_second)]))
cat(sprintf("  total wall time: %.1f s\n", proc.time()[["elapsed"]] - wall_started))
