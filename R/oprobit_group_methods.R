# Methods of an oprobit_mcmc fit with group terms (class "oprobit_mixed"):
# fixef, ranef, VarCorr (the generics of nlme, which lme4 re-exports),
# predict with or without the group effects, and the draws conversions with
# the effects on request. print, summary, coef, vcov and plot are the base
# class's: the sds and correlations are columns of the draws.

#' @importFrom nlme fixef ranef VarCorr
#' @export
nlme::fixef

#' @export
nlme::ranef

#' @export
nlme::VarCorr

#' Group-level parts of an \code{oprobit_mcmc} fit with group terms
#'
#' \code{fixef()} gives the posterior means of the slopes and thresholds
#' (named as \code{MASS::polr} names them); \code{ranef()} each level's
#' posterior mean effects, one data frame per grouping factor as lme4 lays
#' them out, with their posterior sds in the attribute \code{"sd"};
#' \code{VarCorr()} the posterior means of each term's sds and correlations
#' (and of its covariance matrix).
#' @param object,x an \code{oprobit_mcmc} fit whose formula has group terms.
#' @param sigma unused (the latent scale is fixed at 1).
#' @param ... unused.
#' @return \code{fixef}: a named vector. \code{ranef}: a named list of data
#'   frames (rows: levels, columns: coefficients). \code{VarCorr}: a named list
#'   of covariance matrices (posterior means) with the attributes
#'   \code{"stddev"} and \code{"correlation"} (posterior means of the sds and
#'   correlations).
#' @examples
#' if (requireNamespace("ordinal", quietly = TRUE)) {
#'   fit <- oprobit_mcmc(rating ~ temp + contact + (1 | judge), data = ordinal::wine,
#'                       chains = 2, iter = 500, burnin = 300, seed = 1, cores = 1)
#'   fixef(fit)
#'   ranef(fit)$judge
#'   VarCorr(fit)
#' }
#' @name oprobit_group_parts
NULL

#' @rdname oprobit_group_parts
#' @export
fixef.oprobit_mixed <- function(object, ...) object$coefficients[c(object$slopes, object$thresholds)]

#' @rdname oprobit_group_parts
#' @export
ranef.oprobit_mixed <- function(object, ...) {
  groups <- unique(vapply(object$group_terms, `[[`, "", "group"))
  out <- lapply(groups, function(group) {
    terms <- Filter(function(term) term$group == group, object$group_terms)
    levels <- terms[[1L]]$levels
    means <- sds <- list()
    for (term in terms) {
      q <- length(term$coefs)
      for (j in seq_len(q)) {
        names <- term$effect_names[seq(j, by = q, length.out = length(levels))]
        means[[term$coefs[j]]] <- unname(object$effect_mean[names])
        sds[[term$coefs[j]]] <- unname(object$effect_sd[names])
      }
    }
    frame <- data.frame(means, row.names = levels, check.names = FALSE)
    attr(frame, "sd") <- data.frame(sds, row.names = levels, check.names = FALSE)
    frame
  })
  structure(stats::setNames(out, groups), class = "ranef.oprobit_mixed")
}

#' @exportS3Method print ranef.oprobit_mixed
print.ranef.oprobit_mixed <- function(x, ...) {
  for (group in names(x)) {
    cat(sprintf("$%s (posterior means)\n", group))
    frame <- x[[group]]
    attr(frame, "sd") <- NULL
    print(frame, ...)
    cat("\n")
  }
  invisible(x)
}

#' @rdname oprobit_group_parts
#' @export
VarCorr.oprobit_mixed <- function(x, sigma = 1, ...) {
  pooled <- .qv_pooled(x$draws)
  out <- lapply(x$group_terms, function(term) {
    q <- length(term$coefs)
    sd <- pooled[, term$sd_names, drop = FALSE]
    cor <- diag(q)
    covariance <- matrix(0, q, q)
    pairs <- if (q > 1L) which(upper.tri(diag(q)), arr.ind = TRUE) else matrix(0L, 0L, 2L)
    pairs <- pairs[order(pairs[, 1L], pairs[, 2L]), , drop = FALSE]
    rho <- matrix(1, nrow(pooled), q * q)
    for (k in seq_len(nrow(pairs))) {
      draws <- pooled[, term$cor_names[k]]
      cor[pairs[k, 1L], pairs[k, 2L]] <- cor[pairs[k, 2L], pairs[k, 1L]] <- mean(draws)
      rho[, pairs[k, 1L] + q * (pairs[k, 2L] - 1L)] <- rho[, pairs[k, 2L] + q * (pairs[k, 1L] - 1L)] <- draws
    }
    for (a in seq_len(q)) for (b in seq_len(q)) {
      covariance[a, b] <- mean(sd[, a] * sd[, b] * rho[, a + q * (b - 1L)])
    }
    dimnames(covariance) <- dimnames(cor) <- list(term$coefs, term$coefs)
    structure(covariance, stddev = stats::setNames(colMeans(sd), term$coefs), correlation = cor)
  })
  structure(stats::setNames(out, vapply(x$group_terms, `[[`, "", "group")), class = "VarCorr.oprobit_mixed")
}

