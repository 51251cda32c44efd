// P(a, x) by its power series,
//   P = e^-x x^a / Gamma(a) * sum_{n>=0} x^n / (a (a+1) ... (a+n)),
// for x < a + 1. a and x are rounded to float first; the running sum is a
// float, rounded after every addition; term and denominator stay double.
// ln Gamma(a) is stored before anything else. a <= 0 is not checked: the
// loop is bounded, so such a call ends in a value or in the reporter.
#include <cmath>

#include "fatal.h"
#include "incomplete_gamma.h"

namespace ordinal {

void gser(float* p_out, double a_in, double x_in, float* lngamma_out) {
  const float gln = gammln(static_cast<float>(a_in));
  *lngamma_out = gln;
  gser_given(p_out, a_in, x_in, gln);
}

void gser_given(float* p_out, double a_in, double x_in, float gln) {
  const double a = static_cast<float>(a_in);
  const double x = static_cast<float>(x_in);
  if (x <= 0.0) {
    if (x < 0.0) core::fatal(kSeriesNegativeX);
    *p_out = 0.0f;
    return;
  }
  double denominator = a;
  double term = 1.0 / a;
  float sum = static_cast<float>(term);
  for (int n = 1; n <= kMaxIterations; ++n) {
    denominator = denominator + 1.0;
    term = term * (x / denominator);
    sum = static_cast<float>(sum + term);
    if (std::fabs(term) < std::fabs(sum) * kTolerance) {
      *p_out = static_cast<float>(sum * std::exp(-x + a * std::log(x) - gln));
      return;
    }
  }
  // A NaN x arrives here too: it fails both tests above.
  core::fatal(kSeriesNoConvergence);
}

}  // namespace ordinal
