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
#' @param newdata a data frame with the covariates; default (or \code{NULL})
#'   the fitted rows.
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
  pad <- function(x) stats::napredict(omitted, x)
  if (!summary) return(.oprobit_prob_draws(object, X, offset, omitted))
  tails <- if (interval) c((1 - level) / 2, (1 + level) / 2)
  probs <- .oprobit_prob_summary(object, X, offset, tails)
  mean <- pad(probs$mean)
  dimnames(mean) <- list(rownames(mean), object$levels)
  if (type == "class") return(factor(object$levels[max.col(mean, ties.method = "first")], levels = object$levels))
  if (!interval) return(mean)
  array(c(mean, pad(probs$lower), pad(probs$upper)), c(dim(mean), 3L),
        list(rownames(mean), object$levels, c("fit", "lwr", "upr")))
}

# predict(summary = FALSE): the probabilities of the rows of X under every
# pooled draw, draws x rows x categories (rows padded as `omitted` says),
# computed once per distinct row, some rows at a time, after checking that
# the array can be held.
.oprobit_prob_draws <- function(object, X, offset, omitted) {
  padded <- stats::napredict(omitted, matrix(seq_len(nrow(X)), dimnames = list(rownames(X), NULL)))
  rows <- nrow(padded)
  at <- which(!is.na(padded[, 1L]))
  draws <- posterior::ndraws(object$draws)
  J <- length(object$levels)
  .qv_room("predict.oprobit_mcmc", 8 * as.double(draws) * rows * J,
           sprintf("the probabilities under every draw, %s draws x %s rows x %d categories,",
                   .qv_big(draws), .qv_big(rows), J),
           "ask for the posterior summaries (summary = TRUE), or give 'newdata' in chunks of rows")
  out <- array(NA_real_, c(draws, rows, J), list(NULL, rownames(padded), object$levels))
  distinct <- .oprobit_distinct_rows(X, offset)
  pooled <- .qv_pooled(object$draws)
  order <- order(distinct$row)
  sorted <- distinct$row[order]
  for (chunk in .oprobit_chunks(nrow(distinct$X), draws, J)) {
    probs <- .oprobit_probs(object, distinct$X[chunk, , drop = FALSE], distinct$offset[chunk], pooled)
    span <- findInterval(c(chunk[1L] - 0.5, chunk[length(chunk)] + 0.5), sorted)
    members <- order[seq.int(span[1L] + 1L, span[2L])]
    out[, at[members], ] <- probs[, distinct$row[members] - chunk[1L] + 1L, , drop = FALSE]
  }
  out
}

