// .C entry: truncated standard normal draws into the caller's fourth vector.
// .C hands over bare pointers, so lengths cannot be checked here; the R
// wrapper checks them. A count of 0 or less writes nothing.
#include "export.h"
#include "sampler.h"

QV_EXPORT void trunomc(int* n, double* a, double* b, double* out) {
  for (int i = 0; i < *n; ++i) out[i] = core::trunom(a[i], b[i]);
}
