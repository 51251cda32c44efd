# Bayesian ordinal probit regression with oprobit_mcmc(), next to maximum
# likelihood (MASS::polr). By default: son's on father's occupational status
# (datasets::occupationalStatus, 3498 people, 8 ordered categories), one row
# per person; or any CSV file and formula.
#
# Usage: Rscript examples/ordinal_probit.R [options]
#   --data FILE.csv  data to fit (default: occupationalStatus, son ~ father)
#   --formula F      model formula, e.g. "y ~ x1 + x2" (needed with --data);
#                    a numeric response is taken as ordered codes, a text
#                    response in sorted order unless --levels gives it
#   --levels A,B,C   the response's categories from lowest to highest
#   --weights COL    column of frequency counts (optional)
#   --iterations N   draws kept per chain, after burn-in (default 5000)
#   --burnin N       burn-in iterations per chain; the proposals are tuned
#                    during them (default 1000)
#   --chains N       chains (default 4)
#   --cores N        local worker processes (default 2)
#   --hosts H1,H2    run the chains on a PSOCK cluster over these machines
#                    (each needs the package installed)
#   --seed N         seed of every random stream (default 2024)
#   --latent L       stream of the latent draws: c (C library) or r (R's)
#                    (default c)
#   --output DIR     folder for the plots, the summary and the draws
#                    (default out/ordinal_probit)

options(width = 110)
wall_started <- proc.time()[["elapsed"]]
script_path <- normalizePath(sub("^--file=", "", grep("^--file=", commandArgs(FALSE), value = TRUE)[1L]))

usage <- function() {
  lines <- readLines(script_path)
  cat(sub("^# ?", "", lines[grep("^# Usage", lines):grep("^#  +\\(default out/", lines)]), sep = "\n")
}

suppressPackageStartupMessages(library(quorval))

# ---- options ----------------------------------------------------------------
parse_options <- function(args) {
  options <- list(data = NA, formula = NA, levels = NA, weights = NA, iterations = "5000", burnin = "1000",
                  chains = "4", cores = "2", hosts = NA, seed = "2024", latent = "c",
                  output = file.path("out", "ordinal_probit"))
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
  for (name in c("iterations", "chains", "cores")) options[[name]] <- whole(name, 1)
  options$burnin <- whole("burnin", 0)
  options$seed <- whole("seed", 0)
  if (!options$latent %in% c("c", "r")) stop("--latent must be c or r", call. = FALSE)
  if (!is.na(options$data) && is.na(options$formula)) stop("--data needs --formula", call. = FALSE)
  options
}
opt <- parse_options(commandArgs(trailingOnly = TRUE))

# ---- data ---------------------------------------------------------------------
if (is.na(opt$data)) {
  table <- as.data.frame(datasets::occupationalStatus)
  rows <- rep(seq_len(nrow(table)), table$Freq)
  data <- data.frame(son = factor(table$destination[rows], ordered = TRUE),
                     father = as.integer(table$origin)[rows])
  formula <- son ~ father
  title <- "son's on father's occupational status (datasets::occupationalStatus)"
} else {
  data <- utils::read.csv(opt$data, stringsAsFactors = FALSE)
  formula <- stats::as.formula(opt$formula)
  response <- all.vars(formula)[1L]
  if (!response %in% names(data)) stop(sprintf("column '%s' is not in %s", response, opt$data), call. = FALSE)
  if (!is.na(opt$levels)) {
    levels <- strsplit(opt$levels, ",", fixed = TRUE)[[1L]]
    unknown <- setdiff(unique(as.character(data[[response]])), levels)
    if (length(unknown) > 0L) stop(sprintf("--levels lacks the category '%s'", unknown[1L]), call. = FALSE)
    data[[response]] <- factor(as.character(data[[response]]), levels = levels, ordered = TRUE)
  } else if (is.character(data[[response]])) {
    data[[response]] <- factor(data[[response]], ordered = TRUE)
  }
  title <- sprintf("%s, from %s", deparse(formula), opt$data)
}
if (!is.na(opt$weights) && !opt$weights %in% names(data)) {
  stop(sprintf("weights column '%s' is not in the data", opt$weights), call. = FALSE)
}
data$.weights <- if (is.na(opt$weights)) 1 else data[[opt$weights]]

# ---- chains -----------------------------------------------------------------
cl <- NULL
if (!is.na(opt$hosts)) {
  cl <- parallel::makePSOCKcluster(strsplit(opt$hosts, ",", fixed = TRUE)[[1L]])
  on.exit(parallel::stopCluster(cl))
}
cat(sprintf("Ordinal probit regression: %s\n", title))
cat(sprintf("%d chains x (%d burn-in + %d kept) iterations, seed %d, %s\n\n",
            opt$chains, opt$burnin, opt$iterations, opt$seed,
            if (is.null(cl)) sprintf("%d local workers", min(opt$cores, opt$chains)) else paste("hosts", opt$hosts)))
