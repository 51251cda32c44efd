# From a formula and data to what the chains of ordered_means_mcmc() need:
# the model frame with its group and covariates, the checks, and the
# sufficient statistics every iteration reads (.ordered_means_setup).

# The model frame of an ordered_means_mcmc() call; `call` is the matched
# call, `env` where its arguments live. The first variable on the right of
# the formula is the group; the other terms are covariates.
.ordered_means_frame <- function(call, env, order) {
  fn <- "ordered_means_mcmc"
  frame <- .qv_model_frame(fn, call, env, c("formula", "data", "subset", "weights", "na.action"))
  terms <- attr(frame, "terms")
  if (attr(terms, "response") != 1L) .qv_stop(fn, "'formula' needs a response on its left side")
  labels <- attr(terms, "term.labels")
  if (length(labels) == 0L) .qv_stop(fn, "'formula' needs the group on its right side: y ~ group")
  factors <- attr(terms, "factors")
  group_name <- labels[1L]
  if (!group_name %in% rownames(factors) || sum(factors[, 1L] != 0) != 1L) {
    .qv_stop(fn, "the first term of 'formula' must be the group variable alone, not '%s'", group_name)
  }
  if (any(factors[group_name, -1L] != 0)) {
    .qv_stop(fn, "the group '%s' may appear only once in 'formula' (no interactions with it)", group_name)
  }

  weights <- stats::model.weights(frame)
  if (is.null(weights)) {
    weights <- rep.int(1, nrow(frame))
  } else if (!is.numeric(weights) || any(!is.finite(weights)) || any(weights < 0)) {
    .qv_stop(fn, "'weights' must be finite non-negative numbers")
  }
  if (anyNA(frame[setdiff(names(frame), "(weights)")])) {
    .qv_stop(fn, "the data hold missing values that 'na.action' left in")
  }
  y <- stats::model.response(frame)
  if (!is.numeric(y) || is.matrix(y) || any(!is.finite(y))) .qv_stop(fn, "the response must be finite numbers")
  # offset() terms: the means and slopes describe the response less them.
  offset <- stats::model.offset(frame)
  if (!is.null(offset)) {
    if (!is.numeric(offset) || length(offset) != length(y) || any(!is.finite(offset))) {
      .qv_stop(fn, "the offset must be finite numbers, one per row")
    }
    y <- y - offset
    if (any(!is.finite(y))) .qv_stop(fn, "the response less the offset must be finite numbers")
  }

  group <- frame[[group_name]]
  if (!is.factor(group)) {
    if (!is.atomic(group) || is.matrix(group)) .qv_stop(fn, "the group '%s' must be a factor", group_name)
    group <- factor(group)
  }
  levels <- levels(group)
  if (is.null(order)) {
    order <- levels
  } else {
    if (!is.atomic(order) || length(order) == 0L || anyNA(order)) {
      .qv_stop(fn, "'order' must name the levels of '%s' in their constrained order", group_name)
    }
    order <- as.character(order)
    unknown <- setdiff(order, levels)
    if (length(unknown) > 0L) .qv_stop(fn, "'order' names '%s', which is not a level of '%s'", unknown[1L], group_name)
    if (anyDuplicated(order)) .qv_stop(fn, "'order' names '%s' twice", order[anyDuplicated(order)])
    missing_levels <- setdiff(levels, order)
    if (length(missing_levels) > 0L) {
      .qv_stop(fn, "'order' leaves out the level '%s' of '%s' (drop it from the data or name it)",
               missing_levels[1L], group_name)
    }
  }
  if (length(order) < 2L) .qv_stop(fn, "the group '%s' has only one level: there is no order to impose", group_name)

  keep <- weights > 0
  na_action <- attr(frame, "na.action")
  frame <- frame[keep, , drop = FALSE]
  X <- NULL
  if (length(labels) > 1L) {
    covariate_terms <- stats::drop.terms(terms, 1L, keep.response = TRUE)
    for (j in seq_along(frame)) if (is.factor(frame[[j]])) frame[[j]] <- droplevels(frame[[j]])
    X <- stats::model.matrix(covariate_terms, frame)
    X <- X[, colnames(X) != "(Intercept)", drop = FALSE]
    for (j in seq_len(ncol(X))) {
      if (all(X[, j] == X[1L, j])) .qv_stop(fn, "covariate column '%s' is constant", colnames(X)[j])
    }
  }
  list(y = as.double(y[keep]), group = match(as.character(group[keep]), order), weights = as.double(weights[keep]),
       X = X, order = order, group_name = group_name, terms = terms, na.action = na_action)
}

