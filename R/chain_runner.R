# Running the chains of a sampler (oprobit_mcmc(), ordered_means_mcmc()):
# their seeds, their streams, and where they run (in this process, in forked
# local workers, or on a cluster).
#
# A chain owns three streams: R's (a L'Ecuyer-CMRG stream of its own), the C
# library's rand() stream (a seed of its own), and the libraries' own
# generators, which seed themselves from rand() at their first draw in a
# process and then continue. Before every chain c_stream_seed() loads the
# libraries afresh (which returns their generators to the state of a first
# draw) and seeds rand(): so a chain draws the same numbers in this process,
# in a worker that has run other chains before, or on another machine.
#
# A sampler hands the runner a chain function, chain(setup, setting, report),
# defined at the top level of the package: it runs one whole chain on the
# streams the runner has set, from `setup` (what all chains share) and
# `setting` (the chain's seeds), calling report(i) now and then with the
# iteration when report is not NULL, and returns the chain's result.

# The clean-up after an interrupt or a time limit stops workers with pskill:
# tools is imported so that nothing has to be loaded then.
#' @importFrom tools pskill SIGINT
NULL

# Per-chain seeds from one seed: chain j takes the j-th successive
# L'Ecuyer-CMRG stream for R, and a C stream seed drawn from that stream's
# first substream (so its R stream starts untouched), redrawn while it equals
# an earlier chain's. Chain j's seeds depend neither on the number of chains
# nor on where the chain runs. R's own state is left as it was.
.qv_chain_seeds <- function(seed, chains) {
  kind <- RNGkind()
  saved <- if (exists(".Random.seed", globalenv())) get(".Random.seed", globalenv())
  on.exit(.qv_restore_rng(kind, saved))
  RNGkind("L'Ecuyer-CMRG", "Inversion", "Rejection")
  # set.seed() takes R's integers; a seed above them (up to 2^32 - 1) takes
  # the first substream of seed - 2^31, so every seed has streams of its own.
  set.seed(if (seed > .Machine$integer.max) seed - 2^31 else seed)
  stream <- get(".Random.seed", globalenv())
  if (seed > .Machine$integer.max) stream <- parallel::nextRNGSubStream(stream)
  settings <- vector("list", chains)
  for (j in seq_len(chains)) {
    stream <- parallel::nextRNGStream(stream)
    assign(".Random.seed", parallel::nextRNGSubStream(stream), globalenv())
    repeat {
      c_seed <- sample.int(.Machine$integer.max, 1L)
      if (!c_seed %in% vapply(settings[seq_len(j - 1L)], `[[`, 0L, "c_seed")) break
    }
    settings[[j]] <- list(r_seed = stream, c_seed = c_seed)
  }
  settings
}

.qv_restore_rng <- function(kind, saved) {
  RNGkind(kind[1L], kind[2L], kind[3L])
  if (is.null(saved)) {
    if (exists(".Random.seed", globalenv())) rm(".Random.seed", envir = globalenv())
  } else {
    assign(".Random.seed", saved, globalenv())
  }
}

# One whole chain in the current process, on its own streams. A setup whose
# `r_stream_only` is TRUE draws from R's stream alone (no library entry, no
# C stream): the C stream is then neither reseeded nor are the libraries
# reloaded, which changes none of its draws.
.qv_run_one <- function(chain, setup, setting, report = NULL) {
  RNGkind("L'Ecuyer-CMRG", "Inversion", "Rejection")
  assign(".Random.seed", setting$r_seed, globalenv())
  if (!isTRUE(setup$r_stream_only)) c_stream_seed(setting$c_seed)
  chain(setup, setting, report)
}

# Runs every chain of `fn` (the user's function, for messages); returns their
# results in chain order. `per_chain` is the number of iterations a chain
# reports, for the progress bar.
.qv_run_chains <- function(fn, chain, setup, settings, per_chain, cores, cl, progress) {
  # A redrawn bar on a terminal, a growing line of '=' in a log.
  bar <- if (progress) utils::txtProgressBar(0, length(settings) * per_chain, style = if (isatty(stdout())) 3L else 1L)
  on.exit(if (!is.null(bar)) close(bar))
  if (!is.null(cl)) return(.qv_on_cluster(cl, chain, setup, settings, bar, per_chain))
  # On unix even one core runs the chains in forked workers (one at a time):
  # a chain reseeds the C stream and loads the libraries afresh, which this
  # process is thus spared, so that a fit leaves every stream as it was.
  # A chain on R's stream alone touches no other stream: on one core it runs
  # here, R's state put back afterwards, without a fork's cost.
  if (.Platform$OS.type == "unix" && !(isTRUE(setup$r_stream_only) && cores == 1L)) {
    return(.qv_forked(fn, chain, setup, settings, cores, bar, per_chain))
  }
  if (cores > 1L && .Platform$OS.type != "unix") {
    cl <- parallel::makePSOCKcluster(cores)
    on.exit(parallel::stopCluster(cl), add = TRUE)
    return(.qv_on_cluster(cl, chain, setup, settings, bar, per_chain))
  }
  # In this process (off unix, or a chain on R's stream alone, one core):
  # R's state and kind are put back afterwards; off unix the C stream and the
  # libraries' generators are not.
  kind <- RNGkind()
  saved <- if (exists(".Random.seed", globalenv())) get(".Random.seed", globalenv())
  on.exit(.qv_restore_rng(kind, saved), add = TRUE)
  results <- vector("list", length(settings))
  for (j in seq_along(settings)) {
    report <- if (!is.null(bar)) function(i) utils::setTxtProgressBar(bar, (j - 1) * per_chain + i)
    results[[j]] <- .qv_run_one(chain, setup, settings[[j]], report)
  }
  results
}

