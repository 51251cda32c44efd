# Group-level (random) effects in oprobit_mcmc(): the formula's `|` terms,
# made into per-unit levels and covariates by lme4's formula tools, the
# chain's setup and plan for them, and the group-level part of the fit.
#
# Model on the probit scale: w_i = x_i' beta + sum over terms of
# d_i' u_(term, level of i) + e_i, e_i ~ N(0, 1), u ~ N(0, Sigma_term) for each
# level of a term; each sd of Sigma_term half-t (df, scale) or half-normal
# (scale), the correlations uniform (LKJ(1)). The chain's moves for them are
# in oprobitchain/random_effects_draw.cpp and group_sd_draw.cpp.

# The formula's pieces: NULL without `|` terms, else the bars (`||` already
# split into uncorrelated terms), the fixed part and a formula with every
# variable (for the model frame).
.oprobit_group_formula <- function(formula) {
  # A `|` inside I() is a covariate's logical or, not a group term.
  if (!.oprobit_has_bar(formula[[length(formula)]])) return(NULL)
  bars <- lme4::findbars(formula)
  if (length(bars) == 0L) return(NULL)
  fixed <- lme4::nobars(formula)
  if (!inherits(fixed, "formula") || length(fixed) != 3L) {
    .qv_stop("oprobit_mcmc", "'formula' needs a response on its left side")
  }
  all <- lme4::subbars(formula)
  environment(all) <- environment(fixed) <- environment(formula)
  list(bars = bars, fixed = fixed, all = all)
}

# The fixed part's terms, with the variables' prediction calls of the whole
# frame's terms (so that predict() evaluates poly() and the like as fitted).
.oprobit_fixed_terms <- function(fixed, all_terms) {
  terms <- stats::terms(fixed)
  variables <- vapply(as.list(attr(terms, "variables"))[-1L], deparse1, "")
  all_variables <- vapply(as.list(attr(all_terms, "variables"))[-1L], deparse1, "")
  predvars <- as.list(attr(all_terms, "predvars"))[-1L]
  if (length(predvars) == length(all_variables)) {
    attr(terms, "predvars") <- as.call(c(quote(list), predvars[match(variables, all_variables)]))
  }
  terms
}

# brms's name of a coefficient: "Intercept" for "(Intercept)".
.oprobit_group_coef_names <- function(names) sub("^\\(Intercept\\)$", "Intercept", names)

# Each group term of the model frame: its grouping factor's name and levels,
# its coefficients' names, the level of every row (1-based) and the rows'
# covariates (rows x q). lme4 orders the terms by its own rules.
.oprobit_group_pieces <- function(bars, frame) {
  # Character grouping variables as factors (`a:b` needs factors).
  frame[] <- lapply(frame, function(v) if (is.character(v)) factor(v) else v)
  re <- tryCatch(lme4::mkReTrms(bars, frame), error = function(e) {
    .qv_stop("oprobit_mcmc", "could not build the group terms: %s", conditionMessage(e))
  })
  assign <- attr(re$flist, "assign")
  lapply(seq_along(re$Ztlist), function(k) {
    Zt <- re$Ztlist[[k]]
    q <- length(re$cnms[[k]])
    factor <- re$flist[[assign[k]]]
    if (nrow(Zt) != q * nlevels(factor)) .qv_stop("oprobit_mcmc", "unexpected layout of a group term")
    n <- ncol(Zt)
    d <- matrix(0, n, q)
    columns <- rep.int(seq_len(n), diff(Zt@p))
    d[cbind(columns, Zt@i %% q + 1L)] <- Zt@x
    factor <- droplevels(factor)
    list(group = names(re$flist)[assign[k]], coefs = re$cnms[[k]], levels = levels(factor),
         level = as.integer(factor), d = d)
  })
}

