# The "oprobit_mcmc" fit (class c("oprobit_mcmc", "qv_fit"); with group
# terms c("oprobit_mixed", "oprobit_mcmc", "qv_fit")), built in one place, and
# its own methods: fitted, logLik, model.matrix, predict, log_lik, loo,
# simulate. print, summary, coef, vcov, confint, nobs, plot and the draws
# conversions are the base class's (R/fit_class.R).

# The fit from the front door's pieces: the model frame, the chains' setup,
# their results and `settings` (seed, latent, chains, iter, burnin, thin).
.oprobit_fit <- function(call, model, setup, results, settings) {
  slopes <- colnames(model$X)[-1L]
  thresholds <- .oprobit_threshold_names(model$levels)
  groups <- if (!is.null(setup$groups)) .oprobit_group_fit(results, setup)
  .qv_fit(c(if (!is.null(groups)) "oprobit_mixed", "oprobit_mcmc"), lapply(results, `[[`, "draws"),
          model = list(call = call, terms = model$terms, family = setup$family, prior = setup$priors),
          data = list(nobs = setup$n, levels = model$levels, na.action = model$na.action),
          sampler = c(settings, list(
            seconds = vapply(results, `[[`, 0, "seconds"), acceptance = vapply(results, `[[`, 0, "acceptance"),
            threshold_acceptance = do.call(rbind, lapply(results, `[[`, "threshold_acceptance")),
            s = do.call(rbind, lapply(results, `[[`, "s")),
            whole_acceptance = vapply(results, `[[`, 0, "whole_acceptance"))),
          parameters = list(Slopes = slopes, Thresholds = thresholds,
                            `Group-level sds and correlations` = groups$group_parameters),
          fields = c(list(slopes = slopes, thresholds = thresholds, xlevels = model$xlevels,
                          contrasts = model$contrasts, x = model$X, y = model$y, weights = model$weights,
                          offset = model$offset, U = setup$U), groups))
}

.qv_head.oprobit_mcmc <- function(x) {
  link <- if (is.null(x$family)) "probit" else x$family$link
  .qv_title(sprintf("Bayesian ordinal %s regression (oprobit_mcmc)", link), x$call)
  cat(if (identical(x$method, "independence")) {
    "Sampler: independence Metropolis-Hastings from a t at the posterior mode (latent variables integrated out)\n"
  } else {
    "Sampler: data augmentation (latent variables, cutpoint steps and whole-point moves)\n"
  })
  if (!is.null(x$fallback)) cat(sprintf("  (in place of the independence sampler: %s)\n", x$fallback))
}
.qv_head.summary.oprobit_mcmc <- .qv_head.oprobit_mcmc
.qv_notes.summary.oprobit_mcmc <- function(x, digits) {
  if (identical(x$method, "independence")) {
    cat(sprintf("\nIndependence move acceptance by chain: %s\n",
                paste(sprintf("%.1f%%", 100 * x$whole_acceptance), collapse = ", ")))
  } else {
    cat(sprintf("\nCutpoint step acceptance by chain: %s\n",
                paste(sprintf("%.1f%%", 100 * x$acceptance), collapse = ", ")))
  }
}

