#include "ordered_gibbs.h"

#include "sampler.h"

namespace vaskor {

void ordered_gibbs_sweeps(int n, int sweeps, const double* a, const double* m, double* x,
                          double* scratch) {
  ordered_gibbs_sweeps_with<core::trunom>(n, sweeps, a, m, x, scratch);
}

}  // namespace vaskor