fit <- oprobit_mcmc(formula, data = data, weights = .weights, chains = opt$chains, iter = opt$iterations,
                    burnin = opt$burnin, seed = opt$seed, cores = opt$cores, cl = cl, latent = opt$latent,
                    progress = TRUE)
if (!is.null(cl)) parallel::stopCluster(cl)
on.exit()

# ---- next to maximum likelihood -------------------------------------------------
ml <- MASS::polr(formula, data = data, weights = .weights, method = "probit", Hess = TRUE)
ml_estimate <- c(coef(ml), ml$zeta)
ml_se <- sqrt(diag(vcov(ml)))[names(ml_estimate)]
table <- summary(fit)$table
gap <- (table$mean - ml_estimate) / table$sd
shown <- data.frame(
  parameter = rownames(table),
  mean = sprintf("%.4f", table$mean), sd = sprintf("%.4f", table$sd),
  `2.5%` = sprintf("%.4f", table$`2.5%`), `97.5%` = sprintf("%.4f", table$`97.5%`),
  polr = sprintf("%.4f", ml_estimate), `polr se` = sprintf("%.4f", ml_se),
  `(mean-polr)/sd` = sprintf("%+.2f", gap), `R-hat` = sprintf("%.3f", table$Rhat),
  ESS = sprintf("%.0f", table$ess_bulk), check.names = FALSE)
cat(sprintf("\nPosterior from %d chains x %d draws (probit scale: latent sd 1, no intercept)\n",
            opt$chains, opt$iterations))
cat(sprintf("next to maximum likelihood, MASS::polr(%s, method = \"probit\"):\n\n", deparse(formula)))
print(shown, row.names = FALSE, right = TRUE)
cat(sprintf("\nSampler: %s; its acceptance after burn-in, by chain: %s\n",
            if (identical(fit$method, "independence")) "independence Metropolis-Hastings at the posterior mode" else
              sprintf("data augmentation, latent draws on the %s stream (cutpoint step)",
                      if (opt$latent == "c") "C library" else "R"),
            paste(sprintf("%.1f%%", 100 * if (identical(fit$method, "independence")) fit$whole_acceptance else
              fit$acceptance), collapse = ", ")))
within <- abs(gap) <= 2
cat(sprintf("Posterior means within 2 posterior sd of the ML estimates: %d of %d%s\n", sum(within),
            length(within), if (all(within)) "" else paste0(" (not: ", paste(rownames(table)[!within], collapse = ", "), ")")))
cat(sprintf("Largest R-hat %.3f (%s); smallest bulk ESS %.0f (%s)\n", max(table$Rhat),
            rownames(table)[which.max(table$Rhat)], min(table$ess_bulk), rownames(table)[which.min(table$ess_bulk)]))

# ---- files --------------------------------------------------------------------
dir.create(opt$output, recursive = TRUE, showWarnings = FALSE)
saveRDS(fit$draws, file.path(opt$output, "draws.rds"))
utils::write.csv(cbind(parameter = rownames(table), table, polr = ml_estimate, polr_se = ml_se),
                 file.path(opt$output, "summary.csv"), row.names = FALSE)
serialized <- tempfile()
writeBin(serialize(fit$draws, NULL, xdr = TRUE), serialized)
cat(sprintf("Draws digest (md5 of the serialized draws): %s\n", unname(tools::md5sum(serialized))))
unlink(serialized)
pages <- split(names(coef(fit)), ceiling(seq_along(coef(fit)) / 4))
for (page in seq_along(pages)) {
  grDevices::png(file.path(opt$output, sprintf("trace-density-%d.png", page)), width = 1400, height = 1400,
                 res = 120, type = "cairo")
  plot(fit, parameters = pages[[page]])
  invisible(grDevices::dev.off())
}
cat(sprintf("Wrote %s: trace-density-*.png (%d pages), summary.csv, draws.rds\n", opt$output, length(pages)))

# ---- timing (differs from run to run) -----------------------------------------
cat("\nTiming (varies between runs; everything above is fixed by the seed):\n")
cat(sprintf("  chains: %s s of sampling each, burn-in included (%.2f ms per iteration)\n",
            paste(sprintf("%.2f", fit$seconds), collapse = ", "),
            1000 * mean(fit$seconds) / (opt$burnin + opt$iterations)))
thresholds <- fit$thresholds
values <- unclass(fit$draws)
gaps <- values[, , thresholds[-1L], drop = FALSE] - values[, , thresholds[-length(thresholds)], drop = FALSE]
dimnames(gaps)[[3L]] <- paste0("gap ", thresholds[-1L])
ess <- c(apply(values, 3L, posterior::ess_bulk), apply(gaps, 3L, posterior::ess_bulk))
rate <- ess / sum(fit$seconds)
cat(sprintf("  smallest bulk ESS per second of chain time (slopes, thresholds, gaps): %.1f (%s)\n",
            min(rate), names(rate)[which.min(rate)]))
cat(sprintf("  total wall time: %.1f s\n", proc.time()[["elapsed"]] - wall_started))
