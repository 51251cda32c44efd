# The "ordered_means_mcmc" fit (class c("ordered_means_mcmc", "qv_fit")),
# built in one place, what it prints besides its parameters, and the
# probabilities of the adjacent inequalities. print, summary, coef, vcov,
# confint, nobs, plot and the draws conversions are the base class's
# (R/fit_class.R).

# The fit from the front door's pieces: the model frame, the chains' setup
# and results, `columns` (the chains' columns in the user's order, named),
# `settings` (seed, chains, iter, burnin, thin) and `constraint` (the order's
# direction and bounds, the prior, the margin and the Bayes factor).
.ordered_means_fit <- function(call, model, setup, results, columns, settings, constraint) {
  chains <- lapply(results, function(result) {
    d <- result$draws[, columns, drop = FALSE]
    colnames(d) <- names(columns)
    d
  })
  means <- names(columns)[seq_along(model$order)]
  .qv_fit("ordered_means_mcmc", chains,
          model = list(call = call, terms = model$terms, prior = constraint$prior),
          data = list(nobs = setup$n, levels = model$order, na.action = model$na.action),
          sampler = c(settings, list(seconds = vapply(results, `[[`, 0, "seconds"))),
          parameters = list(Means = means, Slopes = colnames(model$X), `Residual sd` = "sigma"),
          fields = c(list(means = means, slopes = colnames(model$X), group = model$group_name),
                     constraint[c("decreasing", "lower", "upper", "margin", "bayes_factor")]))
}

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
  values <- unclass(object$draws)
  rows <- lapply(seq_len(k - 1L), function(j) {
    above <- matrix(as.double(sign * (values[, , means[j + 1L]] - values[, , means[j]]) > margin), object$iter)
    probability <- mean(above)
    ess <- sum(apply(above, 2L, function(a) {
      e <- posterior::ess_mean(a)
      if (is.na(e)) length(a) else min(e, length(a))
    }))
    data.frame(inequality = sprintf("%s %s %s%s", means[j], if (sign > 0) "<" else ">", means[j + 1L],
                                    if (margin > 0) sprintf(" by > %g", margin) else ""),
               probability = probability, mc_error = sqrt(probability * (1 - probability) / ess))
  })
  do.call(rbind, rows)
}

.qv_head.ordered_means_mcmc <- function(x) {
  .qv_title("Bayesian normal means under an order constraint (ordered_means_mcmc)", x$call)
  relation <- if (x$decreasing) " >= " else " <= "
  bounds <- c(if (is.finite(x$lower)) format(x$lower), paste(x$levels, collapse = relation),
              if (is.finite(x$upper)) format(x$upper))
  cat(sprintf("\nOrder of '%s': %s\n", x$group, paste(bounds, collapse = relation)))
}
.qv_head.summary.ordered_means_mcmc <- .qv_head.ordered_means_mcmc

.qv_notes.ordered_means_mcmc <- function(x, digits) {
  bf <- x$bayes_factor
  if (is.null(bf)) return(invisible())
  cat(sprintf("\nBayes factor, order vs unconstrained: %s (Monte Carlo error %s)\n",
              format(signif(bf$bf, digits)), format(signif(bf$mc_error, 2L))))
  cat(sprintf("  posterior share in the order %s, prior share %s; prior of the means N(%s, %s^2)\n",
              format(signif(bf$posterior_share, digits)), format(signif(bf$prior_share, digits)),
              paste(unique(format(signif(bf$prior_mean, digits))), collapse = "/"),
              paste(unique(format(signif(bf$prior_sd, digits))), collapse = "/")))
}
.qv_notes.summary.ordered_means_mcmc <- function(x, digits) {
  cat("\nAdjacent inequalities:\n")
  print(x$inequalities, digits = digits, row.names = FALSE)
  .qv_notes.ordered_means_mcmc(x, digits)
}

#' @rdname qv_fit
#' @param margin for an [ordered_means_mcmc()] fit, the margin of the
#'   adjacent inequalities the summary shows (see [order_probabilities()]).
#' @usage \method{summary}{ordered_means_mcmc}(object, margin = object$margin, ...)
#' @exportS3Method summary ordered_means_mcmc
summary.ordered_means_mcmc <- function(object, margin = object$margin, ...) {
  out <- NextMethod()
  fields <- c("levels", "group", "decreasing", "lower", "upper", "bayes_factor")
  out[fields] <- unclass(object)[fields]
  out$inequalities <- order_probabilities(object, margin)
  out
}
