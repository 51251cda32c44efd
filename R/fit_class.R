# The fit every sampler of the package returns (class "qv_fit"): the draws,
# held once as a posterior::draws_array (iterations x chains x parameters),
# what the model was (call, terms, family, prior), a summary of the data
# (nobs, levels, na.action) and the sampler's record (seed, chains, iter,
# burnin, thin, seconds, acceptance). The samplers' classes add their
# parameter groups and their predictions; printing, summaries, plots, the
# draws for coda and posterior, coef, vcov, confint and nobs are this class's.

#' @importFrom stats coef vcov nobs predict confint fitted residuals logLik model.matrix simulate
#'   deviance df.residual
#' @importFrom graphics plot
NULL

# A fit of class c(class, "qv_fit"). `chains`: one iterations x parameters
# matrix per chain, in chain order, named columns; `model`: call, terms,
# family, prior; `data`: nobs, na.action, levels; `sampler`: seed, chains,
# iter, burnin, thin, seconds (and acceptance where the sampler has one);
# `parameters`: the parameter groups print() and summary() show, a named list
# of parameter names, titles as names; `fields`: the class's own fields.
.qv_fit <- function(class, chains, model, data, sampler, parameters, fields = list()) {
  draws <- .qv_draws_array(chains)
  if (posterior::niterations(draws) != sampler$iter || posterior::nchains(draws) != sampler$chains) {
    .qv_stop(class[1L], "the chains returned %d x %d draws, not %d x %d", posterior::niterations(draws),
             posterior::nchains(draws), sampler$iter, sampler$chains)
  }
  fit <- c(list(call = model$call, draws = draws, coefficients = colMeans(.qv_pooled(draws))),
           model[setdiff(names(model), "call")], data, sampler, list(parameters = parameters), fields)
  structure(fit, class = c(class, "qv_fit"))
}

# A draws_array from one iterations x parameters matrix per chain: values and
# their order as the chains gave them.
.qv_draws_array <- function(chains) {
  first <- chains[[1L]]
  values <- array(unlist(chains, use.names = FALSE), c(nrow(first), ncol(first), length(chains)),
                  dimnames = list(NULL, colnames(first), NULL))
  posterior::as_draws_array(aperm(values, c(1L, 3L, 2L)))
}

# The draws of every chain in one matrix, chain after chain (draws x
# parameters, no row names).
.qv_pooled <- function(draws) {
  values <- unclass(draws)
  matrix(values, ncol = dim(values)[3L], dimnames = list(NULL, dimnames(values)[[3L]]))
}

# Chain `j` of a draws_array as an iterations x parameters matrix.
.qv_chain <- function(draws, j) {
  values <- unclass(draws)
  matrix(values[, j, ], dim(values)[1L], dimnames = list(NULL, dimnames(values)[[3L]]))
}

# Split R-hat, bulk and tail effective sample size of each parameter, by the
# posterior package; NA where a figure is not finite (a constant draw).
.qv_diagnostics <- function(draws, tail = TRUE) {
  measures <- list(Rhat = posterior::rhat, ess_bulk = posterior::ess_bulk, ess_tail = posterior::ess_tail)
  if (!tail) measures$ess_tail <- NULL
  table <- suppressWarnings(do.call(posterior::summarise_draws, c(list(draws), measures)))
  lapply(stats::setNames(nm = names(measures)), function(column) {
    stats::setNames(ifelse(is.finite(table[[column]]), table[[column]], NA_real_), table$variable)
  })
}

# After a fit: a warning, as rstan gives, when a parameter's split R-hat is
# above 1.01 or its bulk effective sample size below 100. `fn` names the
# sampler.
.qv_convergence_warning <- function(fit, fn) {
  # The tail effective sample size is not part of the check.
  diagnostics <- .qv_diagnostics(fit$draws, tail = FALSE)
  rhat <- diagnostics$Rhat
  ess <- diagnostics$ess_bulk
  problems <- character(0)
  bad <- !is.na(rhat) & rhat > 1.01
  if (any(bad)) {
    worst <- which.max(ifelse(bad, rhat, -Inf))
    problems <- c(problems, sprintf("R-hat above 1.01 for %d parameter(s) (largest %.3g, '%s')",
                                    sum(bad), rhat[worst], names(rhat)[worst]))
  }
  bad <- is.na(ess) | ess < 100
  if (any(bad)) {
    worst <- which.min(ifelse(bad, ifelse(is.na(ess), -1, ess), Inf))
    problems <- c(problems, sprintf("bulk effective sample size below 100 for %d parameter(s) (smallest %s, '%s')",
                                    sum(bad), format(round(ess[worst])), names(ess)[worst]))
  }
  if (length(problems) > 0L) {
    warning(sprintf("%s: %s: the chains have not converged or are too short; run longer chains (more 'iter' or 'burnin') and see summary()",
                    fn, paste(problems, collapse = "; ")), call. = FALSE)
  }
  invisible(diagnostics)
}