#' Standard methods of an \code{oprobit_mcmc} fit
#'
#' \code{print()}, \code{summary()}, \code{coef()}, \code{vcov()},
#' \code{confint()}, \code{nobs()} and \code{plot()} are those of every fit
#' of the package (see [qv_fit]): the slopes, the thresholds (named as
#' \code{MASS::polr} names them) and, with group terms, the group-level sds
#' and correlations; \code{summary()} adds the cutpoint step acceptance of
#' each chain. \code{nobs()} counts frequency weights.
#'
#' \code{fitted()} gives the posterior mean probability of each category for
#' the fitted rows (as \code{predict()} without \code{newdata});
#' \code{model.matrix()} the model matrix of the fitted rows, intercept
#' included. \code{logLik()} is the log-likelihood at the posterior mean of the
#' parameters, with as many degrees of freedom as parameters;
#' \code{deviance()} is minus twice that, and \code{df.residual()} the number
#' of observations less the number of parameters, as for \code{polr}. An ordinal
#' response has no residuals: \code{residuals()} stops with an error that
#' points to \code{predict()} and \code{simulate()}.
#'
#' @param object an \code{oprobit_mcmc} fit.
#' @param ... unused.
#' @return \code{fitted()}: a matrix, one row per fitted row (padded with
#'   \code{NA} rows under \code{na.action = na.exclude}), one column per
#'   category. \code{model.matrix()}: a matrix. \code{deviance()},
#'   \code{df.residual()}: a number. \code{logLik()}: an object of class
#'   \code{"logLik"}.
#' @seealso [oprobit_mcmc()], [qv_fit], [predict.oprobit_mcmc()], [log_lik()].
#' @examples
#' fit <- oprobit_mcmc(Sat ~ Infl, data = MASS::housing, weights = Freq,
#'                     chains = 2, iter = 500, burnin = 300, seed = 1, cores = 1)
#' head(fitted(fit))
#' logLik(fit)
#' deviance(fit)
#' dim(model.matrix(fit))
#' @name oprobit_mcmc-methods
NULL

#' @rdname oprobit_mcmc-methods
#' @export
model.matrix.oprobit_mcmc <- function(object, ...) object$x

#' @rdname oprobit_mcmc-methods
#' @export
fitted.oprobit_mcmc <- function(object, ...) predict(object, type = "prob")

#' @rdname oprobit_mcmc-methods
#' @export
residuals.oprobit_mcmc <- function(object, ...) {
  .qv_stop("residuals.oprobit_mcmc", paste0(
    "an ordinal response has no residuals; predict() gives the category probabilities ",
    "and simulate() posterior predictive responses"))
}

#' @rdname oprobit_mcmc-methods
#' @export
deviance.oprobit_mcmc <- function(object, ...) -2 * as.numeric(logLik(object))

#' @rdname oprobit_mcmc-methods
#' @export
df.residual.oprobit_mcmc <- function(object, ...) object$nobs - length(coef(object))

#' @rdname oprobit_mcmc-methods
#' @export
logLik.oprobit_mcmc <- function(object, ...) {
  probs <- matrix(.oprobit_probs(object, object$x, object$offset, rbind(coef(object)))[1L, , ], nrow(object$x))
  value <- sum(object$weights * log(probs[cbind(seq_along(object$y), object$y)]))
  structure(value, df = length(coef(object)), nobs = object$nobs, class = "logLik")
}

# The model's offsets for the rows of `frame` (made from newdata): its
# offset() terms and its `offset` argument, evaluated in newdata.
.oprobit_new_offset <- function(object, frame, newdata) {
  terms <- attr(frame, "terms")
  offset <- numeric(nrow(frame))
  if (!is.null(attr(terms, "offset"))) offset <- offset + stats::model.offset(frame)
  if (!is.null(object$call$offset)) {
    extra <- eval(object$call$offset, newdata, environment(object$terms))
    omitted_rows <- attr(frame, "na.action")
    offset <- offset + (if (length(omitted_rows) > 0L) extra[-omitted_rows] else extra)
  }
  offset
}

# Category probabilities, draws x rows x categories, for the rows of X (with
# their offsets) at each row of `draws` (parameters as coef() names them);
# `extra`, draws x rows, adds to the linear predictor (a fit's group effects).
.oprobit_probs <- function(object, X, offset, draws, extra = NULL) {
  eta <- draws[, object$slopes, drop = FALSE] %*% t(X[, object$slopes, drop = FALSE])
  eta <- sweep(eta, 2L, offset, `+`)
  if (!is.null(extra)) eta <- eta + extra
  J <- length(object$levels)
  below <- array(0, c(nrow(draws), nrow(X), J + 1L))
  below[, , J + 1L] <- 1
  for (k in seq_len(J - 1L)) below[, , k + 1L] <- object$family$cdf(draws[, object$thresholds[k]] - eta)
  probs <- below[, , -1L, drop = FALSE] - below[, , -(J + 1L), drop = FALSE]
  dimnames(probs) <- list(NULL, rownames(X), object$levels)
  probs
}

