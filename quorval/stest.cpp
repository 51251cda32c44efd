// .Call test entry: returns x[0] + 1, x[1] + 1 and eight zeros, and adds 1 to
// x[2] in the caller's own storage.
#include "arguments.h"
#include "export.h"

QV_EXPORT SEXP stest(SEXP x_arg) {
  double* x = core::checked_writable_doubles(x_arg, 3, "stest", "x");
  SEXP result = Rf_protect(Rf_allocVector(REALSXP, 10));
  double* t = REAL(result);
  t[0] = x[0] + 1.0;
  t[1] = x[1] + 1.0;
  for (int i = 2; i < 10; ++i) t[i] = 0.0;
  x[2] = x[2] + 1.0;
  Rf_unprotect(1);
  return result;
}