# Forked local workers, at most `cores` at a time; each chain reports its
# iteration through a small file that the bar follows.
.qv_forked <- function(fn, chain, setup, settings, cores, bar, per_chain) {
  # Named without tempfile(), which draws from the C library stream.
  .qv_state$runs <- if (is.null(.qv_state$runs)) 1L else .qv_state$runs + 1L
  files <- file.path(tempdir(), sprintf("%s-%d-%d-chain%d", fn, Sys.getpid(), .qv_state$runs, seq_along(settings)))
  jobs <- list()
  # On an error or an interrupt, the chains still running are ended.
  on.exit({
    for (job in jobs) tools::pskill(job$job$pid)
    # Reaped, so that no zombie is left; a killed chain delivers nothing.
    if (length(jobs) > 0L) suppressWarnings(parallel::mccollect(lapply(jobs, `[[`, "job"), wait = TRUE))
    unlink(files)
  })
  results <- vector("list", length(settings))
  at <- numeric(length(settings))
  waiting <- seq_along(settings)
  while (length(waiting) > 0L || length(jobs) > 0L) {
    while (length(waiting) > 0L && length(jobs) < cores) {
      j <- waiting[1L]
      waiting <- waiting[-1L]
      file <- files[j]
      report <- if (!is.null(bar)) function(i) writeLines(as.character(i), file)
      # A fork inherits this process's time limit; the limit is this
      # process's to enforce (it ends the workers), not the chain's.
      job <- parallel::mcparallel({
        setTimeLimit()
        .qv_run_one(chain, setup, settings[[j]], report)
      }, silent = TRUE)
      jobs[[as.character(job$pid)]] <- list(job = job, chain = j)
    }
    done <- parallel::mccollect(lapply(jobs, `[[`, "job"), wait = FALSE, timeout = 0.2)
    for (pid in names(done)) {
      result <- done[[pid]]
      if (is.null(result)) next
      if (inherits(result, "try-error")) {
        chain_failed <- jobs[[pid]]$chain
        jobs[[pid]] <- NULL
        stop(sprintf("%s: chain %d failed: %s", fn, chain_failed,
                     attr(result, "condition")$message), call. = FALSE)
      }
      results[[jobs[[pid]]$chain]] <- result
      jobs[[pid]] <- NULL
    }
    if (!is.null(bar)) {
      # A file caught while it is rewritten reads empty: keep the last value.
      at <- pmax(at, vapply(seq_along(settings), function(j) {
        if (!is.null(results[[j]])) return(per_chain)
        if (!file.exists(files[j])) return(0)
        value <- suppressWarnings(as.numeric(readLines(files[j], warn = FALSE)[1L]))
        if (is.na(value)) 0 else value
      }, 0))
      utils::setTxtProgressBar(bar, sum(at))
    }
  }
  results
}