#' Predicted category probabilities of an \code{oprobit_mcmc} fit
#'
#' The probability of each response category for the fitted rows or for new
#' covariate values, averaged over the posterior draws (or each draw's, or
#' with posterior intervals). Offsets of the model, as \code{offset()} terms
#' or the \code{offset} argument, are taken from \code{newdata} as
#' \code{predict.lm} takes them.
#'
#' @param object an \code{oprobit_mcmc} fit.
#' @param newdata a data frame with the covariates; default the fitted rows.
#' @param type \code{"prob"} (or polr's spelling \code{"probs"}): category
#'   probabilities; \code{"class"}: the category with the largest posterior
#'   mean probability.
#' @param summary \code{TRUE}: posterior means; \code{FALSE}: the
#'   probabilities under every posterior draw (for \code{type = "prob"}).
#' @param interval \code{TRUE} adds equal-tailed posterior intervals of the
#'   probabilities, of probability \code{level}.
#' @param level probability of the intervals.
#' @param na.action what to do with rows of \code{newdata} with missing
#'   values: \code{na.pass} (default) gives them \code{NA}; \code{na.omit}
#'   drops them; \code{na.exclude} drops them from the computation and pads
#'   the result with \code{NA} rows, as \code{lm} does. Without
#'   \code{newdata}, a fit made with \code{na.action = na.exclude} is padded
#'   likewise (rows of weight 0 count as excluded).
#' @param ... unused.
#' @return For \code{type = "prob"}: a matrix, one row per row of
#'   \code{newdata}, one column per category; with \code{interval = TRUE} an
#'   array rows x categories x \code{c("fit", "lwr", "upr")}; with
#'   \code{summary = FALSE} an array draws x rows x categories (draws of all
#'   chains in chain order). For \code{type = "class"}: a factor.
#' @examples
#' fit <- oprobit_mcmc(Sat ~ Infl, data = MASS::housing, weights = Freq,
#'                     chains = 2, iter = 300, burnin = 200, seed = 1, cores = 1)
#' new <- data.frame(Infl = c("Low", "High"))
#' predict(fit, new, type = "probs")
#' predict(fit, new, interval = TRUE)[, , "lwr"]
#' dim(predict(fit, new, summary = FALSE))
#' @export
predict.oprobit_mcmc <- function(object, newdata, type = c("prob", "probs", "class"), summary = TRUE,
                                 interval = FALSE, level = 0.95, na.action = stats::na.pass, ...) {
  fn <- "predict.oprobit_mcmc"
  type <- match.arg(type)
  if (type == "probs") type <- "prob"
  if (!isTRUE(summary) && !isFALSE(summary)) .qv_stop(fn, "'summary' must be TRUE or FALSE")
  if (!isTRUE(interval) && !isFALSE(interval)) .qv_stop(fn, "'interval' must be TRUE or FALSE")
  if (!is.numeric(level) || length(level) != 1L || !(level > 0 && level < 1)) {
    .qv_stop(fn, "'level' must be one number between 0 and 1")
  }
  if (type == "class" && (!summary || interval)) {
    .qv_stop(fn, "'summary = FALSE' and 'interval = TRUE' apply to type = \"prob\"")
  }
  if (missing(newdata) || is.null(newdata)) {
    X <- object$x
    offset <- object$offset
    omitted <- object$na.action
  } else {
    terms <- stats::delete.response(object$terms)
    frame <- stats::model.frame(terms, newdata, na.action = na.action, xlev = object$xlevels)
    X <- stats::model.matrix(terms, frame, contrasts.arg = object$contrasts)
    offset <- .oprobit_new_offset(object, frame, newdata)
    omitted <- attr(frame, "na.action")
  }
  pooled <- .qv_pooled(object$draws)
  probs <- .oprobit_probs(object, X, offset, pooled)
  pad <- function(x) stats::napredict(omitted, x)
  mean <- pad(apply(probs, c(2L, 3L), mean))
  dimnames(mean) <- list(rownames(mean), object$levels)
  if (type == "class") return(factor(object$levels[max.col(mean, ties.method = "first")], levels = object$levels))
  if (!summary) {
    if (!inherits(omitted, "exclude")) return(probs)
    return(aperm(array(apply(probs, c(1L, 3L), pad), c(nrow(mean), nrow(probs), ncol(mean)),
                       list(rownames(mean), NULL, object$levels)), c(2L, 1L, 3L)))
  }
  if (!interval) return(mean)
  tails <- c((1 - level) / 2, (1 + level) / 2)
  lower <- pad(apply(probs, c(2L, 3L), stats::quantile, probs = tails[1L], names = FALSE))
  upper <- pad(apply(probs, c(2L, 3L), stats::quantile, probs = tails[2L], names = FALSE))
  array(c(mean, lower, upper), c(dim(mean), 3L), list(rownames(mean), object$levels, c("fit", "lwr", "upr")))
}

