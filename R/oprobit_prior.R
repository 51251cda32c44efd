#' Priors of an ordinal probit model
#'
#' \code{oprobit_prior()} gathers the priors of \code{\link{oprobit_mcmc}()},
#' all on the probit scale (latent error sd 1): the slopes \code{b}, the
#' thresholds, the sds of the group-level effects and their correlations.
#' A part left \code{NULL} is flat (slopes, thresholds) or takes its default
#' (sds: half Student t with 3 degrees of freedom and scale 2.5, as brms's
#' default; correlations: LKJ(1), uniform over the correlation matrices).
#'
#' The constructors describe one prior each: \code{normal(location, scale)}
#' (independent normal slopes, recycled to their number; \code{scale = Inf}
#' is flat), \code{student_t(df, location, scale)} (half Student t for
#' sds), \code{half_normal(scale)} (half-normal sds), \code{lkj(eta)} (the
#' correlations of a group term), \code{dirichlet(concentration)} (on the
#' category probabilities, for thresholds). The sampler takes normal slopes,
#' flat thresholds, half-t or half-normal sds and LKJ(1) correlations; other
#' combinations stop the fit with a message that says so.
#'
#' The older arguments of \code{oprobit_mcmc()} map onto this object:
#' \code{b0} and \code{B0} (prior mean and precision of the slopes) give
#' \code{b = normal(b0, 1 / sqrt(B0))}; \code{sd_prior}, \code{sd_df} and
#' \code{sd_scale} give \code{sd = student_t(sd_df, 0, sd_scale)} or
#' \code{half_normal(sd_scale)}.
#'
#' @param b prior of the slopes: \code{NULL} (flat) or \code{normal()}.
#' @param thresholds prior of the thresholds: \code{NULL} (flat).
#' @param sd prior of every group-level sd: \code{student_t()} or
#'   \code{half_normal()}.
#' @param cor prior of the correlations of a group term: \code{lkj(1)}.
#' @param location,scale location and scale (sd for the normal).
#' @param df degrees of freedom.
#' @param eta the LKJ shape.
#' @param concentration the Dirichlet concentration, one number or one per
#'   category.
#' @return \code{oprobit_prior()}: an object of class \code{"oprobit_prior"},
#'   printed as the list of priors it states; the constructors: objects of
#'   class \code{"qv_prior_term"}.
#' @examples
#' oprobit_prior(b = normal(0, 2))
#' oprobit_prior(sd = half_normal(1))
#' fit <- oprobit_mcmc(Sat ~ Infl + Type, data = MASS::housing, weights = Freq,
#'                     prior = oprobit_prior(b = normal(0, 1)), chains = 2,
#'                     iter = 300, burnin = 200, seed = 1, cores = 1)
#' fit$prior
#' @export
oprobit_prior <- function(b = NULL, thresholds = NULL, sd = student_t(3, 0, 2.5), cor = lkj(1)) {
  fn <- "oprobit_prior"
  .qv_prior_check(fn, b, "b", "normal")
  .qv_prior_check(fn, thresholds, "thresholds", "dirichlet")
  .qv_prior_check(fn, sd, "sd", c("student_t", "half_normal"))
  .qv_prior_check(fn, cor, "cor", "lkj")
  structure(list(b = b, thresholds = thresholds, sd = sd, cor = cor), class = "oprobit_prior")
}

#' @rdname oprobit_prior
#' @export
normal <- function(location = 0, scale = 1) {
  fn <- "normal"
  if (!is.numeric(location) || length(location) == 0L || any(!is.finite(location))) {
    .qv_stop(fn, "'location' must be finite numbers")
  }
  if (!is.numeric(scale) || length(scale) == 0L || anyNA(scale) || any(scale <= 0)) {
    .qv_stop(fn, "'scale' must be positive numbers (Inf for flat)")
  }
  .qv_normal_term(as.double(location), 1 / as.double(scale)^2)
}

#' @rdname oprobit_prior
#' @export
student_t <- function(df = 3, location = 0, scale = 2.5) {
  fn <- "student_t"
  df <- .qv_positive(df, fn, "df")
  scale <- .qv_positive(scale, fn, "scale")
  if (!identical(as.double(location), 0)) .qv_stop(fn, "'location' must be 0: the sds' prior is a half t at 0")
  structure(list(family = "student_t", df = df, location = 0, scale = scale), class = "qv_prior_term")
}

#' @rdname oprobit_prior
#' @export
half_normal <- function(scale = 1) {
  structure(list(family = "half_normal", scale = .qv_positive(scale, "half_normal", "scale")),
            class = "qv_prior_term")
}

#' @rdname oprobit_prior
#' @export
lkj <- function(eta = 1) {
  structure(list(family = "lkj", eta = .qv_positive(eta, "lkj", "eta")), class = "qv_prior_term")
}

#' @rdname oprobit_prior
#' @export
dirichlet <- function(concentration = 1) {
  if (!is.numeric(concentration) || length(concentration) == 0L || any(!is.finite(concentration)) ||
      any(concentration <= 0)) {
    .qv_stop("dirichlet", "'concentration' must be positive finite numbers")
  }
  structure(list(family = "dirichlet", concentration = as.double(concentration)), class = "qv_prior_term")
}

# A normal prior by its precision (0: flat), as b0 and B0 give it.
.qv_normal_term <- function(location, precision) {
  structure(list(family = "normal", location = location, precision = precision), class = "qv_prior_term")
}

