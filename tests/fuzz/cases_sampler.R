# Cases for the truncated normal entries (trunomcall of every library, the
# .C entry trunomc, the test entry stest) and the exported samplers onetn and
# trunom: how to draw their arguments and what every outcome must satisfy.
#
# A check gets the arguments and the outcome (value, error, warnings) and
# returns its complaints; none means the call kept its contract. An R error
# is counted and accepted, except where the contract says the call must
# succeed; where the documented behaviour is an error, returning is a fault.

# Bound pairs that trunom refuses: out of order, or equal and infinite.
fuzz_refused_bounds <- function(as, bl) {
  !is.na(as) & !is.na(bl) & (as > bl | (as == bl & is.infinite(as)))
}

# `expected`: "error", "success" or "either" (any outcome is acceptable).
fuzz_expect <- function(outcome, expected, what) {
  if (expected == "error" && is.null(outcome$error)) {
    return(sprintf("returned where %s must be an R error", what))
  }
  if (expected == "success" && !is.null(outcome$error)) {
    return(sprintf("R error '%s' where %s must succeed", outcome$error, what))
  }
  character()
}

# Refused when `refused`, else must succeed.
fuzz_refused_or_success <- function(refused) if (refused) "error" else "success"

# Lower and upper bounds: mostly in order, sometimes reversed or equal.
fuzz_bound_pair <- function(length, near = FALSE) {
  lo <- fuzz_doubles(length, near = near)
  hi <- lo + abs(fuzz_doubles(length, special = 0.2, near = near))
  flip <- runif(length) < 0.15
  hi[flip] <- fuzz_doubles(sum(flip), near = near)
  same <- runif(length) < 0.05
  hi[same] <- lo[same]
  list(lo = lo, hi = hi)
}

# ---- trunomcall(n, m, s, lo, hi) -------------------------------------------

args_trunomcall <- function() {
  size <- fuzz_size()
  bounds <- fuzz_bound_pair(size, near = TRUE)
  s <- abs(fuzz_doubles(size))
  negative <- runif(size) < 0.1
  s[negative] <- -s[negative]
  slot <- function(x) {
    if (runif(1) < 0.04) return(fuzz_wrong_type(size))
    length(x) <- min(fuzz_length(size), length(x))
    if (runif(1) < 0.05) x <- c(x, fuzz_doubles(2))
    x
  }
  list(n = if (runif(1) < 0.8) size else fuzz_count(size),
       m = slot(fuzz_doubles(size)), s = slot(s), lo = slot(bounds$lo), hi = slot(bounds$hi))
}

standardised_trunomcall <- function(args) {
  n <- fuzz_as_count(args$n)
  if (is.na(n) || n < 0 || !all(vapply(args[2:5], fuzz_is_doubles, TRUE, n))) return(NULL)
  i <- seq_len(n)
  m <- args$m[i]; s <- args$s[i]
  list(n = n, m = m, s = s, lo = args$lo[i], hi = args$hi[i],
       as = s * (args$lo[i] - m), bl = s * (args$hi[i] - m))
}

slow_trunomcall <- function(args) {
  b <- standardised_trunomcall(args)
  !is.null(b) && fuzz_slow_bounds(b$as, b$bl)
}

check_trunomcall <- function(args, outcome) {
  b <- standardised_trunomcall(args)
  if (is.null(b)) return(fuzz_expect(outcome, "error", "a bad count or argument vector"))
  refused <- fuzz_refused_bounds(b$as, b$bl)
  problems <- fuzz_expect(outcome, fuzz_refused_or_success(any(refused)), "this bound pair")
  if (length(problems) || !is.null(outcome$error)) return(problems)
  r <- outcome$value
  if (typeof(r) != "double" || length(r) != b$n) return("result is not a double vector of length n")
  for (i in seq_len(b$n)) {
    if (is.na(r[i])) {
      if (!(is.na(b$as[i]) || is.na(b$bl[i]) || b$s[i] == 0)) {
        problems <- c(problems, sprintf("element %d is NaN for bounds that are numbers", i))
      }
      next
    }
    # m + z / s with z in [as, bl]: the interval as standardised and mapped
    # back, which also covers [lo, hi] up to rounding.
    implied <- b$m[i] + c(b$as[i], b$bl[i]) / b$s[i]
    ends <- c(b$lo[i], b$hi[i], implied)
    tol <- fuzz_tolerance(b$m[i], ends)
    if (!fuzz_within(r[i], min(ends, na.rm = TRUE), max(ends, na.rm = TRUE), tol)) {
      problems <- c(problems, sprintf("element %d = %a lies outside its interval", i, r[i]))
    }
  }
  if (anyNA(r) && !"NAs produced" %in% outcome$warnings) {
    problems <- c(problems, "NaN in the result without the warning 'NAs produced'")
  }
  problems
}

# quorval2's trunomcall draws on R's generator: a call that ends in an R
# error leaves R's stored seed (.Random.seed) where it was.
fuzz_seed_moved <- "[R's stored seed moved]"

call_trunomcall_r_stream <- function(args) {
  seed <- get0(".Random.seed", globalenv())
  tryCatch(do.call(".Call", c(list("trunomcall"), args, list(PACKAGE = "quorval2")), quote = TRUE),
           error = function(e) {
             message <- conditionMessage(e)
             if (!identical(seed, get0(".Random.seed", globalenv()))) message <- paste(fuzz_seed_moved, message)
             stop(message, call. = FALSE)
           })
}

