// .Call entry: normal draws with means m, reciprocal sds s, truncated to
// [lo, hi], one per element, on the C library stream.
#include "arguments.h"
#include "export.h"
#include "c_stream_source.h"
#include "truncated_normal.h"
#include "trunomcall_loop.h"

QV_EXPORT SEXP trunomcall(SEXP n_arg, SEXP m_arg, SEXP s_arg, SEXP lo_arg, SEXP hi_arg) {
  const char* entry = "trunomcall";
  const int n = core::checked_count(n_arg, 0, entry, "n");
  const double* m = core::checked_doubles(m_arg, n, entry, "m");
  const double* s = core::checked_doubles(s_arg, n, entry, "s");
  const double* lo = core::checked_doubles(lo_arg, n, entry, "lo");
  const double* hi = core::checked_doubles(hi_arg, n, entry, "hi");

  SEXP result = Rf_protect(Rf_allocVector(REALSXP, n));
  // One source for the whole vector: the sampler is inlined into the loop.
  core::CStreamSource source;
  const bool nan_seen = core::fill_truncated_normals_with(
      [&source](double a, double b) { return core::trunom_with(source, a, b); }, n, m, s, lo,
      hi, REAL(result));
  if (nan_seen) Rf_warning("NAs produced");
  Rf_unprotect(1);
  return result;
}
