# The second stage of oprobit_mcmc(): the model frame as the chains read
# it, one latent unit per unit of weight, in the order that puts equal
# units together, with its distinct covariate rows and (row, category)
# cells and a rough starting point. Group terms add their designs and sort
# keys, and give every unit a covariate row of its own.

#' The data of an ordinal probit fit, as its chains read them
#'
#' The second stage of \code{\link{oprobit_mcmc}()}, after
#' \code{\link{oprobit_frame}()}: the distinct covariate rows and cells with
#' their counts, or (\code{units = TRUE}) one latent unit per unit of weight, sorted
#' by group levels, covariates, offset and category, so that units with one
#' mean and one category lie together; the distinct covariate rows and the
#' distinct (covariate row, category) cells with their sizes; and a rough
#' starting point (thresholds from the category shares, slopes from a least
#' squares fit of the categories' normal scores).
#'
#' @param frame what \code{\link{oprobit_frame}()} returned.
#' @param units \code{TRUE}: one latent unit per unit of weight, as the
#'   data-augmentation chain draws them (always with group terms);
#'   \code{FALSE} (the default without group terms): the distinct rows and
#'   cells with their counts only, the weights never expanded.
#' @return An object of class \code{"oprobit_data"}: a list with \code{X},
#'   \code{y} and \code{offset} by unit, \code{n} units, \code{J}
#'   categories, the distinct rows (\code{X_distinct}, \code{offset_distinct},
#'   \code{row}, \code{row_end}, \code{row_size}), \code{cells}, \code{start},
#'   \code{groups} and \code{frame}.
#' @examples
#' frame <- oprobit_frame(Sat ~ Infl + Type, data = MASS::housing, weights = Freq)
#' data <- oprobit_data(frame)
#' c(units = data$n, rows = nrow(data$X_distinct), cells = length(data$cells$size))
#' @export
oprobit_data <- function(frame, units = !is.null(frame$groups)) {
  fn <- "oprobit_data"
  if (!inherits(frame, "oprobit_frame")) .qv_stop(fn, "'frame' must be made by oprobit_frame()")
  if (!is.logical(units) || length(units) != 1L || is.na(units)) .qv_stop(fn, "'units' must be TRUE or FALSE")
  if (!is.null(frame$groups) && !units) .qv_stop(fn, "a model with group terms needs 'units = TRUE'")
  if (units) .oprobit_unit_data(frame) else .oprobit_cell_data(frame)
}

# The data by cells: the frame's rows in the order of their covariates,
# offset and category, their distinct covariate rows and their cells with the
# cells' counts (the weights summed, never expanded).
.oprobit_cell_data <- function(frame) {
  X <- frame$X
  rows <- do.call(base::order, c(lapply(seq_len(ncol(X))[-1L], function(j) X[, j]), list(frame$offset, frame$y)))
  X <- X[rows, , drop = FALSE]
  dimnames(X) <- list(NULL, colnames(frame$X))
  offset <- frame$offset[rows]
  y <- frame$y[rows]
  w <- as.double(frame$weights[rows])
  m <- length(y)
  first <- if (m > 1L) {
    c(TRUE, rowSums(X[-1L, , drop = FALSE] != X[-m, , drop = FALSE]) > 0 | offset[-1L] != offset[-m])
  } else {
    TRUE
  }
  row <- cumsum(first)
  cell_first <- first | c(TRUE, y[-1L] != y[-m])
  cell <- cumsum(cell_first)
  J <- length(frame$levels)
  counts <- vapply(seq_len(J), function(k) sum(w[y == k]), 0)
  n <- sum(w)
  X_distinct <- X[first, , drop = FALSE]
  offset_distinct <- offset[first]
  cells <- list(row = row[cell_first], y = y[cell_first], size = unname(rowsum(w, cell, reorder = FALSE)[, 1L]))
  # From the cells, so that the same units give the same start however their
  # rows are split or weighted.
  at <- cells$row
  structure(list(
    units = FALSE, n = if (n <= .Machine$integer.max) as.integer(n) else n, J = J, counts = counts,
    X_distinct = X_distinct, offset_distinct = offset_distinct, cells = cells,
    start = .oprobit_start(X_distinct[at, , drop = FALSE], cells$y, J, counts, offset_distinct[at], cells$size),
    names = c(colnames(X)[-1L], .oprobit_threshold_names(frame$levels)), groups = NULL, frame = frame
  ), class = "oprobit_data")
}

