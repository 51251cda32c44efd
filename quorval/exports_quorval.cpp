// Exported names of the incomplete gamma routines and the normal
// distribution function; they forward to the library's hidden copies.
#include "export.h"
#include "incomplete_gamma.h"
#include "normal_cdf.h"

QV_EXPORT float gammln(double xx) { return ordinal::gammln(xx); }
QV_EXPORT void gser(float* p_out, double a, double x, float* lngamma_out) {
  ordinal::gser(p_out, a, x, lngamma_out);
}
QV_EXPORT void gcf(float* q_out, double a, double x, float* lngamma_out) {
  ordinal::gcf(q_out, a, x, lngamma_out);
}
QV_EXPORT double gammp(double a, double x) { return ordinal::gammp(a, x); }
QV_EXPORT double norm(double z) { return ordinal::norm(z); }
