// Exported names of the truncated normal samplers on the C library stream.
#include "export.h"
#include "sampler.h"

QV_EXPORT double onetn(double x) { return core::onetn(x); }
QV_EXPORT double trunom(double as, double bl) { return core::trunom(as, bl); }
