# From a formula and data to what the ordinal probit chains need: the model
# frame, its checks, and the fixed pieces of every chain (.oprobit_setup).

# The model frame of an oprobit_mcmc() call, built as lm() and polr() build
# theirs; `call` is the matched call, `env` where its arguments live. With
# group terms (`groups` from .oprobit_group_formula()) the frame holds the
# grouping variables too, and X and the terms are the fixed part's.
.oprobit_frame <- function(call, env, groups = NULL) {
  fn <- "oprobit_mcmc"
  mf <- call[c(1L, match(c("formula", "data", "subset", "weights", "na.action", "offset"), names(call), 0L))]
  if (!is.null(groups)) mf$formula <- groups$all
  mf$drop.unused.levels <- FALSE
  mf[[1L]] <- quote(stats::model.frame)
  frame <- tryCatch(eval(mf, env), error = function(e) {
    .qv_stop(fn, "could not build the model frame: %s", conditionMessage(e))
  })
  if (nrow(frame) == 0L) .qv_stop(fn, "no observations left in 'data' (after 'subset' and 'na.action')")
  terms <- attr(frame, "terms")
  if (!is.null(groups)) terms <- .oprobit_fixed_terms(groups$fixed, terms)
  if (attr(terms, "response") != 1L) .qv_stop(fn, "'formula' needs a response on its left side")
  if (attr(terms, "intercept") != 1L) {
    .qv_stop(fn, "'formula' must keep its intercept: the thresholds take its place")
  }

  weights <- stats::model.weights(frame)
  if (is.null(weights)) {
    weights <- rep.int(1L, nrow(frame))
  } else {
    if (!is.numeric(weights) || any(!is.finite(weights)) || any(weights < 0) ||
        any(weights != floor(weights)) || any(weights > .Machine$integer.max)) {
      .qv_stop(fn, "'weights' must be whole non-negative numbers (frequency counts)")
    }
    weights <- as.integer(weights)
  }
  if (sum(as.double(weights)) > .Machine$integer.max) .qv_stop(fn, "'weights' sum to more rows than R can index")

  if (anyNA(frame[setdiff(names(frame), "(weights)")])) {
    .qv_stop(fn, "the data hold missing values that 'na.action' left in")
  }
  response <- stats::model.response(frame)
  if (is.logical(response)) {
    # As glm() takes it: FALSE below TRUE.
    levels <- c("FALSE", "TRUE")
    codes <- as.integer(response) + 1L
  } else if (is.factor(response)) {
    levels <- levels(response)
    codes <- as.integer(response)
    if (!is.ordered(response) && length(levels) > 2L) {
      message(sprintf("%s: the response is an unordered factor; its levels are taken in their stored order: %s",
                      fn, paste(levels, collapse = " < ")))
    }
  } else if (is.numeric(response) && all(is.finite(response)) && all(response == floor(response))) {
    levels <- as.character(sort(unique(response[weights > 0])))
    codes <- match(as.character(response), levels)
  } else {
    .qv_stop(fn, "the response must be an ordered factor, a factor, a logical or whole-number codes")
  }
  counts <- vapply(seq_along(levels), function(k) sum(as.double(weights[codes == k])), 0)
  if (length(levels) < 2L || sum(counts > 0) < 2L) {
    .qv_stop(fn, "the response has only one category: there is nothing to fit")
  }
  if (any(counts == 0)) {
    .qv_stop(fn, "category '%s' of the response has no observations; drop it (droplevels()) or merge it with a neighbour",
             levels[counts == 0][1L])
  }

  # Rows of weight 0 go; covariate factors keep only the levels that occur.
  keep <- weights > 0
  na_action <- attr(frame, "na.action")
  if (!all(keep)) {
    # Rows of weight 0 count as omitted, so that na.exclude pads them too.
    rows <- setdiff(seq_len(nrow(frame) + length(na_action)), na_action)
    kind <- if (is.null(na_action)) "omit" else class(na_action)
    na_action <- structure(sort(c(as.integer(na_action), rows[!keep])), class = kind)
  }
  frame <- frame[keep, , drop = FALSE]
  for (j in seq_along(frame)[-1L]) if (is.factor(frame[[j]])) frame[[j]] <- droplevels(frame[[j]])
  X <- stats::model.matrix(terms, frame)
  contrasts <- attr(X, "contrasts")
  if (ncol(X) < 1L || colnames(X)[1L] != "(Intercept)") .qv_stop(fn, "the model matrix lacks its intercept")
  for (j in seq_len(ncol(X))[-1L]) {
    if (any(!is.finite(X[, j]))) .qv_stop(fn, "covariate column '%s' holds an infinite value", colnames(X)[j])
    if (all(X[, j] == X[1L, j])) .qv_stop(fn, "covariate column '%s' is constant", colnames(X)[j])
  }
  offset <- stats::model.offset(frame)
  if (is.null(offset)) {
    offset <- numeric(nrow(X))
  } else if (!is.numeric(offset) || length(offset) != nrow(X) || any(!is.finite(offset))) {
    .qv_stop(fn, "the offset must be finite numbers, one per row")
  }
  qr <- qr(X)
  if (qr$rank < ncol(X)) {
    .qv_stop(fn, "covariate column '%s' is collinear with the columns before it",
             colnames(X)[qr$pivot[qr$rank + 1L]])
  }
  # Each level of each factor covariate as an indicator, for the separation
  # check (a reference level has no column of its own).
  variables <- attr(terms, "dataClasses")
  indicators <- list()
  for (name in names(variables)[-1L]) {
    if (!variables[[name]] %in% c("factor", "ordered", "character", "logical")) next
    values <- frame[[name]]
    for (level in unique(as.character(values))) {
      indicators[[sprintf("level '%s' of '%s'", level, name)]] <- as.double(as.character(values) == level)
    }
  }
  list(X = X, y = codes[keep], weights = weights[keep], offset = as.double(offset), levels = levels,
       terms = terms, indicators = indicators,
       xlevels = stats::.getXlevels(terms, frame), contrasts = contrasts,
       na.action = na_action, frame = if (!is.null(groups)) frame)
}

