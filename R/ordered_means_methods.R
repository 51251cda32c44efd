# Methods of the "ordered_means_mcmc" result: print, summary, coef, vcov,
# plot, the conversions to coda's and posterior's draws, and the
# probabilities of the adjacent inequalities.

.ordered_means_pooled <- function(object) do.call(rbind, object$draws)

#' Posterior probabilities of the adjacent inequalities of an ordered fit
#'
#' For each adjacent pair in the order of an [ordered_means_mcmc()] fit, the
#' posterior probability that the later mean exceeds the earlier one by more
#' than `margin` (falls below it by more than `margin` when the fit is
#' decreasing). With `margin = 0` every probability is 1 up to ties: the
#' order holds by construction. A margin of practical relevance shows which
#' steps the data support.
#'
#' @param object an `ordered_means_mcmc` fit.
#' @param margin a non-negative number on the scale of the response.
#' @return A data frame, one row per adjacent pair: `inequality` (as text),
#'   `probability`, and its Monte Carlo standard error `mc_error` (from the
#'   effective size of the indicator's chains).
#' @examples
#' set.seed(2)
#' d <- data.frame(g = rep(c("a", "b", "c"), each = 8))
#' d$y <- c(a = 0, b = 0.1, c = 1.5)[d$g] + rnorm(24)
#' fit <- ordered_means_mcmc(y ~ g, d, iter = 500, chains = 2, seed = 3, cores = 1,
#'                           bf_prior = FALSE)
#' order_probabilities(fit, margin = 0.5)
#' @export
order_probabilities <- function(object, margin = object$margin) {
  fn <- "order_probabilities"
  if (!inherits(object, "ordered_means_mcmc")) .qv_stop(fn, "'object' must be an ordered_means_mcmc fit")
  if (!is.numeric(margin) || length(margin) != 1L || !is.finite(margin) || margin < 0) {
    .qv_stop(fn, "'margin' must be one non-negative number")
  }
  means <- object$means
  k <- length(means)
  sign <- if (object$decreasing) -1 else 1
  rows <- lapply(seq_len(k - 1L), function(j) {
    above <- lapply(object$draws, function(d) {
      cbind(as.double(sign * (d[, means[j + 1L]] - d[, means[j]]) > margin))
    })
    probability <- mean(unlist(above))
    ess <- sum(vapply(above, function(a) {
      e <- posterior::ess_mean(a[, 1L])
      if (is.na(e)) length(a) else min(e, length(a))
    }, 0))
    data.frame(inequality = sprintf("%s %s %s%s", means[j], if (sign > 0) "<" else ">", means[j + 1L],
                                    if (margin > 0) sprintf(" by > %g", margin) else ""),
               probability = probability, mc_error = sqrt(probability * (1 - probability) / ess))
  })
  do.call(rbind, rows)
}

.ordered_means_header <- function(x) {
  cat("Bayesian normal means under an order constraint (ordered_means_mcmc)\n\nCall:\n")
  print(x$call)
  relation <- if (x$decreasing) " >= " else " <= "
  bounds <- c(if (is.finite(x$lower)) format(x$lower), paste(x$levels, collapse = relation),
              if (is.finite(x$upper)) format(x$upper))
  cat(sprintf("\nOrder of '%s': %s\n", x$group, paste(bounds, collapse = relation)))
}

.ordered_means_bf_lines <- function(bf, digits) {
  if (is.null(bf)) return(invisible())
  cat(sprintf("\nBayes factor, order vs unconstrained: %s (Monte Carlo error %s)\n",
              format(signif(bf$bf, digits)), format(signif(bf$mc_error, 2L))))
  cat(sprintf("  posterior share in the order %s, prior share %s; prior of the means N(%s, %s^2)\n",
              format(signif(bf$posterior_share, digits)), format(signif(bf$prior_share, digits)),
              paste(unique(format(signif(bf$prior_mean, digits))), collapse = "/"),
              paste(unique(format(signif(bf$prior_sd, digits))), collapse = "/")))
}

#' @exportS3Method print ordered_means_mcmc
print.ordered_means_mcmc <- function(x, digits = max(3L, getOption("digits") - 3L), ...) {
  .ordered_means_header(x)
  pooled <- .ordered_means_pooled(x)
  table <- rbind(mean = colMeans(pooled), sd = apply(pooled, 2L, stats::sd))
  cat("\nMeans (posterior mean and sd):\n")
  print(table[, x$means, drop = FALSE], digits = digits)
  if (length(x$slopes) > 0L) {
    cat("\nSlopes:\n")
    print(table[, x$slopes, drop = FALSE], digits = digits)
  }
  cat(sprintf("\nResidual sd: %s (sd %s)\n", format(signif(table[1L, "sigma"], digits)),
              format(signif(table[2L, "sigma"], 2L))))
  .ordered_means_bf_lines(x$bayes_factor, digits)
  cat(sprintf("\n%d chains x %d draws, %d observations\n", x$chains, x$iter, x$nobs))
  invisible(x)
}