# A cluster made by the user (or by us off unix): the workers load the
# package, then take the chains one after another, each worker its next
# chain as soon as it is free. The chain function goes to them as a function
# of the package's namespace, which they have loaded.
#
# The results are awaited in short waits, so that an interrupt or a time
# limit reaches this process. Then every chain still running is stopped: a
# worker on this machine gets an interrupt, which ends its chain with a
# marker instead of a result; a worker on another machine cannot be reached
# that way and finishes its chain. Either way each chain sent answers once
# and its answer is read before returning, so the cluster's connections stay
# in step and the user's next clusterCall() answers.
.qv_on_cluster <- function(cl, chain, setup, settings, bar, per_chain) {
  name <- environmentName(topenv(environment(.qv_run_one)))
  here <- Sys.info()[["nodename"]]
  workers <- parallel::clusterCall(cl, .qv_detached(function(name) {
    loadNamespace(name)
    assign(".qv_run_one", get(".qv_run_one", asNamespace(name)), globalenv())
    list(pid = Sys.getpid(), host = Sys.info()[["nodename"]])
  }), name)
  send <- utils::getFromNamespace("sendCall", "parallel")
  receive <- utils::getFromNamespace("recvResult", "parallel")
  run <- .qv_detached(function(setting, chain, setup) {
    tryCatch(.qv_run_one(chain, setup, setting),
             interrupt = function(e) structure(list(), class = "qv_chain_stopped"))
  })
  results <- vector("list", length(settings))
  busy <- rep(NA_integer_, length(cl))  # the chain each worker runs
  finished <- FALSE
  on.exit(if (!finished) .qv_stop_cluster_chains(cl, workers, busy, here, receive))
  waiting <- seq_along(settings)
  done <- 0L
  while (length(waiting) > 0L || any(!is.na(busy))) {
    for (w in which(is.na(busy))) {
      if (length(waiting) == 0L) break
      send(cl[[w]], run, list(settings[[waiting[1L]]], chain, setup))
      busy[w] <- waiting[1L]
      waiting <- waiting[-1L]
    }
    active <- which(!is.na(busy))
    ready <- socketSelect(lapply(cl[active], `[[`, "con"), timeout = 0.2)
    for (w in active[ready]) {
      value <- receive(cl[[w]])
      j <- busy[w]
      busy[w] <- NA_integer_
      if (inherits(value, "try-error") || inherits(value, "qv_chain_stopped")) {
        why <- if (inherits(value, "try-error")) as.character(value) else "its worker was interrupted"
        stop(sprintf("chain %d failed on the cluster: %s", j, why), call. = FALSE)
      }
      results[[j]] <- value
      done <- done + 1L
      if (!is.null(bar)) utils::setTxtProgressBar(bar, done * per_chain)
    }
  }
  finished <- TRUE
  results
}

# After an interrupt, a time limit or an error: stops the chains still
# running on the cluster and reads their answers.
.qv_stop_cluster_chains <- function(cl, workers, busy, here, receive) {
  active <- which(!is.na(busy))
  for (w in active) {
    if (identical(workers[[w]]$host, here)) tools::pskill(workers[[w]]$pid, tools::SIGINT)
  }
  deadline <- Sys.time() + 30
  while (length(active) > 0L) {
    ready <- socketSelect(lapply(cl[active], `[[`, "con"), timeout = 1)
    for (w in active[ready]) try(receive(cl[[w]]), silent = TRUE)
    active <- active[!ready]
    # A local worker interrupted between two chains answers nothing: after a
    # while it is not waited for; a remote one is, until its chain ends.
    if (Sys.time() > deadline) active <- active[!vapply(workers[active], function(x) identical(x$host, here), TRUE)]
  }
  invisible(NULL)
}

# A function sent to workers carries no frame of ours with it.
.qv_detached <- function(f) {
  environment(f) <- globalenv()
  f
}

# The chain settings of a sampler's front door (`fn`), checked: counts as
# integers, the seed (one drawn from R's stream when NULL), the local
# workers (default 2, at most `chains`) and the cluster.
.qv_chain_settings <- function(fn, chains, iter, burnin, thin, seed, cores, cl) {
  whole <- function(x, name, minimum) {
    if (!is.numeric(x) || length(x) != 1L || !is.finite(x) || x != floor(x) || x < minimum ||
        x > .Machine$integer.max) {
      .qv_stop(fn, "'%s' must be a whole number in %d ... %d", name, minimum, .Machine$integer.max)
    }
    as.integer(x)
  }
  chains <- whole(chains, "chains", 1)
  iter <- whole(iter, "iter", 1)
  burnin <- whole(burnin, "burnin", 0)
  thin <- whole(thin, "thin", 1)
  if (burnin + as.double(iter) * thin > .Machine$integer.max) {
    .qv_stop(fn, "'burnin' + 'iter' * 'thin' must not exceed %d iterations per chain", .Machine$integer.max)
  }
  if (is.null(seed)) seed <- sample.int(.Machine$integer.max, 1L)
  seed <- .qv_seed(seed, fn)
  if (is.null(cores)) cores <- min(chains, 2L)
  cores <- whole(cores, "cores", 1)
  if (!is.null(cl)) .qv_check_cluster(fn, cl)
  list(chains = chains, iter = iter, burnin = burnin, thin = thin, seed = seed, cores = min(cores, chains), cl = cl)
}

# A cluster to run chains on: made by the parallel package, with at least
# one worker, each reached by a connection that is still open (a stopped
# cluster's are closed).
.qv_check_cluster <- function(fn, cl) {
  if (!inherits(cl, "cluster")) .qv_stop(fn, "'cl' must be a cluster made by the parallel package")
  if (length(cl) == 0L) .qv_stop(fn, "'cl' has no workers")
  for (w in seq_along(cl)) {
    con <- if (is.list(cl[[w]])) cl[[w]]$con
    if (!inherits(con, "connection")) {
      .qv_stop(fn, "'cl' worker %d has no connection: 'cl' must be a socket cluster of the parallel package", w)
    }
    open <- tryCatch(isOpen(con), error = function(e) FALSE)
    if (!open) .qv_stop(fn, "'cl' worker %d's connection is closed: the cluster was stopped; make a new one", w)
  }
  invisible(cl)
}
