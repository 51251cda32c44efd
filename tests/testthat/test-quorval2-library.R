# The shape of quorval2.so: exactly its own entry points exported, and no
# reference to the C library stream.
q2_dynamic_symbols <- function(which) {
  lines <- system2("nm", c("-D", which, qv_lib_path("quorval2")), stdout = TRUE)
  sort(sub("^.* ", "", lines))
}

test_that("quorval2 exports exactly its entry points", {
  skip_if(Sys.which("nm") == "", "nm not available")
  defined <- q2_dynamic_symbols("--defined-only")
  expect_identical(defined, sort(c("trunomcall", "onetn", "trunom", "ran3", "gasdev",
                                   "expdev", "vlerror")))
})

test_that("quorval2 never refers to rand() or srand()", {
  skip_if(Sys.which("nm") == "", "nm not available")
  undefined <- sub("@.*$", "", q2_dynamic_symbols("--undefined-only"))
  expect_false(any(undefined %in% c("rand", "srand", "rand_r", "random")))
  expect_true(all(c("Rf_runif", "Rf_rexp", "Rf_rnorm", "GetRNGstate", "PutRNGstate") %in% undefined))
})
