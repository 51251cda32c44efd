# The benchmark of `make bench`: every entry next to its R peers, in one R
# process so that the ratios hold on a loaded machine. Prints one report:
#
#   1. trunomcall (quorval: C library stream; quorval2: R's generator), ns per
#      draw for n = 1e6, next to truncnorm::rtruncnorm, msm::rtnorm and
#      stats::rnorm, and next to the floor: the expected number of rejection
#      attempts per accepted draw (computed for the coarse uniforms) times two
#      rand() calls, the randomness an attempt cannot do without, timed here
#      through rand() with its lock. quorval reads the same stream checked out,
#      without the lock (core/c_stream.h), so it can go below that floor; the
#      native micro-benchmark times a value both ways (BM_Stream*).
#   2. mvtrnorms next to tmvtnorm::rtmvnorm(algorithm = "gibbs") on the same
#      ordered target, microseconds per sweep, 100 sweeps per call.
#   3. One quorval call (cutpoint update), K = 9, N = 3498 and 1e5, with all
#      means distinct and with 8 distinct means, next to plain evaluation.
# The ordinal probit samplers (effective samples per second) are compared by
# bench/oprobit_ess.R, which `make bench` runs after this script.
#
# Every figure is a median over QV_BENCH_RUNS runs (default 5), the runs of
# all contenders interleaved so that they see the same load, after one
# untimed run of each.
#
# Fresh memory is slow here: the first touch of the pages of an 8 MB vector
# costs about 25 ns per element, more than a draw. glibc's malloc hands large
# blocks back to the system and maps them anew, so such costs would land on
# whichever contender allocates next. `make bench` therefore runs this script
# with MALLOC_MMAP_THRESHOLD_=33554432 and MALLOC_TRIM_THRESHOLD_=4294967296:
# R's heap keeps the pages it has grown to, and every contender is timed in
# that steady state. The report says whether they were set.
# Usage: Rscript bench/run_all.R   (the package from $QV_RLIB, default
# build/rlib; the native test helper from $QV_BUILD_DIR, default build/)

options(width = 160, warn = 1)
build <- normalizePath(Sys.getenv("QV_BUILD_DIR", "build"), mustWork = TRUE)
runs <- as.integer(Sys.getenv("QV_BENCH_RUNS", "5"))
suppressPackageStartupMessages(library(quorval, lib.loc = Sys.getenv("QV_RLIB", file.path(build, "rlib"))))
helper <- file.path(build, "tests", "qvtesthelper.so")
if (file.exists(helper)) dyn.load(helper, local = TRUE)
peers <- c("truncnorm", "msm", "tmvtnorm")
have <- vapply(peers, function(p) suppressPackageStartupMessages(requireNamespace(p, quietly = TRUE)), NA)
if (!all(have)) {
  cat(sprintf("peers missing (%s): their columns stay empty; `make bench` installs them\n",
              paste(peers[!have], collapse = ", ")))
}
started <- proc.time()[["elapsed"]]

# Wall-clock seconds of f(), to the microsecond (proc.time() resolves 1 ms).
seconds <- function(f) {
  t0 <- Sys.time()
  f()
  as.double(Sys.time()) - as.double(t0)
}
# Runs every contender once per round, `runs` rounds; median seconds each.
# A first, untimed round brings each to its steady state: here the first
# allocations of a new size cost far more than the draws (fresh pages, about
# 25 ns per element of an 8 MB vector) until R's heap has grown to hold them.
interleaved <- function(contenders, rounds = runs) {
  for (k in names(contenders)) contenders[[k]]()
  times <- matrix(NA_real_, rounds, length(contenders), dimnames = list(NULL, names(contenders)))
  for (r in seq_len(rounds)) for (k in names(contenders)) {
    gc(FALSE)  # untimed: a collection then falls less often inside a timing
    times[r, k] <- seconds(contenders[[k]])
  }
  apply(times, 2L, median)
}

# ---- the floor: one rand() and one R uniform ---------------------------------
floor_calls <- 1e7
if (!is.loaded("qvt_rand_loop")) stop("the floor is timed through ", helper, ": build it with `make build`")
floor_times <- interleaved(list(
  rand = function() .Call("qvt_rand_loop", floor_calls),
  unif_rand = function() .Call("qvt_unif_rand_loop", floor_calls)), rounds = max(runs, 5L))
