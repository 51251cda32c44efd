// .Call entry: normal draws with means m, reciprocal sds s, truncated to
// [lo, hi], one per element, on R's generator. R's generator state is loaded
// once before the loop and stored back once after it (also for n = 0); an
// error raised by a draw leaves R's stored seed where it was.
#include "truncated_normal.h"
#include "r_stream_source.h"

#include <R_ext/Random.h>

#include "arguments.h"
#include "export.h"
#include "trunomcall_loop.h"

QV_EXPORT SEXP trunomcall(SEXP n_arg, SEXP m_arg, SEXP s_arg, SEXP lo_arg, SEXP hi_arg) {
  const char* entry = "trunomcall";
  const int n = core::checked_count(n_arg, 0, entry, "n");
  const double* m = core::checked_doubles(m_arg, n, entry, "m");
  const double* s = core::checked_doubles(s_arg, n, entry, "s");
  const double* lo = core::checked_doubles(lo_arg, n, entry, "lo");
  const double* hi = core::checked_doubles(hi_arg, n, entry, "hi");

  SEXP result = Rf_protect(Rf_allocVector(REALSXP, n));
  GetRNGstate();
  // One source for the whole vector: the sampler is inlined into the loop.
  quorval2::RStreamSource source;
  const bool nan_seen = core::fill_truncated_normals_with(
      [&source](double a, double b) { return core::trunom_with(source, a, b); }, n, m, s, lo,
      hi, REAL(result));
  PutRNGstate();
  if (nan_seen) Rf_warning("NAs produced");
  Rf_unprotect(1);
  return result;
}