#' @exportS3Method print VarCorr.oprobit_mixed
print.VarCorr.oprobit_mixed <- function(x, digits = max(3L, getOption("digits") - 3L), ...) {
  cat("Group-level sds and correlations (posterior means, probit scale):\n")
  for (k in seq_along(x)) {
    sd <- attr(x[[k]], "stddev")
    cor <- attr(x[[k]], "correlation")
    rows <- data.frame(Groups = c(names(x)[k], rep("", length(sd) - 1L)), Name = names(sd),
                       Std.Dev. = format(sd, digits = digits), check.names = FALSE)
    if (length(sd) > 1L) {
      shown <- format(round(cor, 2L), nsmall = 2L)
      shown[upper.tri(shown, diag = TRUE)] <- ""
      rows$Corr <- apply(shown[, -ncol(shown), drop = FALSE], 1L, paste, collapse = " ")
    }
    print(rows, row.names = FALSE, right = FALSE)
  }
  invisible(x)
}

# The draws with the group effects as further columns (when kept).
.oprobit_draws_with_effects <- function(x, ranef) {
  if (!isTRUE(ranef)) return(x$draws)
  if (is.null(x$effects)) {
    .qv_stop("oprobit_mcmc", "the fit kept no draws of the group effects (save_ranef = FALSE)")
  }
  posterior::bind_draws(x$draws, x$effects, along = "variable")
}

#' Draws of an \code{oprobit_mcmc} fit with group terms
#'
#' As for any \code{oprobit_mcmc} fit, with the sds (\code{sd_<group>__<coef>})
#' and correlations (\code{cor_<group>__<coef>__<coef>}) as columns, and each
#' level's effects (\code{r_<group>[<level>,<coef>]}) on request.
#' @param x an \code{oprobit_mcmc} fit whose formula has group terms.
#' @param ranef include the group effects (they are kept when the fit was made
#'   with \code{save_ranef = TRUE}, the default).
#' @param ... unused.
#' @return A \code{coda::mcmc.list} or a \code{posterior::draws_array}.
#' @examples
#' if (requireNamespace("ordinal", quietly = TRUE) && requireNamespace("coda", quietly = TRUE)) {
#'   fit <- oprobit_mcmc(rating ~ temp + (1 | judge), data = ordinal::wine,
#'                       chains = 2, iter = 300, burnin = 200, seed = 1, cores = 1)
#'   colnames(coda::as.mcmc.list(fit, ranef = TRUE)[[1]])
#' }
#' @name oprobit_group_draws
#' @exportS3Method coda::as.mcmc.list
as.mcmc.list.oprobit_mixed <- function(x, ranef = FALSE, ...) {
  x$draws <- .oprobit_draws_with_effects(x, ranef)
  as.mcmc.list.qv_fit(x)
}

#' @rdname oprobit_group_draws
#' @rawNamespace S3method(posterior::as_draws, oprobit_mixed)
as_draws.oprobit_mixed <- function(x, ranef = FALSE, ...) .oprobit_draws_with_effects(x, ranef)