rand_ns <- floor_times[["rand"]] / floor_calls * 1e9
unif_ns <- floor_times[["unif_rand"]] / floor_calls * 1e9

# ---- expected random numbers per accepted draw ---------------------------------
# The coarse acceptance uniform k / 32768 passes a log-ratio r when k = 0 and
# r >= 0, or when ln(k / 32768) <= r: count the k that pass.
coarse_logs <- log(seq_len(32767) / 32768)
coarse_pass <- function(r) ((r >= 0) + findInterval(r, coarse_logs)) / 32768
shape_log_ratio <- function(z, a, b) {
  if (b < 0) (b * b - z * z) * 0.5 else if (a > 0) (a * a - z * z) * 0.5 else -z * z * 0.5
}
# Middle case: the 32768 proposals on the grid, each with its exact chance.
middle_acceptance <- function(a, b, coarse = TRUE) {
  if (coarse) {
    z <- a + (b - a) * (0:32767 * 2^-15)
    return(mean(coarse_pass(shape_log_ratio(z, a, b))))
  }
  peak <- if (b < 0) b else if (a > 0) a else 0
  mass <- if (a > 0) pnorm(a, lower.tail = FALSE) - pnorm(b, lower.tail = FALSE) else pnorm(b) - pnorm(a)
  mass / ((b - a) * dnorm(peak))
}
# Exponential tail above x >= 0: proposals x + E / alpha over a fine grid of
# exponential quantiles (the exponential deviate is 1e-9 fine).
exponential_acceptance <- function(x, coarse = TRUE) {
  alpha <- 0.5 * x + 0.5 * sqrt(x * x + 4)
  e <- -log((seq_len(2e5) - 0.5) / 2e5)
  d <- x + e / alpha - alpha
  r <- -d * d * 0.5
  if (coarse) mean(coarse_pass(r)) else mean(exp(r))
}
# Rejection attempts per accepted draw. An attempt takes two random numbers:
# proposal and acceptance uniform in the middle, the rand() seed of the
# exponential deviate and the acceptance uniform in the tails; an unbounded
# draw is one attempt (the seed of the normal deviate and the polar pair).
attempts_per_draw <- function(a, b, coarse = TRUE) {
  if (b >= 8 && a == -Inf) return(1)
  if (b >= 8) return(1 / exponential_acceptance(a, coarse))
  if (a <= -8) return(1 / exponential_acceptance(-b, coarse))
  1 / middle_acceptance(a, b, coarse)
}
# Per-element bounds (all in the middle case here): the continuous chance,
# which the grid of 32768 proposals matches to about 1e-4.
middle_acceptance_vector <- function(a, b) {
  peak <- ifelse(b < 0, b, ifelse(a > 0, a, 0))
  mass <- ifelse(a > 0, pnorm(a, lower.tail = FALSE) - pnorm(b, lower.tail = FALSE), pnorm(b) - pnorm(a))
  p <- mass / ((b - a) * dnorm(peak))
  p[b - a == 0] <- 1
  p
}

# ---- 1. trunomcall --------------------------------------------------------------
n <- 1e6
regimes <- list("[-1, 1]" = c(-1, 1), "[-0.1, 0.1]" = c(-0.1, 0.1), "[-7.9, 7.9]" = c(-7.9, 7.9),
                "[0, Inf)" = c(0, Inf), "[2, Inf)" = c(2, Inf), "[4, Inf)" = c(4, Inf),
                "[10, Inf)" = c(10, Inf), "(-Inf, -4]" = c(-Inf, -4), "(-Inf, Inf)" = c(-Inf, Inf),
                "[1, 1.5]" = c(1, 1.5), "[3, 3.5]" = c(3, 3.5), "varied" = NULL)
