# Runs R code in a child Rscript with the package attached, before any draw;
# returns what the child printed.
run_rlayer_child <- function(code, timeout = 120) {
  prelude <- sprintf("library(quorval, lib.loc = %s)", deparse(dirname(find.package("quorval"))))
  result <- run_child(c(prelude, code), timeout = timeout)
  if (result$status != 0) stop(paste(c("child failed:", result$stderr), collapse = "\n"))
  result$stdout
}
