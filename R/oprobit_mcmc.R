#' Bayesian ordinal regression by Markov chain Monte Carlo
#'
#' Fits the ordinal model that \code{MASS::polr} and \code{ordinal::clm}
#' fit by maximum likelihood, by sampling its posterior: category \eqn{k} has
#' probability \eqn{F(\zeta_k - \eta_i) - F(\zeta_{k-1} - \eta_i)}, with
#' \eqn{\eta_i = o_i + x_i'\beta}{eta_i = o_i + x_i'beta} (no intercept;
#' \eqn{o_i}{o_i} an optional offset) and \eqn{F} the distribution of the
#' latent error given by \code{link} (the standard normal for the probit
#' link: a latent \eqn{w_i \sim N(\eta_i, 1)}{w_i ~ N(eta_i, 1)} falls
#' between thresholds \eqn{\zeta_{k-1} < w_i \le \zeta_k}{zeta[k-1] < w_i <=
#' zeta[k]} when \eqn{y_i}{y_i} is category \eqn{k}{k}). The prior is flat on
#' \eqn{(\beta, \zeta)}{(beta, zeta)}, or independent normal on the slopes
#' (\code{prior}, or \code{b0} and \code{B0}); the thresholds have a flat
#' prior. A fit leaves R's random stream, the C library stream and the
#' libraries' own generators as it found them: on unix its chains always run
#' in child processes (one at a time when \code{cores = 1}). Only off unix
#' with \code{cores = 1} and no \code{cl} do the chains run in this process;
#' R's stream is then still put back, but the C library stream is left
#' reseeded and the libraries \code{quorval} and \code{vaskor} reloaded, as
#' after \code{\link{c_stream_seed}()}.
#'
#' \strong{The samplers.} Without group terms the fit works on the data's
#' distinct (covariate row, offset, category) cells and their counts: weights
#' are counts and are never expanded, so a table of a few hundred rows whose
#' weights sum to 1e9 fits in seconds. Its sampler (\code{method =
#' "independence"} in \code{\link{oprobit_control}()}) makes independence
#' Metropolis-Hastings steps of the whole point \eqn{(\beta, \zeta)} from a
#' multivariate t centred at the posterior mode, with the inverse curvature
#' there as its scale (Newton's method, once per fit), the latent variables
#' integrated out: each step is one pass over the cells, and its draws are
#' nearly independent (acceptance about 0.8 on the sets we measured). A
#' tenth of the proposals come from a t with heavier tails and twice the
#' scale, which keeps the chain safe where the posterior's tails are heavier
#' than the proposal's. A default fit (4 chains of 1000 draws after 200
#' burn-in, 2 cores) took 20 s on 200,000 rows with 5 continuous covariates
#' and 5 categories, and 1.5 s on \code{MASS::housing}, on a 2-core machine.
#'
#' Where the posterior has no mode (an improper posterior), where a chain's
#' acceptance over burn-in falls below \code{min_acceptance} of
#' \code{oprobit_control()}, with group terms, and when asked
#' (\code{method = "augmented"}), the fit runs the data-augmentation chain,
#' probit link only: each iteration moves a threshold by one
#' Metropolis-Hastings step of the library's cutpoint entry with the latent
#' variables integrated out (its proposal precision tuned during burn-in,
#' then fixed), moves the whole point by independence steps from the same t
#' proposal, draws the latent variables from their truncated normal
#' distributions, and draws the regression in a working frame that fixes
#' the lowest and the highest threshold (details in \code{vignette("oprobit",
#' package = "quorval")}). The fit records the sampler that ran
#' (\code{fit$method}) and \code{print} says so. Two categories give the
#' binary model, fitted the same way.
#'
#' Chains run in parallel: in \code{cores} forked local workers, on a
#' cluster \code{cl} made with \code{parallel::makeCluster()} (for example a
#' PSOCK cluster over several machines, each with the package installed), or
#' off unix one after another in this process (\code{cores = 1}). Every chain
#' has its own R stream (successive L'Ecuyer-CMRG streams from \code{seed})
#' and its own C library stream; the libraries are loaded afresh before each
#' chain, so the same \code{seed} gives the same draws wherever each chain
#' runs.
#'
#' \strong{Interrupts and time limits.} An interrupt (Ctrl-C) or a time limit
#' (\code{setTimeLimit()}) stops every chain of the fit: forked workers are
#' ended and reaped; the workers of a cluster on this machine are
#' interrupted, stay alive and answer the next \code{clusterCall()}; a worker
#' on another machine cannot be interrupted from here, and the fit waits for
#' its current chain to end before returning, so that the cluster stays
#' usable.
#'
#' \strong{Checks before and after sampling.} Before any chain runs, the fit
#' stops when a covariate column, or the indicator of a level of a factor
#' covariate, orders the response categories by itself (separation): the
#' likelihood then grows without end along its slope, and under a flat prior
#' there is no posterior. A proper prior on the slopes concerned
#' (\code{B0 > 0}) lets the fit go on. Combinations of several covariates
#' that separate are not searched. It also stops when the draws could not
#' fit in the memory the system has free. After sampling, a warning says
#' when a parameter's split R-hat exceeds 1.01 or its bulk effective sample
#' size is below 100 (\code{posterior::rhat}, \code{posterior::ess_bulk}).
#'
#' \strong{The latent draws' stream} (of the data-augmentation chain). With \code{latent = "c"} (the
#' default) the latent variables are drawn by the library \code{quorval} on
#' the C library stream. That stream gives 15 bits per uniform, so a draw on
#' an interval inside the body of the distribution lies on a grid of 32768
#' points per interval: 1e5 draws of a standard normal truncated to
#' \eqn{[-1, 1]}{[-1, 1]} take 31,070 distinct values, against 99,999 with
#' \code{latent = "r"} (R's stream, library \code{quorval2}). The grid is the
#' stream's contract and is kept. Its effect on posteriors is below Monte
#' Carlo error: for \code{Sat ~ Infl + Type + Cont} on \code{MASS::housing}
#' (2 chains x 20000 draws each way, seed 11) the posterior means of all 8
#' parameters agreed within 1.7 Monte Carlo standard errors and the posterior
#' standard deviations within 1\%, while \code{"c"} sampled about twice as
#' fast (11.4 against 23.5 s per chain on a shared machine; 1.7 times in an
#' earlier run). Since it costs nothing measurable in
#' accuracy and saves time, \code{"c"} stays the default; \code{"r"} is there
#' for those who want the latent draws on R's generator.
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
#' @param formula a formula \code{response ~ covariates}, with group terms
#'   as in lme4 (see the section on them); the response is an
#'   ordered factor, a factor (its levels in their stored order; a message
#'   says so when there are more than two), a logical (binary, \code{FALSE}
#'   below \code{TRUE}) or whole-number codes (their sorted values are the
#'   categories), with at least two categories, each observed. The intercept
#'   must stay in the formula.
#' @param data a data frame (or environment) holding the variables.
#' @param weights optional frequency counts: whole non-negative numbers; a
#'   weight of 3 counts a row three times, so contingency tables fit directly.
#' @param subset optional expression selecting rows, as in \code{lm()}.
#' @param na.action what to do with missing values (default
#'   \code{getOption("na.action")}, usually dropping the rows;
#'   \code{na.exclude} pads \code{fitted()} and \code{predict()}).
#' @param offset optional known offset added to \eqn{x_i'\beta}{x_i'beta}, as
#'   in \code{glm()}: a numeric vector, one value per row, evaluated in
#'   \code{data}; \code{offset()} terms in the formula add to it.
#' @param chains number of chains.
#' @param iter draws kept per chain, after burn-in and thinning; \code{NULL}
#'   (the default) is 1000 for the independence sampler and 2000 for the
#'   data-augmentation chain.
#' @param burnin iterations per chain before the kept ones (the
#'   data-augmentation chain tunes its threshold steps during them);
#'   \code{NULL} (the default) is 200 for the independence sampler, whose
#'   chains forget their start within a few iterations, and 1000 for the
#'   data-augmentation chain. Measured on a weighted table, a survey of 5381
#'   rows, 2e4 simulated rows and 30 rows, four chains of 1000 draws gave a
#'   largest split R-hat of 1.004 and a smallest bulk effective sample size of
#'   1700 even without burn-in.
#' @param thin keep every \code{thin}-th iteration after burn-in.
#' @param seed a whole number in 0 ... 4294967295 (the range
#'   \code{c_stream_seed()} takes) that fixes every draw; \code{NULL} takes
#'   one from R's stream.
#' @param cores local worker processes (default 2, at most \code{chains}).
#' @param cl a cluster from the \pkg{parallel} package to run the chains on
#'   instead of local workers.
#' @param b0,B0 prior mean and precision of the slopes, recycled to their
#'   number, as \code{MCMCpack::MCMCoprobit} takes them (on the probit
#'   scale, without the intercept); \code{B0 = 0} (the default) is flat.
#' @param latent random stream of the latent draws: \code{"c"} the C library
#'   stream (coarse: see Details), \code{"r"} R's stream.
#' @param progress show a progress bar (default: when interactive).
#' @param sd_prior prior of every group-level sd: \code{"student_t"} (half
#'   Student t with \code{sd_df} degrees of freedom and scale
#'   \code{sd_scale}) or \code{"normal"} (half-normal with sd
#'   \code{sd_scale}).
#' @param sd_df,sd_scale degrees of freedom and scale of that prior.
#' @param save_ranef keep every kept iteration's group effects (needed by
#'   \code{predict()} with the groups and by \code{as_draws(ranef = TRUE)});
#'   \code{ranef()} works either way.
#' @param prior the priors, as \code{\link{oprobit_prior}()} states them (in
#'   place of \code{b0}, \code{B0}, \code{sd_prior}, \code{sd_df} and
#'   \code{sd_scale}, which map onto it).
#' @param control the sampler's settings, \code{\link{oprobit_control}()};
#'   \code{latent} and \code{progress}, when given, take precedence.
#' @param link the link: \code{"probit"} (the default), \code{"logit"},
#'   \code{"cloglog"}, \code{"loglog"} or \code{"cauchit"}, as
#'   \code{MASS::polr} and \code{ordinal::clm} name and define them
#'   (\code{\link{ordinal_family}}); group terms take the probit link only.
#' @return An object of class \code{c("oprobit_mcmc", "qv_fit")}
#'   (\code{c("oprobit_mixed", "oprobit_mcmc", "qv_fit")} with group terms): a
#'   list with \code{draws} (a \code{posterior::draws_array}, iterations x
#'   chains x parameters, probit scale; with group terms and
#'   \code{save_ranef = TRUE} the effects' draws in \code{effects}, another
#'   such array), \code{coefficients} (posterior means), \code{family} (the
#'   link, [ordinal_family()]), \code{seconds} (sampling time of each chain,
#'   burn-in included), \code{acceptance} (cutpoint step acceptance of each
#'   chain over the kept iterations), \code{whole_acceptance} (that of the
#'   whole-point move; \code{NA} where no posterior mode was found and the
#'   move did not run), \code{seed}, \code{chains}, \code{iter},
#'   \code{burnin}, \code{thin}, and what the methods need. Methods:
#'   \code{print}, \code{summary}, \code{coef}, \code{vcov},
#'   \code{confint}, \code{nobs}, \code{plot}, \code{coda::as.mcmc.list},
#'   \code{posterior::as_draws} (see [qv_fit]); \code{fitted},
#'   \code{logLik}, \code{model.matrix} (see \link{oprobit_mcmc-methods}),
#'   \code{predict}, \code{simulate} and \code{\link{predictive_check}},
#'   \code{\link{log_lik}} with \code{loo::loo} and \code{loo::waic}.
#' @examples
#' fit <- oprobit_mcmc(Sat ~ Infl + Type + Cont, data = MASS::housing,
#'                     weights = Freq, chains = 2, iter = 500, burnin = 300,
#'                     seed = 1, cores = 1)
#' summary(fit)
#' coef(fit)
#' # A random intercept per judge
#' if (requireNamespace("ordinal", quietly = TRUE)) {
#'   fit <- oprobit_mcmc(rating ~ temp + contact + (1 | judge), data = ordinal::wine,
#'                       chains = 2, iter = 500, burnin = 300, seed = 1, cores = 1)
#'   summary(fit)
#'   VarCorr(fit)
#' }
#' @export
oprobit_mcmc <- function(formula, data, weights, subset, na.action, offset, chains = 4, iter = NULL,
                         burnin = NULL, thin = 1, seed = NULL, cores = NULL, cl = NULL,
                         b0 = 0, B0 = 0, latent = c("c", "r"), progress = interactive(),
                         sd_prior = c("student_t", "normal"), sd_df = 3, sd_scale = 2.5, save_ranef = TRUE,
                         prior = NULL, control = NULL, link = "probit") {
  fn <- "oprobit_mcmc"
  call <- match.call()
  if (missing(formula) || !inherits(formula, "formula")) .qv_stop(fn, "'formula' must be a formula")
  control <- .oprobit_control_of(control, if (!missing(latent)) match.arg(latent), if (!missing(progress)) progress)
  # The run's length by sampler, where not given: the independence sampler's
  # unless group terms (or the settings) ask for the data-augmentation chain.
  lengths <- function(independence) {
    list(iter = if (is.null(iter)) if (independence) 1000L else 2000L else iter,
         burnin = if (is.null(burnin)) if (independence) 200L else 1000L else burnin)
  }
  planned <- lengths(control$method == "independence" && !.oprobit_has_groups(formula))
  run <- .qv_chain_settings(fn, chains, planned$iter, planned$burnin, thin, seed, cores, cl)
  if (!is.logical(save_ranef) || length(save_ranef) != 1L || is.na(save_ranef)) {
    .qv_stop(fn, "'save_ranef' must be TRUE or FALSE")
  }
  legacy <- list(b0 = if (!missing(b0)) b0, B0 = if (!missing(B0)) B0,
                 sd_prior = if (!missing(sd_prior)) match.arg(sd_prior), sd_df = if (!missing(sd_df)) sd_df,
                 sd_scale = if (!missing(sd_scale)) sd_scale)

  family <- ordinal_family(.qv_match(fn, link, "link", names(.ordinal_links)))

  frame <- .oprobit_frame_of(formula, call, parent.frame(), fn)                  # oprobit_frame()
  slopes <- ncol(frame$X) - 1L
  prior <- .oprobit_prior_of(prior, legacy, slopes)
  .oprobit_room(run$chains, run$iter, run$burnin, slopes + length(frame$levels) - 1L)
  data <- oprobit_data(frame, units = !is.null(frame$groups) || control$method == "augmented")
  plan <- oprobit_plan(data, prior, control, run$iter, run$burnin, run$thin, save_ranef, family)
  if (plan$method == "augmented") {
    # No posterior mode: the data-augmentation chain's own lengths.
    run[c("iter", "burnin")] <- lengths(FALSE)
    plan[c("iter", "burnin")] <- run[c("iter", "burnin")]
  }
  seeds <- .qv_chain_seeds(run$seed, run$chains)
  results <- .oprobit_run_chains(plan, seeds, run$cores, run$cl, control$progress)
  if (identical(plan$method, "independence")) {
    low <- vapply(results, `[[`, 0, "burnin_acceptance")
    if (run$burnin > 0L && any(low < control$min_acceptance)) {
      # The proposal misses the posterior: the data-augmentation chain.
      run[c("iter", "burnin")] <- lengths(FALSE)
      plan <- oprobit_plan(oprobit_data(frame, units = TRUE), prior,
                           .qv_replace(control, method = "augmented"), run$iter, run$burnin, run$thin,
                           save_ranef, family)
      plan$fallback <- sprintf("the independence sampler's acceptance over burn-in was %.2g", min(low))
      results <- .oprobit_run_chains(plan, seeds, run$cores, run$cl, control$progress)
    }
  }
  fit <- .oprobit_fit(call, frame, plan, results, c(run[c("seed", "chains", "iter", "burnin", "thin")],
                                                     list(latent = plan$latent, method = plan$method,
                                                          fallback = plan$fallback)))
  .qv_convergence_warning(fit, fn)
  fit
}

