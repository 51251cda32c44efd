#' Bayesian ordinal probit regression by Markov chain Monte Carlo
#'
#' Fits the ordinal probit model that \code{MASS::polr(method = "probit")}
#' fits by maximum likelihood, by sampling its posterior: a latent
#' \eqn{w_i \sim N(x_i^\top\beta, 1)} (no intercept) falls between
#' thresholds \eqn{\zeta_{k-1} < w_i \le \zeta_k} when \eqn{y_i} is category
#' \eqn{k}. The prior is flat on \eqn{(\beta, \zeta)}, or independent normal on
#' the slopes (\code{b0}, \code{B0}); the thresholds always have a flat prior.
#'
#' Each iteration moves every threshold by one Metropolis-Hastings step of
#' the library's cutpoint entry with the latent variables integrated out
#' (its proposal precision tuned during burn-in, then fixed), draws the
#' latent variables from their truncated normal distributions, and draws the
#' regression in a working frame that fixes the lowest and the highest
#' threshold (details in \code{docs/oprobit.md}). Two categories give the
#' binary probit model, fitted the same way with the latent variance fixed.
#'
#' @section Group terms (random effects):
#' Terms written as lme4 and brms write them add group-level effects:
#' \code{(1 | g)} a random intercept per level of \code{g}; \code{(1 + x | g)}
#' correlated intercepts and slopes; \code{(1 + x || g)} the same,
#' uncorrelated; several terms, crossed (\code{(1 | rater) + (1 | item)});
#' nested, \code{(1 | school/class)}. lme4's formula tools build them. On the
#' probit scale the latent variable is then
#' \eqn{w_i = x_i^\top\beta + d_i^\top u_{g(i)} + \epsilon_i},
#' \eqn{\epsilon_i \sim N(0, 1)}, with \eqn{u_g \sim N(0, \Sigma)} for every
#' level of a term. Priors, on the probit scale: every sd of \eqn{\Sigma} a
#' half Student t with \code{sd_df} degrees of freedom and scale
#' \code{sd_scale} (default 3 and 2.5, as brms's default), or a half-normal
#' with sd \code{sd_scale} (\code{sd_prior = "normal"}); the correlations of
#' a term uniform over the correlation matrices (LKJ(1); for two coefficients
#' uniform on (-1, 1)); the fixed part as without groups.
#'
#' Each iteration then also draws every level's effects in one block from
#' their normal conditional given the latent variables, moves every effect of
#' the intercept together with the thresholds (and of a slope together with
#' its fixed slope) by an exact draw along that direction, and draws each
#' term's covariance (a single sd under the half-t prior through its
#' inverse-gamma mixture; otherwise slice steps on each log sd and each
#' correlation). The whole-point move is left out. A grouping factor with a
#' single level cannot be told from the thresholds: its term is dropped with
#' a warning, which leaves the model without it. Methods \code{fixef()},
#' \code{ranef()}, \code{VarCorr()}, and \code{predict()} with
#' \code{re_form} and \code{allow_new_levels} (see
#' \code{\link{predict.oprobit_mixed}}); the sds and correlations are named
#' as brms names them (\code{sd_judge__Intercept},
#' \code{cor_g__Intercept__x}) in \code{coef()}, \code{summary()} and the
#' draws, the effects (\code{r_judge[1,Intercept]}) in
#' \code{as_draws(fit, ranef = TRUE)}.
#'
#' Chains run in parallel: in \code{cores} forked local workers (one process
#' per chain at a time), on a cluster \code{cl} made with
#' \code{parallel::makeCluster()} (for example a PSOCK cluster over several
#' machines, each with the package installed), or one after another in this
#' process (\code{cores = 1}). Every chain has its own R stream (successive
#' L'Ecuyer-CMRG streams from \code{seed}) and its own C library stream; the
#' cutpoint library is loaded afresh before each chain, so the same
#' \code{seed} gives the same draws wherever each chain runs. R's own random
#' state is left as it was.
#'
#' @param formula a formula \code{response ~ covariates} (with group terms,
#'   see below); the response is an
#'   ordered factor, a factor (its levels in order) or whole-number codes
#'   (their sorted values are the categories), with at least two categories,
#'   each observed. The intercept must stay in the formula.
#' @param data a data frame (or environment) holding the variables.
#' @param weights optional frequency counts: whole non-negative numbers; a
#'   weight of 3 counts a row three times, so contingency tables fit directly.
#' @param subset optional expression selecting rows, as in \code{lm()}.
#' @param na.action what to do with missing values (default
#'   \code{getOption("na.action")}, usually dropping the rows).
#' @param chains number of chains.
#' @param iter draws kept per chain, after burn-in and thinning.
#' @param burnin iterations per chain before the kept ones; the proposals are
#'   tuned during them.
#' @param thin keep every \code{thin}-th iteration after burn-in.
#' @param seed a whole number that fixes every draw; \code{NULL} takes one
#'   from R's stream.
#' @param cores local worker processes (default 2, at most \code{chains});
#'   1 runs the chains in this process.
#' @param cl a cluster from the \pkg{parallel} package to run the chains on
#'   instead of local workers.
#' @param b0,B0 prior mean and precision of the slopes, recycled to their
#'   number, as \code{MCMCpack::MCMCoprobit} takes them (on the probit
#'   scale, without the intercept); \code{B0 = 0} (the default) is flat.
#' @param latent random stream of the latent draws: \code{"c"} the C library
#'   stream, \code{"r"} R's stream.
#' @param progress show a progress bar (default: when interactive).
#' @param sd_prior prior of every group-level sd: \code{"student_t"} (half
#'   Student t with \code{sd_df} degrees of freedom and scale
#'   \code{sd_scale}) or \code{"normal"} (half-normal with sd
#'   \code{sd_scale}).
#' @param sd_df,sd_scale degrees of freedom and scale of that prior.
#' @param save_ranef keep every kept iteration's group effects (needed by
#'   \code{predict()} with the groups and by \code{as_draws(ranef = TRUE)});
#'   \code{ranef()} works either way.
#' @return An object of class \code{"oprobit_mcmc"}: a list with \code{draws}
#'   (one matrix per chain, one column per parameter, probit scale),
#'   \code{coefficients} (posterior means), \code{seconds} (sampling time of
#'   each chain, burn-in included), \code{acceptance} (cutpoint step
#'   acceptance of each chain over the kept iterations), and what the
#'   methods need. Methods: \code{print}, \code{summary}, \code{coef},
#'   \code{vcov}, \code{plot}, \code{predict}, \code{coda::as.mcmc.list},
#'   \code{posterior::as_draws}.
#' @examples
#' if (requireNamespace("MASS", quietly = TRUE)) {
#'   fit <- oprobit_mcmc(Sat ~ Infl + Type + Cont, data = MASS::housing,
#'                       weights = Freq, chains = 2, iter = 500, burnin = 300,
#'                       seed = 1, cores = 1)
#'   summary(fit)
#'   coef(fit)
#' }
#' # A random intercept per judge
#' if (requireNamespace("ordinal", quietly = TRUE)) {
#'   fit <- oprobit_mcmc(rating ~ temp + contact + (1 | judge), data = ordinal::wine,
#'                       chains = 2, iter = 500, burnin = 300, seed = 1, cores = 1)
#'   summary(fit)
#'   VarCorr(fit)
#' }
#' @export
oprobit_mcmc <- function(formula, data, weights, subset, na.action, chains = 4, iter = 2000,
                         burnin = 1000, thin = 1, seed = NULL, cores = NULL, cl = NULL,
                         b0 = 0, B0 = 0, latent = c("c", "r"), progress = interactive(),
                         sd_prior = c("student_t", "normal"), sd_df = 3, sd_scale = 2.5, save_ranef = TRUE) {
  fn <- "oprobit_mcmc"
  call <- match.call()
  if (missing(formula) || !inherits(formula, "formula")) .qv_stop(fn, "'formula' must be a formula")
  latent <- match.arg(latent)
  chains <- .oprobit_whole(chains, "chains", 1)
  iter <- .oprobit_whole(iter, "iter", 1)
  burnin <- .oprobit_whole(burnin, "burnin", 0)
  thin <- .oprobit_whole(thin, "thin", 1)
  if (is.null(seed)) seed <- sample.int(.Machine$integer.max, 1L)
  seed <- .oprobit_whole(seed, "seed", 0)
  if (is.null(cores)) cores <- min(chains, 2L)
  cores <- .oprobit_whole(cores, "cores", 1)
  if (!is.null(cl) && !inherits(cl, "cluster")) .qv_stop(fn, "'cl' must be a cluster made by the parallel package")
  if (!is.logical(progress) || length(progress) != 1L || is.na(progress)) .qv_stop(fn, "'progress' must be TRUE or FALSE")

  groups <- .oprobit_group_formula(formula)
  sd_prior <- .oprobit_sd_prior(match.arg(sd_prior), sd_df, sd_scale)
  if (!is.logical(save_ranef) || length(save_ranef) != 1L || is.na(save_ranef)) {
    .qv_stop(fn, "'save_ranef' must be TRUE or FALSE")
  }
  model <- .oprobit_frame(call, parent.frame(), groups)
  if (!is.null(groups)) groups <- .oprobit_group_terms(groups, model)
  slopes <- ncol(model$X) - 1L
  if (!is.numeric(b0) || !(length(b0) %in% c(1L, slopes)) || any(!is.finite(b0))) {
    .qv_stop(fn, "'b0' must be one finite number or one per slope (%d)", slopes)
  }
  if (!is.numeric(B0) || !(length(B0) %in% c(1L, slopes)) || any(!is.finite(B0)) || any(B0 < 0)) {
    .qv_stop(fn, "'B0' must be one non-negative finite precision or one per slope (%d)", slopes)
  }
  setup <- if (is.null(groups)) {
    .oprobit_setup(model, iter, burnin, thin, b0, B0, latent)
  } else {
    .oprobit_group_setup(model, groups, iter, burnin, thin, b0, B0, latent, sd_prior, save_ranef)
  }
  settings <- .oprobit_chain_seeds(seed, chains)
  results <- .oprobit_run_chains(setup, settings, min(cores, chains), cl, progress)

  draws <- lapply(results, `[[`, "draws")
  fit <- structure(list(
    call = call, draws = draws, coefficients = colMeans(do.call(rbind, draws)),
    slopes = colnames(model$X)[-1L], thresholds = .oprobit_threshold_names(model$levels),
    levels = model$levels, terms = model$terms, xlevels = model$xlevels, contrasts = model$contrasts,
    na.action = model$na.action, nobs = setup$n, x = model$X,
    acceptance = vapply(results, `[[`, 0, "acceptance"),
    threshold_acceptance = do.call(rbind, lapply(results, `[[`, "threshold_acceptance")),
    s = do.call(rbind, lapply(results, `[[`, "s")),
    whole_acceptance = vapply(results, `[[`, 0, "whole_acceptance"),
    seconds = vapply(results, `[[`, 0, "seconds"),
    seed = seed, latent = latent, chains = chains, iter = iter, burnin = burnin, thin = thin,
    U = setup$U, prior = setup$prior
  ), class = "oprobit_mcmc")
  if (!is.null(groups)) fit <- .oprobit_group_fit(fit, results, setup)
  fit
}

.oprobit_whole <- function(x, name, minimum) {
  if (!is.numeric(x) || length(x) != 1L || !is.finite(x) || x != floor(x) || x < minimum ||
      x > .Machine$integer.max) {
    .qv_stop("oprobit_mcmc", "'%s' must be a whole number of at least %d", name, minimum)
  }
  as.integer(x)
}
