#' Bayesian normal means under an order constraint, by Markov chain Monte Carlo
#'
#' Samples the posterior of group means that must stay in a given order, for
#' example a response that can only rise with the dose: \eqn{y_i \sim
#' N(\mu_{g[i]} + x_i^\top\gamma, \sigma^2 / w_i)} with
#' \eqn{\mathrm{lower} \le \mu_1 \le \mu_2 \le \dots \le \mu_k \le
#' \mathrm{upper}} for the groups in \code{order} (reversed inequalities
#' with \code{decreasing = TRUE}). Covariates after the group give an
#' analysis of covariance with ordered group effects.
#'
#' The prior is flat on \eqn{(\mu, \gamma)} restricted to the order, or
#' independent normal on the means (\code{prior_mean}, \code{prior_sd}), and
#' \eqn{1/\sigma^2} on \eqn{\sigma^2}. Each iteration draws \eqn{\sigma^2},
#' then the means, then the slopes, each from its exact full conditional.
#' Given the rest, the means are independent normals (precision
#' \eqn{W_j/\sigma^2}, \eqn{W_j} the group's sum of weights) restricted to
#' the order; they are drawn by one sweep of the ordered Gibbs library
#' (\code{vaskor}, see [ordered_gibbs()]), each mean between its neighbours.
#' An iteration reads only the groups' sufficient statistics, so its cost
#' grows with the number of groups and covariates, not with the number of
#' observations. Groups with one observation are fine.
#'
#' The fit reports, for each adjacent pair in the order, the posterior
#' probability that the inequality holds with more than \code{margin} to
#' spare (see [order_probabilities()]), and the Bayes factor of the order
#' against the unconstrained model by the encompassing-prior method: the
#' share of the unconstrained posterior inside the order over the share of
#' the unconstrained prior inside it. That needs a proper prior on the
#' means: the unconstrained model takes \eqn{\mu_j \sim N(m_0, s_0^2)}
#' independently, by default \eqn{m_0} the weighted mean of the response
#' and \eqn{s_0} ten times its standard deviation (\code{bf_prior} changes
#' them; a proper \code{prior_mean}/\code{prior_sd} is used when given), with
#' the same flat prior on \eqn{\gamma} and \eqn{1/\sigma^2} on
#' \eqn{\sigma^2} in both models; the order model is that prior restricted
#' to the order. For exchangeable means the prior share is
#' \eqn{P(\mathrm{lower} \le \mu_j \le \mathrm{upper})^k / k!}, exactly.
#' The posterior share is the average, over a Gibbs chain of the
#' unconstrained model, of the probability that the means fall in order
#' given the other parameters (computed by numerical integration); its
#' Monte Carlo error is reported with the Bayes factor. The ratio is taken on
#' the log scale; where a share underflows even there (bounds far from the
#' data, for example), the Bayes factor is \code{NA} with a warning.
#'
#' Chains, seeds, parallel workers and clusters work as in
#' [oprobit_mcmc()]: every chain has its own R stream and C stream from
#' \code{seed}, and gives the same draws in this process, in a forked
#' worker or on a cluster. R's own random state is left as it was.
#'
#' @param formula \code{response ~ group}, or \code{response ~ group +
#'   covariates}: the group is the first variable on the right (a factor,
#'   or values taken as the levels of one). An \code{offset()} term is
#'   subtracted from the response: the means and slopes describe the
#'   response less the offset.
#' @param data a data frame (or environment) holding the variables.
#' @param order the group's levels in their constrained order (default: the
#'   levels' own order); every level must be named once.
#' @param decreasing \code{TRUE} for means that fall along \code{order}.
#' @param lower,upper fixed bounds of all means (\code{-Inf} and \code{Inf}
#'   by default; 0 and 1 for proportions).
#' @param weights optional non-negative weights, as in \code{lm()}: row i
#'   has variance \eqn{\sigma^2 / w_i}; rows of weight 0 are left out.
#' @param subset optional expression selecting rows, as in \code{lm()}.
#' @param na.action what to do with missing values (default
#'   \code{getOption("na.action")}).
#' @param chains number of chains.
#' @param iter draws kept per chain, after burn-in and thinning.
#' @param burnin iterations per chain before the kept ones.
#' @param thin keep every \code{thin}-th iteration after burn-in.
#' @param seed a whole number in 0 ... 4294967295 that fixes every draw;
#'   \code{NULL} takes one from R's stream.
#' @param cores local worker processes (default 2, at most \code{chains});
#'   1 runs the chains in this process.
#' @param cl a cluster from the \pkg{parallel} package to run the chains on.
#' @param progress show a progress bar (default: when interactive).
#' @param prior_mean,prior_sd normal prior of the means, recycled to the
#'   groups (in \code{order}); \code{prior_sd = Inf} (the default) is flat.
#' @param margin the margin of the inequality probabilities that
#'   \code{print} and \code{summary} show.
#' @param bf_prior \code{c(mean = , sd = )} of the unconstrained means for the
#'   Bayes factor (see Details), or \code{NULL} for the default; \code{FALSE}
#'   skips the Bayes factor.
#' @param bf_draws evaluations of the probability of the order along the
#'   unconstrained chain (5 iterations apart) for the Bayes factor; an
#'   evaluation costs more with more groups (about 0.05 s for 50 groups).
#' @return An object of class \code{c("ordered_means_mcmc", "qv_fit")}: a
#'   list with \code{draws} (a \code{posterior::draws_array}, iterations x
#'   chains x parameters: the means in \code{order}, the slopes, and
#'   \code{sigma}), \code{coefficients} (posterior means),
#'   \code{bayes_factor} (\code{bf}, its Monte Carlo error \code{mc_error},
#'   the two shares and the prior), \code{seconds} (sampling time of each
#'   chain), \code{seed}, \code{chains}, \code{iter}, \code{burnin},
#'   \code{thin} and what the methods need. Methods: \code{print},
#'   \code{summary}, \code{coef}, \code{vcov}, \code{confint}, \code{nobs},
#'   \code{plot}, \code{coda::as.mcmc.list}, \code{posterior::as_draws}
#'   (see [qv_fit]); [order_probabilities()].
#' @examples
#' # Weight gain under four doses; the effect may only rise with the dose.
#' set.seed(1)
#' doses <- data.frame(dose = rep(c(0, 1, 2, 5), times = c(6, 5, 6, 4)))
#' doses$weight <- 20 + c("0" = 0, "1" = 0.4, "2" = 0.5, "5" = 2)[as.character(doses$dose)] +
#'   rnorm(nrow(doses))
#' fit <- ordered_means_mcmc(weight ~ dose, doses, order = c("0", "1", "2", "5"),
#'                           chains = 2, iter = 1000, seed = 1, cores = 1)
#' fit
#' order_probabilities(fit, margin = 0.25)
#' fit$bayes_factor$bf
#' @export
ordered_means_mcmc <- function(formula, data, order = NULL, decreasing = FALSE, lower = -Inf, upper = Inf,
                               weights, subset, na.action, chains = 4, iter = 2000, burnin = 500, thin = 1,
                               seed = NULL, cores = NULL, cl = NULL, progress = interactive(),
                               prior_mean = 0, prior_sd = Inf, margin = 0, bf_prior = NULL, bf_draws = 200) {
  fn <- "ordered_means_mcmc"
  call <- match.call()
  if (missing(formula) || !inherits(formula, "formula")) .qv_stop(fn, "'formula' must be a formula")
  if (!is.logical(decreasing) || length(decreasing) != 1L || is.na(decreasing)) {
    .qv_stop(fn, "'decreasing' must be TRUE or FALSE")
  }
  for (name in c("lower", "upper")) {
    value <- get(name)
    if (!is.numeric(value) || length(value) != 1L || is.na(value)) .qv_stop(fn, "'%s' must be one number", name)
  }
  if (!(lower < upper) || lower == Inf || upper == -Inf) .qv_stop(fn, "'lower' must be below 'upper'")
  run <- .qv_chain_settings(fn, chains, iter, burnin, thin, seed, cores, cl)
  chains <- run$chains
  iter <- run$iter
  burnin <- run$burnin
  thin <- run$thin
  seed <- run$seed
  bf_draws <- .qv_whole(fn, bf_draws, "bf_draws", 10)
  if (!is.logical(progress) || length(progress) != 1L || is.na(progress)) .qv_stop(fn, "'progress' must be TRUE or FALSE")
  if (!is.numeric(prior_mean) || length(prior_mean) == 0L || any(!is.finite(prior_mean))) {
    .qv_stop(fn, "'prior_mean' must be finite numbers")
  }
  if (!is.numeric(prior_sd) || length(prior_sd) == 0L || anyNA(prior_sd) || any(prior_sd <= 0)) {
    .qv_stop(fn, "'prior_sd' must be positive numbers (Inf for a flat prior)")
  }
  # The precisions 1 / sd^2, and their products with the means, must be numbers.
  tiny <- function(m, s) any(!is.finite(1 / s^2) | !is.finite(m / s^2))
  if (tiny(rep_len(prior_mean, max(length(prior_mean), length(prior_sd))), prior_sd)) {
    .qv_stop(fn, "'prior_sd' is so small that the prior's precision 1 / sd^2 (times 'prior_mean') overflows")
  }
  if (!is.numeric(margin) || length(margin) != 1L || !is.finite(margin) || margin < 0) {
    .qv_stop(fn, "'margin' must be one non-negative number")
  }
  if (!is.null(bf_prior) && !isFALSE(bf_prior) &&
      (!is.numeric(bf_prior) || length(bf_prior) != 2L || !all(is.finite(bf_prior)) || bf_prior[2L] <= 0)) {
    .qv_stop(fn, "'bf_prior' must be c(mean, sd) with a positive finite sd, NULL or FALSE")
  }
  if (is.numeric(bf_prior) && tiny(bf_prior[1L], bf_prior[2L])) {
    .qv_stop(fn, "the sd of 'bf_prior' is so small that its precision 1 / sd^2 (times its mean) overflows")
  }

  model <- .ordered_means_frame(call, parent.frame(), order)
  k <- length(model$order)
  # Bounds so far from the data that the residual sum of squares of any
  # mean between them overflows leave no posterior to sample.
  for (name in c("lower", "upper")) {
    gap <- if (name == "lower") pmax(lower - model$y, 0) else pmax(model$y - upper, 0)
    if (!is.finite(sum(model$weights * gap^2))) {
      .qv_stop(fn, "'%s' (%g) lies so far from the data that their sum of squares about it overflows", name,
               get(name))
    }
  }
  if (length(prior_mean) > 1L && length(prior_mean) != k) .qv_stop(fn, "'prior_mean' must have 1 or %d values", k)
  if (length(prior_sd) > 1L && length(prior_sd) != k) .qv_stop(fn, "'prior_sd' must have 1 or %d values", k)
  setup <- .ordered_means_setup(model, as.double(lower), as.double(upper), decreasing, as.double(prior_mean),
                                as.double(prior_sd), iter, burnin, thin)
  settings <- .qv_chain_seeds(seed, chains + 1L)
  results <- .qv_run_chains(fn, .ordered_means_chain, setup, settings[seq_len(chains)],
                            burnin + iter * thin, run$cores, cl, progress)

  group_names <- paste0(model$group_name, model$order)
  names <- c(group_names, colnames(model$X), "sigma")
  back <- c(match(seq_len(k), setup$idx), k + seq_len(setup$p + 1L))  # user's order
  bayes_factor <- NULL
  if (!isFALSE(bf_prior)) {
    if (is.null(bf_prior)) {
      proper <- all(is.finite(prior_sd))
      m0 <- if (proper) setup$prior_mean else rep(stats::weighted.mean(model$y, model$weights), k)
      s0 <- if (proper) 1 / sqrt(setup$prior_prec) else {
        rep(10 * max(sqrt(sum(model$weights * (model$y - m0[1L])^2) / sum(model$weights)), 1e-8), k)
      }
    } else {
      m0 <- rep(as.double(bf_prior[1L]), k)
      s0 <- rep(as.double(bf_prior[2L]), k)
    }
    bayes_factor <- .qv_with_stream(settings[[chains + 1L]], .ordered_means_bf(setup, m0, s0, bf_draws))
    bayes_factor$prior_mean <- bayes_factor$prior_mean[back[seq_len(k)]]
    bayes_factor$prior_sd <- bayes_factor$prior_sd[back[seq_len(k)]]
  }

  .ordered_means_fit(call, model, setup, results, stats::setNames(back, names),
                     list(seed = seed, chains = chains, iter = iter, burnin = burnin, thin = thin),
                     list(decreasing = decreasing, lower = lower, upper = upper, margin = margin,
                          prior = list(mean = rep_len(prior_mean, k), sd = rep_len(prior_sd, k)),
                          bayes_factor = bayes_factor))
}

# Evaluates `expr` on the R stream of a chain setting (it draws nothing
# from the C stream); R's own state is put back.
.qv_with_stream <- function(setting, expr) {
  kind <- RNGkind()
  saved <- if (exists(".Random.seed", globalenv())) get(".Random.seed", globalenv())
  on.exit(.qv_restore_rng(kind, saved))
  RNGkind("L'Ecuyer-CMRG", "Inversion", "Rejection")
  assign(".Random.seed", setting$r_seed, globalenv())
  expr
}
