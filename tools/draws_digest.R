# The draws of a fixed set of fits, digested: one MD5 per fit and one over
# all of them. A change that must not alter any draw (a refactoring, a new
# file layout) leaves every line of this output as it was.
#   R_LIBS=build/rlib Rscript tools/draws_digest.R
suppressPackageStartupMessages(library(quorval))

# Draws in one layout whatever the fit stores: chain by chain, each an
# iterations x parameters matrix.
by_chain <- function(x) {
  if (inherits(x, "draws")) x <- posterior::as_draws_array(x)
  if (inherits(x, "draws_array")) {
    values <- unclass(x)
    return(lapply(seq_len(dim(values)[2L]), function(chain) values[, chain, ]))
  }
  if (is.list(x)) lapply(x, by_chain) else x
}
digest_values <- function(x) {
  file <- tempfile()
  on.exit(unlink(file))
  writeBin(as.double(unlist(by_chain(x))), file)
  unname(tools::md5sum(file))
}
quiet <- function(expr) suppressWarnings(suppressMessages(expr))

set.seed(20261209)
n <- 300
d <- data.frame(x = rnorm(n), z = rnorm(n), f = factor(sample(c("a", "b", "c"), n, TRUE)),
                g = factor(sample(sprintf("g%02d", 1:12), n, TRUE)),
                h = factor(sample(sprintf("h%d", 1:7), n, TRUE)), o = runif(n, -0.5, 0.5))
effect <- rnorm(12, sd = 0.6)[as.integer(d$g)] + rnorm(7, sd = 0.4)[as.integer(d$h)]
latent <- 0.8 * d$x - 0.5 * d$z + c(0, 0.4, -0.3)[as.integer(d$f)] + d$o + effect + rnorm(n)
d$y <- cut(latent, c(-Inf, -0.8, 0.2, 1.1, Inf), labels = FALSE)
d$b <- latent > 0.1
# Each call written out in full (the fit reads its arguments from its call).
run <- function(call) {
  call <- substitute(call)
  call[c("chains", "iter", "burnin", "seed", "cores")] <- list(2, 300, 150, 7, 1)
  # The data-augmentation chain, whose draws these digests pin (the
  # independence sampler is the default of fits without group terms).
  if ("control" %in% names(formals(oprobit_mcmc))) call$control <- quote(oprobit_control(method = "augmented"))
  quiet(eval(call))
}

fits <- list(
  fixed_c = run(oprobit_mcmc(y ~ x + z + f, data = d)),
  fixed_r = run(oprobit_mcmc(y ~ x + z + f, data = d, latent = "r")),
  offset = run(oprobit_mcmc(y ~ x + z + offset(o), data = d)),
  slope_prior = run(oprobit_mcmc(y ~ x + z + f, data = d, b0 = 0.2, B0 = c(1, 2, 0.5, 0.5))),
  binary = run(oprobit_mcmc(b ~ x + z, data = d)),
  weighted = run(oprobit_mcmc(Sat ~ Infl + Type + Cont, data = MASS::housing, weights = Freq)),
  group_slopes = run(oprobit_mcmc(y ~ x + z + (1 + x | g), data = d)),
  crossed = run(oprobit_mcmc(y ~ x + (1 | g) + (1 | h), data = d, sd_prior = "normal", sd_scale = 1)),
  group_offset = run(oprobit_mcmc(y ~ x + (1 | g), data = d, offset = o))
)
means <- data.frame(g = factor(rep(c("lo", "mid", "hi"), each = 12), c("lo", "mid", "hi")), x = rnorm(36))
means$y <- c(0, 0.3, 0.9)[as.integer(means$g)] + 0.5 * means$x + rnorm(36)
om <- quiet(ordered_means_mcmc(y ~ g + x, means, chains = 2, iter = 300, burnin = 100, seed = 3, cores = 1))

values <- lapply(fits, function(fit) list(fit$draws, fit$effects))
values$ordered_means <- list(om$draws, om$bayes_factor[c("bf", "mc_error")])
for (name in names(values)) cat(sprintf("%-14s %s\n", name, digest_values(values[[name]])))
cat(sprintf("%-14s %s\n", "all", digest_values(values)))