#' Pointwise log-likelihood, loo and WAIC of an \code{oprobit_mcmc} fit
#'
#' \code{log_lik()} gives the log-likelihood of each observation under each
#' posterior draw: a matrix with one row per draw (the draws of all chains,
#' chain by chain) and one column per observation, a row of frequency weight
#' \code{w} counted as \code{w} repeated observations. With group terms each
#' draw's likelihood is given that draw's group effects (as brms's
#' \code{log_lik}; the fit must keep them, \code{save_ranef = TRUE}), so
#' leave-one-out predicts an observation of a level seen in the fit.
#'
#' Observations with the same covariates, offset and category (a cell) have
#' the same log-likelihood. \code{log_lik(fit, cells = TRUE)} gives one column
#' per cell instead, with the cells' counts as its attribute \code{"counts"}
#' (and the cells, their covariate row and category, as \code{"cells"}): far
#' smaller when the weights are large. The matrix of the observations is
#' refused, with that advice, when it would not fit in the free memory.
#'
#' Its methods for the \pkg{loo} package's generics, \code{loo::loo(fit)} and
#' \code{loo::waic(fit)}, estimate the expected log predictive density by
#' Pareto-smoothed importance sampling leave-one-out cross-validation
#' (relative efficiencies from the chains) and by WAIC; they need the
#' \pkg{loo} package. Without group terms they smooth each cell once and
#' count it as many times as it has observations, which is exact: the
#' estimates, their standard errors and the pointwise values are those of
#' \code{loo::loo()} on the matrix of the observations. Up to 1e6
#' observations the pointwise table and the Pareto k diagnostics have one
#' row per observation, as \code{loo::loo_compare()} needs to compare fits;
#' above, they stay per cell (a message says so, printing counts the
#' observations, and \code{loo_compare()} refuses the object). The cells,
#' their pointwise table and their diagnostics are kept in \code{$cells}.
#' With group terms every observation is computed on its own.
#'
#' @param object,x an \code{oprobit_mcmc} fit.
#' @param cells \code{FALSE}: one column per observation; \code{TRUE}: one
#'   per cell, with their counts.
#' @param ... passed on to \code{loo::loo()} or \code{loo::waic()} (for
#'   \code{log_lik()}: unused).
#' @return \code{log_lik()}: a numeric matrix, draws x observations (or x
#'   cells, ordered by covariate row and category, with attributes
#'   \code{"counts"} and \code{"cells"}). \code{loo()} and \code{waic()}: the
#'   \pkg{loo} package's objects, with \code{$cells} (a list of \code{cells},
#'   a data frame of the cells' \code{row}, category \code{y} and
#'   \code{count}, and their \code{pointwise} table and \code{diagnostics}).
#' @examples
#' fit <- oprobit_mcmc(Sat ~ Infl, data = MASS::housing, weights = Freq,
#'                     chains = 2, iter = 300, burnin = 200, seed = 1, cores = 1)
#' dim(log_lik(fit))
#' dim(log_lik(fit, cells = TRUE))
#' if (requireNamespace("loo", quietly = TRUE)) {
#'   loo::loo(fit)
#' }
#' @export
log_lik <- function(object, ...) UseMethod("log_lik")

#' @rdname log_lik
#' @exportS3Method
log_lik.oprobit_mcmc <- function(object, cells = FALSE, ...) {
  fn <- "log_lik.oprobit_mcmc"
  if (!isTRUE(cells) && !isFALSE(cells)) .qv_stop(fn, "'cells' must be TRUE or FALSE")
  table <- .oprobit_fit_cells(object)
  draws <- posterior::ndraws(object$draws)
  counts <- table$cells$count
  if (!cells) {
    .qv_room(fn, 8 * as.double(draws) * (sum(counts) + length(counts)),
             sprintf("%s draws x %s observations", .qv_big(draws), .qv_big(sum(counts))),
             sprintf(paste0("log_lik(fit, cells = TRUE) gives draws x cells (%s cells) with the cells' ",
                            "counts as attribute \"counts\", which is what loo needs"), .qv_big(length(counts))))
  }
  values <- .oprobit_cell_log_lik(object, table)
  if (cells) return(structure(values, counts = counts, cells = table$cells))
  values[, rep.int(table$cell, object$weights), drop = FALSE]
}

#' @rdname log_lik
#' @usage \method{loo}{oprobit_mcmc}(x, ...)
#' @exportS3Method loo::loo
loo.oprobit_mcmc <- function(x, ...) {
  chain <- rep(seq_len(x$chains), each = x$iter)
  .oprobit_cells_loo(x, function(values) {
    loo::loo(values, r_eff = loo::relative_eff(exp(values), chain_id = chain), ...)
  }, whole = isTRUE(list(...)$save_psis))
}

#' @rdname log_lik
#' @usage \method{waic}{oprobit_mcmc}(x, ...)
#' @exportS3Method loo::waic
waic.oprobit_mcmc <- function(x, ...) .oprobit_cells_loo(x, function(values) loo::waic(values, ...))

