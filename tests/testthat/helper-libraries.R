# The libraries under test: the installed package's (system.file("libs")),
# or those in $QV_LIBS_DIR (the fuzz campaign's batches set it to a CMake
# build). Also the native test helper: $QV_TEST_HELPER, or the CMake build's
# when $QV_BUILD_DIR has it, else compiled here from tests/helper.
qv_libs_dir <- function() {
  dir <- Sys.getenv("QV_LIBS_DIR")
  if (nzchar(dir)) dir else system.file("libs", package = "quorval", mustWork = TRUE)
}

qv_lib_path <- function(name) file.path(qv_libs_dir(), paste0(name, ".so"))

qv_load <- function(name, local = TRUE) {
  if (!is.loaded("trunomcall", PACKAGE = name)) {
    dyn.load(qv_lib_path(name), local = local)
  }
  invisible(name)
}

qv_helper_path <- local({
  path <- NULL
  function() {
    if (!is.null(path)) return(path)
    given <- Sys.getenv("QV_TEST_HELPER")
    if (nzchar(given)) return(path <<- given)
    built <- file.path(Sys.getenv("QV_BUILD_DIR", "build"), "tests", "qvtesthelper.so")
    if (file.exists(built)) return(path <<- normalizePath(built))
    dir <- tempfile("qvtesthelper")
    dir.create(dir)
    file.copy(file.path(testthat::test_path(), "..", "helper", "qv_test_helper.cpp"), dir)
    status <- withr_dir(dir, system2(file.path(R.home("bin"), "R"),
                                     c("CMD", "SHLIB", "-o", "qvtesthelper.so", "qv_test_helper.cpp"),
                                     stdout = FALSE, stderr = FALSE))
    if (status != 0) stop("could not compile the native test helper tests/helper/qv_test_helper.cpp")
    path <<- file.path(dir, "qvtesthelper.so")
  }
})

withr_dir <- function(dir, expr) {
  old <- setwd(dir)
  on.exit(setwd(old))
  force(expr)
}

if (!is.loaded("qvt_srand", PACKAGE = "qvtesthelper")) dyn.load(qv_helper_path())

# Fixes the C library stream (srand from native code).
c_srand <- function(seed) invisible(.Call("qvt_srand", as.integer(seed), PACKAGE = "qvtesthelper"))
# The next raw rand() values (31 bits).
c_rand <- function(count = 1L) .Call("qvt_rand", as.integer(count), PACKAGE = "qvtesthelper")

# Number of rand() values consumed by `expr`, evaluated on a stream fixed at `seed`.
rand_consumed <- function(seed, expr, lookahead = 100000L) {
  c_srand(seed)
  ahead <- c_rand(lookahead)
  c_srand(seed)
  force(expr)
  match(c_rand(1L), ahead) - 1L
}

native <- function(symbol, library) getNativeSymbolInfo(symbol, PACKAGE = library)$address

call_d_d <- function(symbol, library, x) .Call("qvt_call_d_d", native(symbol, library), as.double(x), PACKAGE = "qvtesthelper")
call_d_f <- function(symbol, library, x) .Call("qvt_call_d_f", native(symbol, library), as.double(x), PACKAGE = "qvtesthelper")
call_dd_d <- function(symbol, library, a, b) .Call("qvt_call_dd_d", native(symbol, library), as.double(a), as.double(b), PACKAGE = "qvtesthelper")
call_fddf <- function(symbol, library, a, x) .Call("qvt_call_fddf", native(symbol, library), as.double(a), as.double(x), PACKAGE = "qvtesthelper")
call_seeded <- function(symbol, library, seed, count) .Call("qvt_call_seeded", native(symbol, library), as.integer(seed), as.integer(count), PACKAGE = "qvtesthelper")
call_text <- function(symbol, library, text) .Call("qvt_call_text", native(symbol, library), as.character(text), PACKAGE = "qvtesthelper")

# Runs R code in a child Rscript; returns its exit status, stdout and stderr.
run_child <- function(code, timeout = 60) {
  script <- tempfile(fileext = ".R")
  out <- tempfile(); err <- tempfile()
  writeLines(c(sprintf("build <- %s", deparse(qv_libs_dir())),
               sprintf("helper <- %s", deparse(qv_helper_path())), code), script)
  status <- system2(file.path(R.home("bin"), "Rscript"), script, stdout = out, stderr = err,
                    timeout = timeout)
  list(status = status, stdout = readLines(out, warn = FALSE), stderr = readLines(err, warn = FALSE))
}

# Exact distribution function of the standard normal truncated to [a, b].
ptrunc <- function(q, a, b) {
  lower <- pnorm(a); mass <- pnorm(b) - lower
  if (mass > 1e-8) return(pmin(pmax((pnorm(q) - lower) / mass, 0), 1))
  # Far tails: work on the log scale to keep precision.
  if (a >= 0) {
    lq <- pnorm(pmax(pmin(q, b), a), lower.tail = FALSE, log.p = TRUE)
    la <- pnorm(a, lower.tail = FALSE, log.p = TRUE)
    lb <- pnorm(b, lower.tail = FALSE, log.p = TRUE)
    return((1 - exp(lq - la)) / (1 - exp(lb - la)))
  }
  lq <- pnorm(pmax(pmin(q, b), a), log.p = TRUE)
  la <- pnorm(a, log.p = TRUE); lb <- pnorm(b, log.p = TRUE)
  (exp(lq - lb) - exp(la - lb)) / (1 - exp(la - lb))
}

# Kolmogorov distance of a sample from a distribution function, and the
# Dvoretzky-Kiefer-Wolfowitz bound it stays below except with `failure` chance.
kolmogorov_distance <- function(x, cdf) {
  x <- sort(x)
  n <- length(x)
  f <- cdf(x)
  max(pmax(seq_len(n) / n - f, f - (seq_len(n) - 1) / n))
}

dkw_bound <- function(n, failure = 1e-6) sqrt(log(2 / failure) / (2 * n))
