# Every .Call entry (and trunomc) under gctorture(TRUE), where each
# allocation collects: an unprotected result that an allocation inside the
# entry (a warning, an error message) collects shows up as a different
# result or a crash. Only the call itself runs under torture (R code around
# it would make the run slow). Draws on the C stream use middle-case
# intervals only, so that srand() alone fixes them. In a child, so that a
# crash is a failure.

test_that("each entry gives under gctorture what it gives in a normal run", {
  out <- run_rlayer_child(c(
    'A <- matrix(c(2, 0.3, 0.1, 0.3, 1, 0.2, 0.1, 0.2, 3), 3); m3 <- c(0.5, 0, -0.5)',
    'c7 <- c(-Inf, 0, 0.4, 0.9, 1.3, 2, Inf); m6 <- c(0.2, 0.5, 0.8, 1, 1.2, 1.6)',
    'lo <- c(-1, 0, NaN, 1); hi <- c(1, 2, 1, 3); mean <- c(0, 1, 0, 2); rsd <- c(1, 2, 1, 1)',
    'tails_lo <- c(-1, 9, -Inf, NaN); tails_hi <- c(1, Inf, -9, 0); ones <- rep(1, 4); zeros <- rep(0, 4)',
    'c_seed <- function() c_stream_seed(5)',
    '# A short ordinal probit chain with few cells, so that its whole-point move runs too.',
    'ns <- asNamespace("quorval"); d <- data.frame(y = factor(rep(1:3, 20), ordered = TRUE), x = factor(rep(1:2, each = 30)))',
    'frame <- oprobit_frame(y ~ x, data = d)',
    's <- oprobit_plan(oprobit_data(frame), control = oprobit_control(method = "augmented"), iter = 4L, burnin = 130L)',
    'plan <- ns$.oprobit_plan_list(s, s$start, s$control)',
    's <- oprobit_plan(oprobit_data(frame), iter = 4L, burnin = 130L)',
    'independence <- ns$.oprobit_independence_plan_list(s, s$start, s$control)',
    'chain_entries <- function() lapply(c("quorval", "trunomcall"), function(e) getNativeSymbolInfo(e, "quorval")$address)',
    'runs <- list(',
    '  quorval_trunomcall = list(c_seed, quote(.Call("trunomcall", 4L, mean, rsd, lo, hi, PACKAGE = "quorval"))),',
    '  trunomc = list(c_seed, quote(.C("trunomc", 3L, lo[1:3], hi[1:3], out = double(3), PACKAGE = "quorval"))),',
    '  stest = list(function() x3 <<- c(1, 2, 3), quote(.Call("stest", x3, PACKAGE = "quorval")),',
    '               function(r) c(r[1:2], x3)),',
    '  quorval = list(c_seed, quote(.Call("quorval", 6L, 7L, 1:6, c7, m6, 1.5, 3, PACKAGE = "quorval"))),',
    '  quorval_refusal = list(c_seed, quote(.Call("quorval", 1L, 7L, 9L, c7, 0, 1, 1, PACKAGE = "quorval"))),',
    '  vaskor_trunomcall = list(c_seed, quote(.Call("trunomcall", 4L, mean, rsd, lo, hi, PACKAGE = "vaskor"))),',
    '  mvtrnorms = list(c_seed, quote(.Call("mvtrnorms", A, m3, c(-1, -0.5, 0, 0.5, 1), 3L, 20L, PACKAGE = "vaskor"))),',
    '  mvtrnorms_refusal = list(c_seed, quote(.Call("mvtrnorms", A, m3, c(-1, 0, NaN, 0.5, 1), 3L, 2L, PACKAGE = "vaskor"))),',
    '  quorval2_trunomcall = list(function() set.seed(5),',
    '    quote(.Call("trunomcall", 4L, zeros, ones, tails_lo, tails_hi, PACKAGE = "quorval2"))),',
    '  oprobit_chain = list(function() { c_seed(); set.seed(5) },',
    '    quote(.Call("oprobit_chain", plan, chain_entries(), NULL, PACKAGE = "oprobitchain"))),',
    '  oprobit_independence = list(function() set.seed(5),',
    '    quote(.Call("oprobit_chain", independence, NULL, NULL, PACKAGE = "oprobitchain"))),',
    '  crandseed = list(function() NULL, quote(.Call("crandseed", 9, PACKAGE = "crandseed")),',
    '    function(r) .Call("trunomcall", 2L, zeros, ones, lo, hi, PACKAGE = "quorval")))',
    'run <- function(case, torture) {',
    '  case[[1]]()',
    '  r <- withCallingHandlers(',
    '    tryCatch({ gctorture(torture); eval(case[[2]]) }, error = conditionMessage, finally = gctorture(FALSE)),',
    '    warning = function(w) invokeRestart("muffleWarning"))',
    '  if (length(case) > 2) case[[3]](r) else r',
    '}',
    'same <- vapply(runs, function(case) identical(run(case, FALSE), run(case, TRUE)), TRUE)',
    'writeLines(sprintf("%d, differing: [%s]", length(runs), paste(names(same)[!same], collapse = " ")))'),
    timeout = 300)
  expect_identical(out, "12, differing: []", info = paste(out, collapse = "\n"))
})