#' Predicted category probabilities of an \code{oprobit_mcmc} fit with group
#' terms
#'
#' The posterior mean probability of each category, averaged over the draws
#' of the slopes, thresholds and (with the groups) the group effects.
#' @param object an \code{oprobit_mcmc} fit whose formula has group terms.
#' @param newdata a data frame with the covariates (and the grouping
#'   variables unless \code{re_form = NA}); default (or \code{NULL}) the
#'   fitted rows.
#' @param type \code{"prob"} or \code{"class"}, as for any \code{oprobit_mcmc}
#'   fit.
#' @param re_form \code{NULL} (default): with every group term; \code{NA} or
#'   \code{~0}: the population level (effects 0).
#' @param allow_new_levels when a level of \code{newdata} was not in the fit:
#'   \code{TRUE} draws its effects from the population distribution (with
#'   each draw's covariance), \code{FALSE} is an error.
#' @param ... unused.
#' @return As \code{predict()} for any \code{oprobit_mcmc} fit.
#' @examples
#' if (requireNamespace("ordinal", quietly = TRUE)) {
#'   fit <- oprobit_mcmc(rating ~ temp + (1 | judge), data = ordinal::wine,
#'                       chains = 2, iter = 300, burnin = 200, seed = 1, cores = 1)
#'   new <- data.frame(temp = c("cold", "warm"), judge = c("1", "new"))
#'   predict(fit, new, re_form = NA)
#'   predict(fit, new, allow_new_levels = TRUE)
#' }
#' @export
predict.oprobit_mixed <- function(object, newdata, type = c("prob", "class"), re_form = NULL,
                                  allow_new_levels = FALSE, ...) {
  fn <- "predict.oprobit_mcmc"
  type <- match.arg(type)
  population <- !is.null(re_form) && (identical(re_form, NA) || (inherits(re_form, "formula") &&
    length(lme4::findbars(re_form)) == 0L))
  if (!is.null(re_form) && !population) .qv_stop(fn, "'re_form' must be NULL, NA or ~0")
  if (!is.logical(allow_new_levels) || length(allow_new_levels) != 1L || is.na(allow_new_levels)) {
    .qv_stop(fn, "'allow_new_levels' must be TRUE or FALSE")
  }
  if (missing(newdata) || is.null(newdata)) {
    X <- object$x
    offset <- object$offset
    pieces <- object$group_terms
  } else {
    terms <- stats::delete.response(object$terms)
    frame <- stats::model.frame(terms, newdata, na.action = stats::na.pass, xlev = object$xlevels)
    X <- stats::model.matrix(terms, frame, contrasts.arg = object$contrasts)
    offset <- .oprobit_new_offset(object, frame, newdata)
    if (!population) {
      grouping <- unique(unlist(lapply(object$bars, function(bar) all.vars(bar[[3L]]))))
      missing_group <- intersect(grouping, names(newdata))
      if (any(vapply(missing_group, function(v) anyNA(newdata[[v]]), NA))) {
        .qv_stop(fn, "'newdata' has missing values of a grouping variable")
      }
      pieces <- tryCatch(.oprobit_group_pieces(object$bars, as.data.frame(newdata)), error = function(e) {
        .qv_stop(fn, "'newdata' lacks what the group terms need: %s", conditionMessage(e))
      })
    }
  }
  X <- X[, object$slopes, drop = FALSE]
  pooled <- .qv_pooled(object$draws)
  # The linear predictor, the effects' part and one distribution function's
  # values, rows x draws each.
  .qv_room(fn, 8 * 4 * as.double(nrow(X)) * nrow(pooled),
           sprintf("%s rows x %s draws (a fit with group terms)", .qv_big(nrow(X)), .qv_big(nrow(pooled))),
           "give 'newdata' in chunks of rows")
  eta <- X %*% t(pooled[, object$slopes, drop = FALSE]) + offset  # rows x draws
  if (!population) eta <- eta + .oprobit_group_eta(object, pieces, nrow(X), pooled, allow_new_levels)
  J <- length(object$levels)
  below <- matrix(0, nrow(X), J + 1L)
  below[, J + 1L] <- 1
  for (k in seq_len(J - 1L)) {
    below[, k + 1L] <- rowMeans(object$family$cdf(sweep(-eta, 2L, pooled[, object$thresholds[k]], `+`)))
  }
  prob <- below[, -1L, drop = FALSE] - below[, -(J + 1L), drop = FALSE]
  dimnames(prob) <- list(rownames(X), object$levels)
  if (type == "prob") return(prob)
  factor(object$levels[max.col(prob, ties.method = "first")], levels = object$levels)
}

