# What every fuzz call shares: running one call and recording how it ended,
# detecting arguments changed in place, reading counts the way the entries
# do, and the rounding allowance of the contract checks.

# Runs `thunk` and returns list(value, error, warnings): error is the R error
# message or NULL; warnings are muffled and collected.
fuzz_invoke <- function(thunk) {
  warnings <- character()
  outcome <- withCallingHandlers(
    tryCatch(list(value = thunk(), error = NULL),
             error = function(e) list(value = NULL, error = conditionMessage(e))),
    warning = function(w) {
      warnings <<- c(warnings, conditionMessage(w))
      invokeRestart("muffleWarning")
    })
  outcome$warnings <- warnings
  outcome
}

# A private copy of every argument, taken before the call.
fuzz_snapshot <- function(args) unserialize(serialize(args, NULL))

# Indices of the arguments that differ from their snapshot, bit for bit
# (NaN payloads and the sign of zero included). Functions, environments,
# symbols and expressions are not data the entries could write to.
fuzz_changed_args <- function(before, after) {
  data <- function(x) is.atomic(x) || is.list(x)
  which(vapply(seq_along(after), function(i) {
    data(after[[i]]) && !identical(before[[i]], after[[i]], num.eq = FALSE, single.NA = FALSE)
  }, TRUE))
}

# The count an entry reads with Rf_asInteger: the first element, coerced;
# NA for an empty vector or a value outside the integer range.
fuzz_as_count <- function(x) {
  if (!is.atomic(x) || length(x) == 0L || is.raw(x) || is.factor(x)) return(NA_integer_)
  suppressWarnings(as.integer(unclass(x)[1L]))
}

# The real scalar an entry reads with Rf_asReal.
fuzz_as_real <- function(x) {
  if (!is.atomic(x) || length(x) == 0L || is.raw(x) || is.factor(x)) return(NA_real_)
  suppressWarnings(as.double(unclass(x)[1L]))
}

# Rounding allowance of a value computed as a few double operations on
# operands of the given magnitudes (non-finite ones ignored).
fuzz_tolerance <- function(...) {
  magnitudes <- abs(c(...))
  magnitudes <- magnitudes[is.finite(magnitudes)]
  16 * .Machine$double.eps * max(c(magnitudes, 0)) + 1e-300
}

# TRUE when x lies in [lower - tol, upper + tol]; NA limits do not restrict.
fuzz_within <- function(x, lower, upper, tol) {
  (is.na(lower) || x >= lower - tol) && (is.na(upper) || x <= upper + tol)
}

# What the entries accept as a double vector of at least `length` elements.
fuzz_is_doubles <- function(x, length) typeof(x) == "double" && length(x) >= length
