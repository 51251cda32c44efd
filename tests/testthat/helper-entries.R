# Expectations shared by the tests of the libraries' entries.

# The three lines of the fatal report of `text` on standard error (a text
# that ends in a newline, such as "Error: as>bl\n", leaves a blank line).
fatal_report_lines <- function(text) {
  c("Velmora run-time error...", sub("\n$", "", text), if (endsWith(text, "\n")) "",
    "...now exiting to system...")
}

# In a session: `expr` prints `stdout`, writes the three lines, and raises an
# R error whose message is the text without its trailing newline.
expect_fatal_report <- function(expr, text, stdout = character()) {
  err <- NULL
  out <- capture.output(
    lines <- capture.output(err <- tryCatch({ force(expr); NULL }, error = conditionMessage),
                            type = "message"))
  expect_identical(err, sub("\n$", "", text))
  expect_identical(out, stdout)
  expect_identical(lines, fatal_report_lines(text))
}

# In a batch Rscript running `code`: the same lines, then the end with status 1.
expect_fatal_exit <- function(code, text, stdout = character()) {
  res <- run_child(c(code, 'cat("not reached\\n")'))
  expect_identical(res$status, 1L)
  expect_identical(res$stdout, stdout)
  lines <- fatal_report_lines(text)
  expect_identical(res$stderr[seq_along(lines)], lines)
}

# trunomcall's argument checks, the same in every library: an R error naming
# entry and argument, raised before any draw from rand() or from R's stream.
expect_trunomcall_checks <- function(lib) {
  cases <- list(
    list(list(2L, c(0, 0), c(1, 1), c(0, 0), 1), "'hi' must have at least 2 elements, not 1"),
    list(list(2L, 0, c(1, 1), c(0, 0), c(1, 1)), "'m' must have at least 2 elements, not 1"),
    list(list(1L, 0L, 1, 0, 1), "'m' must be a double vector, not of type 'integer'"),
    list(list(1L, 0, "1", 0, 1), "'s' must be a double vector, not of type 'character'"),
    list(list(1L, 0, 1, NULL, 1), "'lo' must be a double vector, not of type 'NULL'"),
    list(list(1L, 0, 1, 0, NULL), "'hi' must be a double vector, not of type 'NULL'"),
    list(list(NA_integer_, 0, 1, 0, 1), "'n' must be a count, not NA"),
    list(list(-1L, 0, 1, 0, 1), "'n' must be at least 0, not -1"),
    list(list(NULL, 0, 1, 0, 1), "'n' must be a count, not of type 'NULL'"),
    list(list(function() 3, 0, 1, 0, 1), "'n' must be a count, not of type 'closure'"))
  set.seed(1)
  stored <- .Random.seed
  for (case in cases) {
    call <- function() do.call(.Call, c("trunomcall", case[[1]], PACKAGE = lib))
    expect_error(call(), paste("trunomcall: argument", case[[2]]), fixed = TRUE, info = lib)
    expect_identical(rand_consumed(8, try(call(), silent = TRUE)), 0L, info = lib)
  }
  expect_true(identical(.Random.seed, stored), info = lib)
}
