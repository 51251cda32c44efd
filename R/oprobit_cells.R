# What the fixed-effects methods compute on: the distinct covariate rows of a
# fit (rows with one set of covariates and one offset share their category
# probabilities) and its (row, category) cells with their counts, which is
# all that fitted(), predict(), log_lik(), loo(), waic(), simulate() and
# predictive_check() need. The probabilities are computed a bounded number
# of rows at a time, and whatever would grow with the units (the rows
# repeated by their weights) is checked against the free memory first.

# Above this many units (the sum of the weights), loo() and waic() keep their
# pointwise table per cell and predictive_check() draws each distinct row's
# category counts at once instead of each unit's category.
.oprobit_unit_limit <- 1e6

# Distinct rows of a model matrix X (intercept first) with their offsets:
# the distinct rows (`X`, `offset`) in the order of their covariates and
# offset, and `row`, the distinct row of every row of X. Missing values
# compare equal to each other, so rows with them group too.
.oprobit_distinct_rows <- function(X, offset) {
  n <- nrow(X)
  if (n == 0L) return(list(X = X, offset = offset, row = integer(0)))
  keys <- c(lapply(seq_len(ncol(X))[-1L], function(j) X[, j]), list(as.double(offset)))
  ord <- do.call(base::order, unname(keys))
  differs <- function(v) {
    a <- v[ord[-1L]]
    b <- v[ord[-n]]
    out <- a != b
    out[is.na(out)] <- (is.na(a) != is.na(b))[is.na(out)]
    out
  }
  first <- c(TRUE, Reduce(`|`, lapply(keys, differs), logical(n - 1L)))
  row <- integer(n)
  row[ord] <- cumsum(first)
  list(X = X[ord[first], , drop = FALSE], offset = as.double(offset)[ord[first]], row = row)
}

# The distinct rows of a fit and its cells: `X`, `offset` and `row` as
# .oprobit_distinct_rows() gives them, `cell`, the cell of every data row, and
# `cells`, a data frame with each cell's distinct row, category and count
# (the sum of its rows' weights), ordered by row and then category, as the
# fit's data stage orders its cells.
.oprobit_fit_cells <- function(fit) {
  rows <- .oprobit_distinct_rows(fit$x, fit$offset)
  J <- length(fit$levels)
  weights <- as.double(fit$weights)
  key <- (rows$row - 1) * J + fit$y
  keys <- sort(unique(key[weights > 0]))
  cell <- match(key, keys)
  cell[weights == 0] <- NA_integer_
  used <- !is.na(cell)
  count <- if (any(used)) unname(rowsum(weights[used], cell[used], reorder = TRUE)[, 1L]) else numeric(0)
  c(rows, list(cell = cell, cells = data.frame(row = as.integer((keys - 1) %/% J + 1),
                                                y = as.integer((keys - 1) %% J + 1), count = count)))
}

# Ranges of rows taken at a time, so that each chunk's probabilities (draws x
# rows x categories and their distribution function values, as
# .oprobit_probs() builds them) hold about `getOption("quorval.chunk_doubles")`
# doubles (default 2^24, 128 MB).
.oprobit_chunks <- function(rows, draws, J) {
  if (rows == 0L) return(list())
  budget <- getOption("quorval.chunk_doubles", 2^24)
  size <- max(1, floor(budget / (as.double(draws) * (2 * J + 1))))
  starts <- seq(1, rows, by = size)
  lapply(starts, function(s) seq.int(s, min(rows, s + size - 1)))
}

# Refuses, before it is built, an object of about `bytes` bytes that the
# system cannot give (or R cannot index): `what` says what the object is,
# `advice` what to ask for instead. The option quorval.free_memory (bytes)
# stands in for the system's figure, to act out a small machine.
.qv_room <- function(fn, bytes, what, advice) {
  free <- getOption("quorval.free_memory", .qv_free_memory())
  if (bytes > 2^52 || (!is.na(free) && bytes > free)) {
    .qv_stop(fn, "%s need about %s of memory%s; %s", what, .qv_bytes(bytes),
             if (is.na(free)) "" else sprintf(", more than the %s available", .qv_bytes(free)), advice)
  }
  invisible(bytes)
}

.qv_big <- function(x) format(x, big.mark = ",", scientific = FALSE, trim = TRUE)

# Posterior means of the category probabilities of the rows of X (with their
# offsets), and with `tails` their quantiles at these probabilities: rows x
# categories matrices `mean`, `lower`, `upper`, computed once per distinct
# row, some rows at a time.
.oprobit_prob_summary <- function(object, X, offset, tails = NULL) {
  distinct <- .oprobit_distinct_rows(X, offset)
  pooled <- .qv_pooled(object$draws)
  J <- length(object$levels)
  m <- nrow(distinct$X)
  mean <- lower <- upper <- matrix(NA_real_, m, J)
  for (rows in .oprobit_chunks(m, nrow(pooled), J)) {
    values <- matrix(.oprobit_probs(object, distinct$X[rows, , drop = FALSE], distinct$offset[rows], pooled),
                     nrow(pooled))
    mean[rows, ] <- colMeans(values)
    if (!is.null(tails)) {
      complete <- !is.na(colSums(values))
      bounds <- matrix(NA_real_, 2L, ncol(values))
      bounds[, complete] <- apply(values[, complete, drop = FALSE], 2L, stats::quantile, probs = tails,
                                  names = FALSE)
      lower[rows, ] <- bounds[1L, ]
      upper[rows, ] <- bounds[2L, ]
    }
  }
  back <- function(x) {
    x <- x[distinct$row, , drop = FALSE]
    dimnames(x) <- list(rownames(X), object$levels)
    x
  }
  list(mean = back(mean), lower = if (!is.null(tails)) back(lower), upper = if (!is.null(tails)) back(upper))
}

