# The chains of oprobit_mcmc() on the shared runner (chain_runner.R).

# One chain from the chain's streams: its own starting point, then the
# sampler.
.oprobit_run_chain <- function(setup, setting, report = NULL) {
  setting$start <- .oprobit_chain_start(setup$start)
  .oprobit_chain(setup, setting, report)
}

# Runs every chain; returns their results in chain order.
.oprobit_run_chains <- function(setup, settings, cores, cl, progress) {
  .qv_run_chains("oprobit_mcmc", .oprobit_run_chain, setup, settings,
                 setup$burnin + setup$iter * setup$thin, cores, cl, progress)
}
