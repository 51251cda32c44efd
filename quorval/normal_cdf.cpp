// norm(z) = 1 +/- P(1/2, z^2/2): the series below y = 1.5 (a + 1 for
// a = 1/2), otherwise 1 - Q in double from the continued fraction, so the
// lower tail keeps values far below float spacing near 1.
#include "normal_cdf.h"

#include "incomplete_gamma.h"

namespace ordinal {
namespace {

constexpr double kHalf = 0.5;
constexpr double kSeriesLimit = kHalf + 1.0;

}  // namespace

double norm(double z) {
  // ln Gamma(1/2), the same float that gser and gcf would compute each time.
  static const float lngamma_half = gammln(kHalf);
  const double zs = static_cast<float>(z);
  const double y = static_cast<float>(zs * (zs * kHalf));
  double p;
  if (y < kSeriesLimit) {
    float ps;
    gser_given(&ps, kHalf, y, lngamma_half);
    p = ps;
  } else {
    float q;
    gcf_given(&q, kHalf, y, lngamma_half);
    p = 1.0 - static_cast<double>(q);
  }
  // -0 counts as non-negative.
  return zs >= 0.0 ? 1.0 + p : 1.0 - p;
}

}  // namespace ordinal