set.seed(20240)
varied_lo <- stats::rnorm(n)
varied_hi <- varied_lo + stats::rexp(n)
zeros <- numeric(n)
ones <- rep(1, n)
# An exponential-tail attempt also takes one step of the generator and a
# logarithm (the deviate -ln u): floor_exp times that attempt as a whole.
expdev_address <- getNativeSymbolInfo("expdev", "quorval")$address
trunomcall_rows <- lapply(names(regimes), function(name) {
  b <- regimes[[name]]
  varied <- is.null(b)
  # Exponential tails: [a, Inf) with a > -Inf and (-Inf, b] with b < 8.
  tail <- !varied && ((b[2] >= 8 && b[1] > -Inf) || (b[1] <= -8 && b[2] < 8))
  lo <- if (varied) varied_lo else rep(b[1], n)
  hi <- if (varied) varied_hi else rep(b[2], n)
  a1 <- if (varied) varied_lo else b[1]
  b1 <- if (varied) varied_hi else b[2]
  # The floor is timed in the same rounds: one attempt's two rand() (and two
  # unif_rand()) per element, so that a row's ratios see the same load.
  contenders <- list(
    rand2 = function() .Call("qvt_rand_loop", 2 * n),
    unif2 = function() .Call("qvt_unif_rand_loop", 2 * n),
    exp_attempt = if (tail) function() .Call("qvt_exponential_attempt_loop", expdev_address, n),
    quorval = function() .Call("trunomcall", n, zeros, ones, lo, hi, PACKAGE = "quorval"),
    quorval2 = function() .Call("trunomcall", n, zeros, ones, lo, hi, PACKAGE = "quorval2"),
    truncnorm = if (have[["truncnorm"]]) function() truncnorm::rtruncnorm(n, a1, b1, 0, 1),
    rnorm = function() stats::rnorm(n))
  contenders <- contenders[!vapply(contenders, is.null, NA)]
  ns <- interleaved(contenders) / n * 1e9
  # msm, ten to thirty times slower and with many large temporaries of its
  # own, runs after the others' rounds so that its memory use stays out of
  # their timings.
  if (have[["msm"]]) ns <- c(ns, interleaved(list(msm = function() msm::rtnorm(n, 0, 1, a1, b1))) / n * 1e9)
  attempts <- if (varied) {
    mean(1 / middle_acceptance_vector(varied_lo, varied_hi))
  } else attempts_per_draw(b[1], b[2])
  attempts_r <- if (varied) attempts else attempts_per_draw(b[1], b[2], coarse = FALSE)
  data.frame(regime = name, attempts = attempts, floor = attempts * ns[["rand2"]],
             floor_exp = if (tail) attempts * ns[["exp_attempt"]] else NA_real_,
             quorval = ns[["quorval"]], quorval2 = ns[["quorval2"]],
             floor_r = attempts_r * ns[["unif2"]],
             truncnorm = if ("truncnorm" %in% names(ns)) ns[["truncnorm"]] else NA_real_,
             msm = if ("msm" %in% names(ns)) ns[["msm"]] else NA_real_, rnorm = ns[["rnorm"]])
})
trunomcall_table <- do.call(rbind, trunomcall_rows)

