# The fuzz campaign: every built entry of quorval, vaskor and quorval2 (the
# .Call and .C entries and the exported natives, through the test helper's
# trampolines) called with thousands of random arguments from a fixed seed.
# Each batch runs in a child R process under a time limit; the campaign
# fails on a crash, an abort, a hang or an early exit of a child, and on
# any outcome that breaks an entry's contract. An R error is an accepted
# outcome unless the contract says the call must succeed.
#
#   QV_BUILD_DIR=build Rscript tests/fuzz/run_campaign.R   (or QV_LIBS_DIR=<folder of the .so files>)
#
# Environment: QV_FUZZ_BATCHES (default 12), QV_FUZZ_CALLS per batch (default
# 2500), QV_FUZZ_SEED (first batch's seed, default 7001; batch b uses seed +
# b - 1), QV_FUZZ_TIMEOUT seconds per batch (default 240), QV_FUZZ_ENTRIES (an
# R file whose fuzz_entry_table() replaces the table, to test the campaign
# itself). To replay one
# batch with every call's arguments written to its progress file:
#   QV_BUILD_DIR=build Rscript tests/fuzz/batch.R <seed> <calls> out.rds progress.txt trace

setting <- function(name, default) {
  value <- Sys.getenv(name, "")
  if (nzchar(value)) as.numeric(value) else default
}
batches <- setting("QV_FUZZ_BATCHES", 12)
calls <- setting("QV_FUZZ_CALLS", 2500)
first_seed <- setting("QV_FUZZ_SEED", 7001)
timeout <- setting("QV_FUZZ_TIMEOUT", 240)

# The libraries under test: $QV_LIBS_DIR, else the CMake build.
libs_dir <- Sys.getenv("QV_LIBS_DIR", Sys.getenv("QV_BUILD_DIR", "build"))
Sys.setenv(QV_LIBS_DIR = normalizePath(libs_dir, mustWork = TRUE))
file_arg <- grep("^--file=", commandArgs(FALSE), value = TRUE)
batch_script <- file.path(dirname(normalizePath(sub("^--file=", "", file_arg))), "batch.R")
rscript <- file.path(R.home("bin"), "Rscript")
timeout_tool <- Sys.which("timeout")
work <- tempfile("qv-fuzz-")
dir.create(work)

failures <- character()
tally <- NULL
findings <- list()
started <- Sys.time()

last_call <- function(progress) {
  lines <- if (file.exists(progress)) readLines(progress, warn = FALSE) else character()
  calls_made <- grep("^[0-9]+ ", lines, value = TRUE)
  if (length(calls_made)) calls_made[length(calls_made)] else "before the first call"
}

for (b in seq_len(batches)) {
  seed <- first_seed + b - 1
  result <- file.path(work, sprintf("batch-%d.rds", seed))
  progress <- file.path(work, sprintf("batch-%d.progress", seed))
  output <- file.path(work, sprintf("batch-%d.out", seed))
  command <- c(shQuote(batch_script), seed, calls, shQuote(result), shQuote(progress))
  # coreutils' timeout ends a child stuck in native code at once; R's own
  # limit is the fallback.
  status <- if (nzchar(timeout_tool)) {
    system2(timeout_tool, c("-k", "10", timeout, rscript, command), stdout = output, stderr = output)
  } else {
    suppressWarnings(system2(rscript, command, stdout = output, stderr = output, timeout = timeout))
  }
  if (status == 124) {
    failures <- c(failures, sprintf("batch %d: no end within %g s (hang) at call %s", seed, timeout,
                                    last_call(progress)))
    next
  }
  if (status != 0 || !file.exists(result)) {
    tail_lines <- tail(readLines(output, warn = FALSE), 25)
    failures <- c(failures, sprintf("batch %d: child ended with status %d at call %s\n%s", seed,
                                    status, last_call(progress), paste(tail_lines, collapse = "\n")))
    next
  }
  r <- readRDS(result)
  tally <- if (is.null(tally)) r$tally else {
    rows <- union(rownames(tally), rownames(r$tally))
    sum_rows <- function(m) { out <- matrix(0L, length(rows), ncol(m), dimnames = list(rows, colnames(m)))
                              out[rownames(m), ] <- m; out }
    sum_rows(tally) + sum_rows(r$tally)
  }
  for (f in r$findings) {
    findings[[length(findings) + 1L]] <- f
    failures <- c(failures, sprintf("batch %d, call %d, %s: %s\n  error: %s\n  arguments: %s", seed,
                                    f$call, f$entry, paste(f$problems, collapse = "; "),
                                    if (is.null(f$error)) "none" else f$error, f$args))
  }
}

elapsed <- as.numeric(difftime(Sys.time(), started, units = "secs"))
if (!is.null(tally)) {
  cat("Per entry: calls, R errors (of which refused by an argument check), calls that warned,\n",
      "cases drawn again because their interval is practically endless:\n", sep = "")
  print(tally)
}
total <- if (is.null(tally)) c(calls = 0, errors = 0, refused = 0, warned = 0) else colSums(tally)
crashes <- sum(grepl("child ended", failures))
hangs <- sum(grepl("(hang)", failures, fixed = TRUE))
cat(sprintf(paste0("fuzz campaign: %d batches of %d calls, %d calls made, %d ended in R errors ",
                   "(%d refused by argument checks), %d with warnings; %d crashes or exits, ",
                   "%d hangs, %d contract violations (%.0f s)\n"),
            batches, calls, total[["calls"]], total[["errors"]], total[["refused"]], total[["warned"]],
            crashes, hangs, length(findings), elapsed))
if (length(failures)) {
  cat("FAILED:\n", paste(failures, collapse = "\n\n"), "\n", sep = "")
  quit(status = 1)
}
unlink(work, recursive = TRUE)