.qv_prior_check <- function(fn, term, name, families) {
  if (is.null(term)) return(invisible())
  if (!inherits(term, "qv_prior_term") || !term$family %in% families) {
    .qv_stop(fn, "'%s' must be NULL or made by %s", name, paste0(families, "()", collapse = " or "))
  }
}

# The prior of a fit from oprobit_mcmc()'s arguments: `prior` when given,
# else the older arguments; then what the sampler can take, checked. The
# slopes' location and precision are recycled to their number.
.oprobit_prior_of <- function(prior, legacy, slopes) {
  fn <- "oprobit_mcmc"
  given <- names(legacy)[!vapply(legacy, is.null, TRUE)]
  if (is.null(prior)) {
    prior <- oprobit_prior()
    if (!is.null(legacy$b0) || !is.null(legacy$B0)) {
      b0 <- if (is.null(legacy$b0)) 0 else legacy$b0
      B0 <- if (is.null(legacy$B0)) 0 else legacy$B0
      if (!is.numeric(b0) || !(length(b0) %in% c(1L, slopes)) || any(!is.finite(b0))) {
        .qv_stop(fn, "'b0' must be one finite number or one per slope (%d)", slopes)
      }
      if (!is.numeric(B0) || !(length(B0) %in% c(1L, slopes)) || any(!is.finite(B0)) || any(B0 < 0)) {
        .qv_stop(fn, "'B0' must be one non-negative finite precision or one per slope (%d)", slopes)
      }
      if (any(B0 > 0)) prior$b <- .qv_normal_term(as.double(b0), as.double(B0))
    }
    if (!is.null(legacy$sd_prior) || !is.null(legacy$sd_df) || !is.null(legacy$sd_scale)) {
      family <- if (is.null(legacy$sd_prior)) "student_t" else legacy$sd_prior
      df <- if (is.null(legacy$sd_df)) 3 else legacy$sd_df
      scale <- if (is.null(legacy$sd_scale)) 2.5 else legacy$sd_scale
      if (!is.numeric(df) || length(df) != 1L || !is.finite(df) || df <= 0) .qv_stop(fn, "'sd_df' must be one positive number")
      if (!is.numeric(scale) || length(scale) != 1L || !is.finite(scale) || scale <= 0) {
        .qv_stop(fn, "'sd_scale' must be one positive number")
      }
      prior$sd <- if (family == "normal") half_normal(scale) else student_t(df, 0, scale)
    }
  } else {
    if (!inherits(prior, "oprobit_prior")) .qv_stop(fn, "'prior' must be made by oprobit_prior()")
    if (length(given) > 0L) {
      .qv_stop(fn, "give the priors either through 'prior' or through '%s', not both", given[1L])
    }
  }
  if (!is.null(prior$b)) {
    for (part in c("location", "precision")) {
      if (!(length(prior$b[[part]]) %in% c(1L, slopes))) {
        .qv_stop(fn, "the slopes' prior has %d values of its %s for %d slopes", length(prior$b[[part]]),
                 if (part == "precision") "scale" else part, slopes)
      }
      prior$b[[part]] <- rep_len(prior$b[[part]], slopes)
    }
  }
  if (!is.null(prior$thresholds)) {
    .qv_stop(fn, "the sampler takes flat thresholds only for now: give 'thresholds = NULL'")
  }
  if (!is.null(prior$cor) && prior$cor$eta != 1) {
    .qv_stop(fn, "the sampler takes LKJ(1) correlations only for now: give 'cor = lkj(1)'")
  }
  prior
}

# The slopes' prior mean and precision, one each per slope (0: flat).
.oprobit_slope_prior <- function(prior, slopes) {
  if (is.null(prior$b)) return(list(b0 = double(slopes), B0 = double(slopes)))
  list(b0 = prior$b$location, B0 = prior$b$precision)
}

#' @exportS3Method format qv_prior_term
format.qv_prior_term <- function(x, ...) {
  number <- function(v) paste(vapply(v, format, "", digits = 4), collapse = ", ")
  switch(x$family,
         normal = if (all(x$precision == 0)) "flat" else {
           sprintf("normal(location = %s, sd = %s)", number(x$location),
                   number(ifelse(x$precision > 0, 1 / sqrt(x$precision), Inf)))
         },
         student_t = sprintf("half Student t(df = %s, scale = %s)", number(x$df), number(x$scale)),
         half_normal = sprintf("half-normal(sd = %s)", number(x$scale)),
         lkj = sprintf("LKJ(%s)", number(x$eta)),
         dirichlet = sprintf("Dirichlet(%s) on the category probabilities", number(x$concentration)))
}

#' @exportS3Method print qv_prior_term
print.qv_prior_term <- function(x, ...) {
  cat(format(x), "\n", sep = "")
  invisible(x)
}

#' @exportS3Method print oprobit_prior
print.oprobit_prior <- function(x, ...) {
  cat("Priors on the probit scale (latent error sd 1):\n")
  lines <- c(slopes = if (is.null(x$b)) "flat" else format(x$b),
             thresholds = if (is.null(x$thresholds)) "flat (uniform over the ordered thresholds)" else format(x$thresholds),
             `group-level sds` = format(x$sd),
             `group-level correlations` = format(x$cor))
  cat(sprintf("  %-25s %s\n", paste0(names(lines), ":"), lines), sep = "")
  invisible(x)
}
