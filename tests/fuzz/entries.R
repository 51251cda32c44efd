# The entries the campaign calls, one row each: what to call, how to draw
# its arguments and what every outcome must satisfy (cases_*.R). An entry
# that its library does not export (not built yet) is skipped and reported.
#
# Row fields: id, library, symbol, args() -> list, call(args), check(args,
# outcome) -> complaints; optional weight (how often it is picked, default
# 1), slow(args) (keep practically endless draws out), after(args, outcome)
# (the arguments as the call must leave them), then(args) (run after the
# call).

dotcall_entry <- function(symbol, library, args, check, ...) {
  list(id = paste0(library, "::", symbol), library = library, symbol = symbol, args = args,
       call = function(a) do.call(".Call", c(list(symbol), a, list(PACKAGE = library)), quote = TRUE),
       check = check, ...)
}

# An exported native called through one of the test helper's trampolines
# (call_d_d, call_dd_d, ...), one native call per entry call.
native_entry <- function(symbol, library, trampoline, args, check, ...) {
  list(id = paste0(library, "::", symbol), library = library, symbol = symbol, args = args,
       call = function(a) do.call(trampoline, c(list(symbol, library), unname(a))),
       check = check, ...)
}

fuzz_entry_table <- function() {
  entries <- list(
    dotcall_entry("trunomcall", "quorval", args_trunomcall, check_trunomcall, slow = slow_trunomcall,
                  weight = 3),
    dotcall_entry("trunomcall", "vaskor", args_trunomcall, check_trunomcall, slow = slow_trunomcall,
                  weight = 3),
    list(id = "quorval2::trunomcall", library = "quorval2", symbol = "trunomcall",
         args = args_trunomcall, call = call_trunomcall_r_stream, check = check_trunomcall_r_stream,
         slow = slow_trunomcall, weight = 3),
    dotcall_entry("stest", "quorval", args_stest, check_stest, after = after_stest, weight = 2),
    list(id = "quorval::trunomc", library = "quorval", symbol = "trunomc", args = args_trunomc,
         call = call_trunomc, check = check_trunomc, slow = slow_trunomc, weight = 3),
    dotcall_entry("quorval", "quorval", args_quorval, check_quorval, weight = 4),
    dotcall_entry("mvtrnorms", "vaskor", args_mvtrnorms, check_mvtrnorms, weight = 4),
    native_entry("gammln", "quorval", call_d_f, args_gammln, check_gammln),
    native_entry("gser", "quorval", call_fddf, args_gamma, check_gser),
    native_entry("gcf", "quorval", call_fddf, args_gamma, check_gcf),
    native_entry("gammp", "quorval", call_dd_d, args_gamma, check_gammp),
    native_entry("norm", "quorval", call_d_d, args_norm, check_norm))
  for (library in c("quorval", "vaskor", "quorval2")) {
    entries <- c(entries, list(
      native_entry("onetn", library, call_d_d, args_onetn, check_onetn),
      native_entry("trunom", library, call_dd_d, args_trunom, check_trunom, slow = slow_trunom),
      native_entry("ran3", library, call_seeded, args_seeded, check_ran3, then = restore_seeded(library)),
      native_entry("gasdev", library, call_seeded, args_seeded, check_gasdev, then = restore_seeded(library)),
      native_entry("expdev", library, call_seeded, args_seeded, check_expdev, then = restore_seeded(library)),
      native_entry("vlerror", library, call_text, args_vlerror, check_vlerror)))
  }
  entries
}
