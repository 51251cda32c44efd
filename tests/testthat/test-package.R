# The installed package: loading, its shared objects, agreement with the CMake build.

test_that("the package loads, writes nothing into the global environment and unloads its libraries", {
  out <- run_child(c(
    sprintf(".libPaths(c(%s, .libPaths()))", deparse(dirname(find.package("quorval")))),
    "suppressPackageStartupMessages(library(quorval))",
    "c_stream_seed(3); invisible(rtruncnorm_qv(5, stream = 'r')); invisible(ordered_gibbs(1, 0, c(0, 0.5, 1)))",
    "cat(identical(setdiff(ls(globalenv(), all.names = TRUE), '.Random.seed'), c('build', 'helper')), '\\n')",
    "libs <- c('quorval', 'vaskor', 'quorval2', 'crandseed', 'oprobitchain')",
    "cat(all(libs %in% names(getLoadedDLLs())), '\\n')",
    "unloadNamespace('quorval')",
    "cat(any(libs %in% names(getLoadedDLLs())), '\\n')",
    "library(quorval); cat(length(rtruncnorm_qv(3)), '\\n')"))
  expect_identical(out$status, 0L, info = paste(out$stderr, collapse = "\n"))
  expect_identical(trimws(out$stdout), c("TRUE", "TRUE", "FALSE", "3"))
})

test_that("each helper exports exactly its entry; qv_library_path finds every library", {
  for (lib in c("quorval", "vaskor", "quorval2", "crandseed")) {
    expect_true(file.exists(qv_library_path(lib)))
  }
  for (helper in c("crandseed", "oprobit_chain")) {
    path <- file.path(dirname(qv_library_path("crandseed")), paste0(sub("_", "", helper), .Platform$dynlib.ext))
    out <- system2("nm", c("-D", "--defined-only", path), stdout = TRUE)
    expect_identical(sub(".* ", "", out), helper)
  }
  expect_error(qv_library_path("quorval3"), "should be one of")
})

test_that("the installed libraries draw bit for bit what the CMake build draws", {
  cmake <- Sys.getenv("QV_BUILD_DIR")
  skip_if(!nzchar(cmake) || !file.exists(file.path(cmake, "vaskor.so")), "no CMake build in QV_BUILD_DIR")
  draw <- function(dir) {
    out <- run_child(c(
      sprintf("dir <- %s", deparse(normalizePath(dir))),
      "for (lib in c('quorval', 'vaskor', 'quorval2')) dyn.load(file.path(dir, paste0(lib, '.so')))",
      "dyn.load(helper); invisible(.Call('qvt_srand', 5L, PACKAGE = 'qvtesthelper')); set.seed(5)",
      "n <- 300L; m <- rep(c(0, 1, -2), 100); s <- rep(c(1, 2, 0.5), 100)",
      "lo <- rep(c(-Inf, 2.5, -1, 0.2, -9, 4), 50); hi <- rep(c(-3, Inf, 1, 0.3, 9, 4.5), 50)",
      "a <- .Call('trunomcall', n, m, s, lo, hi, PACKAGE = 'quorval')",
      "b <- .Call('quorval', 60L, 7L, rep(1:6, 10), c(-Inf, 0, 0.4, 0.8, 1.2, 2, Inf), rep(0.9, 60), 1, 40, PACKAGE = 'quorval')",
      "c <- .Call('mvtrnorms', matrix(c(2, 0.5, 0.5, 2), 2), c(0, 0), c(-Inf, 0, 1, Inf), 2L, 40L, PACKAGE = 'vaskor')",
      "d <- .Call('trunomcall', n, m, s, lo, hi, PACKAGE = 'quorval2')",
      "writeLines(sprintf('%a', c(a, b, c, d)))"))
    expect_identical(out$status, 0L, info = paste(out$stderr, collapse = "\n"))
    out$stdout
  }
  installed <- draw(qv_libs_dir())
  expect_length(installed, 300 + 8 + 4 + 300)
  expect_identical(draw(cmake), installed)
})