# Whether an expression has a `|` term outside I(), as random effects are
# written.
.oprobit_has_bar <- function(e) {
  if (!is.call(e)) return(FALSE)
  if (identical(e[[1L]], as.name("I"))) return(FALSE)
  if (identical(e[[1L]], as.name("|")) || identical(e[[1L]], as.name("||"))) return(TRUE)
  any(vapply(as.list(e)[-1L], .oprobit_has_bar, TRUE))
}

# Stops when a covariate column, or the indicator of a factor level, orders
# the response categories by itself (complete or quasi-complete
# separation): the likelihood then grows without end along that direction,
# and a flat prior gives no posterior. A direction whose slopes all have a
# proper prior (B0 > 0) is fine. Directions mixing several covariates are
# not searched.
.oprobit_separation <- function(model, B0) {
  X <- model$X
  y <- model$y
  J <- length(model$levels)
  candidates <- c(lapply(stats::setNames(seq_len(ncol(X))[-1L], sprintf("covariate column '%s'", colnames(X)[-1L])),
                         function(j) X[, j]), model$indicators)
  decomposition <- NULL
  for (name in names(candidates)) {
    v <- candidates[[name]]
    if (all(v == v[1L])) next
    low <- vapply(seq_len(J), function(k) min(v[y == k]), 0)
    high <- vapply(seq_len(J), function(k) max(v[y == k]), 0)
    ordered_up <- all(cummax(high)[-J] <= low[-1L])
    ordered_down <- all(cummin(low)[-J] >= high[-1L])
    if (!ordered_up && !ordered_down) next
    # The slopes that move along this direction.
    if (is.null(decomposition)) decomposition <- qr(X)
    delta <- qr.coef(decomposition, v)
    if (max(abs(qr.resid(decomposition, v))) > 1e-8 * max(1, abs(v))) next
    involved <- which(abs(delta[-1L]) > 1e-8)
    if (length(involved) > 0L && all(B0[involved] > 0)) next
    .qv_stop("oprobit_mcmc", paste0(
      "%s separates the response categories: they are ordered by its value alone, so the likelihood ",
      "grows without end as its slope goes to %s and with a flat prior there is no posterior ",
      "(maximum likelihood fails too). Give the slopes a proper prior through 'B0' (a precision, for ",
      "example B0 = 0.1), or drop or merge the covariate"),
      name, if (ordered_up) "+Inf" else "-Inf")
  }
  invisible(NULL)
}

# polr's names of the thresholds: "a|b" for successive levels.
.oprobit_threshold_names <- function(levels) {
  paste(levels[-length(levels)], levels[-1L], sep = "|")
}