# ---- 2. mvtrnorms ---------------------------------------------------------------
# Target: lower end -Inf, upper end 3; A with 1 on the diagonal and 0.3 next to
# it. mvtrnorms's conditionals are those of the normal with precision
# Q = 2 diag(A) - A and mean mu = Q^-1 b, b = -(A - diag(A)) m, restricted to
# x[1] <= ... <= x[n] <= 3. That order is the linear constraint
# lower <= D x <= upper with the square, invertible D whose rows are
# x[k+1] - x[k] >= 0 (k < n) and x[n] <= 3. tmvtnorm gets it two ways:
#   rtmvnorm:  the equivalent box problem z = D x ~ N(D mu, precision
#              D^-T Q D^-1), lower <= z <= upper, by its Gibbs sampler on z
#              (argument H), and x = D^-1 z afterwards (timed too). rtmvnorm's
#              own D argument refuses ordered start values here.
#   rtmvnorm2: its Gibbs sampler for linear constraints, on x with D.
# All start from the same ordered state; a draw that is not finite and in
# order marks the peer's figure as failed ("fail").
ordered_target <- function(n) {
  A <- diag(n)
  A[abs(row(A) - col(A)) == 1] <- 0.3
  m <- seq(-1, 1, length.out = n)
  Q <- 2 * diag(diag(A)) - A
  b <- -drop((A - diag(diag(A))) %*% m)
  D <- diag(n)
  D[cbind(1:(n - 1), 2:n)] <- 1
  D[cbind(1:(n - 1), 1:(n - 1))] <- -1
  D_inverse <- solve(D)
  mu <- solve(Q, b)
  list(A = A, m = m, start = c(-Inf, seq(-2, 2, length.out = n), 3), sigma = solve(Q), mean = mu,
       D = D, D_inverse = D_inverse, z_mean = drop(D %*% mu), z_precision = t(D_inverse) %*% Q %*% D_inverse,
       lower = c(rep(0, n - 1), -Inf), upper = c(rep(Inf, n - 1), 3))
}
in_order <- function(draws) all(is.finite(draws)) && all(apply(draws, 1L, function(v) !is.unsorted(v) && v[length(v)] <= 3))
sweeps_per_call <- 100L
long_sweeps <- 1e4
mvtrnorms_rows <- lapply(c(5L, 10L, 19L, 50L), function(n) {
  tg <- ordered_target(n)
  x <- .Call("mvtrnorms", tg$A, tg$m, tg$start, n, 1000L, PACKAGE = "vaskor")
  start <- sort(x[2:(n + 1)])
  start_z <- drop(tg$D %*% start)
  ours_calls <- 400L
  theirs_calls <- 20L
  box <- function(sweeps) suppressWarnings(tmvtnorm::rtmvnorm(sweeps, mean = tg$z_mean, H = tg$z_precision,
    lower = tg$lower, upper = tg$upper, algorithm = "gibbs", burn.in.samples = 0, thinning = 1,
    start.value = start_z)) %*% t(tg$D_inverse)
  # (suppressWarnings: tmvtnorm's own argument checks warn under R >= 4.2)
  linear <- function(sweeps) suppressWarnings(tmvtnorm::rtmvnorm2(sweeps, mean = tg$mean, sigma = tg$sigma,
    lower = tg$lower, upper = tg$upper, D = tg$D, algorithm = "gibbs", burn.in.samples = 0,
    thinning = 1, start.value = start))
  valid <- c(rtmvnorm = NA, rtmvnorm2 = NA)
  contenders <- list(
    mvtrnorms = function() for (k in seq_len(ours_calls)) {
      x <<- .Call("mvtrnorms", tg$A, tg$m, x, n, sweeps_per_call, PACKAGE = "vaskor")
    },
    mvtrnorms_long = function() .Call("mvtrnorms", tg$A, tg$m, x, n, long_sweeps, PACKAGE = "vaskor"))
  if (have[["tmvtnorm"]]) {
    valid[["rtmvnorm"]] <- in_order(box(2000L))
    valid[["rtmvnorm2"]] <- in_order(linear(2000L))
    contenders$rtmvnorm <- function() for (k in seq_len(theirs_calls)) box(sweeps_per_call)
    contenders$rtmvnorm2 <- function() for (k in seq_len(theirs_calls)) linear(sweeps_per_call)
    contenders$rtmvnorm_long <- function() box(long_sweeps)
  }
  s <- interleaved(contenders)
  us <- function(k, sweeps) if (k %in% names(s)) s[[k]] / sweeps * 1e6 else NA_real_
  data.frame(n = n, mvtrnorms = us("mvtrnorms", ours_calls * sweeps_per_call),
             rtmvnorm = us("rtmvnorm", theirs_calls * sweeps_per_call),
             rtmvnorm2 = us("rtmvnorm2", theirs_calls * sweeps_per_call),
             rtmvnorm_ok = valid[["rtmvnorm"]], rtmvnorm2_ok = valid[["rtmvnorm2"]],
             mvtrnorms_long = us("mvtrnorms_long", long_sweeps), rtmvnorm_long = us("rtmvnorm_long", long_sweeps))
})
mvtrnorms_table <- do.call(rbind, mvtrnorms_rows)