# The group terms of a model frame, checked and named. A term whose grouping
# factor has one level only cannot be told from the thresholds (or its
# slope): it goes, with a warning; NULL when none is left.
.oprobit_group_terms <- function(groups, model) {
  fn <- "oprobit_mcmc"
  terms <- .oprobit_group_pieces(groups$bars, model$frame)
  single <- vapply(terms, function(term) length(term$levels) < 2L, TRUE)
  if (any(single)) {
    warning(sprintf(paste("oprobit_mcmc: grouping factor '%s' has one level; its term is left out",
                          "(the model is the one without it)"), terms[[which(single)[1L]]]$group), call. = FALSE)
    terms <- terms[!single]
  }
  if (length(terms) == 0L) return(NULL)
  slopes <- colnames(model$X)[-1L]
  names <- character(0)
  for (k in seq_along(terms)) {
    term <- terms[[k]]
    coefs <- .oprobit_group_coef_names(term$coefs)
    q <- length(coefs)
    # The fixed counterpart of each coefficient: the thresholds for the
    # intercept (-1), slope k (k), or none (0).
    term$shift <- as.integer(ifelse(term$coefs == "(Intercept)", -1L, match(term$coefs, slopes, 0L)))
    term$sd_names <- sprintf("sd_%s__%s", term$group, coefs)
    pairs <- if (q > 1L) which(upper.tri(diag(q)), arr.ind = TRUE) else matrix(0L, 0L, 2L)
    pairs <- pairs[order(pairs[, 1L], pairs[, 2L]), , drop = FALSE]
    term$cor_names <- sprintf("cor_%s__%s__%s", term$group, coefs[pairs[, 1L]], coefs[pairs[, 2L]])
    term$effect_names <- sprintf("r_%s[%s,%s]", term$group, rep(term$levels, each = q),
                                 rep(coefs, length(term$levels)))
    names <- c(names, term$sd_names, term$cor_names)
    terms[[k]] <- term
  }
  if (anyDuplicated(names)) .qv_stop(fn, "'formula' has the same group term twice")
  list(terms = terms, names = names, bars = groups$bars)
}

# The sd prior from oprobit_mcmc()'s arguments.
.oprobit_sd_prior <- function(sd_prior, sd_df, sd_scale) {
  fn <- "oprobit_mcmc"
  if (!is.numeric(sd_df) || length(sd_df) != 1L || !is.finite(sd_df) || sd_df <= 0) {
    .qv_stop(fn, "'sd_df' must be one positive number")
  }
  if (!is.numeric(sd_scale) || length(sd_scale) != 1L || !is.finite(sd_scale) || sd_scale <= 0) {
    .qv_stop(fn, "'sd_scale' must be one positive number")
  }
  list(family = sd_prior, df = as.double(sd_df), scale = as.double(sd_scale))
}

# The fixed pieces of every chain of a model with group terms: as
# .oprobit_setup() makes them, but every unit is its own covariate row (its
# mean has its own effects), and the whole-point move proposes from the
# current point (see .oprobit_group_plan()).
.oprobit_group_setup <- function(model, groups, iter, burnin, thin, b0, B0, latent, sd_prior, save_ranef) {
  units <- rep.int(seq_along(model$y), model$weights)
  # Units in the order of their levels, covariates and category: units with
  # one mean and one code lie together, where the cutpoint step reuses the
  # terms of the unit before.
  keys <- c(lapply(groups$terms, function(term) term$level[units]),
            lapply(groups$terms, function(term) term$d[units, , drop = FALSE]),
            lapply(seq_len(ncol(model$X))[-1L], function(j) model$X[units, j]), list(model$offset[units]),
            list(model$y[units]))
  keys <- unlist(lapply(keys, function(k) if (is.matrix(k)) lapply(seq_len(ncol(k)), function(j) k[, j]) else list(k)),
                 recursive = FALSE)
  units <- units[do.call(order, keys)]
  X <- model$X[units, , drop = FALSE]
  dimnames(X) <- list(NULL, colnames(model$X))
  y <- model$y[units]
  offset <- model$offset[units]
  n <- length(y)
  J <- length(model$levels)
  p <- ncol(X)
  M_root <- .oprobit_regression_root(X, B0)
  counts <- tabulate(y, J)
  # Every unit its own covariate row.
  moves <- .oprobit_threshold_moves(y, J, seq_len(n))
  start <- .oprobit_start(X, y, J, counts, offset)
  U <- if (J > 2L) start$zeta[J - 1L] - start$zeta[1L] else 1
  groups$terms <- lapply(groups$terms, function(term) {
    term$unit_level <- term$level[units]
    term$unit_d <- term$d[units, , drop = FALSE]
    term
  })
  groups$prior <- sd_prior
  groups$save <- save_ranef
  list(X = X, y = y, n = n, J = J, U = U, M_inv = chol2inv(M_root), M_root = M_root,
       prior = list(b0 = rep_len(as.double(b0), p - 1L), B0 = rep_len(as.double(B0), p - 1L)),
       X_distinct = X, row = seq_len(n), row_end = seq_len(n), row_size = rep.int(1L, n),
       offset_distinct = offset,
       cells = list(row = seq_len(n), y = y, size = rep.int(1L, n)),
       moves = moves, s_start = 0.5 * sqrt(counts[-J] + counts[-1L]), start = start,
       names = c(colnames(X)[-1L], .oprobit_threshold_names(model$levels)),
       iter = iter, burnin = burnin, thin = thin, latent = latent,
       report_every = max(1L, (burnin + iter * thin) %/% 100L),
       whole = NULL, groups = groups)
}

