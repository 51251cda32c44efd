// .Call entry mvtrnorms(A, m, x, n, sweeps): `sweeps` ordered Gibbs sweeps over
// the n inner components of the state x (lower end value, n components, upper
// end value), returned as a new double vector of length n + 2. The caller's
// vectors are read in place and never written; the sweeps run on the result.
#include <cmath>
#include <cstddef>

#include "arguments.h"
#include "c_stream.h"
#include "export.h"
#include "mvtrnorms_checks.h"
#include "ordered_gibbs.h"

namespace {

constexpr const char kEntry[] = "mvtrnorms";
// Up to this many components the sweeps' scratch lives on the stack, which
// spares the many short calls of a sampler the heap allocation; above it the
// scratch comes from R_alloc. Either way nothing outlives the call.
constexpr int kStackScratchComponents = 64;

// Any number, logical or integer: NA (also an empty vector) and counts below 1
// mean no sweep.
int sweep_count(SEXP sweeps) {
  const SEXPTYPE type = TYPEOF(sweeps);
  if (type != LGLSXP && type != INTSXP && type != REALSXP) {
    Rf_error("%s: argument 'sweeps' must be a number, not of type '%s'", kEntry,
             Rf_type2char(type));
  }
  const int count = Rf_asInteger(sweeps);
  return count == NA_INTEGER ? 0 : count;
}

bool any_nan(const double* x, R_xlen_t length) {
  for (R_xlen_t i = 0; i < length; ++i) {
    if (std::isnan(x[i])) return true;
  }
  return false;
}

}  // namespace

QV_EXPORT SEXP mvtrnorms(SEXP a_arg, SEXP m_arg, SEXP x_arg, SEXP n_arg, SEXP sweeps_arg) {
  // Counts from -2: n = -1 returns the lower end value alone, n = -2 nothing.
  const int n = core::checked_count(n_arg, -2, kEntry, "n");
  const int sweeps = sweep_count(sweeps_arg);
  const R_xlen_t components = n > 0 ? n : 0;
  const R_xlen_t length = static_cast<R_xlen_t>(n) + 2;
  // A single component has no other component to take a location from.
  const double* m = core::checked_doubles(m_arg, n > 1 ? components : 0, kEntry, "m");
  const double* a = core::checked_doubles(a_arg, components * components, kEntry, "A");
  const double* start = core::checked_doubles(x_arg, length, kEntry, "x");

  const bool draws = n > 0 && sweeps > 0;
  double stack_scratch[2 * kStackScratchComponents];
  double* scratch = stack_scratch;
  if (draws) {
    vaskor::check_gibbs_matrix(n, a);
    if (n > 1) vaskor::check_gibbs_location(n, m);
    vaskor::check_gibbs_start(n, start);
    if (vaskor::sweep_scratch_size(n) > sizeof stack_scratch / sizeof stack_scratch[0]) {
      // Sized by n; R frees it when the call ends, by return or by error.
      scratch = reinterpret_cast<double*>(R_alloc(vaskor::sweep_scratch_size(n), sizeof(double)));
    }
  }

  SEXP result = Rf_protect(Rf_allocVector(REALSXP, length));
  double* x = REAL(result);
  for (R_xlen_t i = 0; i < length; ++i) x[i] = start[i];
  if (draws) {
    // The sweeps' draws read the C library stream checked out (c_stream.h).
    core::c_stream_check_out();
    vaskor::ordered_gibbs_sweeps(n, sweeps, a, m, x, scratch);
    core::c_stream_check_in();
    // Finite input can still overflow to a NaN component.
    if (any_nan(x, length)) Rf_warning("NAs produced");
  }
  Rf_unprotect(1);
  return result;
}
