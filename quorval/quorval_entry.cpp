// .Call entry quorval(N, K, y, c, m, t, s): one Metropolis-Hastings update of
// ordinal probit cutpoints. Returns the K proposed cutpoints followed by the
// decision (cutpoint_result.h). Every argument is checked here, before
// anything is drawn; the step itself trusts them.
#include "arguments.h"
#include "c_stream.h"
#include "cutpoint_result.h"
#include "cutpoint_step.h"
#include "export.h"

namespace {

constexpr const char kEntry[] = "quorval";

// A real scalar read with Rf_asReal: a non-empty numeric or logical vector.
double checked_real(SEXP x, const char* name) {
  const int type = TYPEOF(x);
  if (type != REALSXP && type != INTSXP && type != LGLSXP) {
    Rf_error("%s: argument '%s' must be a number, not of type '%s'", kEntry, name,
             Rf_type2char(TYPEOF(x)));
  }
  if (XLENGTH(x) < 1) Rf_error("%s: argument '%s' must be a number, not empty", kEntry, name);
  return Rf_asReal(x);
}

// Category codes select cutpoints code-1 and code: each must be in 1 ... K-1.
void check_codes(const int* y, int n, int k) {
  for (int i = 0; i < n; ++i) {
    if (y[i] < 1 || y[i] > k - 1) {
      if (y[i] == NA_INTEGER) {
        Rf_error("%s: argument 'y' must hold category codes in 1 ... K-1 = %d; element %d is NA",
                 kEntry, k - 1, i + 1);
      }
      Rf_error("%s: argument 'y' must hold category codes in 1 ... K-1 = %d; element %d is %d",
               kEntry, k - 1, i + 1, y[i]);
    }
  }
}

}  // namespace

QV_EXPORT SEXP quorval(SEXP n_arg, SEXP k_arg, SEXP y_arg, SEXP c_arg, SEXP m_arg, SEXP t_arg,
                       SEXP s_arg) {
  ordinal::CutpointModel model;
  model.n = core::checked_count(n_arg, 0, kEntry, "N");
  model.k = core::checked_count(k_arg, 0, kEntry, "K");
  model.y = core::checked_integers(y_arg, model.n, kEntry, "y");
  check_codes(model.y, model.n, model.k);
  model.c = core::checked_doubles(c_arg, model.k, kEntry, "c");
  model.m = core::checked_doubles(m_arg, model.n, kEntry, "m");
  model.t = checked_real(t_arg, "t");
  model.s = checked_real(s_arg, "s");
  // A reciprocal sd of 0 or below would make every step reject without a word.
  if (model.t <= 0.0) Rf_error("%s: argument 't' must be positive, not %g", kEntry, model.t);
  if (model.s <= 0.0) Rf_error("%s: argument 's' must be positive, not %g", kEntry, model.s);

  SEXP result = Rf_protect(Rf_allocVector(REALSXP, static_cast<R_xlen_t>(model.k) + 1));
  double* out = REAL(result);
  out[model.k] = ordinal::kCutpointRejected;
  // The step's draws read the C library stream checked out (c_stream.h).
  core::c_stream_check_out();
  const bool accepted = ordinal::cutpoint_step(model, out);
  core::c_stream_check_in();
  if (accepted) out[model.k] = ordinal::kCutpointAccepted;
  Rf_unprotect(1);
  return result;
}
