#include "ordered_gibbs.h"

#include "c_stream_source.h"
#include "truncated_normal.h"

namespace vaskor {

void ordered_gibbs_sweeps(int n, int sweeps, const double* a, const double* m, double* x,
                          double* scratch) {
  // One source for every update of the call: the sampler is inlined into the
  // sweeps instead of a call of core::trunom per update.
  core::CStreamSource source;
  ordered_gibbs_sweeps_by(
      [&source](double lo, double hi) { return core::trunom_with(source, lo, hi); }, n, sweeps,
      a, m, x, scratch);
}

}  // namespace vaskor
