# Bayesian ordinal probit regression of son's on father's occupational status
# (datasets::occupationalStatus, one row per person).
#
# Model: latent z_i ~ N(b0 + b1 * father_i, 1 / t^2), and son's category is k
# when c[k-1] < z_i <= c[k], with K = 9 cutpoints c[0] ... c[8] (counted from
# 0): c[0] = -Inf, c[1] = 0, c[7] = 3.5 fixed, c[8] = Inf, and c[2] ... c[6]
# free. c[1] = 0 takes the place of a location and c[7] that of a scale; with
# c[7] = 3.5, about the spread of the outer thresholds of these data on the
# probit scale, t stays near 1.
# Priors: flat on (b0, b1) and on the free cutpoints; t^2 ~ Gamma(shape
# 0.001, rate 0.001), vague.
#
# One iteration:
#   1. the free cutpoints by one Metropolis-Hastings step of quorval's entry
#      (z integrated out), with means X b, the current t and the proposal
#      precision s (tuned during burn-in towards 30% acceptance);
#   2. all z at once from their truncated normals (one trunomcall);
#   3. (b, t) given z in one block: t^2 from its conditional with b integrated
#      out, then b ~ N(b_hat, (X'X)^-1 / t^2).
# The draws are stored after burn-in. probit_scale() turns them into the
# usual parametrization (latent sd 1, no intercept): slope t * b1 and
# thresholds t * (c[k] - b0), k = 1 ... 7.

op_cutpoint_count <- 9L
op_top_cutpoint <- 3.5
op_t2_prior <- c(shape = 0.001, rate = 0.001)
op_target_acceptance <- 0.3
op_adapt_window <- 50L

op_data <- function() {
  table <- as.data.frame(datasets::occupationalStatus)
  rows <- rep(seq_len(nrow(table)), table$Freq)
  son <- as.integer(table$destination)[rows]
  father <- as.integer(table$origin)[rows]
  list(y = son, father = father, X = cbind(intercept = 1, father = father), n = length(son))
}

# A chain started from a point drawn from R's current stream. `latent` picks
# the library of the z draws: "quorval" (C stream) or "quorval2" (R stream).
# Returns an object with run(iterations) and result().
op_chain <- function(data, iterations, burnin, latent = c("quorval", "quorval2"), s = 100) {
  latent <- match.arg(latent)
  stream <- if (latent == "quorval") "c" else "r"
  X <- data$X
  y <- data$y
  n <- data$n
  p <- ncol(X)
  root <- chol(crossprod(X))
  projection <- chol2inv(root) %*% t(X)  # (X'X)^-1 X'
  t2_shape <- op_t2_prior[["shape"]] + (n - p) / 2

  # Spread-out starting point.
  cutpoints <- c(-Inf, 0, sort(stats::runif(op_cutpoint_count - 4L, 0, op_top_cutpoint)),
                 op_top_cutpoint, Inf)
  beta <- c(stats::runif(1L, 0, 1.5), stats::runif(1L, 0, 0.6))
  t <- stats::runif(1L, 0.7, 1.4)

  free <- 3:(op_cutpoint_count - 2L)
  draws <- matrix(NA_real_, iterations, p + 1L + length(free),
                  dimnames = list(NULL, c("intercept", "father", "t", paste0("c", free - 1L))))
  done <- 0L
  accepted <- c(burnin = 0L, kept = 0L)
  window <- 0L
  seconds <- 0

  step <- function() {
    mean <- drop(X %*% beta)
    move <- cutpoint_step(y, cutpoints, mean, t, s)
    cutpoints <<- move$cutpoints
    z <- rtruncnorm_qv(n, mean, 1 / t, cutpoints[y], cutpoints[y + 1L], stream = stream)
    beta_hat <- drop(projection %*% z)
    rss <- sum((z - X %*% beta_hat)^2)
    t <<- sqrt(stats::rgamma(1L, shape = t2_shape, rate = op_t2_prior[["rate"]] + rss / 2))
    beta <<- beta_hat + backsolve(root, stats::rnorm(p)) / t
    move$accepted
  }

  run <- function(count) {
    started <- proc.time()[["elapsed"]]
    for (i in seq_len(min(count, burnin + iterations - done))) {
      done <<- done + 1L
      moved <- step()
      if (done <= burnin) {
        accepted[["burnin"]] <<- accepted[["burnin"]] + moved
        window <<- window + moved
        if (done %% op_adapt_window == 0L) {
          # Stochastic-approximation steps on log s with a shrinking gain.
          rate <- window / op_adapt_window
          gain <- 2 / sqrt(done / op_adapt_window)
          s <<- s * exp(gain * (op_target_acceptance - rate))
          window <<- 0L
        }
      } else {
        accepted[["kept"]] <<- accepted[["kept"]] + moved
        draws[done - burnin, ] <<- c(beta, t, cutpoints[free])
      }
    }
    seconds <<- seconds + proc.time()[["elapsed"]] - started
    invisible(done)
  }

  result <- function() {
    list(draws = draws[seq_len(max(0L, done - burnin)), , drop = FALSE],
         acceptance = accepted[["kept"]] / max(1L, done - burnin),
         burnin_acceptance = accepted[["burnin"]] / max(1L, min(done, burnin)),
         s = s, seconds = seconds, iterations = done)
  }

  list(run = run, result = result)
}

# Draws in the usual probit parametrization: the slope of father's status and
# the thresholds "1|2" ... "7|8" on a latent scale with sd 1.
probit_scale <- function(draws) {
  t <- draws[, "t"]
  inner <- cbind(0, draws[, grep("^c[0-9]+$", colnames(draws)), drop = FALSE], op_top_cutpoint)
  thresholds <- t * (inner - draws[, "intercept"])
  colnames(thresholds) <- paste0(seq_len(ncol(inner)), "|", seq_len(ncol(inner)) + 1L)
  cbind(father = t * draws[, "father"], thresholds)
}
