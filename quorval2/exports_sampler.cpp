// Exported names of the samplers on R's generator.
#include "export.h"
#include "sampler.h"

QV_EXPORT double onetn(double x) { return quorval2::onetn(x); }
QV_EXPORT double trunom(double as, double bl) { return quorval2::trunom(as, bl); }
