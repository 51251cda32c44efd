# The package's R suite. Unexpected warnings fail it.
library(testthat)
library(quorval)

test_check("quorval", stop_on_warning = TRUE)