#' Pointwise log-likelihood, loo and WAIC of an \code{oprobit_mcmc} fit
#'
#' \code{log_lik()} gives the log-likelihood of each observation under each
#' posterior draw: a matrix with one row per draw (the draws of all chains,
#' chain by chain) and one column per observation, a row of frequency weight
#' \code{w} counted as \code{w} repeated observations. With group terms each
#' draw's likelihood is given that draw's group effects (as brms's
#' \code{log_lik}; the fit must keep them, \code{save_ranef = TRUE}), so
#' leave-one-out predicts an observation of a level seen in the fit. Its methods for the
#' \pkg{loo} package's generics, \code{loo::loo(fit)} and
#' \code{loo::waic(fit)}, estimate the expected log predictive density by
#' Pareto-smoothed importance sampling leave-one-out cross-validation
#' (relative efficiencies from the chains) and by WAIC; they need the
#' \pkg{loo} package. \code{loo::loo_compare()} then compares fits.
#'
#' @param object,x an \code{oprobit_mcmc} fit.
#' @param ... passed on to \code{loo::loo()} or \code{loo::waic()} (for
#'   \code{log_lik()}: unused).
#' @return \code{log_lik()}: a numeric matrix, draws x observations.
#'   \code{loo()} and \code{waic()}: the \pkg{loo} package's objects.
#' @examples
#' fit <- oprobit_mcmc(Sat ~ Infl, data = MASS::housing, weights = Freq,
#'                     chains = 2, iter = 300, burnin = 200, seed = 1, cores = 1)
#' dim(log_lik(fit))
#' if (requireNamespace("loo", quietly = TRUE)) {
#'   loo::loo(fit)
#' }
#' @export
log_lik <- function(object, ...) UseMethod("log_lik")

#' @rdname log_lik
#' @exportS3Method
log_lik.oprobit_mcmc <- function(object, ...) {
  probs <- .oprobit_fitted_probs(object)
  rows <- seq_along(object$y)
  values <- log(vapply(rows, function(i) probs[, i, object$y[i]], numeric(dim(probs)[1L])))
  values <- matrix(values, dim(probs)[1L])
  values[, rep.int(rows, object$weights), drop = FALSE]
}