# Rows up to which a fit with group terms makes two whole-point moves per
# iteration.
.oprobit_group_few_rows <- 500L

# The plan's group part; the chain's starting effects are 0, its starting
# sds spread a little around a half by the chain's R stream.
.oprobit_group_plan <- function(plan, groups) {
  plan$t_by_slice <- TRUE
  # The effects move the mode of (beta, zeta) in every iteration: the
  # whole-point move proposes from the Newton step of the current point. Its
  # two passes over the rows cost little where the rows are few, against the
  # entries' fixed cost per call: two moves then.
  plan$whole_newton <- TRUE
  plan$whole_moves <- if (plan$n <= .oprobit_group_few_rows) 2L else 1L
  plan$groups <- list(
    terms = lapply(groups$terms, function(term) {
      q <- length(term$coefs)
      list(q = as.integer(q), levels = as.integer(length(term$levels)),
           level = as.integer(term$unit_level - 1L), d = as.double(term$unit_d),
           shift = as.integer(term$shift), u = double(q * length(term$levels)),
           sd = 0.5 * exp(stats::rnorm(q, 0, 0.1)))
    }),
    sd_prior = if (groups$prior$family == "normal") 1L else 0L,
    df = groups$prior$df, scale = groups$prior$scale, keep_effects = isTRUE(groups$save))
  plan
}

# A chain's result with its group-level draws: sds and correlations as
# columns of `draws`, the effects (when kept) and their sums.
.oprobit_group_chain_result <- function(result, out, groups) {
  g <- out$groups
  group_draws <- g$draws
  colnames(group_draws) <- groups$names
  result$draws <- cbind(result$draws, group_draws)
  effect_names <- unlist(lapply(groups$terms, `[[`, "effect_names"))
  if (!is.null(g$effects)) result$effects <- matrix(g$effects, ncol = length(effect_names),
                                                    dimnames = list(NULL, effect_names))
  result$effect_sum <- stats::setNames(g$effect_sum, effect_names)
  result$effect_square <- stats::setNames(g$effect_square, effect_names)
  result
}

# The fit's group-level fields: the terms, the names of their sds and
# correlations, the effects' draws (a draws_array, iterations x chains x
# effects, when kept) and their posterior means and sds (over every chain's
# kept draws).
.oprobit_group_fit <- function(results, setup) {
  groups <- setup$groups
  draws <- sum(vapply(results, function(r) nrow(r$draws), 0L))
  mean <- Reduce(`+`, lapply(results, `[[`, "effect_sum")) / draws
  squares <- Reduce(`+`, lapply(results, `[[`, "effect_square"))
  list(group_terms = lapply(groups$terms, function(term) {
         term[c("group", "coefs", "levels", "level", "d", "shift", "sd_names", "cor_names", "effect_names")]
       }),
       group_parameters = groups$names,
       effects = if (isTRUE(groups$save)) .qv_draws_array(lapply(results, `[[`, "effects")),
       effect_mean = mean, effect_sd = sqrt(pmax(squares - draws * mean^2, 0) / max(draws - 1, 1)),
       sd_prior = groups$prior, bars = groups$bars)
}
