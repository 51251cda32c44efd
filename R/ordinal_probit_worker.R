# The ordinal probit chain as a worker process runs it: one chain per process,
# so that the chain owns the process's C library stream and the libraries'
# own generators as well as its R stream.
#
#   op_worker_start(setting)  seeds R's stream (L'Ecuyer-CMRG state
#                             setting$r_seed) and the C stream (setting$c_seed),
#                             then creates the chain; must come before any
#                             draw in the process
#   op_worker_run(count)      advances the chain by up to `count` iterations
#   op_worker_result()        the chain's draws and figures

op_worker_start <- function(setting) {
  RNGkind("L'Ecuyer-CMRG")
  assign(".Random.seed", setting$r_seed, envir = globalenv())
  c_stream_seed(setting$c_seed)
  chain <- op_chain(op_data(), setting$iterations, setting$burnin, setting$latent)
  assign(".op_worker_chain", chain, envir = globalenv())
  invisible(TRUE)
}

op_worker_run <- function(count) get(".op_worker_chain", envir = globalenv())$run(count)

op_worker_result <- function() get(".op_worker_chain", envir = globalenv())$result()

# Per-chain seeds from one seed: chain j takes the j-th successive
# L'Ecuyer-CMRG stream for R, and a C stream seed drawn from that stream's
# first substream (so its R stream starts untouched), redrawn while it equals
# an earlier chain's. Chain j's seeds do not depend on the number of chains
# nor on where the chain runs.
op_chain_seeds <- function(seed, chains) {
  kind <- RNGkind()
  saved <- if (exists(".Random.seed", globalenv())) get(".Random.seed", globalenv())
  on.exit({
    RNGkind(kind[1L], kind[2L], kind[3L])
    if (is.null(saved)) rm(".Random.seed", envir = globalenv()) else assign(".Random.seed", saved, globalenv())
  })
  RNGkind("L'Ecuyer-CMRG")
  set.seed(seed)
  stream <- .Random.seed
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
