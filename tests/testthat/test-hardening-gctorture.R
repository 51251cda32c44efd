# Every .Call entry (and trunomc) under gctorture(TRUE), where each
# allocation collects: an unprotected result that an allocation inside the
# entry (a warning, an error message) collects shows up as a different
# result or a crash. Draws on the C stream use middle-case intervals only,
# so that srand() alone fixes them. In a child, so that a crash is a failure.

test_that("each entry gives under gctorture what it gives in a normal run", {
  out <- run_rlayer_child(c(
    'A <- matrix(c(2, 0.3, 0.1, 0.3, 1, 0.2, 0.1, 0.2, 3), 3)',
    'c7 <- c(-Inf, 0, 0.4, 0.9, 1.3, 2, Inf)',
    'runs <- list(',
    '  quorval_trunomcall = function() { c_stream_seed(5); suppressWarnings(.Call("trunomcall", 4L,',
    '    c(0, 1, 0, 2), c(1, 2, 1, 1), c(-1, 0, NaN, 1), c(1, 2, 1, 3), PACKAGE = "quorval")) },',
    '  trunomc = function() { c_stream_seed(5); .C("trunomc", 3L, c(-1, 0, 1), c(1, 2, 1.5),',
    '    out = double(3), PACKAGE = "quorval")$out },',
    '  stest = function() { x <- c(1, 2, 3); r <- .Call("stest", x, PACKAGE = "quorval"); c(r[1:2], x) },',
    '  quorval = function() { c_stream_seed(5); .Call("quorval", 6L, 7L, 1:6, c7,',
    '    c(0.2, 0.5, 0.8, 1, 1.2, 1.6), 1.5, 3, PACKAGE = "quorval") },',
    '  quorval_refusal = function() tryCatch(.Call("quorval", 1L, 7L, 9L, c7, 0, 1, 1,',
    '    PACKAGE = "quorval"), error = conditionMessage),',
    '  vaskor_trunomcall = function() { c_stream_seed(5); suppressWarnings(.Call("trunomcall", 3L,',
    '    c(0, 0, 0), c(1, 1, 1), c(-1, NaN, 0), c(1, 1, 3), PACKAGE = "vaskor")) },',
    '  mvtrnorms = function() { c_stream_seed(5); .Call("mvtrnorms", A, c(0.5, 0, -0.5),',
    '    c(-1, -0.5, 0, 0.5, 1), 3L, 20L, PACKAGE = "vaskor") },',
    '  mvtrnorms_refusal = function() tryCatch(.Call("mvtrnorms", A, c(0.5, 0, -0.5),',
    '    c(-1, 0, NaN, 0.5, 1), 3L, 2L, PACKAGE = "vaskor"), error = conditionMessage),',
    '  quorval2_trunomcall = function() { set.seed(5); suppressWarnings(.Call("trunomcall", 4L,',
    '    c(0, 0, 0, 0), c(1, 1, 1, 1), c(-1, 9, -Inf, NaN), c(1, Inf, -9, 0), PACKAGE = "quorval2")) },',
    '  crandseed = function() { .Call("crandseed", 9, PACKAGE = "crandseed");',
    '    .Call("trunomcall", 2L, c(0, 0), c(1, 1), c(-1, -1), c(1, 1), PACKAGE = "quorval") })',
    'normal <- lapply(runs, function(f) f())',
    'tortured <- lapply(runs, function(f) { gctorture(TRUE); on.exit(gctorture(FALSE)); f() })',
    'same <- mapply(identical, normal, tortured)',
    'writeLines(sprintf("%d, differing: [%s]", length(runs), paste(names(same)[!same], collapse = " ")))'),
    timeout = 300)
  expect_identical(out, "10, differing: []")
})
