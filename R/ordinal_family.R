#' The link of an ordinal regression
#'
#' An ordinal model with thresholds \eqn{\zeta_1 < \dots < \zeta_{J-1}} and
#' linear predictor \eqn{\eta} gives category \eqn{k} the probability
#' \eqn{F(\zeta_k - \eta) - F(\zeta_{k-1} - \eta)}, where \eqn{F} is the
#' distribution function of the latent error: the standard normal for the
#' probit link. The family object holds \eqn{F}, the cell terms that the
#' posterior mode and the chain's whole-point move need (the log mass of a
#' category and its first and second derivatives in the category's two
#' bounds), and the category probabilities that \code{predict()},
#' \code{fitted()}, \code{log_lik()} and \code{simulate()} use.
#'
#' @param link the link, named as \code{MASS::polr} and
#'   \code{ordinal::clm} name theirs: \code{"probit"} (the default; standard
#'   normal errors), \code{"logit"} (logistic), \code{"cloglog"}
#'   (\eqn{F(x) = 1 - \exp(-e^x)}), \code{"loglog"} (\eqn{F(x) =
#'   \exp(-e^{-x})}) or \code{"cauchit"} (Cauchy).
#' @return An object of class \code{"ordinal_family"}: a list with
#'   \code{link}, \code{cdf} (the distribution function \eqn{F}),
#'   \code{cell_terms(lo, hi)} (per cell, the log mass
#'   \eqn{\log(F(hi) - F(lo))} and its derivatives \code{d_lo}, \code{d_hi},
#'   \code{d_lolo}, \code{d_hihi}, \code{d_lohi}) and \code{probs(eta, zeta)}
#'   (a rows x categories matrix).
#' @examples
#' family <- ordinal_family()
#' family
#' family$probs(eta = c(-1, 0, 1), zeta = c(-0.5, 0.5))
#' ordinal_family("logit")$probs(eta = 0, zeta = c(-0.5, 0.5))
#' @export
ordinal_family <- function(link = "probit") {
  links <- names(.ordinal_links)
  if (!is.character(link) || length(link) != 1L || is.na(link) || !link %in% links) {
    .qv_stop("ordinal_family", "'link' must be one of %s", paste0("\"", links, "\"", collapse = ", "))
  }
  family <- .ordinal_links[[link]]
  family$link <- link
  family$probs <- function(eta, zeta) .ordinal_probs(family$cdf, eta, zeta)
  structure(family, class = "ordinal_family")
}

#' @exportS3Method print ordinal_family
print.ordinal_family <- function(x, ...) {
  cat(sprintf("Ordinal family, link \"%s\": P(y <= k) = F(zeta[k] - eta), %s\n", x$link, x$describe))
  invisible(x)
}

# Category probabilities, rows x categories, of linear predictors `eta` under
# thresholds `zeta`, for a distribution function `cdf`.
.ordinal_probs <- function(cdf, eta, zeta) {
  J <- length(zeta) + 1L
  below <- matrix(0, length(eta), J + 1L)
  below[, J + 1L] <- 1
  for (k in seq_len(J - 1L)) below[, k + 1L] <- cdf(zeta[k] - eta)
  below[, -1L, drop = FALSE] - below[, -(J + 1L), drop = FALSE]
}

# log(1 - exp(-a)) for a >= 0, accurate for small and large a.
.log1mexp <- function(a) ifelse(a <= log(2), log(-expm1(-a)), log1p(-exp(-a)))

# A link from its distribution function, the logs of F and of 1 - F, the
# log density and the score f'/f: its cell terms take the mass from the tail
# on the far side of the mean, as the probit's do.
.ordinal_link <- function(describe, cdf, log_cdf, log_survival, log_density, score) {
  list(describe = sprintf("F the distribution function of %s", describe), cdf = cdf,
       cell_terms = function(lo, hi) {
         upper <- lo > 0
         near <- ifelse(upper, log_survival(lo), log_cdf(hi))
         far <- ifelse(upper, log_survival(hi), log_cdf(lo))
         log_mass <- near + log1p(-exp(far - near))
         g_lo <- ifelse(is.finite(lo), exp(log_density(lo) - log_mass), 0)
         g_hi <- ifelse(is.finite(hi), exp(log_density(hi) - log_mass), 0)
         lo_s <- ifelse(is.finite(lo), score(lo) * g_lo, 0)
         hi_s <- ifelse(is.finite(hi), score(hi) * g_hi, 0)
         list(log_mass = log_mass, d_lo = -g_lo, d_hi = g_hi,
              d_lolo = -lo_s - g_lo^2, d_hihi = hi_s - g_hi^2, d_lohi = g_lo * g_hi)
       })
}

# Each link's distribution function and cell terms. A new link adds one entry
# here (and its cell code in the chain driver).
.ordinal_links <- list(
  probit = list(
    describe = "F the standard normal distribution function",
    cdf = stats::pnorm,
    # The cells' log likelihood terms and the first and second derivatives of
    # each term in its two bounds lo = zeta[y-1] - eta, hi = zeta[y] - eta.
    cell_terms = function(lo, hi) {
      # The mass from the tail on the far side of the mean, in logs, so that
      # it keeps its precision far out.
      upper <- lo > 0
      near <- ifelse(upper, stats::pnorm(lo, lower.tail = FALSE, log.p = TRUE), stats::pnorm(hi, log.p = TRUE))
      far <- ifelse(upper, stats::pnorm(hi, lower.tail = FALSE, log.p = TRUE), stats::pnorm(lo, log.p = TRUE))
      log_mass <- near + log1p(-exp(far - near))
      g_lo <- exp(stats::dnorm(lo, log = TRUE) - log_mass)
      g_hi <- exp(stats::dnorm(hi, log = TRUE) - log_mass)
      lo_g <- ifelse(is.finite(lo), lo * g_lo, 0)
      hi_g <- ifelse(is.finite(hi), hi * g_hi, 0)
      list(log_mass = log_mass, d_lo = -g_lo, d_hi = g_hi,
           d_lolo = lo_g - g_lo^2, d_hihi = -hi_g - g_hi^2, d_lohi = g_lo * g_hi)
    }
  ),
  logit = .ordinal_link("logistic errors",
    cdf = stats::plogis,
    log_cdf = function(x) stats::plogis(x, log.p = TRUE),
    log_survival = function(x) stats::plogis(x, lower.tail = FALSE, log.p = TRUE),
    log_density = function(x) stats::dlogis(x, log = TRUE),
    score = function(x) -tanh(x / 2)),
  cloglog = .ordinal_link("F(x) = 1 - exp(-exp(x)) (complementary log-log)",
    cdf = function(x) -expm1(-exp(x)),
    log_cdf = function(x) .log1mexp(exp(x)),
    log_survival = function(x) -exp(x),
    log_density = function(x) x - exp(x),
    score = function(x) 1 - exp(x)),
  loglog = .ordinal_link("F(x) = exp(-exp(-x)) (log-log)",
    cdf = function(x) exp(-exp(-x)),
    log_cdf = function(x) -exp(-x),
    log_survival = function(x) .log1mexp(exp(-x)),
    log_density = function(x) -x - exp(-x),
    score = function(x) exp(-x) - 1),
  cauchit = .ordinal_link("Cauchy errors",
    cdf = stats::pcauchy,
    log_cdf = function(x) stats::pcauchy(x, log.p = TRUE),
    log_survival = function(x) stats::pcauchy(x, lower.tail = FALSE, log.p = TRUE),
    log_density = function(x) stats::dcauchy(x, log = TRUE),
    score = function(x) -2 * x / (1 + x^2))
)