# loo() or waic() (`fun` on a draws x cells matrix) over the cells of a fit,
# as the object of its units (.oprobit_unit_loo()). Each cell is smoothed on
# its own, so the cells go to `fun` some at a time, about
# getOption("quorval.chunk_doubles") log-likelihood values each, and the
# pieces' tables are joined (each warning said once); `whole`: all at once
# (the smoothing's weights are kept only so).
.oprobit_cells_loo <- function(x, fun, whole = FALSE) {
  table <- .oprobit_fit_cells(x)
  values <- .oprobit_cell_log_lik(x, table)
  cells <- ncol(values)
  size <- if (whole) cells else max(1, floor(getOption("quorval.chunk_doubles", 2^24) / nrow(values)))
  said <- character(0)
  parts <- withCallingHandlers(
    lapply(split(seq_len(cells), ceiling(seq_len(cells) / size)), function(at) fun(values[, at, drop = FALSE])),
    warning = function(w) {
      said <<- union(said, conditionMessage(w))
      invokeRestart("muffleWarning")
    })
  for (text in said) warning(text, call. = FALSE)
  object <- parts[[1L]]
  if (length(parts) > 1L) {
    object$pointwise <- do.call(rbind, lapply(parts, `[[`, "pointwise"))
    if (!is.null(object$diagnostics)) {
      object$diagnostics <- lapply(stats::setNames(nm = names(object$diagnostics)), function(name) {
        unlist(lapply(parts, function(part) part$diagnostics[[name]]), use.names = FALSE)
      })
    }
  }
  .oprobit_unit_loo(object, table, x$weights)
}

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
#' suit, for example, \code{bayesplot::ppc_bars()} after expansion. Above 1e6
#' observations (without group terms) it draws instead each distinct
#' covariate row's category counts from their multinomial distribution, as
#' many draws as categories per row rather than one per observation: the
#' same distribution of the counts, other values for a given seed.
#'
#' Both compute each posterior draw's probabilities once per distinct
#' covariate row. \code{simulate()} refuses, before drawing, more responses
#' than the free memory can hold (ask for a smaller \code{nsim}).
#'
#' @param object an \code{oprobit_mcmc} fit.
#' @param nsim number of simulated responses per row (at least 1).
#' @param seed \code{NULL}, or a seed for \code{set.seed()} (R's stream is
#'   then put back afterwards).
#' @param ndraws number of posterior draws used (at least 1; at most all of
#'   them are used).
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
  fn <- "simulate.oprobit_mcmc"
  nsim <- .qv_whole(fn, nsim, "nsim", 1)
  rows <- nrow(object$x)
  # The codes, their factors and the data frame: about two integers a response.
  .qv_room(fn, 8 * as.double(nsim) * rows, sprintf("%s simulations x %s rows", .qv_big(nsim), .qv_big(rows)),
           "ask for a smaller 'nsim' (and call simulate() again for more)")
  state <- .oprobit_seed_for(seed)
  on.exit(state$restore())
  picks <- sample.int(posterior::ndraws(object$draws), nsim, replace = TRUE)
  distinct <- .oprobit_distinct_rows(object$x, object$offset)
  pooled <- .qv_pooled(object$draws)
  out <- lapply(seq_len(nsim), function(s) {
    cumulative <- .oprobit_cumulative(object, distinct, pooled[picks[s], , drop = FALSE])
    factor(object$levels[.oprobit_draw_categories(cumulative, distinct$row)], levels = object$levels,
           ordered = TRUE)
  })
  .oprobit_simulated(out, object, state)
}

# simulate()'s result from its list of simulated factors.
.oprobit_simulated <- function(out, object, state) {
  names(out) <- paste0("sim_", seq_along(out))
  out <- as.data.frame(out, row.names = rownames(object$x))
  attr(out, "seed") <- state$RNGstate
  out
}