# ---- 3. quorval -------------------------------------------------------------------
# Simulated ordinal probit data, every category in use; the same observations
# once with all means distinct and once with a categorical covariate (means
# rounded to 8 values). Plain evaluation for reference: the four norm values
# of each counted observation (two terms under each cutpoint vector, the
# proposed ones from earlier calls), one by one through the test helper, and
# the two logarithms per observation.
quorval_ms <- do.call(rbind, lapply(c(3498L, 100000L), function(N) {
  K <- 9L
  set.seed(42)
  cutpoints <- c(-Inf, 0, 0.5, 1, 1.5, 2, 2.5, 3, Inf)
  t <- 1.25
  distinct <- stats::rnorm(N, 1.5, 1)
  y <- findInterval(distinct + stats::rnorm(N) / t, cutpoints[2:(K - 1)]) + 1L
  grouped <- pmin(pmax(round(distinct * 2) / 2, -0.5), 3)
  calls <- max(4L, as.integer(7e5 / N))
  block <- function(m) function() for (i in seq_len(calls)) {
    .Call("quorval", N, K, y, cutpoints, m, t, 4, PACKAGE = "quorval")
  }
  counted <- y != 1L & y != K - 1L
  # The arguments of norm under proposals such as the calls draw (the cost
  # of norm depends on its argument): the upper ends under the proposal and
  # under the current cutpoints, then the lower ends, of every counted
  # observation.
  yc <- y[counted]
  mc <- distinct[counted]
  ends <- lapply(seq_len(calls), function(i) {
    p <- .Call("quorval", N, K, y, cutpoints, distinct, t, 4, PACKAGE = "quorval")[seq_len(K)]
    c(t * (p[yc + 1L] - mc), t * (cutpoints[yc + 1L] - mc), t * (p[yc] - mc), t * (cutpoints[yc] - mc))
  })
  norm_address <- getNativeSymbolInfo("norm", "quorval")$address
  plain <- function() for (e in ends) {
    f <- .Call("qvt_call_d_d", norm_address, e)
    h <- length(f) / 2L
    log(f[seq_len(h)] - f[h + seq_len(h)])
  }
  contenders <- list(grouped = block(grouped), distinct = block(distinct))
  if (is.loaded("qvt_call_d_d")) contenders$plain <- plain
  s <- interleaved(contenders) / calls * 1e3
  data.frame(N = N, counted = sum(counted), groups = length(unique(grouped)), grouped = s[["grouped"]],
             distinct = s[["distinct"]], plain = if ("plain" %in% names(s)) s[["plain"]] else NA_real_)
}))

# ---- the report ---------------------------------------------------------------------
f1 <- function(x) ifelse(is.na(x), "-", sprintf("%.1f", x))
f2 <- function(x) ifelse(is.na(x), "-", sprintf("%.2f", x))
tt <- trunomcall_table
cat(sprintf("\nMedians of %d interleaved runs; R %s.%s; %s\n", runs, R.version$major, R.version$minor,
            sub("^.*: ", "", grep("^model name", readLines("/proc/cpuinfo"), value = TRUE)[1])))
cat(sprintf("glibc malloc: MALLOC_MMAP_THRESHOLD_=%s, MALLOC_TRIM_THRESHOLD_=%s\n",
            Sys.getenv("MALLOC_MMAP_THRESHOLD_", "(unset)"), Sys.getenv("MALLOC_TRIM_THRESHOLD_", "(unset)")))
cat(sprintf("Floor: rand() %.1f ns (with its lock), R's unif_rand() %.1f ns, each timed here in a plain loop of %g calls\n",
            rand_ns, unif_ns, floor_calls))
cat("       quorval reads the rand() stream checked out, without the lock: the native micro-benchmark below\n",
    "      gives ns per value both ways (BM_StreamWithLock, BM_StreamCheckedOut)\n", sep = "")
cat(sprintf("       (section 1 times them again within each row: rand() %.1f to %.1f ns)\n",
            min(trunomcall_table$floor / trunomcall_table$attempts) / 2,
            max(trunomcall_table$floor / trunomcall_table$attempts) / 2))
cat(sprintf("\n1. trunomcall, n = %g: ns per draw\n", n))
print(data.frame(
  regime = tt$regime, attempts = f2(tt$attempts), floor = f1(tt$floor), quorval = f1(tt$quorval),
  `/floor` = f2(tt$quorval / tt$floor), floor_exp = f1(tt$floor_exp), `/floor_exp` = f2(tt$quorval / tt$floor_exp),
  floor2 = f1(tt$floor_r), quorval2 = f1(tt$quorval2), `/floor2` = f2(tt$quorval2 / tt$floor_r),
  truncnorm = f1(tt$truncnorm), msm = f1(tt$msm), rnorm = f1(tt$rnorm),
  `truncnorm/quorval` = f2(tt$truncnorm / tt$quorval), check.names = FALSE), row.names = FALSE, right = TRUE)
cat("   attempts: expected rejection attempts per accepted draw (exact for the coarse uniforms); floor = attempts x\n",
    "  two rand(); floor_exp (tails) = attempts x (rand(), expdev, rand()); floor2 = attempts (continuous uniforms) x\n",
    "  two unif_rand(), quorval2's floor; all timed in the row's rounds\n",
    sep = "")