# The data by units: one latent unit per unit of weight, as the
# data-augmentation chain draws them.
.oprobit_unit_data <- function(frame) {
  groups <- frame$groups
  units <- rep.int(seq_along(frame$y), frame$weights)
  # Units in the order of their levels and group covariates, their
  # covariates, their offset, then their category: equal units lie together,
  # whatever order (or weights) the data came in, where the cutpoint step
  # reuses the terms of the unit before.
  columns <- function(m) lapply(seq_len(ncol(m)), function(j) m[units, j])
  keys <- c(lapply(groups$terms, function(term) term$level[units]),
            unlist(lapply(groups$terms, function(term) columns(term$d)), recursive = FALSE),
            columns(frame$X)[-1L], list(frame$offset[units], frame$y[units]))
  units <- units[do.call(base::order, keys)]
  X <- frame$X[units, , drop = FALSE]
  dimnames(X) <- list(NULL, colnames(frame$X))
  y <- frame$y[units]
  offset <- frame$offset[units]
  n <- length(y)
  # Distinct covariate rows (the covariates and the offset) and distinct
  # (covariate row, category) cells, with their sizes. With group terms every
  # unit's mean has its own effects: every unit is its own row.
  first <- if (!is.null(groups)) {
    rep.int(TRUE, n)
  } else if (n > 1L) {
    c(TRUE, rowSums(X[-1L, , drop = FALSE] != X[-n, , drop = FALSE]) > 0 | offset[-1L] != offset[-n])
  } else {
    TRUE
  }
  row <- cumsum(first)
  cell_first <- first | c(TRUE, y[-1L] != y[-n])
  J <- length(frame$levels)
  counts <- tabulate(y, J)
  start <- .oprobit_start(X, y, J, counts, offset)
  if (!is.null(groups)) {
    groups$terms <- lapply(groups$terms, function(term) {
      term$unit_level <- term$level[units]
      term$unit_d <- term$d[units, , drop = FALSE]
      term
    })
  }
  structure(list(
    units = TRUE, X = X, y = y, offset = offset, n = n, J = J, counts = counts,
    X_distinct = if (all(first)) X else X[first, , drop = FALSE], offset_distinct = offset[first],
    row = row, row_end = c(which(first)[-1L] - 1L, n), row_size = tabulate(row, max(row)),
    cells = list(row = row[cell_first], y = y[cell_first], size = diff(c(which(cell_first), n + 1L))),
    start = start, U = if (J > 2L) start$zeta[J - 1L] - start$zeta[1L] else 1,
    names = c(colnames(X)[-1L], .oprobit_threshold_names(frame$levels)),
    groups = groups, frame = frame
  ), class = "oprobit_data")
}

# A rough starting point on the probit scale: thresholds from the category
# shares, slopes from a least-squares fit of the categories' normal scores;
# an offset is taken out by its own least-squares fit on the covariates.
.oprobit_start <- function(X, y, J, counts, offset = numeric(length(y)), w = NULL) {
  n <- if (is.null(w)) length(y) else sum(w)
  edges <- c(-Inf, stats::qnorm(cumsum(counts)[-J] / n), Inf)
  mass <- stats::pnorm(edges[-1L]) - stats::pnorm(edges[-(J + 1L)])
  score <- (stats::dnorm(edges[-(J + 1L)]) - stats::dnorm(edges[-1L])) / mass
  # Rows of weight w as w units: least squares on the rows scaled by sqrt(w).
  root <- if (is.null(w)) 1 else sqrt(w)
  fit <- stats::.lm.fit(X * root, score[y] * root)
  spread <- sqrt(max(sum(fit$residuals^2) / max(1, n - ncol(X)), 0.05))
  shift <- if (any(offset != 0)) stats::.lm.fit(X * root, offset * root)$coefficients else numeric(ncol(X))
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

