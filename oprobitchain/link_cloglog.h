// The complementary log-log link: F(x) = 1 - exp(-exp(x)), the latent error
// the negative of a standard Gumbel variable (a long lower tail, a short
// upper one).
#pragma once

#include <cmath>

#include "link.h"

namespace oprobit {

struct CloglogLink {
  // F(x) and 1 - F(x), each to full relative precision where representable.
  static double cdf(double x) { return -std::expm1(-std::exp(x)); }
  static double upper(double x) { return std::exp(-std::exp(x)); }

  // F(hi) - F(lo) for lo < hi (either may be infinite) as
  // (1 - F(lo)) (1 - exp(-(e^hi - e^lo))), with e^hi - e^lo = e^lo (e^(hi-lo) - 1)
  // when the bounds are close: no difference of two nearly equal numbers.
  // width is hi - lo, passed in when it is known more exactly.
  static double interval(double lo, double hi, double width) {
    const double e_lo = std::exp(lo);
    const double gap = width < 1.0 ? e_lo * std::expm1(width) : std::exp(hi) - e_lo;
    return std::exp(-e_lo) * -std::expm1(-gap);  // upper(lo), e^lo computed once
  }

  static double cell_mass(double m, int y, int categories, const double* zeta) {
    if (y == 1) return cdf(zeta[0] - m);
    if (y == categories) return upper(zeta[categories - 2] - m);
    return interval(zeta[y - 2] - m, zeta[y - 1] - m, zeta[y - 1] - zeta[y - 2]);
  }

  // f(x) = exp(x - e^x) (one exp: e^x alone would overflow far up), f' / f = 1 - e^x.
  static double density(double x) { return std::exp(x - std::exp(x)); }
  static double slope(double x) { return -std::expm1(x); }

  static BoundTerms bound_terms(double lo, double hi, bool has_lo, bool has_hi, double mass) {
    const double f_lo = has_lo ? density(lo) : 0.0;
    const double f_hi = has_hi ? density(hi) : 0.0;
    return bound_terms_of(f_lo, f_hi, slope(lo), slope(hi), has_lo, has_hi, mass);
  }
};

}  // namespace oprobit
