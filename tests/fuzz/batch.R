# One batch of the fuzz campaign, run in its own R process by
# run_campaign.R:
#
#   Rscript tests/fuzz/batch.R <seed> <calls> <result.rds> <progress.txt> [trace]
#
# Draws `calls` random calls of the built entries from R's generator set to
# `seed` (the C stream is set to it too), checks each outcome and writes the
# tallies to result.rds at the end. Before each call its number and entry go
# to progress.txt (with `trace`, also the arguments), so a crash or a hang
# can be traced to the call that caused it.

local({
  file_arg <- grep("^--file=", commandArgs(FALSE), value = TRUE)
  here <- dirname(normalizePath(sub("^--file=", "", file_arg)))
  source(file.path(here, "..", "testthat", "helper-libraries.R"))
  for (part in c("harness.R", "values.R", "slow_intervals.R", "cases_sampler.R",
                 "cases_generator.R", "cases_numerics.R", "cases_cutpoints.R",
                 "cases_gibbs.R", "entries.R")) {
    source(file.path(here, part))
  }
  # A replacement entry table, for testing the campaign itself.
  replacement <- Sys.getenv("QV_FUZZ_ENTRIES", "")
  if (nzchar(replacement)) source(replacement)
})

argv <- commandArgs(TRUE)
seed <- as.integer(argv[1]); calls <- as.integer(argv[2])
result_file <- argv[3]; progress_file <- argv[4]; trace <- identical(argv[5], "trace")

for (library in c("quorval", "vaskor", "quorval2")) {
  if (file.exists(qv_lib_path(library))) qv_load(library)
}
entries <- Filter(function(e) e$library %in% names(getLoadedDLLs()) &&
                    is.loaded(e$symbol, PACKAGE = e$library), fuzz_entry_table())
ids <- vapply(entries, `[[`, "", "id")
weights <- vapply(entries, function(e) if (is.null(e$weight)) 1 else e$weight, 0)

set.seed(seed)
c_srand(seed)
tally <- matrix(0L, length(entries), 5,
                dimnames = list(ids, c("calls", "errors", "refused", "warned", "resampled")))
findings <- list()
progress <- file(progress_file, open = "w")

for (i in seq_len(calls)) {
  k <- sample(length(entries), 1, prob = weights)
  entry <- entries[[k]]
  args <- entry$args()
  if (!is.null(entry$slow)) {
    while (entry$slow(args)) {
      tally[k, "resampled"] <- tally[k, "resampled"] + 1L
      args <- entry$args()
    }
  }
  writeLines(sprintf("%d %s", i, entry$id), progress)
  if (trace) writeLines(deparse(args, control = c("keepNA", "hexNumeric")), progress)
  flush(progress)

  before <- fuzz_snapshot(args)
  outcome <- fuzz_invoke(function() entry$call(args))
  problems <- tryCatch(entry$check(before, outcome),
                       error = function(e) paste("the check itself failed:", conditionMessage(e)))
  expected <- if (is.null(entry$after)) before else entry$after(before, outcome)
  changed <- fuzz_changed_args(expected, args)
  if (length(changed)) problems <- c(problems, sprintf("argument %d changed", changed))
  if (!is.null(entry$then)) entry$then(before)

  tally[k, "calls"] <- tally[k, "calls"] + 1L
  if (!is.null(outcome$error)) {
    tally[k, "errors"] <- tally[k, "errors"] + 1L
    # Refused by an argument check (the entry's, or .C's own) before any work.
    if (grepl("argument '|foreign function call", outcome$error)) tally[k, "refused"] <- tally[k, "refused"] + 1L
  }
  if (length(outcome$warnings)) tally[k, "warned"] <- tally[k, "warned"] + 1L
  if (length(problems)) {
    findings[[length(findings) + 1L]] <- list(
      entry = entry$id, call = i, problems = problems, error = outcome$error,
      args = paste(deparse(before, control = c("keepNA", "hexNumeric")), collapse = "\n"))
  }
}
close(progress)
saveRDS(list(seed = seed, tally = tally, findings = findings), result_file)
