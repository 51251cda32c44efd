# Runs the R-level suite against the libraries in $QV_BUILD_DIR (default build/).
# Any failure or unexpected warning ends with a non-zero status.
library(testthat)
build_dir <- Sys.getenv("QV_BUILD_DIR", "build")
Sys.setenv(QV_BUILD_DIR = normalizePath(build_dir, mustWork = TRUE))
result <- test_dir("tests/testthat", reporter = "progress", stop_on_failure = TRUE,
                   stop_on_warning = TRUE)
invisible(result)