# sum over terms of d' u for every row and draw (rows x draws). `pieces` are
# the rows' terms (.oprobit_group_pieces), matched to the fit's by grouping
# factor and coefficients. `picks`: which pooled draws `pooled` holds (NULL:
# all of them, in order).
.oprobit_group_eta <- function(object, pieces, rows, pooled, allow_new_levels, picks = NULL) {
  fn <- "predict.oprobit_mcmc"
  if (is.null(object$effects)) .qv_stop(fn, "the fit kept no draws of the group effects (save_ranef = FALSE)")
  effects <- .qv_pooled(object$effects)  # draws x effects
  if (!is.null(picks)) effects <- effects[picks, , drop = FALSE]
  draws <- nrow(pooled)
  eta <- matrix(0, rows, draws)
  for (term in object$group_terms) {
    match <- Filter(function(p) p$group == term$group && identical(p$coefs, term$coefs), pieces)
    if (length(match) != 1L) .qv_stop(fn, "the group term of '%s' is not in 'newdata'", term$group)
    piece <- match[[1L]]
    if (nrow(piece$d) != rows || anyNA(piece$level)) {
      .qv_stop(fn, "'newdata' has missing values of '%s' or of its covariates", term$group)
    }
    q <- length(term$coefs)
    level <- match(piece$levels[piece$level], term$levels)
    new <- unique(piece$levels[piece$level][is.na(level)])
    if (length(new) > 0L && !allow_new_levels) {
      .qv_stop(fn, "level '%s' of '%s' is not in the fit (allow_new_levels = TRUE draws new levels)",
               new[1L], term$group)
    }
    new_draws <- if (length(new) > 0L) .oprobit_new_level_draws(term, pooled, length(new))
    for (j in seq_len(q)) {
      u <- matrix(NA_real_, rows, draws)
      known <- !is.na(level)
      columns <- term$effect_names[(level[known] - 1L) * q + j]
      u[known, ] <- t(effects[, columns, drop = FALSE])
      if (length(new) > 0L) {
        which_new <- match(piece$levels[piece$level][!known], new)
        u[!known, ] <- t(new_draws[[j]][, which_new, drop = FALSE])
      }
      eta <- eta + piece$d[, j] * u
    }
  }
  eta
}

# Effects of `count` new levels, one set per draw from N(0, Sigma_draw): a
# list over coefficients of draws x count matrices. From R's stream.
.oprobit_new_level_draws <- function(term, pooled, count) {
  q <- length(term$coefs)
  draws <- nrow(pooled)
  sd <- pooled[, term$sd_names, drop = FALSE]
  pairs <- if (q > 1L) which(upper.tri(diag(q)), arr.ind = TRUE) else matrix(0L, 0L, 2L)
  pairs <- pairs[order(pairs[, 1L], pairs[, 2L]), , drop = FALSE]
  out <- lapply(seq_len(q), function(j) matrix(0, draws, count))
  for (s in seq_len(draws)) {
    cor <- diag(q)
    for (k in seq_len(nrow(pairs))) {
      cor[pairs[k, 1L], pairs[k, 2L]] <- cor[pairs[k, 2L], pairs[k, 1L]] <- pooled[s, term$cor_names[k]]
    }
    root <- chol(cor * tcrossprod(sd[s, ]))
    u <- crossprod(root, matrix(stats::rnorm(q * count), q, count))
    for (j in seq_len(q)) out[[j]][s, ] <- u[j, ]
  }
  out
}

# log_lik, loo, waic, simulate and predictive_check with group terms: every
# row's mean has each draw's own effects, so every row is computed on its
# own (draws x rows x categories), after checking that it can be held.

# The memory the draws x rows x categories probabilities of `draws` draws
# take while they are built (the distribution function values and the group
# effects' part of the linear predictor with them).
.oprobit_mixed_room <- function(fn, object, draws, extra, advice) {
  rows <- nrow(object$x)
  J <- length(object$levels)
  .qv_room(fn, 8 * as.double(draws) * (rows * (2 * J + 3) + extra),
           sprintf("%s draws x %s rows x %d categories (a fit with group terms)", .qv_big(draws), .qv_big(rows), J),
           advice)
}

