// Q(a, x) = 1 - P(a, x) by its continued fraction
//   Q = e^-x x^a / Gamma(a) * 1/(x + (1-a)/(1 + 1/(x + (2-a)/(1 + 2/(x + ...)))))
// for x >= a + 1, through the convergents N1/D1 of two three-term
// recurrences advanced two partial fractions per iteration and rescaled by
// 1/D1 whenever D1 is non-zero. a and x are rounded to float first; the
// previous convergent is kept as a float, everything else is double.
// ln Gamma(a) is stored before anything else. A NaN or infinite argument
// makes every convergent NaN and ends in the reporter after the last
// iteration; a <= 0 is not checked (the loop is bounded either way).
#include <cmath>

#include "fatal.h"
#include "incomplete_gamma.h"

namespace ordinal {

void gcf(float* q_out, double a_in, double x_in, float* lngamma_out) {
  const float gln = gammln(static_cast<float>(a_in));
  *lngamma_out = gln;
  gcf_given(q_out, a_in, x_in, gln);
}

void gcf_given(float* q_out, double a_in, double x_in, float gln) {
  const double a = static_cast<float>(a_in);
  const double x = static_cast<float>(x_in);
  double d0 = 1.0;  // previous denominator
  double d1 = x;    // denominator
  double n0 = 0.0;  // previous numerator
  double n1 = 1.0;  // numerator
  double scale = 1.0;
  float g_prev = 0.0f;
  for (int n = 1; n <= kMaxIterations; ++n) {
    const double u = n - a;
    d0 = (d1 + d0 * u) * scale;
    n0 = (n1 + n0 * u) * scale;
    const double v = n * scale;
    d1 = x * d0 + v * d1;
    n1 = x * n0 + v * n1;
    // A zero denominator skips the test and keeps scale and g_prev; a NaN one
    // does not (it compares unequal to 0).
    if (d1 != 0.0) {
      scale = 1.0 / d1;
      const double g = n1 * scale;
      const float gs = static_cast<float>(g);
      if (std::fabs((g - g_prev) / gs) < kTolerance) {
        *q_out = static_cast<float>(std::exp(-x + a * std::log(x) - gln) * gs);
        return;
      }
      g_prev = gs;
    }
  }
  core::fatal(kFractionNoConvergence);
}

}  // namespace ordinal
