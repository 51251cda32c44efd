# From a formula and data to what the ordinal probit chains need: the model
# frame, its checks, and the fixed pieces of every chain (.oprobit_setup).

# The model frame of an oprobit_mcmc() call, built as lm() and polr() build
# theirs; `call` is the matched call, `env` where its arguments live. With
# group terms (`groups` from .oprobit_group_formula()) the frame holds the
# grouping variables too, and X and the terms are the fixed part's.
.oprobit_frame <- function(call, env, groups = NULL) {
  fn <- "oprobit_mcmc"
  mf <- call[c(1L, match(c("formula", "data", "subset", "weights", "na.action"), names(call), 0L))]
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
  if (is.factor(response)) {
    levels <- levels(response)
    codes <- as.integer(response)
  } else if (is.numeric(response) && all(response == floor(response))) {
    levels <- as.character(sort(unique(response[weights > 0])))
    codes <- match(as.character(response), levels)
  } else {
    .qv_stop(fn, "the response must be an ordered factor, a factor or whole-number codes")
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
  frame <- frame[keep, , drop = FALSE]
  for (j in seq_along(frame)[-1L]) if (is.factor(frame[[j]])) frame[[j]] <- droplevels(frame[[j]])
  X <- stats::model.matrix(terms, frame)
  contrasts <- attr(X, "contrasts")
  if (ncol(X) < 1L || colnames(X)[1L] != "(Intercept)") .qv_stop(fn, "the model matrix lacks its intercept")
  for (j in seq_len(ncol(X))[-1L]) {
    if (all(X[, j] == X[1L, j])) .qv_stop(fn, "covariate column '%s' is constant", colnames(X)[j])
  }
  qr <- qr(X)
  if (qr$rank < ncol(X)) {
    .qv_stop(fn, "covariate column '%s' is collinear with the columns before it",
             colnames(X)[qr$pivot[qr$rank + 1L]])
  }
  list(X = X, y = codes[keep], weights = weights[keep], levels = levels, terms = terms,
       xlevels = stats::.getXlevels(terms, frame), contrasts = contrasts,
       na.action = na_action, frame = if (!is.null(groups)) frame)
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
  n <- length(y)
  # Rows in the order of their covariate values, then their category: equal
  # rows lie together, whatever order (or weights) the data came in.
  order <- do.call(base::order, c(lapply(seq_len(ncol(X))[-1L], function(j) X[, j]), list(y)))
  X <- X[order, , drop = FALSE]
  y <- y[order]
  # Distinct covariate rows and distinct (covariate row, category) cells,
  # with their sizes.
  changes <- if (n > 1L) rowSums(X[-1L, , drop = FALSE] != X[-n, , drop = FALSE]) > 0 else logical(0)
  first <- c(TRUE, changes)
  row <- cumsum(first)
  cell_first <- first | c(TRUE, y[-1L] != y[-n])
  cell_size <- diff(c(which(cell_first), n + 1L))

  J <- length(model$levels)
  p <- ncol(X)

  M <- crossprod(X)
  diag(M)[-1L] <- diag(M)[-1L] + rep_len(as.double(B0), p - 1L)
  M_root <- chol(M)

  counts <- tabulate(y, J)
  cumulative <- cumsum(counts) / n
  moves <- lapply(seq_len(J - 1L), function(k) {
    rows <- which(y == k | y == k + 1L)
    mirrored <- cumulative[k] > 0.5
    code <- if (mirrored) ifelse(y[rows] == k, 3L, 2L) else ifelse(y[rows] == k, 2L, 3L)
    list(units = rows, row = row[rows], code = as.integer(code), n = length(rows), mirrored = mirrored)
  })

  start <- .oprobit_start(X, y, J, counts)
  U <- if (J > 2L) start$zeta[J - 1L] - start$zeta[1L] else 1

  setup <- list(X = X, y = y, n = n, J = J, U = U, M_inv = chol2inv(M_root), M_root = M_root,
       prior = list(b0 = rep_len(as.double(b0), p - 1L), B0 = rep_len(as.double(B0), p - 1L)),
       X_distinct = if (all(first)) X else X[first, , drop = FALSE], row = row,
       row_end = c(which(first)[-1L] - 1L, n), row_size = tabulate(row, max(row)),
       offset_distinct = double(max(row)),
       cells = list(row = row[cell_first], y = y[cell_first], size = cell_size),
       moves = moves, s_start = 0.5 * sqrt(counts[-J] + counts[-1L]), start = start,
       names = c(colnames(X)[-1L], .oprobit_threshold_names(model$levels)),
       iter = iter, burnin = burnin, thin = thin, latent = latent,
       report_every = max(1L, (burnin + iter * thin) %/% 100L))
  setup$whole <- .oprobit_mode(setup, start)
  setup
}

# A rough starting point on the probit scale: thresholds from the category
# shares, slopes from a least-squares fit of the categories' normal scores.
.oprobit_start <- function(X, y, J, counts) {
  n <- length(y)
  edges <- c(-Inf, stats::qnorm(cumsum(counts)[-J] / n), Inf)
  mass <- stats::pnorm(edges[-1L]) - stats::pnorm(edges[-(J + 1L)])
  score <- (stats::dnorm(edges[-(J + 1L)]) - stats::dnorm(edges[-1L])) / mass
  fit <- stats::.lm.fit(X, score[y])
  spread <- sqrt(max(sum(fit$residuals^2) / max(1, n - ncol(X)), 0.05))
  list(beta = fit$coefficients[-1L] / spread,
       zeta = (edges[2:J] - fit$coefficients[1L]) / spread)
}

# A chain's own starting point: the rough one, spread out a little by the
# chain's R stream so that chains start apart.
.oprobit_chain_start <- function(start) {
  beta <- start$beta * exp(stats::rnorm(length(start$beta), 0, 0.1))
  zeta <- sort(start$zeta + stats::rnorm(length(start$zeta), 0, 0.1))
  list(beta = beta, zeta = zeta)
}
