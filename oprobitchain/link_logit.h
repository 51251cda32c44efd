// The logit link: the latent error is standard logistic,
// F(x) = 1 / (1 + exp(-x)).
#pragma once

#include <cmath>

#include "link.h"

namespace oprobit {

struct LogitLink {
  // F(x) to full relative precision on both sides: exp of a non-positive
  // number only, so that the far tail neither overflows nor cancels.
  static double cdf(double x) {
    if (x >= 0.0) return 1.0 / (1.0 + std::exp(-x));
    const double e = std::exp(x);
    return e / (1.0 + e);
  }

  // With lo < hi, F(hi) - F(lo) = F(hi) (1 - F(lo)) (1 - exp(lo - hi)): a
  // product of positive factors, each computed without cancellation, so a
  // category far from the mean keeps its mass. 1 - F(x) is F(-x).
  static double cell_mass(double m, int y, int categories, const double* zeta) {
    if (y == 1) return cdf(zeta[0] - m);
    if (y == categories) return cdf(m - zeta[categories - 2]);
    return cdf(zeta[y - 1] - m) * cdf(m - zeta[y - 2]) * -std::expm1(zeta[y - 2] - zeta[y - 1]);
  }

  // f = F (1 - F), f' / f = 1 - 2 F = -tanh(x / 2).
  static BoundTerms bound_terms(double lo, double hi, bool has_lo, bool has_hi, double mass) {
    const double f_lo = has_lo ? cdf(lo) * cdf(-lo) : 0.0;
    const double f_hi = has_hi ? cdf(hi) * cdf(-hi) : 0.0;
    return bound_terms_of(f_lo, f_hi, -std::tanh(0.5 * lo), -std::tanh(0.5 * hi), has_lo, has_hi, mass);
  }
};

}  // namespace oprobit
