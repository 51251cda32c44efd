# Methods of the "oprobit_mcmc" result: print, summary, coef, vcov, plot,
# predict, and the conversions to coda's and posterior's draws objects.

#' @importFrom stats coef vcov nobs predict
#' @importFrom graphics plot
NULL

.oprobit_pooled <- function(object) do.call(rbind, object$draws)

#' @exportS3Method print oprobit_mcmc
print.oprobit_mcmc <- function(x, digits = max(3L, getOption("digits") - 3L), ...) {
  cat("Bayesian ordinal probit regression (oprobit_mcmc)\n\nCall:\n")
  print(x$call)
  pooled <- .oprobit_pooled(x)
  table <- rbind(mean = colMeans(pooled), sd = apply(pooled, 2L, stats::sd))
  if (length(x$slopes) > 0L) {
    cat("\nSlopes (posterior mean and sd):\n")
    print(table[, x$slopes, drop = FALSE], digits = digits)
  }
  cat("\nThresholds (posterior mean and sd):\n")
  print(table[, x$thresholds, drop = FALSE], digits = digits)
  if (length(x$group_parameters) > 0L) {
    cat("\nGroup-level sds and correlations (posterior mean and sd):\n")
    print(table[, x$group_parameters, drop = FALSE], digits = digits)
  }
  cat(sprintf("\n%d chains x %d draws, %d observations\n", x$chains, x$iter, x$nobs))
  invisible(x)
}

#' @exportS3Method summary oprobit_mcmc
summary.oprobit_mcmc <- function(object, ...) {
  pooled <- .oprobit_pooled(object)
  quantiles <- t(apply(pooled, 2L, stats::quantile, probs = c(0.025, 0.5, 0.975), names = FALSE))
  table <- data.frame(mean = colMeans(pooled), sd = apply(pooled, 2L, stats::sd),
                      `2.5%` = quantiles[, 1L], `50%` = quantiles[, 2L], `97.5%` = quantiles[, 3L],
                      Rhat = mcmc_rhat(object$draws), ess_bulk = mcmc_ess_bulk(object$draws),
                      check.names = FALSE, row.names = colnames(pooled))
  structure(list(call = object$call, table = table, acceptance = object$acceptance,
                 seconds = object$seconds, chains = object$chains, iter = object$iter,
                 burnin = object$burnin, thin = object$thin, nobs = object$nobs,
                 slopes = object$slopes, thresholds = object$thresholds,
                 group_parameters = object$group_parameters),
            class = "summary.oprobit_mcmc")
}

#' @exportS3Method print summary.oprobit_mcmc
print.summary.oprobit_mcmc <- function(x, digits = max(3L, getOption("digits") - 3L), ...) {
  cat("Bayesian ordinal probit regression (oprobit_mcmc)\n\nCall:\n")
  print(x$call)
  show <- function(rows, title) {
    if (length(rows) == 0L) return()
    cat(sprintf("\n%s:\n", title))
    table <- x$table[rows, , drop = FALSE]
    table$ess_bulk <- round(table$ess_bulk)
    print(table, digits = digits)
  }
  show(x$slopes, "Slopes")
  show(x$thresholds, "Thresholds")
  show(x$group_parameters, "Group-level sds and correlations")
  cat(sprintf("\n%d chains x %d draws (burn-in %d, thin %d), %d observations\n",
              x$chains, x$iter, x$burnin, x$thin, x$nobs))
  cat(sprintf("Cutpoint step acceptance by chain: %s\n",
              paste(sprintf("%.1f%%", 100 * x$acceptance), collapse = ", ")))
  cat(sprintf("Sampling time by chain (burn-in included): %s s\n",
              paste(sprintf("%.2f", x$seconds), collapse = ", ")))
  invisible(x)
}

#' @export
coef.oprobit_mcmc <- function(object, ...) object$coefficients

#' @export
vcov.oprobit_mcmc <- function(object, ...) stats::cov(.oprobit_pooled(object))

#' @export
nobs.oprobit_mcmc <- function(object, ...) object$nobs

