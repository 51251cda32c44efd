#' Settings of the ordinal probit sampler
#'
#' The settings of \code{\link{oprobit_mcmc}()}'s chains that do not change
#' the model: the sampler, its moves and their tuning, the latent draws'
#' stream and the progress bar. The defaults are what the benchmarks
#' (\code{make bench}) support.
#'
#' @param method the sampler: \code{"augmented"}, the data-augmentation
#'   chain (threshold steps of the library's cutpoint entry, latent draws by
#'   \code{trunomcall}, the regression given the latent variables) with
#'   whole-point moves (see \code{vignette("oprobit", package = "quorval")}).
#' @param whole_moves whole-point moves per iteration; \code{NULL} lets the
#'   chain choose (several where the data have few cells against their rows,
#'   and with group terms where the rows are few).
#' @param whole_df degrees of freedom of the whole-point move's multivariate
#'   t proposal.
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
#' fit <- oprobit_mcmc(Sat ~ Infl, data = MASS::housing, weights = Freq, chains = 2,
#'                     iter = 300, burnin = 200, seed = 1, cores = 1,
#'                     control = oprobit_control(latent = "r"))
#' @export
oprobit_control <- function(method = "augmented", whole_moves = NULL, whole_df = 30, adapt_window = 50L,
                            target_acceptance = 0.44, latent = c("c", "r"), progress = interactive()) {
  fn <- "oprobit_control"
  if (!identical(method, "augmented")) .qv_stop(fn, "'method' must be \"augmented\"")
  if (!is.null(whole_moves)) whole_moves <- .qv_whole(fn, whole_moves, "whole_moves", 1)
  whole_df <- .qv_positive(whole_df, fn, "whole_df")
  adapt_window <- .qv_whole(fn, adapt_window, "adapt_window", 1)
  if (!is.numeric(target_acceptance) || length(target_acceptance) != 1L || !is.finite(target_acceptance) ||
      target_acceptance <= 0 || target_acceptance >= 1) {
    .qv_stop(fn, "'target_acceptance' must be one number between 0 and 1")
  }
  latent <- .qv_match(fn, latent, "latent", c("c", "r"))
  if (!is.logical(progress) || length(progress) != 1L || is.na(progress)) .qv_stop(fn, "'progress' must be TRUE or FALSE")
  structure(list(method = method, whole_moves = whole_moves, whole_df = whole_df, adapt_window = adapt_window,
                 target_acceptance = as.double(target_acceptance), latent = latent, progress = progress),
            class = "oprobit_control")
}

#' @exportS3Method print oprobit_control
print.oprobit_control <- function(x, ...) {
  cat(sprintf("Ordinal probit sampler \"%s\": %s whole-point move(s) per iteration (t proposal, %s df);\n",
              x$method, if (is.null(x$whole_moves)) "automatic" else x$whole_moves, format(x$whole_df)))
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