mt <- mvtrnorms_table
# The peer's figure to beat: the faster of its two ways that gave valid draws.
fig <- function(x, ok) ifelse(is.na(x), "-", ifelse(ok, sprintf("%.2f", x), sprintf("%.2f fail", x)))
mt$peer <- pmin(ifelse(mt$rtmvnorm_ok, mt$rtmvnorm, Inf), ifelse(mt$rtmvnorm2_ok, mt$rtmvnorm2, Inf))
mt$peer[!is.finite(mt$peer)] <- NA_real_
cat("\n2. mvtrnorms vs tmvtnorm's Gibbs sampler on the same ordered target: us per sweep\n")
print(data.frame(n = mt$n, mvtrnorms = f2(mt$mvtrnorms), rtmvnorm = fig(mt$rtmvnorm, mt$rtmvnorm_ok),
                 rtmvnorm2 = fig(mt$rtmvnorm2, mt$rtmvnorm2_ok), `ours/peer` = f2(mt$mvtrnorms / mt$peer),
                 `mvtrnorms 1e4` = f2(mt$mvtrnorms_long), `rtmvnorm 1e4` = fig(mt$rtmvnorm_long, mt$rtmvnorm_ok),
                 check.names = FALSE), row.names = FALSE, right = TRUE)
cat(sprintf("   %d sweeps per call (\"1e4\": one call of 10000 sweeps); rtmvnorm on z = D x with H, rtmvnorm2 with D;\n", sweeps_per_call),
    "  ours/peer against the faster valid one; \"fail\": draws not finite or not in order\n", sep = "")

q <- quorval_ms
cat("\n3. quorval, K = 9: ms per call (plain evaluation: 4 norm + 2 log per counted observation)\n")
print(data.frame(N = q$N, counted = q$counted, `8 distinct means` = sprintf("%.3f", q$grouped),
                 `all distinct` = sprintf("%.3f", q$distinct), plain = sprintf("%.3f", q$plain),
                 `distinct/plain` = f2(q$distinct / q$plain), check.names = FALSE), row.names = FALSE, right = TRUE)

row <- function(r) tt[tt$regime == r, ]
q1 <- q[q$N == 3498L, ]
targets <- data.frame(
  target = c("trunomcall <= 1.15 x floor (rand() with its lock), every regime", "truncnorm / quorval >= 3 at [-1, 1]",
             "truncnorm / quorval >= 2 at [0, Inf)", "truncnorm / quorval >= 2, varied bounds",
             "truncnorm / quorval >= 1 at [-7.9, 7.9]", "mvtrnorms / tmvtnorm <= 0.5, n = 5, 19, 50",
             "quorval call <= 0.3 ms, few distinct means", "quorval call <= plain, all distinct"),
  measured = c(sprintf("worst %.2f (%s)", max(tt$quorval / tt$floor), tt$regime[which.max(tt$quorval / tt$floor)]),
               f2(row("[-1, 1]")$truncnorm / row("[-1, 1]")$quorval),
               f2(row("[0, Inf)")$truncnorm / row("[0, Inf)")$quorval),
               f2(row("varied")$truncnorm / row("varied")$quorval),
               f2(row("[-7.9, 7.9]")$truncnorm / row("[-7.9, 7.9]")$quorval),
               paste(f2((mt$mvtrnorms / mt$peer)[mt$n %in% c(5, 19, 50)]), collapse = ", "),
               sprintf("%.3f", q1$grouped),
               paste(sprintf("%.3f vs %.3f", q$distinct, q$plain), collapse = "; ")),
  met = c(all(tt$quorval / tt$floor <= 1.15),
          row("[-1, 1]")$truncnorm / row("[-1, 1]")$quorval >= 3,
          row("[0, Inf)")$truncnorm / row("[0, Inf)")$quorval >= 2,
          row("varied")$truncnorm / row("varied")$quorval >= 2,
          row("[-7.9, 7.9]")$truncnorm / row("[-7.9, 7.9]")$quorval >= 1,
          all((mt$mvtrnorms / mt$peer)[mt$n %in% c(5, 19, 50)] <= 0.5),
          q1$grouped <= 0.3, all(q$distinct <= q$plain)))
targets$met <- ifelse(is.na(targets$met), "n/a", ifelse(targets$met, "yes", "NO"))
cat("\nTargets\n")
print(targets, row.names = FALSE, right = FALSE)
cat(sprintf("\n(bench: %.0f s)\n", proc.time()[["elapsed"]] - started))
