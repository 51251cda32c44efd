# The first stage of oprobit_mcmc(): from a formula and data to the model
# frame, the response's categories, the fixed part's design and the group
# terms' designs (lme4's formula tools), with their checks.

#' The model frame of an ordinal probit fit
#'
#' The first stage of \code{\link{oprobit_mcmc}()}, as \code{lme4::lFormula()}
#' is the first of \code{lmer()}: the model frame built as \code{lm()} and
#' \code{MASS::polr()} build theirs, the response's categories, the fixed
#' part's model matrix and offset, and the design of every group term. The
#' later stages are \code{\link{oprobit_data}()} and
#' \code{\link{oprobit_plan}()}.
#'
#' @inheritParams oprobit_mcmc
#' @return An object of class \code{"oprobit_frame"}: a list with \code{X}
#'   (the fixed part's model matrix, intercept first), \code{y} (category
#'   codes), \code{weights}, \code{offset}, \code{levels} (the categories),
#'   \code{terms}, \code{groups} (\code{NULL} without group terms) and what
#'   the methods of a fit need.
#' @examples
#' frame <- oprobit_frame(Sat ~ Infl + Type, data = MASS::housing, weights = Freq)
#' dim(frame$X)
#' frame$levels
#' @export
oprobit_frame <- function(formula, data, weights, subset, na.action, offset) {
  if (missing(formula) || !inherits(formula, "formula")) .qv_stop("oprobit_frame", "'formula' must be a formula")
  .oprobit_frame_of(formula, match.call(), parent.frame(), "oprobit_frame")
}

# The model frame of a call (`call` matched, its arguments living in `env`)
# whose formula is `formula`.
.oprobit_frame_of <- function(formula, call, env, fn = "oprobit_mcmc") {
  groups <- .oprobit_group_formula(formula, fn)
  frame <- .qv_model_frame(fn, call, env, c("formula", "data", "subset", "weights", "na.action", "offset"),
                           if (!is.null(groups)) groups$all)
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
        any(weights != floor(weights)) || any(weights > 2^53)) {
      .qv_stop(fn, "'weights' must be whole non-negative numbers (frequency counts)")
    }
    weights <- as.double(weights)
  }

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
  model <- list(X = X, y = codes[keep], weights = weights[keep], offset = as.double(offset), levels = levels,
                terms = terms, indicators = indicators,
                xlevels = stats::.getXlevels(terms, frame), contrasts = contrasts,
                na.action = na_action, groups = NULL)
  if (!is.null(groups)) model$groups <- .oprobit_group_terms(groups, frame, colnames(X)[-1L], fn)
  structure(model, class = "oprobit_frame")
}

# Whether a formula has group terms.
.oprobit_has_groups <- function(formula) !is.null(.oprobit_group_formula(formula))

# Whether an expression has a `|` term outside I(), as random effects are
# written.
.oprobit_has_bar <- function(e) {
  if (!is.call(e)) return(FALSE)
  if (identical(e[[1L]], as.name("I"))) return(FALSE)
  if (identical(e[[1L]], as.name("|")) || identical(e[[1L]], as.name("||"))) return(TRUE)
  any(vapply(as.list(e)[-1L], .oprobit_has_bar, TRUE))
}

# The model frame of `call` as lm() builds it, from the arguments `names`;
# `formula`, when given, in place of the call's own.
.qv_model_frame <- function(fn, call, env, names, formula = NULL) {
  mf <- call[c(1L, match(names, names(call), 0L))]
  if (!is.null(formula)) mf$formula <- formula
  mf$drop.unused.levels <- FALSE
  mf[[1L]] <- quote(stats::model.frame)
  frame <- tryCatch(eval(mf, env), error = function(e) {
    .qv_stop(fn, "could not build the model frame: %s", conditionMessage(e))
  })
  if (nrow(frame) == 0L) .qv_stop(fn, "no observations left in 'data' (after 'subset' and 'na.action')")
  frame
}

# The formula's pieces: NULL without `|` terms, else the bars (`||` already
# split into uncorrelated terms), the fixed part and a formula with every
# variable (for the model frame).
.oprobit_group_formula <- function(formula, fn = "oprobit_mcmc") {
  # A `|` inside I() is a covariate's logical or, not a group term.
  if (!.oprobit_has_bar(formula[[length(formula)]])) return(NULL)
  bars <- lme4::findbars(formula)
  if (length(bars) == 0L) return(NULL)
  fixed <- lme4::nobars(formula)
  if (!inherits(fixed, "formula") || length(fixed) != 3L) {
    .qv_stop(fn, "'formula' needs a response on its left side")
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
.oprobit_group_pieces <- function(bars, frame, fn) {
  # Character grouping variables as factors (`a:b` needs factors).
  frame[] <- lapply(frame, function(v) if (is.character(v)) factor(v) else v)
  re <- tryCatch(lme4::mkReTrms(bars, frame), error = function(e) {
    .qv_stop(fn, "could not build the group terms: %s", conditionMessage(e))
  })
  assign <- attr(re$flist, "assign")
  lapply(seq_along(re$Ztlist), function(k) {
    Zt <- re$Ztlist[[k]]
    q <- length(re$cnms[[k]])
    factor <- re$flist[[assign[k]]]
    if (nrow(Zt) != q * nlevels(factor)) .qv_stop(fn, "unexpected layout of a group term")
    n <- ncol(Zt)
    d <- matrix(0, n, q)
    columns <- rep.int(seq_len(n), diff(Zt@p))
    d[cbind(columns, Zt@i %% q + 1L)] <- Zt@x
    factor <- droplevels(factor)
    list(group = names(re$flist)[assign[k]], coefs = re$cnms[[k]], levels = levels(factor),
         level = as.integer(factor), d = d)
  })
}

# The group terms of a model frame, checked and named (`slopes`: the fixed
# part's). A term whose grouping
# factor has one level only cannot be told from the thresholds (or its
# slope): it goes, with a warning; NULL when none is left.
.oprobit_group_terms <- function(groups, frame, slopes, fn) {
  terms <- .oprobit_group_pieces(groups$bars, frame, fn)
  single <- vapply(terms, function(term) length(term$levels) < 2L, TRUE)
  if (any(single)) {
    warning(sprintf(paste("%s: grouping factor '%s' has one level; its term is left out",
                          "(the model is the one without it)"), fn, terms[[which(single)[1L]]]$group), call. = FALSE)
    terms <- terms[!single]
  }
  if (length(terms) == 0L) return(NULL)
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
