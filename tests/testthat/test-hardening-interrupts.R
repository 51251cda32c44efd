# Long compiled loops give R a chance to interrupt them: a call on a
# practically endless interval (a tail draw lands within 1e-15 of 10 with a
# chance of about 1e-14) ends with R's time-limit error about a second after
# setTimeLimit(elapsed = 1), in each library, and the session goes on. Run
# in a child, which run_child's own timeout ends if a loop does not listen.

test_that("setTimeLimit ends an endless call in each library and the session goes on", {
  out <- run_rlayer_child(c(
    'stopped <- function(call) {',
    '  setTimeLimit(elapsed = 1, transient = TRUE)',
    '  on.exit(setTimeLimit())',
    '  started <- proc.time()[["elapsed"]]',
    '  message <- tryCatch({ force(call); "returned" }, error = conditionMessage)',
    '  cat(sprintf("%.3f %s\\n", proc.time()[["elapsed"]] - started, message))',
    '}',
    'hi <- 10 + 1e-15',
    'stopped(.Call("trunomcall", 1L, 0, 1, 10, hi, PACKAGE = "quorval"))',
    'stopped(.C("trunomc", 1L, 10, hi, double(1), PACKAGE = "quorval"))',
    'stopped(.Call("trunomcall", 1L, 0, 1, 10, hi, PACKAGE = "vaskor"))',
    'stopped(.Call("trunomcall", 1L, 0, 1, 10, hi, PACKAGE = "quorval2"))',
    # A sweep count a typo away from 1e5.
    'stopped(.Call("mvtrnorms", matrix(1), 0, c(-Inf, 0, Inf), 1L, 1e9, PACKAGE = "vaskor"))',
    'x <- .Call("trunomcall", 3L, c(0, 0, 0), c(1, 1, 1), c(-1, 2, -Inf), c(1, Inf, 0), PACKAGE = "quorval2")',
    'cat(length(x), all(x >= c(-1, 2, -Inf) & x <= c(1, Inf, 0)), "\\n")'),
    timeout = 60)
  timed <- strsplit(out[1:5], " ", fixed = TRUE)
  seconds <- as.numeric(vapply(timed, `[`, "", 1L))
  messages <- vapply(timed, function(words) paste(words[-1L], collapse = " "), "")
  expect_true(all(grepl("elapsed time limit", messages)), info = paste(out, collapse = "\n"))
  expect_true(all(seconds >= 0.9 & seconds < 2.5), info = paste(out, collapse = "\n"))
  expect_identical(out[6], "3 TRUE ")
})

# A time limit on a fit whose chains run in workers: forked ones or those of
# the user's cluster. Every chain stops, no worker process is left running,
# and the cluster answers at once afterwards.
test_that("a time limit stops every chain of a fit on forks and on a cluster", {
  out <- run_rlayer_child(c(
    'stopped <- function(...) {',
    '  started <- proc.time()[["elapsed"]]',
    '  message <- { setTimeLimit(elapsed = 1.5, transient = TRUE); tryCatch({',
    '    oprobit_mcmc(Sat ~ Infl + Type, data = MASS::housing, weights = Freq, chains = 3,',
    '                 iter = 1e7, burnin = 0, seed = 1, ...); "returned" }, error = conditionMessage) }',
    '  setTimeLimit()',
    '  Sys.sleep(0.3)',
    # (ps without the sanitizer run's preloaded runtime, under which it hangs)
    '  children <- system(sprintf("env -u LD_PRELOAD ps -o stat=,comm= --ppid %d", Sys.getpid()), intern = TRUE)',
    '  children <- trimws(grep(" (ps|sh)$", children, value = TRUE, invert = TRUE))',
    '  cat(sprintf("%.1f %d %s [%s]\\n", proc.time()[["elapsed"]] - started, length(children), message,',
    '              paste(children, collapse = ", ")))',
    '}',
    'stopped(cores = 2)',
    'stopped(cores = 1)',
    'cl <- parallel::makePSOCKcluster(2)',
    'pids <- unlist(parallel::clusterCall(cl, Sys.getpid))',
    'stopped(cl = cl)',
    'started <- proc.time()[["elapsed"]]',
    'cat(identical(unlist(parallel::clusterCall(cl, Sys.getpid)), pids), proc.time()[["elapsed"]] - started < 1, "\\n")',
    'parallel::stopCluster(cl)'),
    timeout = 90)
  for (line in out[1:3]) {
    words <- strsplit(line, " ", fixed = TRUE)[[1]]
    expect_lt(as.numeric(words[1]), 8)
    expect_identical(words[2], "0", info = line)  # no child process left
    expect_match(line, "elapsed time limit")
  }
  expect_identical(out[4], "TRUE TRUE ")
})
