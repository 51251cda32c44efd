# Cases for quorval's exported numerical routines: gammln, gser, gcf, gammp
# and norm, called through the test helper's trampolines. They round their
# arguments to single precision first, and so do the checks.

fuzz_float <- function(x) readBin(writeBin(as.double(x), raw(), size = 4), "double", size = 4)

args_gamma <- function() list(a = fuzz_double(), x = fuzz_double())
args_gammln <- function() list(xx = fuzz_double())
args_norm <- function() list(z = fuzz_double())

check_gammln <- function(args, outcome) {
  problems <- fuzz_expect(outcome, "success", "ln Gamma (it has no failure path)")
  if (length(problems)) return(problems)
  if (length(outcome$value) != 1L) return("not one value")
  character()
}

# A probability from a float computation: within [0, 1] up to float rounding.
fuzz_probability <- function(p, slack) !is.na(p) && p >= 0 && p <= 1 + slack

check_gser <- function(args, outcome) {
  a <- fuzz_float(args$a); x <- fuzz_float(args$x)
  # x = 0 returns P = 0 before a is used.
  must_fail <- is.na(x) || x < 0 || (x > 0 && is.na(a))
  problems <- fuzz_expect(outcome, if (must_fail) "error" else "either", "this a or x")
  if (length(problems) || !is.null(outcome$error)) return(problems)
  p <- outcome$value[1]
  if (x == 0 && !identical(p, 0)) return("x = 0 did not give P = 0")
  # The series is the method below x = a + 1; above it only surviving counts.
  if (a > 0 && x < a + 1 && !fuzz_probability(p, 1e-4)) return(sprintf("P = %a", p))
  character()
}

check_gcf <- function(args, outcome) {
  a <- fuzz_float(args$a); x <- fuzz_float(args$x)
  must_fail <- is.na(a) || is.na(x) || x == Inf
  problems <- fuzz_expect(outcome, if (must_fail) "error" else "either", "this a or x")
  if (length(problems) || !is.null(outcome$error)) return(problems)
  q <- outcome$value[1]
  # The continued fraction is the method from x = a + 1 up.
  if (a > 0 && x >= a + 1 && !fuzz_probability(q, 1e-4)) return(sprintf("Q = %a", q))
  character()
}

check_gammp <- function(args, outcome) {
  a <- fuzz_float(args$a); x <- fuzz_float(args$x)
  must_fail <- is.na(a) || is.na(x) || x < 0 || a <= 0 || x == Inf
  problems <- fuzz_expect(outcome, if (must_fail) "error" else "either", "this a or x")
  if (length(problems) || !is.null(outcome$error)) return(problems)
  if (!fuzz_probability(outcome$value, 1e-6)) return(sprintf("P = %a", outcome$value))
  character()
}

check_norm <- function(args, outcome) {
  z <- fuzz_float(args$z)
  y <- fuzz_float(z * (z * 0.5))
  problems <- fuzz_expect(outcome, fuzz_refused_or_success(is.na(z) || is.infinite(y)), "this z")
  if (length(problems) || !is.null(outcome$error)) return(problems)
  f <- outcome$value
  if (length(f) != 1L || is.na(f) || f < 0 || f > 2 || (z >= 0 && f < 1) || (z < 0 && f > 1)) {
    return(sprintf("norm(%a) = %a", args$z, f))
  }
  character()
}