#' @rdname simulate.oprobit_mcmc
#' @export
predictive_check <- function(object, ndraws = 1000, level = 0.9, seed = NULL, plot = TRUE) {
  fn <- "predictive_check"
  if (!inherits(object, "oprobit_mcmc")) .qv_stop(fn, "'object' must be an oprobit_mcmc fit")
  ndraws <- .qv_whole(fn, ndraws, "ndraws", 1)
  if (!is.numeric(level) || length(level) != 1L || !(level > 0 && level < 1)) {
    .qv_stop(fn, "'level' must be one number between 0 and 1")
  }
  state <- .oprobit_seed_for(seed)
  on.exit(state$restore())
  total <- posterior::ndraws(object$draws)
  picks <- sample.int(total, min(ndraws, total))
  J <- length(object$levels)
  yrep <- .oprobit_replicated_counts(object, picks)
  colnames(yrep) <- object$levels
  weights <- as.double(object$weights)
  observed <- vapply(seq_len(J), function(k) sum(weights[object$y == k]), 0)
  # Counts as integers where R's integers hold them, as tabulate() gives them.
  if (sum(observed) <= .Machine$integer.max) observed <- as.integer(observed)
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

# The replicated category counts of predictive_check(), picks x categories,
# at the pooled draws `picks`: up to .oprobit_unit_limit units one category
# per unit (R's stream taken unit by unit, in data order), above it each
# distinct row's counts at once.
.oprobit_replicated_counts <- function(object, picks) UseMethod(".oprobit_replicated_counts")

.oprobit_replicated_counts.oprobit_mcmc <- function(object, picks) {
  J <- length(object$levels)
  distinct <- .oprobit_distinct_rows(object$x, object$offset)
  pooled <- .qv_pooled(object$draws)
  weights <- as.double(object$weights)
  each_unit <- sum(weights) <= .oprobit_unit_limit
  if (each_unit) {
    units <- rep.int(distinct$row, weights)
  } else {
    sizes <- unname(rowsum(weights, distinct$row, reorder = TRUE)[, 1L])
  }
  t(vapply(picks, function(d) {
    cumulative <- .oprobit_cumulative(object, distinct, pooled[d, , drop = FALSE])
    if (each_unit) return(as.double(tabulate(.oprobit_draw_categories(cumulative, units), J)))
    .oprobit_count_draws(cumulative, sizes)
  }, numeric(J)))
}

# Each distinct row's cumulative category probabilities at one draw (rows x
# categories, the last column 1 up to round-off).
.oprobit_cumulative <- function(object, distinct, draw) {
  probs <- matrix(.oprobit_probs(object, distinct$X, distinct$offset, draw), nrow(distinct$X))
  cumulative <- probs
  for (k in seq_len(ncol(probs))[-1L]) cumulative[, k] <- cumulative[, k - 1L] + probs[, k]
  cumulative
}

# One category for each entry of `rows` (distinct rows, their cumulative
# probabilities in `cumulative`), one uniform draw each, in order.
.oprobit_draw_categories <- function(cumulative, rows) {
  J <- ncol(cumulative)
  below <- cumulative[rows, -J, drop = FALSE]
  1L + as.integer(rowSums(stats::runif(length(rows)) > below))
}

# The category counts of `sizes` units in each distinct row, drawn row by row
# from their multinomial distributions (cumulative probabilities
# `cumulative`) by one binomial draw per row and category, summed over rows.
.oprobit_count_draws <- function(cumulative, sizes) {
  J <- ncol(cumulative)
  left <- sizes
  counts <- numeric(J)
  for (k in seq_len(J - 1L)) {
    before <- if (k > 1L) cumulative[, k - 1L] else numeric(nrow(cumulative))
    rest <- 1 - before
    share <- ifelse(rest > 0, (cumulative[, k] - before) / rest, 0)
    taken <- stats::rbinom(length(left), left, pmin(1, pmax(0, share)))
    counts[k] <- sum(taken)
    left <- left - taken
  }
  counts[J] <- sum(left)
  counts
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

# The likelihood of a fit with group terms at one point would need the
# effects integrated out; log_lik() gives it draw by draw, given the effects.
#' @export
logLik.oprobit_mixed <- function(object, ...) {
  .qv_stop("logLik", paste("a fit with group terms has no likelihood at one point without integrating out",
                           "its effects; log_lik() gives each draw's, given the draw's effects"))
}
