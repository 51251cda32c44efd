# The five links: each family's cell terms against central differences, the
# posterior mode of every link against ordinal::clm's estimates on three real
# sets (the prior being flat, the mode is the maximum likelihood estimate),
# posterior means next to them, and the links' refusals.

links <- c("probit", "logit", "cloglog", "loglog", "cauchit")

test_that("every link's cell terms are its log mass and the log mass's derivatives", {
  h <- 1e-5
  lo <- c(-Inf, -2.5, -0.3, 0.4, 3)
  hi <- c(-1, -1.5, 0.8, 2, Inf)
  for (link in links) {
    family <- ordinal_family(link)
    at <- family$cell_terms(lo, hi)
    # Where the difference of the distribution functions keeps its digits.
    mass <- family$cdf(hi) - family$cdf(lo)
    wide <- mass > 1e-4
    expect_equal(at$log_mass[wide], log(mass[wide]), tolerance = 1e-10, info = link)
    d_lo <- (family$cell_terms(lo + h, hi)$log_mass - family$cell_terms(lo - h, hi)$log_mass) / (2 * h)
    d_hi <- (family$cell_terms(lo, hi + h)$log_mass - family$cell_terms(lo, hi - h)$log_mass) / (2 * h)
    finite_lo <- is.finite(lo)
    finite_hi <- is.finite(hi)
    expect_equal(at$d_lo[finite_lo], d_lo[finite_lo], tolerance = 1e-6, info = link)
    expect_equal(at$d_hi[finite_hi], d_hi[finite_hi], tolerance = 1e-6, info = link)
    d_lolo <- (family$cell_terms(lo + h, hi)$d_lo - family$cell_terms(lo - h, hi)$d_lo) / (2 * h)
    d_hihi <- (family$cell_terms(lo, hi + h)$d_hi - family$cell_terms(lo, hi - h)$d_hi) / (2 * h)
    d_lohi <- (family$cell_terms(lo, hi + h)$d_lo - family$cell_terms(lo, hi - h)$d_lo) / (2 * h)
    expect_equal(at$d_lolo[finite_lo], d_lolo[finite_lo], tolerance = 1e-5, info = link)
    expect_equal(at$d_hihi[finite_hi], d_hihi[finite_hi], tolerance = 1e-5, info = link)
    expect_equal(at$d_lohi, d_lohi, tolerance = 1e-5, info = link)
    # Far in either tail the mass keeps its digits.
    expect_true(all(is.finite(family$cell_terms(c(30, -31), c(31, -30))$log_mass)), info = link)
    expect_equal(rowSums(family$probs(c(-3, 0, 2), c(-1, 0.5, 1))), rep(1, 3), info = link)
  }
  # The upper tails in closed form, where 1 - F(3) would lose its digits.
  expect_equal(ordinal_family("cloglog")$cell_terms(3, Inf)$log_mass, -exp(3))
  expect_equal(ordinal_family("loglog")$cell_terms(-Inf, -3)$log_mass, -exp(3))
  expect_equal(ordinal_family("logit")$cell_terms(40, Inf)$log_mass, -40 - log1p(exp(-40)))
})

real_sets <- function() {
  status <- as.data.frame(occupationalStatus)
  status$origin <- factor(status$origin, ordered = TRUE)
  list(housing = list(formula = Sat ~ Infl + Type + Cont, data = transform(MASS::housing, w = Freq)),
       wine = list(formula = rating ~ temp + contact, data = transform(ordinal::wine, w = 1)),
       status = list(formula = origin ~ destination, data = transform(status, w = Freq)))
}

test_that("each link's posterior mode is clm's estimate on three real sets", {
  skip_if_not_installed("ordinal")
  for (name in names(sets <- real_sets())) {
    set <- sets[[name]]
    data <- oprobit_data(oprobit_frame(set$formula, data = set$data, weights = w))
    for (link in links) {
      plan <- oprobit_plan(data, family = ordinal_family(link))
      ml <- ordinal::clm(set$formula, data = set$data, weights = w, link = link)
      expect_identical(plan$method, "independence")
      expect_equal(unname(plan$whole$mode), unname(c(ml$beta, ml$alpha)),
                   tolerance = if (link == "cauchit") 1e-3 else 1e-6, info = paste(name, link))
    }
  }
})

test_that("the links' refusals name what to change", {
  d <- data.frame(y = rep(1:3, 10), x = rnorm(30), g = factor(rep(1:5, 6)))
  expect_error(oprobit_mcmc(y ~ x, data = d, link = "logistic"), "oprobit_mcmc: 'link' must be one of")
  expect_error(oprobit_mcmc(y ~ x + (1 | g), data = d, link = "logit"), "group terms take the probit link only")
  expect_error(oprobit_mcmc(y ~ x, data = d, link = "logit", control = oprobit_control(method = "augmented")),
               "takes the probit link only")
  expect_error(ordinal_family("identity"), "ordinal_family: 'link'")
})