# The sampler's settings: `control`, or the default one, with the front
# door's `latent` and `progress` when they were given.
.oprobit_control_of <- function(control, latent, progress) {
  fn <- "oprobit_mcmc"
  if (is.null(control)) {
    control <- oprobit_control()
  } else if (!inherits(control, "oprobit_control")) {
    .qv_stop(fn, "'control' must be made by oprobit_control()")
  }
  if (!is.null(latent)) control$latent <- latent
  if (!is.null(progress)) {
    if (!is.logical(progress) || length(progress) != 1L || is.na(progress)) .qv_stop(fn, "'progress' must be TRUE or FALSE")
    control$progress <- progress
  }
  control
}

# Refuses, before any chain runs, a fit whose draws cannot be held: they take
# 8 bytes a value, and the result and its pooled copy hold them about twice;
# a chain also keeps its burn-in draws for its proposal.
.oprobit_room <- function(chains, iter, burnin, parameters) {
  bytes <- 8 * parameters * (2 * as.double(chains) * iter + burnin)
  free <- .qv_free_memory()
  if (bytes > 2^52 || (!is.na(free) && bytes > free)) {
    .qv_stop("oprobit_mcmc", paste0("%s chains x %s draws x %d parameters need about %s of memory%s; ",
                                   "ask for fewer 'chains' or 'iter' (or thin more)"),
             format(chains, big.mark = ","), format(iter, big.mark = ","), parameters, .qv_bytes(bytes),
             if (is.na(free)) "" else sprintf(", more than the %s available", .qv_bytes(free)))
  }
  invisible(bytes)
}

# Memory the system can still give, in bytes (NA where it cannot be read).
.qv_free_memory <- function() {
  info <- tryCatch(readLines("/proc/meminfo", warn = FALSE), error = function(e) character(0))
  line <- grep("^MemAvailable:", info, value = TRUE)
  if (length(line) != 1L) return(NA_real_)
  1024 * as.double(sub("^MemAvailable:\\s*([0-9]+).*$", "\\1", line))
}

.qv_bytes <- function(bytes) {
  units <- c("bytes", "kB", "MB", "GB", "TB", "PB")
  power <- max(0, min(length(units) - 1, floor(log(max(bytes, 1), 1024))))
  sprintf("%.3g %s", bytes / 1024^power, units[power + 1])
}