# The fixed pieces of every chain: the data expanded to one row per unit of
# weight, the conditional of (b, t) given z, the threshold moves, the
# constant U of the working frame and a starting point.
.oprobit_setup <- function(model, iter, burnin, thin, b0, B0, latent) {
  rows <- rep.int(seq_along(model$y), model$weights)
  X <- model$X[rows, , drop = FALSE]
  dimnames(X) <- list(NULL, colnames(model$X))
  y <- model$y[rows]
  offset <- model$offset[rows]
  n <- length(y)
  # Rows in the order of their covariate values, their offset, then their
  # category: equal rows lie together, whatever order (or weights) the data
  # came in.
  order <- do.call(base::order, c(lapply(seq_len(ncol(X))[-1L], function(j) X[, j]), list(offset, y)))
  X <- X[order, , drop = FALSE]
  y <- y[order]
  offset <- offset[order]
  # Distinct covariate rows (the covariates and the offset) and distinct
  # (covariate row, category) cells, with their sizes.
  changes <- if (n > 1L) {
    rowSums(X[-1L, , drop = FALSE] != X[-n, , drop = FALSE]) > 0 | offset[-1L] != offset[-n]
  } else {
    logical(0)
  }
  first <- c(TRUE, changes)
  row <- cumsum(first)
  cell_first <- first | c(TRUE, y[-1L] != y[-n])
  cell_size <- diff(c(which(cell_first), n + 1L))

  J <- length(model$levels)
  p <- ncol(X)

  M_root <- .oprobit_regression_root(X, B0)
  counts <- tabulate(y, J)
  moves <- .oprobit_threshold_moves(y, J, row)

  start <- .oprobit_start(X, y, J, counts, offset)
  U <- if (J > 2L) start$zeta[J - 1L] - start$zeta[1L] else 1

  setup <- list(X = X, y = y, n = n, J = J, U = U, M_inv = chol2inv(M_root), M_root = M_root,
       prior = list(b0 = rep_len(as.double(b0), p - 1L), B0 = rep_len(as.double(B0), p - 1L)),
       X_distinct = if (all(first)) X else X[first, , drop = FALSE], row = row,
       row_end = c(which(first)[-1L] - 1L, n), row_size = tabulate(row, max(row)),
       offset_distinct = offset[first],
       cells = list(row = row[cell_first], y = y[cell_first], size = cell_size),
       moves = moves, s_start = 0.5 * sqrt(counts[-J] + counts[-1L]), start = start,
       names = c(colnames(X)[-1L], .oprobit_threshold_names(model$levels)),
       iter = iter, burnin = burnin, thin = thin, latent = latent,
       report_every = max(1L, (burnin + iter * thin) %/% 100L))
  setup$whole <- .oprobit_mode(setup, start)
  setup
}

# A rough starting point on the probit scale: thresholds from the category
# shares, slopes from a least-squares fit of the categories' normal scores;
# an offset is taken out by its own least-squares fit on the covariates.
.oprobit_start <- function(X, y, J, counts, offset = numeric(length(y))) {
  n <- length(y)
  edges <- c(-Inf, stats::qnorm(cumsum(counts)[-J] / n), Inf)
  mass <- stats::pnorm(edges[-1L]) - stats::pnorm(edges[-(J + 1L)])
  score <- (stats::dnorm(edges[-(J + 1L)]) - stats::dnorm(edges[-1L])) / mass
  fit <- stats::.lm.fit(X, score[y])
  spread <- sqrt(max(sum(fit$residuals^2) / max(1, n - ncol(X)), 0.05))
  shift <- if (any(offset != 0)) stats::.lm.fit(X, offset)$coefficients else numeric(ncol(X))
  list(beta = fit$coefficients[-1L] / spread - shift[-1L],
       zeta = (edges[2:J] - fit$coefficients[1L]) / spread + shift[1L])
}

# A chain's own starting point: the rough one, spread out a little by the
# chain's R stream so that chains start apart.
.oprobit_chain_start <- function(start) {
  beta <- start$beta * exp(stats::rnorm(length(start$beta), 0, 0.1))
  zeta <- sort(start$zeta + stats::rnorm(length(start$zeta), 0, 0.1))
  list(beta = beta, zeta = zeta)
}

# The upper triangular root of M = X'X + diag(0, B0), the precision of the
# regression step given the latent variables.
.oprobit_regression_root <- function(X, B0) {
  M <- crossprod(X)
  diag(M)[-1L] <- diag(M)[-1L] + rep_len(as.double(B0), ncol(X) - 1L)
  chol(M)
}

# Per threshold k, the cutpoint step's units (those of categories k and
# k + 1), their covariate rows and codes; thresholds above the middle of the
# data move on the mirrored axis.
.oprobit_threshold_moves <- function(y, J, row) {
  cumulative <- cumsum(tabulate(y, J)) / length(y)
  lapply(seq_len(J - 1L), function(k) {
    rows <- which(y == k | y == k + 1L)
    mirrored <- cumulative[k] > 0.5
    code <- if (mirrored) ifelse(y[rows] == k, 3L, 2L) else ifelse(y[rows] == k, 2L, 3L)
    list(units = rows, row = row[rows], code = as.integer(code), n = length(rows), mirrored = mirrored)
  })
}
