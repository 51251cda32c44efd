// The cauchit link: the latent error is standard Cauchy,
// F(x) = 1/2 + atan(x) / pi.
#pragma once

#include <cmath>

#include "link.h"

namespace oprobit {

struct CauchitLink {
  static constexpr double kInversePi = 0.31830988618379067154;

  // Below the centre, 1/2 + atan(x) / pi = atan(-1 / x) / pi, which keeps its
  // relative precision far down.
  static double cdf(double x) { return x < 0.0 ? std::atan(-1.0 / x) * kInversePi : 0.5 + std::atan(x) * kInversePi; }

  // (atan(hi) - atan(lo)) / pi for finite lo < hi. On one side of the centre
  // the difference of the arctangents is the angle of
  // (hi - lo, 1 + hi lo), scaled by the farther bound so that neither
  // overflows; width is hi - lo, passed in when known more exactly.
  static double interval(double lo, double hi, double width) {
    if (lo >= 0.0) return std::atan2(width / hi, 1.0 / hi + lo) * kInversePi;
    if (hi <= 0.0) return std::atan2(width / -lo, -1.0 / lo - hi) * kInversePi;
    return (std::atan(hi) + std::atan(-lo)) * kInversePi;
  }

  static double cell_mass(double m, int y, int categories, const double* zeta) {
    if (y == 1) return cdf(zeta[0] - m);
    if (y == categories) return cdf(m - zeta[categories - 2]);
    return interval(zeta[y - 2] - m, zeta[y - 1] - m, zeta[y - 1] - zeta[y - 2]);
  }

  // f = 1 / (pi (1 + x^2)), f' / f = -2 x / (1 + x^2).
  static BoundTerms bound_terms(double lo, double hi, bool has_lo, bool has_hi, double mass) {
    const double f_lo = has_lo ? kInversePi / (1.0 + lo * lo) : 0.0;
    const double f_hi = has_hi ? kInversePi / (1.0 + hi * hi) : 0.0;
    return bound_terms_of(f_lo, f_hi, -2.0 * lo / (1.0 + lo * lo), -2.0 * hi / (1.0 + hi * hi), has_lo,
                          has_hi, mass);
  }
};

}  // namespace oprobit
