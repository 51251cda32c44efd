// .Call entry: normal draws with means m, reciprocal sds s, truncated to
// [lo, hi], one per element, on the C library stream.
#include "trunomcall_arguments.h"
#include "export.h"
#include "c_stream_source.h"
#include "truncated_normal.h"
#include "trunomcall_loop.h"

QV_EXPORT SEXP trunomcall(SEXP n_arg, SEXP m_arg, SEXP s_arg, SEXP lo_arg, SEXP hi_arg) {
  const core::TrunomcallArguments a =
      core::checked_trunomcall_arguments(n_arg, m_arg, s_arg, lo_arg, hi_arg);

  SEXP result = Rf_protect(Rf_allocVector(REALSXP, a.n));
  // One source for the whole vector: the sampler is inlined into the loop,
  // and the C library stream is checked out for it (c_stream.h).
  core::CStreamSource source;
  core::c_stream_check_out();
  const bool nan_seen = core::fill_truncated_normals_with(
      [&source](double lower, double upper) { return core::trunom_with(source, lower, upper); },
      a.n, a.m, a.s, a.lo, a.hi, REAL(result));
  core::c_stream_check_in();
  if (nan_seen) Rf_warning("NAs produced");
  Rf_unprotect(1);
  return result;
}