# The log-likelihood of each cell of `cells` (.oprobit_fit_cells()) under each
# pooled draw: draws x cells, some distinct rows at a time.
.oprobit_cell_log_lik <- function(object, cells) {
  pooled <- .qv_pooled(object$draws)
  draws <- nrow(pooled)
  table <- cells$cells
  values <- matrix(0, draws, nrow(table))
  for (rows in .oprobit_chunks(nrow(cells$X), draws, length(object$levels))) {
    span <- findInterval(c(rows[1L] - 0.5, rows[length(rows)] + 0.5), table$row)
    if (span[2L] == span[1L]) next
    at <- seq.int(span[1L] + 1L, span[2L])
    probs <- matrix(.oprobit_probs(object, cells$X[rows, , drop = FALSE], cells$offset[rows], pooled), draws)
    values[, at] <- log(probs[, (table$y[at] - 1L) * length(rows) + table$row[at] - rows[1L] + 1L, drop = FALSE])
  }
  values
}

# A loo or waic object of the cells (`cell_object`, from loo::loo() or
# loo::waic() on draws x cells) as the object of the units: each estimate the
# count-weighted sum of its pointwise column over the cells and its SE the
# square root of units x their variance, as loo takes them over the units. Up
# to .oprobit_unit_limit units the pointwise table and the diagnostics are
# repeated to one row per unit, in the order of log_lik()'s columns, so that
# the object is what loo gives on the draws x units matrix; above, they stay
# per cell with the counts, and loo_compare() is refused. Either way `cells`
# keeps the cells, their pointwise table and their diagnostics.
.oprobit_unit_loo <- function(cell_object, cells, weights) {
  counts <- cells$cells$count
  units <- sum(counts)
  pointwise <- cell_object$pointwise
  for (name in rownames(cell_object$estimates)) {
    v <- pointwise[, name]
    estimate <- sum(counts * v)
    spread <- if (units > 1) sum(counts * (v - estimate / units)^2) / (units - 1) else NA_real_
    cell_object$estimates[name, ] <- c(estimate, sqrt(units * spread))
    cell_object[[name]] <- estimate
    cell_object[[paste0("se_", name)]] <- sqrt(units * spread)
  }
  cell_object$cells <- list(cells = cells$cells, pointwise = pointwise, diagnostics = cell_object$diagnostics)
  dims <- attr(cell_object, "dims")
  attr(cell_object, "dims") <- c(dims[1L], if (units <= .Machine$integer.max) as.integer(units) else units)
  if (units <= .oprobit_unit_limit || units == nrow(pointwise)) {
    unit_cell <- rep.int(cells$cell, weights)
    cell_object$pointwise <- pointwise[unit_cell, , drop = FALSE]
    if (!is.null(cell_object$diagnostics)) cell_object$diagnostics <- lapply(cell_object$diagnostics, `[`, unit_cell)
    return(cell_object)
  }
  message(sprintf(paste0("%s units in %s cells: the pointwise table is per cell (its counts in $cells$cells); ",
                         "loo::loo_compare() needs one row per unit, which is kept up to %s units"),
                  .qv_big(units), .qv_big(nrow(pointwise)), .qv_big(.oprobit_unit_limit)))
  structure(cell_object, class = c("qv_cell_loo", class(cell_object)))
}

#' @exportS3Method print qv_cell_loo
print.qv_cell_loo <- function(x, digits = 1, ...) {
  dims <- attr(x, "dims")
  counts <- x$cells$cells$count
  cat(sprintf("\nComputed from %s by %s log-likelihood matrix (held as %s cells with their counts).\n\n",
              .qv_big(dims[1L]), .qv_big(dims[2L]), .qv_big(length(counts))))
  print(round(x$estimates, digits))
  if ("mcse_elpd_loo" %in% colnames(x$pointwise)) {
    cat(sprintf("------\nMonte Carlo SE of elpd_loo is %s.\n",
                format(round(sqrt(sum(counts * x$pointwise[, "mcse_elpd_loo"]^2)), 1L), nsmall = 1L)))
  }
  k <- x$cells$diagnostics$pareto_k
  if (!is.null(k)) {
    bands <- cut(k, c(-Inf, 0.5, 0.7, 1, Inf))
    units <- tapply(counts, bands, sum)
    units[is.na(units)] <- 0
    cat("\nUnits by Pareto k (per cell, counted by unit):\n")
    print(data.frame(band = c("(-Inf, 0.5]  (good)", " (0.5, 0.7]  (ok)", "   (0.7, 1]  (bad)",
                              "   (1, Inf)  (very bad)"), units = .qv_big(as.vector(units))),
          row.names = FALSE, right = FALSE)
  }
  invisible(x)
}

#' @exportS3Method loo::loo_compare
loo_compare.qv_cell_loo <- function(x, ...) {
  .qv_stop("loo_compare", paste0("this loo object holds its pointwise table per cell (more than %s units); ",
                                 "comparing fits needs one row per unit"), .qv_big(.oprobit_unit_limit))
}