check_trunomcall_r_stream <- function(args, outcome) {
  problems <- check_trunomcall(args, outcome)
  if (!is.null(outcome$error) && startsWith(outcome$error, fuzz_seed_moved)) {
    problems <- c(problems, "an R error moved R's stored seed")
  }
  problems
}

# ---- .C trunomc(n, a, b, out) ----------------------------------------------
# .C passes bare pointers, so only what it can be given safely is drawn: an
# integer count and double vectors of at least max(n, 0) elements; the
# values, NA count and NAOK are free.

args_trunomc <- function() {
  n <- if (runif(1) < 0.9) sample(-3:5, 1) else NA_integer_
  size <- max(if (is.na(n)) 0L else n, 0L) + sample(0:2, 1)
  bounds <- fuzz_bound_pair(size, near = TRUE)
  list(n = n, a = bounds$lo, b = bounds$hi, out = fuzz_doubles(size), naok = runif(1) < 0.85)
}

slow_trunomc <- function(args) {
  n <- max(if (is.na(args$n)) 0L else args$n, 0L)
  fuzz_slow_bounds(args$a[seq_len(n)], args$b[seq_len(n)])
}

call_trunomc <- function(args) {
  .C("trunomc", args$n, args$a, args$b, out = args$out, NAOK = args$naok, PACKAGE = "quorval")
}

check_trunomc <- function(args, outcome) {
  n <- max(if (is.na(args$n)) 0L else args$n, 0L)
  i <- seq_len(n)
  refused <- fuzz_refused_bounds(args$a[i], args$b[i])
  non_finite <- !all(is.finite(c(args$n, args$a, args$b, args$out)))
  problems <- fuzz_expect(outcome, fuzz_refused_or_success(any(refused) || (!args$naok && non_finite)),
                         "these bounds (or non-finite values without NAOK)")
  if (length(problems) || !is.null(outcome$error)) return(problems)
  r <- outcome$value
  if (!identical(unname(r[1:3]), list(args$n, args$a, args$b), num.eq = FALSE)) {
    problems <- c(problems, "wrote into its count or bounds")
  }
  out <- r$out
  if (length(out) != length(args$out)) return(c(problems, "output vector changed length"))
  if (!identical(out[-i], args$out[-i], num.eq = FALSE)) {
    problems <- c(problems, "wrote beyond the first n elements of out")
  }
  for (k in i) {
    nan_bounds <- is.na(args$a[k]) || is.na(args$b[k])
    if (is.na(out[k]) != nan_bounds) {
      problems <- c(problems, sprintf("out[%d] = %a for bounds %a, %a", k, out[k], args$a[k], args$b[k]))
    } else if (!nan_bounds && !(out[k] >= args$a[k] && out[k] <= args$b[k])) {
      problems <- c(problems, sprintf("out[%d] = %a outside [%a, %a]", k, out[k], args$a[k], args$b[k]))
    }
  }
  problems
}

# ---- stest(x) ----------------------------------------------------------------

args_stest <- function() list(x = fuzz_double_slot(3))

check_stest <- function(args, outcome) {
  x <- args$x
  problems <- fuzz_expect(outcome, fuzz_refused_or_success(!fuzz_is_doubles(x, 3)), "this argument")
  if (length(problems) || !is.null(outcome$error)) return(problems)
  expected <- c(x[1:2] + 1, rep(0, 8))
  if (!identical(outcome$value, expected, num.eq = FALSE)) problems <- "result is not x[1:2] + 1 and eight zeros"
  problems
}

# stest adds 1 to x[3] in place; nothing else of x changes.
after_stest <- function(before, outcome) {
  if (is.null(outcome$error) && fuzz_is_doubles(before$x, 3)) before$x[3] <- before$x[3] + 1
  before
}

# ---- exported samplers onetn(x), trunom(as, bl) -------------------------------

args_onetn <- function() list(x = fuzz_double(near = TRUE))

check_onetn <- function(args, outcome) {
  x <- args$x
  problems <- fuzz_expect(outcome, fuzz_refused_or_success(identical(x, Inf)), "a bound of +Inf")
  if (length(problems) || !is.null(outcome$error)) return(problems)
  z <- outcome$value
  if (length(z) != 1L) return("not one value")
  if (is.na(x)) return(if (is.na(z)) character() else "a bound that is not a number gave a number")
  if (!is.finite(z) || (x >= 0 && z < x) || (x < 0 && z <= x)) return(sprintf("draw %a not above %a", z, x))
  character()
}

args_trunom <- function() {
  bounds <- fuzz_bound_pair(1, near = TRUE)
  list(as = bounds$lo, bl = bounds$hi)
}

slow_trunom <- function(args) fuzz_slow_bounds(args$as, args$bl)

check_trunom <- function(args, outcome) {
  as <- args$as; bl <- args$bl
  problems <- fuzz_expect(outcome, fuzz_refused_or_success(fuzz_refused_bounds(as, bl)), "this bound pair")
  if (length(problems) || !is.null(outcome$error)) return(problems)
  z <- outcome$value
  if (length(z) != 1L) return("not one value")
  if (is.na(as) || is.na(bl)) return(if (is.na(z)) character() else "bounds that are not numbers gave a number")
  if (is.na(z) || z < as || z > bl) return(sprintf("draw %a outside [%a, %a]", z, as, bl))
  character()
}