#' @rdname log_lik
#' @usage \method{loo}{oprobit_mcmc}(x, ...)
#' @exportS3Method loo::loo
loo.oprobit_mcmc <- function(x, ...) {
  values <- log_lik(x)
  chain <- rep(seq_len(x$chains), each = x$iter)
  loo::loo(values, r_eff = loo::relative_eff(exp(values), chain_id = chain), ...)
}

#' @rdname log_lik
#' @usage \method{waic}{oprobit_mcmc}(x, ...)
#' @exportS3Method loo::waic
waic.oprobit_mcmc <- function(x, ...) loo::waic(log_lik(x), ...)

#' Posterior predictive responses and check of an \code{oprobit_mcmc} fit
#'
#' \code{simulate()} draws responses for the fitted rows from the posterior
#' predictive distribution: each simulation takes one posterior draw at
#' random, then one category per row from that draw's probabilities (as
#' \code{simulate.lm} gives one response per row, a frequency weight is not
#' expanded). Draws come from R's stream, fixed by \code{seed} as in
#' \code{simulate.lm}. With group terms each posterior draw brings its own
#' group effects.
#'
#' \code{predictive_check()} compares the observed count of each category
#' (frequency weights counted) with its posterior predictive distribution:
#' for \code{ndraws} posterior draws it draws a response for every
#' observation and counts the categories, then gives the mean and an
#' equal-tailed interval of these counts, and plots the observed counts
#' against the intervals. The replicated counts (draws x categories) are
#' its attribute \code{"yrep"}: with \code{y} the observed categories they
#' suit, for example, \code{bayesplot::ppc_bars()} after expansion.
#'
#' @param object an \code{oprobit_mcmc} fit.
#' @param nsim number of simulated responses per row.
#' @param seed \code{NULL}, or a seed for \code{set.seed()} (R's stream is
#'   then put back afterwards).
#' @param ndraws number of posterior draws used (at most all of them).
#' @param level probability of the intervals.
#' @param plot draw the check.
#' @param ... unused.
#' @return \code{simulate()}: a data frame, one column (an ordered factor)
#'   per simulation, one row per fitted row, with attribute \code{"seed"}
#'   as \code{simulate.lm} gives it. \code{predictive_check()}: a data frame
#'   with one row per category (\code{observed}, \code{mean}, \code{lower},
#'   \code{upper}), invisibly when plotted.
#' @examples
#' fit <- oprobit_mcmc(Sat ~ Infl + Type, data = MASS::housing, weights = Freq,
#'                     chains = 2, iter = 300, burnin = 200, seed = 1, cores = 1)
#' head(simulate(fit, nsim = 3, seed = 1))
#' predictive_check(fit, ndraws = 200, seed = 1, plot = FALSE)
#' @export
simulate.oprobit_mcmc <- function(object, nsim = 1, seed = NULL, ...) {
  nsim <- .qv_count(nsim, "simulate.oprobit_mcmc", "nsim")
  state <- .oprobit_seed_for(seed)
  on.exit(state$restore())
  picks <- sample.int(posterior::ndraws(object$draws), nsim, replace = TRUE)
  probs <- .oprobit_fitted_probs(object, picks)
  out <- lapply(seq_len(nsim), function(s) {
    factor(object$levels[.oprobit_categories(probs[s, , , drop = TRUE], nrow(object$x))],
           levels = object$levels, ordered = TRUE)
  })
  names(out) <- paste0("sim_", seq_len(nsim))
  out <- as.data.frame(out, row.names = rownames(object$x))
  attr(out, "seed") <- state$RNGstate
  out
}

