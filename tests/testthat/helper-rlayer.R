# Runs R code in a child Rscript with the package attached, before any draw;
# returns what the child printed.
run_rlayer_child <- function(code, timeout = 120) {
  prelude <- sprintf("library(quorval, lib.loc = %s)", deparse(dirname(find.package("quorval"))))
  result <- run_child(c(prelude, code), timeout = timeout)
  if (result$status != 0) stop(paste(c("child failed:", result$stderr), collapse = "\n"))
  result$stdout
}

# Draws of quorval and vaskor through the R layer after c_stream_seed(seed),
# as hex lines: the tails (the libraries' own generators, which start from the
# C stream at their first draw) and the middle (rand()). In this session, or
# in a fresh process seeded before its first draw.
seeded_draws <- function(seed, fresh = FALSE) {
  code <- c(
    "x <- rtruncnorm_qv(40, mean = 0, sd = 1, lower = c(-Inf, -1, 3, -20), upper = c(-9, 1, Inf, 20))",
    "cp <- cutpoint_step(rep(1:6, 20), c(-Inf, 0, 0.4, 0.8, 1.2, 2, Inf), 0.9, 1, 40)",
    "v <- .Call('trunomcall', 20L, numeric(20), rep(1, 20), rep(c(-Inf, 8.5), 10), rep(c(-8.5, Inf), 10), PACKAGE = 'vaskor')",
    "g <- ordered_gibbs(matrix(c(2, 0.5, 0.5, 2), 2), 0, c(-Inf, 0, 1, Inf), 30)",
    "out <- sprintf('%a', c(x, cp$proposal, cp$accepted, v, g))")
  if (fresh) return(run_rlayer_child(c(sprintf("c_stream_seed(%d)", seed), code, "writeLines(out)")))
  c_stream_seed(seed)
  env <- new.env()
  for (line in code) eval(parse(text = line), env)
  env$out
}

# A fit's draws (a posterior::draws_array) chain by chain, each an
# iterations x parameters matrix, and pooled, chain after chain.
chains_of <- function(draws) {
  values <- unclass(posterior::as_draws_array(draws))
  lapply(seq_len(dim(values)[2L]), function(j) {
    matrix(values[, j, ], dim(values)[1L], dimnames = list(NULL, dimnames(values)[[3L]]))
  })
}
pooled_of <- function(draws) do.call(rbind, chains_of(draws))

# Effective sample size per column of a list of chains (draws matrices).
ess_of <- function(chains) apply(simplify2array(chains), 2L, posterior::ess_basic)
