# Group-level (random) effects in oprobit_mcmc(): the chain's plan for them
# and the group-level part of the fit. The formula's `|` terms become
# per-unit levels and covariates in oprobit_frame() (R/oprobit_frame.R).
#
# Model on the probit scale: w_i = x_i' beta + sum over terms of
# d_i' u_(term, level of i) + e_i, e_i ~ N(0, 1), u ~ N(0, Sigma_term) for each
# level of a term; each sd of Sigma_term half-t (df, scale) or half-normal
# (scale), the correlations uniform (LKJ(1)). The chain's moves for them are
# in oprobitchain/random_effects_draw.cpp and group_sd_draw.cpp.

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