#' Trace and density plots of an \code{oprobit_mcmc} fit
#'
#' One row per parameter: its trace and its posterior density, by chain.
#' @param x an \code{oprobit_mcmc} fit.
#' @param parameters names of the parameters to show (default all).
#' @param per_page parameters per page.
#' @param ... unused.
#' @return \code{x}, invisibly.
#' @examples
#' if (requireNamespace("MASS", quietly = TRUE)) {
#'   fit <- oprobit_mcmc(Sat ~ Infl, data = MASS::housing, weights = Freq,
#'                       chains = 2, iter = 300, burnin = 200, seed = 1, cores = 1)
#'   plot(fit)
#' }
#' @export
plot.oprobit_mcmc <- function(x, parameters = names(x$coefficients), per_page = 4L, ...) {
  unknown <- setdiff(parameters, names(x$coefficients))
  if (length(unknown) > 0L) .qv_stop("plot.oprobit_mcmc", "unknown parameter '%s'", unknown[1L])
  colours <- grDevices::adjustcolor(c("#1b9e77", "#d95f02", "#7570b3", "#e7298a", "#66a61e",
                                      "#e6ab02", "#a6761d", "#666666"), 0.8)
  colours <- rep_len(colours, length(x$draws))
  old <- graphics::par(mfrow = c(min(per_page, length(parameters)), 2L), mar = c(4, 4, 2, 1))
  on.exit(graphics::par(old))
  if (length(parameters) > per_page && grDevices::dev.interactive()) {
    ask <- grDevices::devAskNewPage(TRUE)
    on.exit(grDevices::devAskNewPage(ask), add = TRUE)
  }
  for (name in parameters) {
    values <- sapply(x$draws, function(d) d[, name])
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

#' Predicted category probabilities of an \code{oprobit_mcmc} fit
#'
#' @param object an \code{oprobit_mcmc} fit.
#' @param newdata a data frame with the covariates; default the fitted rows.
#' @param type \code{"prob"}: posterior mean probability of each category;
#'   \code{"class"}: the category with the largest of them.
#' @param ... unused.
#' @return For \code{"prob"} a matrix (one row per row of \code{newdata}, one
#'   column per category); for \code{"class"} a factor.
#' @examples
#' if (requireNamespace("MASS", quietly = TRUE)) {
#'   fit <- oprobit_mcmc(Sat ~ Infl, data = MASS::housing, weights = Freq,
#'                       chains = 2, iter = 300, burnin = 200, seed = 1, cores = 1)
#'   predict(fit, data.frame(Infl = c("Low", "High")))
#' }
#' @export
predict.oprobit_mcmc <- function(object, newdata, type = c("prob", "class"), ...) {
  type <- match.arg(type)
  if (missing(newdata)) {
    X <- object$x
  } else {
    terms <- stats::delete.response(object$terms)
    frame <- stats::model.frame(terms, newdata, na.action = stats::na.pass, xlev = object$xlevels)
    X <- stats::model.matrix(terms, frame, contrasts.arg = object$contrasts)
  }
  X <- X[, object$slopes, drop = FALSE]
  pooled <- .oprobit_pooled(object)
  eta <- X %*% t(pooled[, object$slopes, drop = FALSE])  # rows x draws
  J <- length(object$levels)
  below <- matrix(0, nrow(X), J + 1L)
  below[, J + 1L] <- 1
  for (k in seq_len(J - 1L)) {
    below[, k + 1L] <- rowMeans(stats::pnorm(sweep(-eta, 2L, pooled[, object$thresholds[k]], `+`)))
  }
  prob <- below[, -1L, drop = FALSE] - below[, -(J + 1L), drop = FALSE]
  dimnames(prob) <- list(rownames(X), object$levels)
  if (type == "prob") return(prob)
  factor(object$levels[max.col(prob, ties.method = "first")], levels = object$levels)
}

#' Draws of an \code{oprobit_mcmc} fit for coda
#'
#' @param x an \code{oprobit_mcmc} fit.
#' @param ... unused.
#' @return A \code{coda::mcmc.list}: one \code{mcmc} per chain, one column per
#'   parameter on the probit scale, named as \code{coef()} names them.
#' @examples
#' if (requireNamespace("coda", quietly = TRUE) && requireNamespace("MASS", quietly = TRUE)) {
#'   fit <- oprobit_mcmc(Sat ~ Infl, data = MASS::housing, weights = Freq,
#'                       chains = 2, iter = 300, burnin = 200, seed = 1, cores = 1)
#'   coda::effectiveSize(coda::as.mcmc.list(fit))
#' }
#' @exportS3Method coda::as.mcmc.list
as.mcmc.list.oprobit_mcmc <- function(x, ...) {
  coda::mcmc.list(lapply(x$draws, function(d) coda::mcmc(d, start = x$burnin + x$thin, thin = x$thin)))
}

#' Draws of an \code{oprobit_mcmc} fit for posterior
#'
#' @param x an \code{oprobit_mcmc} fit.
#' @param ... unused.
#' @return A \code{posterior::draws_array} (draws x chains x parameters).
#' @examples
#' if (requireNamespace("posterior", quietly = TRUE) && requireNamespace("MASS", quietly = TRUE)) {
#'   fit <- oprobit_mcmc(Sat ~ Infl, data = MASS::housing, weights = Freq,
#'                       chains = 2, iter = 300, burnin = 200, seed = 1, cores = 1)
#'   posterior::summarise_draws(posterior::as_draws(fit))
#' }
#' @exportS3Method posterior::as_draws
as_draws.oprobit_mcmc <- function(x, ...) {
  values <- array(unlist(x$draws), c(x$iter, ncol(x$draws[[1L]]), length(x$draws)),
                  dimnames = list(NULL, colnames(x$draws[[1L]]), NULL))
  posterior::as_draws_array(aperm(values, c(1L, 3L, 2L)))
}
