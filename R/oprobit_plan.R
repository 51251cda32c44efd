# The third stage of oprobit_mcmc(): the data with the prior and the
# sampler's settings, as every chain of a fit shares them: the regression
# step's precision, the posterior mode and curvature that centre and scale
# the whole-point move and the run's length. The chain
# driver (oprobitchain/) reads it through .oprobit_plan_list().

#' The plan of an ordinal probit fit's chains
#'
#' The third stage of \code{\link{oprobit_mcmc}()}, after
#' \code{\link{oprobit_data}()}: what every chain of the fit shares. It checks
#' that the posterior exists (no covariate separates the categories under a
#' flat slope prior), finds the posterior mode and the curvature there by
#' Newton's method (the whole-point move's proposal; not with group terms,
#' whose move proposes from the current point), and fixes the precision of
#' the regression step given the latent variables.
#'
#' @param data what \code{\link{oprobit_data}()} returned.
#' @param prior an \code{\link{oprobit_prior}()}.
#' @param control an \code{\link{oprobit_control}()}.
#' @param iter,burnin,thin the run's length, as \code{oprobit_mcmc()} takes it
#'   (\code{NULL}: the defaults of the sampler the plan chooses, 1000 and 200
#'   for the independence sampler, 2000 and 1000 for the data-augmentation
#'   chain).
#' @param save_ranef keep the group effects' draws (with group terms).
#' @param family the link, \code{\link{ordinal_family}()}.
#' @return An object of class \code{"oprobit_plan"}: the data's fields and
#'   \code{prior} (the slopes' mean \code{b0} and precision \code{B0}),
#'   \code{priors} (the prior object), \code{control}, \code{whole} (the mode
#'   \code{mode} and the root \code{root} of the proposal's scale, or
#'   \code{NULL}) and the run's length.
#' @examples
#' frame <- oprobit_frame(Sat ~ Infl + Type, data = MASS::housing, weights = Freq)
#' plan <- oprobit_plan(oprobit_data(frame))
#' plan$whole$mode   # polr's estimates, the prior being flat
#' @export
oprobit_plan <- function(data, prior = oprobit_prior(), control = oprobit_control(), iter = NULL,
                         burnin = NULL, thin = 1L, save_ranef = TRUE, family = ordinal_family()) {
  fn <- "oprobit_plan"
  if (!inherits(data, "oprobit_data")) .qv_stop(fn, "'data' must be made by oprobit_data()")
  if (!inherits(control, "oprobit_control")) .qv_stop(fn, "'control' must be made by oprobit_control()")
  if (!inherits(family, "ordinal_family")) .qv_stop(fn, "'family' must be made by ordinal_family()")
  p <- ncol(data$X_distinct)
  prior <- .oprobit_prior_of(prior, list(), p - 1L)
  slope_prior <- .oprobit_slope_prior(prior, p - 1L)
  .oprobit_separation(data$frame, slope_prior$B0)
  # The run's length, where not given, by the sampler that runs.
  run <- function(independence) {
    list(iter = .qv_whole(fn, if (is.null(iter)) if (independence) 1000L else 2000L else iter, "iter", 1),
         burnin = .qv_whole(fn, if (is.null(burnin)) if (independence) 200L else 1000L else burnin, "burnin", 0))
  }
  common <- list(prior = slope_prior, priors = prior, control = control, family = family,
                 thin = .qv_whole(fn, thin, "thin", 1), latent = control$latent)
  # The independence move alone, on the cells, where the posterior has a
  # mode; otherwise (and with group terms) the data-augmentation chain.
  method <- if (is.null(data$groups)) control$method else "augmented"
  reason <- NULL
  if (method == "independence") {
    if (data$units) data <- oprobit_data(data$frame, units = FALSE)
    plan <- c(unclass(data), common, run(TRUE), list(method = "independence", r_stream_only = TRUE))
    plan$whole <- .oprobit_mode(plan, data$start)
    if (!is.null(plan$whole)) return(structure(plan, class = "oprobit_plan"))
    method <- "augmented"
    reason <- "no posterior mode was found"
  }
  if (family$link != "probit") {
    .qv_stop("oprobit_mcmc", if (!is.null(data$groups)) {
      "group terms take the probit link only for now"
    } else if (!is.null(reason)) {
      sprintf(paste("%s (an improper posterior?), and the data-augmentation sampler that would serve takes the",
                    "probit link only; give the slopes a proper prior, or use link = \"probit\""), reason)
    } else {
      "the data-augmentation sampler (method = \"augmented\") takes the probit link only"
    })
  }
  if (!data$units) data <- .oprobit_units_of(data)
  M_root <- .oprobit_regression_root(data$X, slope_prior$B0)
  plan <- c(unclass(data), common, run(FALSE), list(method = "augmented", fallback = reason,
                                        M_inv = chol2inv(M_root), M_root = M_root))
  if (is.null(data$groups)) {
    plan$whole <- .oprobit_mode(plan, data$start)
  } else {
    sd <- prior$sd
    plan$groups$prior <- list(family = if (sd$family == "half_normal") "normal" else "student_t",
                              df = if (is.null(sd$df)) 3 else sd$df, scale = sd$scale)
    plan$groups$save <- isTRUE(save_ranef)
  }
  structure(plan, class = "oprobit_plan")
}

# The data by units for the data-augmentation chain, which draws a latent
# variable for every unit: refused where the units are more than R can index
# or than the memory holds.
.oprobit_units_of <- function(data) {
  n <- data$n
  bytes <- 8 * n * (ncol(data$X_distinct) + 8)
  free <- .qv_free_memory()
  if (n > .Machine$integer.max || (!is.na(free) && bytes > free)) {
    .qv_stop("oprobit_mcmc", paste0("the data-augmentation sampler draws one latent variable per unit, and the ",
                                   "weights sum to %s units (about %s of memory); give the slopes a proper prior ",
                                   "(prior = oprobit_prior(b = normal(0, 5)), say) so that the posterior has a mode ",
                                   "and the independence sampler serves"),
             format(n, big.mark = ","), .qv_bytes(bytes))
  }
  oprobit_data(data$frame, units = TRUE)
}

# The upper triangular root of M = X'X + diag(0, B0), the precision of the
# regression step given the latent variables.
.oprobit_regression_root <- function(X, B0) {
  M <- crossprod(X)
  diag(M)[-1L] <- diag(M)[-1L] + rep_len(as.double(B0), ncol(X) - 1L)
  chol(M)
}
