# Shared by the vaskor tests.
mvt <- function(A, m, x, n, sweeps) .Call("mvtrnorms", A, m, x, n, sweeps, PACKAGE = "vaskor")

# Non-decreasing up to the rounding of x_i = w_i + z / s_i, which can put a
# component a few units in the last place outside its neighbours.
ordered_up_to_rounding <- function(x) {
  all(diff(x) >= -4 * .Machine$double.eps * pmax(1, abs(x[-1])))
}
