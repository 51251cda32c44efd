# The ordinal probit demo: its sampler on one chain, and the whole script on a
# short run (completes, same seed same output, chains differ).

example_script <- normalizePath(test_path("..", "..", "examples", "ordinal_probit.R"))

run_example <- function(args) {
  out <- tempfile()
  status <- system2(file.path(R.home("bin"), "Rscript"), c(example_script, args),
                    stdout = out, stderr = out, timeout = 180)
  list(status = status, output = readLines(out, warn = FALSE))
}

test_that("the data are the expanded table and probit_scale converts as the model says", {
  data <- op_data()
  expect_identical(data$n, 3498L)
  expect_identical(as.vector(table(data$father, data$y)), as.vector(datasets::occupationalStatus))
  draws <- cbind(intercept = 0.5, father = 0.3, t = 2, c2 = 0.5, c3 = 1, c4 = 1.5, c5 = 2, c6 = 2.5)
  probit <- probit_scale(draws)
  expect_identical(colnames(probit), c("father", "1|2", "2|3", "3|4", "4|5", "5|6", "6|7", "7|8"))
  expect_equal(as.vector(probit), c(0.6, -1, 0, 1, 2, 3, 4, 6))
})

test_that("op_chain_seeds gives every chain its own streams, the same for the same seed", {
  seeds <- op_chain_seeds(7, 4)
  expect_identical(op_chain_seeds(7, 4), seeds)
  expect_identical(op_chain_seeds(7, 2), seeds[1:2])
  expect_length(unique(vapply(seeds, `[[`, 0L, "c_seed")), 4)
  expect_length(unique(lapply(seeds, `[[`, "r_seed")), 4)
  expect_false(identical(op_chain_seeds(8, 4), seeds))
  set.seed(1)
  u <- runif(1)
  set.seed(1)
  op_chain_seeds(7, 3)
  expect_identical(runif(1), u)
})

test_that("one chain of the sampler runs on either latent library and stays in the model's space", {
  result <- run_rlayer_child(c(
    "for (f in c('op_chain_seeds', 'op_worker_start', 'op_worker_run', 'op_worker_result', 'probit_scale')) assign(f, get(f, asNamespace('quorval')))",
    "setting <- op_chain_seeds(3, 1)[[1]]",
    "for (latent in c('quorval', 'quorval2')) {",
    "  op_worker_start(c(setting, list(iterations = 30L, burnin = 20L, latent = latent)))",
    "  op_worker_run(15); op_worker_run(100)",
    "  r <- op_worker_result()",
    "  p <- probit_scale(r$draws)",
    "  cat(latent, nrow(r$draws), r$iterations, all(is.finite(r$draws)),",
    "      all(apply(p[, -1], 1, function(x) !is.unsorted(x))), r$acceptance >= 0 && r$acceptance <= 1,",
    "      all(r$draws[, 't'] > 0), '\\n')",
    "}"))
  expect_identical(result, c("quorval 30 50 TRUE TRUE TRUE TRUE ", "quorval2 30 50 TRUE TRUE TRUE TRUE "))
})

test_that("a short run of the demo completes, repeats itself for the same seed, and its chains differ", {
  dirs <- file.path(tempdir(), c("op-first", "op-second"))
  args <- c("--iterations", "20", "--burnin", "10", "--chains", "2", "--seed", "17")
  first <- run_example(c(args, "--output", dirs[1]))
  expect_identical(first$status, 0L, info = paste(first$output, collapse = "\n"))
  second <- run_example(c(args, "--output", dirs[2]))
  expect_identical(second$status, 0L)
  expect_true(all(file.exists(file.path(dirs[1], c("trace.png", "density.png", "summary.csv", "draws.rds")))))

  # Everything up to the timing block is fixed by the seed.
  fixed <- function(lines) lines[seq_len(grep("^Timing", lines) - 1L)]
  expect_identical(sub(dirs[1], "", fixed(first$output), fixed = TRUE),
                   sub(dirs[2], "", fixed(second$output), fixed = TRUE))
  expect_true(any(grepl("^ +1\\|2 ", first$output)))
  draws <- readRDS(file.path(dirs[1], "draws.rds"))
  expect_identical(readRDS(file.path(dirs[2], "draws.rds")), draws)
  expect_length(draws$chains, 2)
  expect_identical(dim(draws$chains[[1]]), c(20L, 8L))
  expect_false(any(draws$chains[[1]] == draws$chains[[2]]))
})

test_that("the demo refuses unknown options and bad values", {
  unknown <- run_example("--chain=2")
  expect_false(identical(unknown$status, 0L))
  expect_true(any(grepl("unknown option '--chain=2'", unknown$output)))
  bad <- run_example(c("--iterations", "many"))
  expect_true(any(grepl("--iterations must be a whole number", bad$output)))
})
