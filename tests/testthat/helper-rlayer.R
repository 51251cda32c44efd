# The R layer (R/*.R) and every built library, for the rlayer tests.
rlayer_dir <- normalizePath(test_path("..", "..", "R"))
for (file in list.files(rlayer_dir, "\\.R$", full.names = TRUE)) source(file, local = TRUE)
qv_load_libraries(qv_build_dir())

# Runs R code in a child Rscript with the R layer sourced and the libraries
# loaded, before any draw; returns what the child printed.
run_rlayer_child <- function(code, timeout = 120) {
  prelude <- c(
    sprintf('for (file in list.files(%s, "\\\\.R$", full.names = TRUE)) source(file)', deparse(rlayer_dir)),
    "qv_load_libraries(build)")
  result <- run_child(c(prelude, code), timeout = timeout)
  if (result$status != 0) stop(paste(c("child failed:", result$stderr), collapse = "\n"))
  result$stdout
}