#' @rdname simulate.oprobit_mcmc
#' @export
predictive_check <- function(object, ndraws = 1000, level = 0.9, seed = NULL, plot = TRUE) {
  fn <- "predictive_check"
  if (!inherits(object, "oprobit_mcmc")) .qv_stop(fn, "'object' must be an oprobit_mcmc fit")
  ndraws <- .qv_count(ndraws, fn, "ndraws")
  if (!is.numeric(level) || length(level) != 1L || !(level > 0 && level < 1)) {
    .qv_stop(fn, "'level' must be one number between 0 and 1")
  }
  state <- .oprobit_seed_for(seed)
  on.exit(state$restore())
  total <- posterior::ndraws(object$draws)
  picks <- sample.int(total, min(ndraws, total))
  J <- length(object$levels)
  units <- rep.int(seq_along(object$y), object$weights)
  yrep <- t(vapply(picks, function(d) {
    probs <- matrix(.oprobit_fitted_probs(object, d)[1L, , ], nrow(object$x))
    tabulate(.oprobit_categories(probs[units, , drop = FALSE], length(units)), J)
  }, numeric(J)))
  colnames(yrep) <- object$levels
  observed <- tabulate(rep.int(object$y, object$weights), J)
  tails <- c((1 - level) / 2, (1 + level) / 2)
  check <- data.frame(category = factor(object$levels, levels = object$levels), observed = observed,
                      mean = colMeans(yrep),
                      lower = apply(yrep, 2L, stats::quantile, tails[1L], names = FALSE),
                      upper = apply(yrep, 2L, stats::quantile, tails[2L], names = FALSE))
  attr(check, "yrep") <- yrep
  if (!plot) return(check)
  graphics::plot(seq_len(J), observed, ylim = range(0, observed, check$upper), xaxt = "n", pch = 19,
                 xlab = "category", ylab = "count",
                 main = sprintf("Observed counts and %g%% posterior predictive intervals", 100 * level))
  graphics::axis(1L, seq_len(J), object$levels)
  graphics::arrows(seq_len(J), check$lower, seq_len(J), check$upper, angle = 90, code = 3L,
                   length = 0.05, col = "grey40")
  graphics::points(seq_len(J), check$mean, pch = 4, col = "grey40")
  invisible(check)
}

# One category per row from a rows x categories matrix of probabilities.
.oprobit_categories <- function(probs, rows) {
  probs <- matrix(probs, rows)
  cumulative <- t(apply(probs, 1L, cumsum))
  if (ncol(probs) == 1L) cumulative <- t(cumulative)
  1L + rowSums(stats::runif(rows) > cumulative[, -ncol(probs), drop = FALSE])
}

# simulate.lm's handling of `seed`: set it, and put R's stream back after.
.oprobit_seed_for <- function(seed) {
  if (!exists(".Random.seed", envir = globalenv(), inherits = FALSE)) stats::runif(1L)
  if (is.null(seed)) {
    return(list(RNGstate = get(".Random.seed", envir = globalenv()), restore = function() NULL))
  }
  saved <- get(".Random.seed", envir = globalenv())
  set.seed(seed)
  list(RNGstate = structure(seed, kind = as.list(RNGkind())),
       restore = function() assign(".Random.seed", saved, envir = globalenv()))
}

# The fitted rows' category probabilities (draws x rows x categories) at the
# pooled draws `picks` (default all): with group terms, each draw's own
# effects of the rows' levels (as brms's log_lik and posterior_predict).
.oprobit_fitted_probs <- function(object, picks = NULL) {
  pooled <- .qv_pooled(object$draws)
  if (!is.null(picks)) pooled <- pooled[picks, , drop = FALSE]
  extra <- if (inherits(object, "oprobit_mixed")) {
    t(.oprobit_group_eta(object, object$group_terms, nrow(object$x), pooled, FALSE, picks))
  }
  .oprobit_probs(object, object$x, object$offset, pooled, extra)
}

# The likelihood of a fit with group terms at one point would need the
# effects integrated out; log_lik() gives it draw by draw, given the effects.
#' @export
logLik.oprobit_mixed <- function(object, ...) {
  .qv_stop("logLik", paste("a fit with group terms has no likelihood at one point without integrating out",
                           "its effects; log_lik() gives each draw's, given the draw's effects"))
}