# What a class prints above and below its parameter tables, for the fit and
# for its summary: .qv_head() the title and the call (and what else the model
# needs said first), .qv_notes() lines after the tables.
.qv_head <- function(x) UseMethod(".qv_head")
.qv_notes <- function(x, digits) UseMethod(".qv_notes")
.qv_notes.default <- function(x, digits) invisible()
.qv_title <- function(title, call) {
  cat(title, "\n\nCall:\n", sep = "")
  print(call)
}

#' Methods of every fit of the package
#'
#' The fits of [oprobit_mcmc()] and [ordered_means_mcmc()] share a class,
#' \code{"qv_fit"}, that holds their draws once, as a
#' \code{posterior::draws_array} (\code{$draws}: iterations x chains x
#' parameters), with the posterior means (\code{$coefficients}), the call,
#' \code{$nobs}, \code{$seed}, \code{$chains}, \code{$iter}, \code{$burnin},
#' \code{$thin} and each chain's sampling time (\code{$seconds}).
#'
#' \code{print()} shows the posterior mean and sd of each parameter, group by
#' group. \code{summary()} adds, from \code{posterior::summarise_draws()},
#' the 2.5, 50 and 97.5\% quantiles, the split R-hat and the bulk and tail
#' effective sample sizes (\code{posterior::rhat}, \code{posterior::ess_bulk},
#' \code{posterior::ess_tail}). \code{plot()} draws each parameter's trace and
#' density by chain. \code{coef()} gives the posterior means,
#' \code{vcov()} their posterior covariance, \code{confint()} posterior
#' quantile intervals (not Wald intervals), \code{nobs()} the number of
#' observations. \code{posterior::as_draws()} and \code{coda::as.mcmc.list()}
#' give the draws to those packages.
#'
#' @param x,object a fit (or its summary, for \code{print}).
#' @param digits significant digits to print, a whole number in 1 ... 22
#'   (\code{summary()} keeps it for printing).
#' @param parm parameters (names or positions) for \code{confint()}; default
#'   all.
#' @param level probability of the intervals.
#' @param parameters names of the parameters to plot (default all).
#' @param per_page parameters per page of the plot, a whole number of at least 1.
#' @param ... unused.
#' @return \code{print()}, \code{plot()}: \code{x}, invisibly.
#'   \code{summary()}: an object of class \code{"summary.qv_fit"} (and
#'   \code{"summary.<class of the fit>"}) whose \code{table} is a data frame
#'   with one row per parameter (\code{mean}, \code{sd}, \code{2.5\%},
#'   \code{50\%}, \code{97.5\%}, \code{Rhat}, \code{ess_bulk},
#'   \code{ess_tail}). \code{coef()}: a named vector. \code{vcov()}: a matrix.
#'   \code{confint()}: a matrix with one row per parameter and the lower and
#'   upper quantile. \code{nobs()}: a number. \code{as_draws()}: a
#'   \code{posterior::draws_array}. \code{as.mcmc.list()}: a
#'   \code{coda::mcmc.list}, one \code{mcmc} per chain.
#' @seealso [oprobit_mcmc()], [ordered_means_mcmc()].
#' @examples
#' fit <- oprobit_mcmc(Sat ~ Infl, data = MASS::housing, weights = Freq,
#'                     chains = 2, iter = 300, burnin = 200, seed = 1, cores = 1)
#' fit
#' summary(fit)
#' coef(fit)
#' vcov(fit)
#' confint(fit)
#' plot(fit, parameters = "InflHigh")
#' posterior::summarise_draws(posterior::as_draws(fit))
#' if (requireNamespace("coda", quietly = TRUE)) coda::effectiveSize(coda::as.mcmc.list(fit))
#' @name qv_fit
NULL