# The fixed pieces of every chain. Groups are indexed in the order that the
# sampler keeps increasing: the user's order, reversed when decreasing.
# Per group j: W (sum of weights), ybar and xbar (weighted means); within the
# groups: the least-squares slopes gamma_w of the centred data, their cross
# product XtX_w and residual sum of squares rss_w, so that
#   sum w (y - mu[g] - x'gamma)^2
#     = rss_w + (gamma - gamma_w)' XtX_w (gamma - gamma_w)
#       + sum_j W_j (ybar_j - xbar_j'gamma - mu_j)^2.
# gamma | mu, sigma^2 is normal with mean g0 - H mu and covariance
# sigma^2 (X'WX)^-1.
.ordered_means_setup <- function(model, lower, upper, decreasing, prior_mean, prior_sd,
                                 iter, burnin, thin) {
  fn <- "ordered_means_mcmc"
  k <- length(model$order)
  idx <- if (decreasing) rev(seq_len(k)) else seq_len(k)  # internal position -> user's group
  g <- match(model$group, idx)                          # rows' internal group
  w <- model$weights
  y <- model$y
  W <- vapply(seq_len(k), function(j) sum(w[g == j]), 0)
  prior_prec <- (1 / rep_len(prior_sd, k)^2)[idx]
  prior_mean <- rep_len(prior_mean, k)[idx]
  empty <- W == 0 & prior_prec == 0
  if (any(empty)) {
    .qv_stop(fn, "group '%s' has no observations; drop it or give its mean a normal prior ('prior_sd')",
             model$order[idx[which(empty)[1L]]])
  }
  ybar <- ifelse(W > 0, as.vector(rowsum(w * y, factor(g, seq_len(k)))) / pmax(W, 1e-300), 0)
  n <- length(y)
  p <- if (is.null(model$X)) 0L else ncol(model$X)
  setup <- list(k = k, p = p, n = n, W = W, ybar = ybar, prior_prec = prior_prec, prior_mean = prior_mean,
                lower = lower, upper = upper, idx = idx, shape = n / 2,
                iter = iter, burnin = burnin, thin = thin,
                report_every = max(1L, (burnin + iter * thin) %/% 100L))
  yc <- y - ybar[g]
  rss_w <- sum(w * yc^2)
  if (p > 0L) {
    X <- model$X
    xbar <- rowsum(w * X, factor(g, seq_len(k))) / pmax(W, 1e-300)
    Xc <- X - xbar[g, , drop = FALSE]
    XtX_w <- crossprod(Xc * sqrt(w))
    root_w <- tryCatch(chol(XtX_w), error = function(e) NULL)
    if (is.null(root_w) || min(diag(root_w))^2 < 1e-10 * max(diag(XtX_w))) {
      .qv_stop(fn, "the covariates are collinear with the group (or with each other) within the groups")
    }
    gamma_w <- backsolve(root_w, forwardsolve(t(root_w), crossprod(Xc, w * yc)))
    rss_w <- max(0, rss_w - sum(forwardsolve(t(root_w), crossprod(Xc, w * yc))^2))
    XtWX <- crossprod(X * sqrt(w))
    root <- chol(XtWX)
    Sx <- xbar * W                                        # k x p
    XtX_inv <- chol2inv(root)
    setup <- c(setup, list(xbar = xbar, XtX_w = XtX_w, gamma_w = drop(gamma_w), root = root,
                           g0 = drop(XtX_inv %*% crossprod(X, w * y)), H = XtX_inv %*% t(Sx)))
  }
  residual_df <- n - p - sum(prior_prec == 0)
  if (residual_df < 1L) {
    .qv_stop(fn, "%d observations cannot fit %d means and %d slopes with a residual variance", n, k, p)
  }
  setup$rss_w <- rss_w
  # A rough scale and starting point: the pooled within-group residual sd
  # and the weighted isotonic fit of the adjusted group means.
  setup$scale <- sqrt(rss_w / max(1, n - k - p))
  if (!is.finite(setup$scale) || setup$scale <= 0) setup$scale <- 1
  if (p > 0L) setup$gamma_start <- setup$gamma_w
  adjusted <- ybar - (if (p > 0L) drop(setup$xbar %*% setup$gamma_w) else 0)
  setup$mu_start <- .qv_pava(ifelse(W > 0, adjusted, prior_mean), pmax(W, 1e-8))
  setup
}

# Weighted isotonic (non-decreasing) regression by pooling adjacent
# violators.
.qv_pava <- function(v, w) {
  values <- v
  weights <- w
  sizes <- rep(1L, length(v))
  top <- 0L
  for (i in seq_along(v)) {
    top <- top + 1L
    values[top] <- v[i]
    weights[top] <- w[i]
    sizes[top] <- 1L
    while (top > 1L && values[top - 1L] > values[top]) {
      total <- weights[top - 1L] + weights[top]
      values[top - 1L] <- (weights[top - 1L] * values[top - 1L] + weights[top] * values[top]) / total
      weights[top - 1L] <- total
      sizes[top - 1L] <- sizes[top - 1L] + sizes[top]
      top <- top - 1L
    }
  }
  rep(values[seq_len(top)], sizes[seq_len(top)])
}
