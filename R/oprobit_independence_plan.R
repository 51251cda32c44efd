# The chain driver's plan for the independence method (read by
# oprobitchain/independence_setup.cpp): the whole-point moves alone, on the
# distinct covariate rows and their (row, category) cells with counts, so
# that weights are never expanded into units. `setup` holds the distinct
# rows (X_distinct, offset_distinct), the cells (row 1-based, y, size), the
# slope prior (b0, B0), the fitted proposal (whole$mode, whole$root), the
# family, J and the run's length; `control` the proposal's settings
# (whole_df, whole_moves: NULL is one move per iteration; whole_mix 0 or
# NULL: no defensive mixture, else whole_mix_df and whole_mix_scale).
.oprobit_independence_plan_list <- function(setup, start, control) {
  if (is.null(setup$whole)) stop("the independence method needs the posterior mode and its curvature")
  cells <- setup$cells
  mix <- if (is.null(control$whole_mix)) 0 else as.double(control$whole_mix)
  plan <- list(method = "independence", link = setup$family$link,
               p = as.integer(ncol(setup$X_distinct)), J = as.integer(setup$J),
               X = setup$X_distinct, offset = as.double(setup$offset_distinct),
               cell_row = as.integer(cells$row - 1L), cell_y = as.integer(cells$y),
               cell_size = as.double(cells$size),
               b0 = as.double(setup$prior$b0), B0 = as.double(setup$prior$B0),
               burnin = as.integer(setup$burnin), iter = as.integer(setup$iter), thin = as.integer(setup$thin),
               whole_df = as.double(control$whole_df),
               whole_moves = if (is.null(control$whole_moves)) 1L else as.integer(control$whole_moves),
               whole_centre = as.double(setup$whole$mode), whole_root = setup$whole$root,
               whole_mix = mix)
  if (mix > 0) {
    plan$whole_mix_df <- as.double(control$whole_mix_df)
    plan$whole_mix_scale <- as.double(control$whole_mix_scale)
  }
  plan$beta <- as.double(start$beta)
  plan$zeta <- as.double(start$zeta)
  plan
}