# `digits` as print() takes it: a whole number in 1 ... 22.
.qv_digits <- function(fn, digits) {
  if (!is.numeric(digits) || length(digits) != 1L || !is.finite(digits) || digits != floor(digits) ||
      digits < 1 || digits > 22) {
    .qv_stop(fn, "'digits' must be a whole number in 1 ... 22")
  }
  as.integer(digits)
}

#' @rdname qv_fit
#' @usage \method{print}{qv_fit}(x, digits = max(3L, getOption("digits") - 3L), ...)
#' @exportS3Method print qv_fit
print.qv_fit <- function(x, digits = max(3L, getOption("digits") - 3L), ...) {
  digits <- .qv_digits("print", digits)
  .qv_head(x)
  pooled <- .qv_pooled(x$draws)
  table <- rbind(mean = colMeans(pooled), sd = apply(pooled, 2L, stats::sd))
  for (title in names(x$parameters)) {
    if (length(x$parameters[[title]]) == 0L) next
    cat(sprintf("\n%s (posterior mean and sd):\n", title))
    print(table[, x$parameters[[title]], drop = FALSE], digits = digits)
  }
  .qv_notes(x, digits)
  cat(sprintf("\n%d chains x %d draws, %s observations\n", x$chains, x$iter, format(x$nobs, big.mark = ",")))
  invisible(x)
}

#' @rdname qv_fit
#' @usage \method{summary}{qv_fit}(object, ...)
#' @exportS3Method summary qv_fit
summary.qv_fit <- function(object, ...) {
  # digits belong to print(); given here, they are checked and kept for it.
  digits <- list(...)$digits
  if (!is.null(digits) || "digits" %in% names(list(...))) digits <- .qv_digits("summary", digits)
  table <- posterior::summarise_draws(object$draws, mean, sd = stats::sd,
                                      ~stats::quantile(.x, probs = c(0.025, 0.5, 0.975)))
  table <- data.frame(lapply(unclass(table)[-1L], as.numeric), .qv_diagnostics(object$draws),
                      row.names = table$variable, check.names = FALSE)
  fields <- intersect(c("call", "chains", "iter", "burnin", "thin", "nobs", "seconds", "acceptance", "parameters",
                        "method", "fallback", "family", "whole_acceptance"), names(object))
  structure(c(unclass(object)[fields], list(table = table, digits = digits)),
            class = c(paste0("summary.", setdiff(class(object), "qv_fit")), "summary.qv_fit"))
}

#' @rdname qv_fit
#' @usage \method{print}{summary.qv_fit}(x, digits = if (is.null(x$digits)) max(3L, getOption("digits") - 3L) else x$digits, ...)
#' @exportS3Method print summary.qv_fit
print.summary.qv_fit <- function(x, digits = if (is.null(x$digits)) max(3L, getOption("digits") - 3L) else x$digits,
                                 ...) {
  digits <- .qv_digits("print", digits)
  .qv_head(x)
  # Every column of figures with the same decimals (across the groups alike),
  # R-hat with three, the sample sizes whole.
  figures <- c("mean", "sd", "2.5%", "50%", "97.5%")
  scale <- max(abs(unlist(x$table[figures])), 1e-300)
  decimals <- max(2L, min(8L, digits - 1L - floor(log10(scale))))
  formatted <- data.frame(lapply(x$table[figures], formatC, format = "f", digits = decimals),
                          Rhat = formatC(x$table$Rhat, format = "f", digits = 3L),
                          ess_bulk = formatC(round(x$table$ess_bulk), format = "d"),
                          ess_tail = formatC(round(x$table$ess_tail), format = "d"),
                          check.names = FALSE, row.names = rownames(x$table))
  for (title in names(x$parameters)) {
    if (length(x$parameters[[title]]) == 0L) next
    cat(sprintf("\n%s:\n", title))
    print(formatted[x$parameters[[title]], , drop = FALSE], right = TRUE)
  }
  .qv_notes(x, digits)
  cat(sprintf("\n%d chains x %d draws (burn-in %d, thin %d), %s observations\n",
              x$chains, x$iter, x$burnin, x$thin, format(x$nobs, big.mark = ",")))
  cat(sprintf("Sampling time by chain (burn-in included): %s s\n",
              paste(sprintf("%.2f", x$seconds), collapse = ", ")))
  invisible(x)
}