#' @exportS3Method summary ordered_means_mcmc
summary.ordered_means_mcmc <- function(object, margin = object$margin, ...) {
  pooled <- .ordered_means_pooled(object)
  diagnostics <- .oprobit_diagnostics(object$draws)
  quantiles <- t(apply(pooled, 2L, stats::quantile, probs = c(0.025, 0.5, 0.975), names = FALSE))
  table <- data.frame(mean = colMeans(pooled), sd = apply(pooled, 2L, stats::sd),
                      `2.5%` = quantiles[, 1L], `50%` = quantiles[, 2L], `97.5%` = quantiles[, 3L],
                      Rhat = diagnostics$rhat, ess_bulk = diagnostics$ess_bulk,
                      check.names = FALSE, row.names = colnames(pooled))
  structure(c(object[c("call", "levels", "group", "decreasing", "lower", "upper", "bayes_factor", "seconds",
                       "chains", "iter", "burnin", "thin", "nobs", "means", "slopes")],
              list(table = table, inequalities = order_probabilities(object, margin))),
            class = "summary.ordered_means_mcmc")
}

#' @exportS3Method print summary.ordered_means_mcmc
print.summary.ordered_means_mcmc <- function(x, digits = max(3L, getOption("digits") - 3L), ...) {
  .ordered_means_header(x)
  table <- x$table
  table$ess_bulk <- round(table$ess_bulk)
  cat("\nPosterior:\n")
  print(table, digits = digits)
  cat("\nAdjacent inequalities:\n")
  print(x$inequalities, digits = digits, row.names = FALSE)
  .ordered_means_bf_lines(x$bayes_factor, digits)
  cat(sprintf("\n%d chains x %d draws (burn-in %d, thin %d), %d observations\n",
              x$chains, x$iter, x$burnin, x$thin, x$nobs))
  cat(sprintf("Sampling time by chain (burn-in included): %s s\n",
              paste(sprintf("%.2f", x$seconds), collapse = ", ")))
  invisible(x)
}

#' @export
coef.ordered_means_mcmc <- function(object, ...) object$coefficients

#' @export
vcov.ordered_means_mcmc <- function(object, ...) stats::cov(.ordered_means_pooled(object))

#' @export
nobs.ordered_means_mcmc <- function(object, ...) object$nobs

#' Trace and density plots of an \code{ordered_means_mcmc} fit
#'
#' One row per parameter: its trace and its posterior density, by chain.
#' @param x an \code{ordered_means_mcmc} fit.
#' @param parameters names of the parameters to show (default all).
#' @param per_page parameters per page.
#' @param ... unused.
#' @return \code{x}, invisibly.
#' @examples
#' d <- data.frame(g = rep(1:3, each = 5), y = c(0.1, 0.5, -0.2, 0.3, 0, rep(1, 5), rep(2, 5)) + 0.1 * (1:15))
#' fit <- ordered_means_mcmc(y ~ g, d, chains = 2, iter = 300, seed = 1, cores = 1, bf_prior = FALSE)
#' plot(fit)
#' @export
plot.ordered_means_mcmc <- function(x, parameters = names(x$coefficients), per_page = 4L, ...) {
  .qv_plot_chains(x, parameters, per_page, "plot.ordered_means_mcmc")
}

#' Draws of an \code{ordered_means_mcmc} fit for coda and posterior
#'
#' @param x an \code{ordered_means_mcmc} fit.
#' @param ... unused.
#' @return \code{as.mcmc.list}: a \code{coda::mcmc.list}, one \code{mcmc}
#'   per chain; \code{as_draws}: a \code{posterior::draws_array} (draws x
#'   chains x parameters). The parameters are named as \code{coef()} names
#'   them.
#' @examples
#' d <- data.frame(g = rep(1:3, each = 5), y = c(0.1, 0.5, -0.2, 0.3, 0, rep(1, 5), rep(2, 5)) + 0.1 * (1:15))
#' fit <- ordered_means_mcmc(y ~ g, d, chains = 2, iter = 300, seed = 1, cores = 1, bf_prior = FALSE)
#' if (requireNamespace("coda", quietly = TRUE)) coda::effectiveSize(coda::as.mcmc.list(fit))
#' if (requireNamespace("posterior", quietly = TRUE)) posterior::summarise_draws(posterior::as_draws(fit))
#' @name ordered_means_draws
NULL

#' @rdname ordered_means_draws
#' @exportS3Method coda::as.mcmc.list
as.mcmc.list.ordered_means_mcmc <- function(x, ...) .qv_mcmc_list(x)

#' @rdname ordered_means_draws
#' @rawNamespace S3method(posterior::as_draws, ordered_means_mcmc)
as_draws.ordered_means_mcmc <- function(x, ...) .qv_draws_array(x)
