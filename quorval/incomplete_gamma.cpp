// P(a, x), the regularized lower incomplete gamma function: the series for
// x < a + 1, otherwise 1 - Q from the continued fraction, formed in double
// and not rounded back to float. Checks x >= 0 and a > 0 (after rounding to
// float); NaN arguments pass the checks and end in the fraction's report.
#include "fatal.h"
#include "incomplete_gamma.h"

namespace ordinal {

double gammp(double a_in, double x_in) {
  const double a = static_cast<float>(a_in);
  const double x = static_cast<float>(x_in);
  if (x < 0.0 || a <= 0.0) core::fatal(kInvalidGammaArguments);
  float lngamma_unused;
  if (x < a + 1.0) {
    float p;
    gser(&p, a, x, &lngamma_unused);
    return p;
  }
  float q;
  gcf(&q, a, x, &lngamma_unused);
  return 1.0 - static_cast<double>(q);
}

}  // namespace ordinal