#' @rdname qv_fit
#' @export
coef.qv_fit <- function(object, ...) object$coefficients

#' @rdname qv_fit
#' @export
vcov.qv_fit <- function(object, ...) stats::cov(.qv_pooled(object$draws))

#' @rdname qv_fit
#' @export
nobs.qv_fit <- function(object, ...) object$nobs

#' @rdname qv_fit
#' @export
confint.qv_fit <- function(object, parm, level = 0.95, ...) {
  pooled <- .qv_pooled(object$draws)
  if (!missing(parm)) {
    names <- colnames(pooled)
    if (is.character(parm)) {
      unknown <- setdiff(parm, names)
      if (length(unknown) > 0L) .qv_stop("confint", "'parm' names an unknown parameter '%s'", unknown[1L])
    } else if (!is.numeric(parm) || anyNA(parm) || any(parm < 1 | parm > length(names) | parm != floor(parm))) {
      .qv_stop("confint", "'parm' must be parameter names or positions in 1 ... %d", length(names))
    }
    pooled <- pooled[, parm, drop = FALSE]
  }
  if (!is.numeric(level) || length(level) != 1L || !(level > 0 && level < 1)) {
    .qv_stop("confint", "'level' must be one number between 0 and 1")
  }
  probs <- c((1 - level) / 2, (1 + level) / 2)
  limits <- t(apply(pooled, 2L, stats::quantile, probs = probs, names = FALSE))
  dimnames(limits) <- list(colnames(pooled), sprintf("%s %%", format(100 * probs, trim = TRUE, digits = 3L)))
  limits
}

#' @rdname qv_fit
#' @export
plot.qv_fit <- function(x, parameters = names(x$coefficients), per_page = 4L, ...) {
  unknown <- setdiff(parameters, names(x$coefficients))
  if (length(unknown) > 0L) .qv_stop("plot", "unknown parameter '%s'", unknown[1L])
  per_page <- .qv_whole("plot", per_page, "per_page", 1)
  colours <- grDevices::adjustcolor(c("#1b9e77", "#d95f02", "#7570b3", "#e7298a", "#66a61e",
                                      "#e6ab02", "#a6761d", "#666666"), 0.8)
  colours <- rep_len(colours, x$chains)
  old <- graphics::par(mfrow = c(min(per_page, length(parameters)), 2L), mar = c(4, 4, 2, 1))
  on.exit(graphics::par(old))
  if (length(parameters) > per_page && grDevices::dev.interactive()) {
    ask <- grDevices::devAskNewPage(TRUE)
    on.exit(grDevices::devAskNewPage(ask), add = TRUE)
  }
  for (name in parameters) {
    values <- matrix(unclass(x$draws)[, , name], x$iter)
    graphics::matplot(values, type = "l", lty = 1, col = colours, xlab = "draw", ylab = name,
                      main = paste("Trace of", name))
    densities <- lapply(seq_len(ncol(values)), function(j) stats::density(values[, j]))
    graphics::plot(NULL, xlim = range(sapply(densities, function(d) range(d$x))),
                   ylim = c(0, max(sapply(densities, function(d) max(d$y)))), xlab = name,
                   ylab = "density", main = paste("Density of", name))
    for (j in seq_along(densities)) graphics::lines(densities[[j]], col = colours[j], lwd = 1.5)
  }
  invisible(x)
}

#' @rdname qv_fit
#' @usage \method{as.mcmc.list}{qv_fit}(x, ...)
#' @exportS3Method coda::as.mcmc.list
as.mcmc.list.qv_fit <- function(x, ...) {
  coda::mcmc.list(lapply(seq_len(x$chains), function(j) {
    coda::mcmc(.qv_chain(x$draws, j), start = x$burnin + x$thin, thin = x$thin)
  }))
}

#' @rdname qv_fit
#' @usage \method{as_draws}{qv_fit}(x, ...)
#' @rawNamespace S3method(posterior::as_draws, qv_fit)
as_draws.qv_fit <- function(x, ...) x$draws