#' @rdname log_lik
#' @exportS3Method
log_lik.oprobit_mixed <- function(object, cells = FALSE, ...) {
  fn <- "log_lik.oprobit_mcmc"
  if (!isTRUE(cells) && !isFALSE(cells)) .qv_stop(fn, "'cells' must be TRUE or FALSE")
  units <- sum(as.double(object$weights))
  draws <- posterior::ndraws(object$draws)
  .oprobit_mixed_room(fn, object, draws, if (cells) 0 else units,
                      if (cells) "there is no smaller form with group terms" else
                        "log_lik(fit, cells = TRUE) gives one column per row, with the rows' weights as its counts")
  probs <- .oprobit_fitted_probs(object)
  rows <- seq_along(object$y)
  values <- log(vapply(rows, function(i) probs[, i, object$y[i]], numeric(dim(probs)[1L])))
  values <- matrix(values, dim(probs)[1L])
  if (cells) return(structure(values, counts = as.double(object$weights)))
  values[, rep.int(rows, object$weights), drop = FALSE]
}

#' @rdname log_lik
#' @usage \method{loo}{oprobit_mixed}(x, ...)
#' @exportS3Method loo::loo
loo.oprobit_mixed <- function(x, ...) {
  units <- sum(as.double(x$weights))
  .oprobit_mixed_room("loo", x, posterior::ndraws(x$draws), 3 * units,
                      "a fit with group terms needs the draws x observations matrix; fit on fewer draws (thin more)")
  values <- log_lik(x)
  chain <- rep(seq_len(x$chains), each = x$iter)
  loo::loo(values, r_eff = loo::relative_eff(exp(values), chain_id = chain), ...)
}

#' @rdname log_lik
#' @usage \method{waic}{oprobit_mixed}(x, ...)
#' @exportS3Method loo::waic
waic.oprobit_mixed <- function(x, ...) {
  units <- sum(as.double(x$weights))
  .oprobit_mixed_room("waic", x, posterior::ndraws(x$draws), 3 * units,
                      "a fit with group terms needs the draws x observations matrix; fit on fewer draws (thin more)")
  loo::waic(log_lik(x), ...)
}

#' @rdname simulate.oprobit_mcmc
#' @exportS3Method
simulate.oprobit_mixed <- function(object, nsim = 1, seed = NULL, ...) {
  fn <- "simulate.oprobit_mcmc"
  nsim <- .qv_whole(fn, nsim, "nsim", 1)
  .oprobit_mixed_room(fn, object, nsim, 0, "ask for a smaller 'nsim' (and call simulate() again for more)")
  state <- .oprobit_seed_for(seed)
  on.exit(state$restore())
  picks <- sample.int(posterior::ndraws(object$draws), nsim, replace = TRUE)
  probs <- .oprobit_fitted_probs(object, picks)
  out <- lapply(seq_len(nsim), function(s) {
    factor(object$levels[.oprobit_categories(probs[s, , , drop = TRUE], nrow(object$x))],
           levels = object$levels, ordered = TRUE)
  })
  .oprobit_simulated(out, object, state)
}

.oprobit_replicated_counts.oprobit_mixed <- function(object, picks) {
  J <- length(object$levels)
  units <- rep.int(seq_along(object$y), object$weights)
  .oprobit_mixed_room("predictive_check", object, 1, length(units) * (J + 1),
                      "a fit with group terms draws every observation; there is no smaller form")
  t(vapply(picks, function(d) {
    probs <- matrix(.oprobit_fitted_probs(object, d)[1L, , ], nrow(object$x))
    tabulate(.oprobit_categories(probs[units, , drop = FALSE], length(units)), J)
  }, numeric(J)))
}

# One category per row from a rows x categories matrix of probabilities.
.oprobit_categories <- function(probs, rows) {
  probs <- matrix(probs, rows)
  cumulative <- t(apply(probs, 1L, cumsum))
  if (ncol(probs) == 1L) cumulative <- t(cumulative)
  1L + rowSums(stats::runif(rows) > cumulative[, -ncol(probs), drop = FALSE])
}

# The fitted rows' category probabilities (draws x rows x categories) at the
# pooled draws `picks` (default all), each draw with its own effects of the
# rows' levels (as brms's log_lik and posterior_predict).
.oprobit_fitted_probs <- function(object, picks = NULL) {
  pooled <- .qv_pooled(object$draws)
  if (!is.null(picks)) pooled <- pooled[picks, , drop = FALSE]
  extra <- t(.oprobit_group_eta(object, object$group_terms, nrow(object$x), pooled, FALSE, picks))
  .oprobit_probs(object, object$x, object$offset, pooled, extra)
}
