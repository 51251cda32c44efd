// .Call entry: normal draws with means m, reciprocal sds s, truncated to
// [lo, hi], one per element, on R's generator. R's generator state is loaded
// once before the loop and stored back once after it (also for n = 0); an
// error raised by a draw leaves R's stored seed where it was.
#include "truncated_normal.h"
#include "r_stream_source.h"

#include <R_ext/Random.h>

#include "trunomcall_arguments.h"
#include "export.h"
#include "trunomcall_loop.h"

QV_EXPORT SEXP trunomcall(SEXP n_arg, SEXP m_arg, SEXP s_arg, SEXP lo_arg, SEXP hi_arg) {
  const core::TrunomcallArguments a =
      core::checked_trunomcall_arguments(n_arg, m_arg, s_arg, lo_arg, hi_arg);

  SEXP result = Rf_protect(Rf_allocVector(REALSXP, a.n));
  GetRNGstate();
  // One source for the whole vector: the sampler is inlined into the loop.
  quorval2::RStreamSource source;
  const bool nan_seen = core::fill_truncated_normals_with(
      [&source](double lower, double upper) { return core::trunom_with(source, lower, upper); },
      a.n, a.m, a.s, a.lo, a.hi, REAL(result));
  PutRNGstate();
  if (nan_seen) Rf_warning("NAs produced");
  Rf_unprotect(1);
  return result;
}
