#' Settings of the ordinal probit sampler
#'
#' The settings of \code{\link{oprobit_mcmc}()}'s chains that do not change
#' the model: the sampler, its moves and their tuning, the latent draws'
#' stream and the progress bar. The defaults are what the benchmarks
#' (\code{make bench}) support.
#'
#' @param method the sampler of a fit without group terms:
#'   \code{"independence"} (the default), independence Metropolis-Hastings
#'   steps of the whole point (slopes and thresholds) from a multivariate t
#'   at the posterior mode, scaled by the inverse curvature there, with the
#'   latent variables integrated out: each step is one pass over the data's
#'   distinct (covariate row, category) cells, so that weights are never
#'   expanded; or \code{"augmented"}, the data-augmentation chain (threshold
#'   steps of the library's cutpoint entry, latent draws by
#'   \code{trunomcall}, the regression given the latent variables) with
#'   whole-point moves (see \code{vignette("oprobit", package = "quorval")}).
#'   The data-augmentation chain serves instead of the independence one where
#'   the posterior has no mode, and where a chain's acceptance over its
#'   burn-in falls below \code{min_acceptance}; group terms always take it.
#' @param whole_moves whole-point moves per iteration; \code{NULL} lets the
#'   chain choose (one for the independence sampler; in the
#'   data-augmentation chain several where the data have few cells against
#'   their rows, and with group terms where the rows are few).
#' @param whole_df degrees of freedom of the whole-point move's multivariate
#'   t proposal.
#' @param whole_mix,whole_mix_df,whole_mix_scale the independence sampler's
#'   defensive component: with probability \code{whole_mix} the proposal is a
#'   t with \code{whole_mix_df} degrees of freedom and \code{whole_mix_scale}
#'   times the scale, whose heavier tails keep the chain safe where the
#'   posterior's tails are heavier than the main proposal's (small data).
#' @param min_acceptance the independence sampler's acceptance over burn-in
#'   below which the fit runs again with the data-augmentation chain.
#' @param adapt_window iterations per tuning window of the threshold steps
#'   during burn-in.
#' @param target_acceptance acceptance rate the threshold steps are tuned
#'   towards.
#' @param latent random stream of the latent draws: \code{"c"} the C library
#'   stream, \code{"r"} R's stream (see \code{\link{oprobit_mcmc}}).
#' @param progress show a progress bar.
#' @return An object of class \code{"oprobit_control"}.
#' @examples
#' oprobit_control(whole_moves = 2)
#' oprobit_control(method = "augmented")
#' fit <- oprobit_mcmc(Sat ~ Infl, data = MASS::housing, weights = Freq, chains = 2,
#'                     iter = 300, burnin = 200, seed = 1, cores = 1,
#'                     control = oprobit_control(latent = "r"))
#' @export
oprobit_control <- function(method = c("independence", "augmented"), whole_moves = NULL, whole_df = 30,
                            whole_mix = 0.1, whole_mix_df = 4, whole_mix_scale = 2, min_acceptance = 0.1,
                            adapt_window = 50L, target_acceptance = 0.44, latent = c("c", "r"),
                            progress = interactive()) {
  fn <- "oprobit_control"
  method <- .qv_match(fn, method, "method", c("independence", "augmented"))
  if (!is.null(whole_moves)) whole_moves <- .qv_whole(fn, whole_moves, "whole_moves", 1)
  whole_df <- .qv_positive(whole_df, fn, "whole_df")
  whole_mix_df <- .qv_positive(whole_mix_df, fn, "whole_mix_df")
  whole_mix_scale <- .qv_positive(whole_mix_scale, fn, "whole_mix_scale")
  for (name in c("whole_mix", "min_acceptance")) {
    value <- get(name)
    if (!is.numeric(value) || length(value) != 1L || !is.finite(value) || value < 0 || value >= 1) {
      .qv_stop(fn, "'%s' must be one number in [0, 1)", name)
    }
  }
  adapt_window <- .qv_whole(fn, adapt_window, "adapt_window", 1)
  if (!is.numeric(target_acceptance) || length(target_acceptance) != 1L || !is.finite(target_acceptance) ||
      target_acceptance <= 0 || target_acceptance >= 1) {
    .qv_stop(fn, "'target_acceptance' must be one number between 0 and 1")
  }
  latent <- .qv_match(fn, latent, "latent", c("c", "r"))
  if (!is.logical(progress) || length(progress) != 1L || is.na(progress)) .qv_stop(fn, "'progress' must be TRUE or FALSE")
  structure(list(method = method, whole_moves = whole_moves, whole_df = whole_df, whole_mix = as.double(whole_mix),
                 whole_mix_df = whole_mix_df, whole_mix_scale = whole_mix_scale,
                 min_acceptance = as.double(min_acceptance), adapt_window = adapt_window,
                 target_acceptance = as.double(target_acceptance), latent = latent, progress = progress),
            class = "oprobit_control")
}

#' @exportS3Method print oprobit_control
print.oprobit_control <- function(x, ...) {
  cat(sprintf("Ordinal sampler \"%s\": %s whole-point move(s) per iteration (t proposal, %s df",
              x$method, if (is.null(x$whole_moves)) "automatic" else x$whole_moves, format(x$whole_df)))
  if (x$method == "independence") {
    cat(sprintf("; with probability %s a t with %s df and %s times the scale", format(x$whole_mix),
                format(x$whole_mix_df), format(x$whole_mix_scale)))
  }
  cat(");\n")
  cat(sprintf("threshold steps tuned towards %.0f%% acceptance in windows of %d; latent draws on the %s stream\n",
              100 * x$target_acceptance, x$adapt_window, if (x$latent == "c") "C library" else "R"))
  invisible(x)
}

# One of `choices`; the first when `x` is the whole default vector.
.qv_match <- function(fn, x, name, choices) {
  if (identical(x, choices)) return(choices[1L])
  if (!is.character(x) || length(x) != 1L || !x %in% choices) {
    .qv_stop(fn, "'%s' must be one of %s", name, paste0("\"", choices, "\"", collapse = ", "))
  }
  x
}
