// The log-log link: F(x) = exp(-exp(-x)), the latent error standard Gumbel
// (a short lower tail, a long upper one). It is the complementary log-log
// link mirrored, F(x) = 1 - G(-x) for that link's G, and takes its
// careful pieces on the mirrored axis.
#pragma once

#include "link.h"
#include "link_cloglog.h"

namespace oprobit {

struct LoglogLink {
  // The mass of (lo, hi) is G's mass of (-hi, -lo).
  static double cell_mass(double m, int y, int categories, const double* zeta) {
    if (y == 1) return CloglogLink::upper(m - zeta[0]);
    if (y == categories) return CloglogLink::cdf(m - zeta[categories - 2]);
    return CloglogLink::interval(m - zeta[y - 1], m - zeta[y - 2], zeta[y - 1] - zeta[y - 2]);
  }

  // f(x) = g(-x), f'(x) / f(x) = -(g' / g)(-x).
  static BoundTerms bound_terms(double lo, double hi, bool has_lo, bool has_hi, double mass) {
    const double f_lo = has_lo ? CloglogLink::density(-lo) : 0.0;
    const double f_hi = has_hi ? CloglogLink::density(-hi) : 0.0;
    return bound_terms_of(f_lo, f_hi, -CloglogLink::slope(-lo), -CloglogLink::slope(-hi), has_lo, has_hi,
                          mass);
  }
};

}  // namespace oprobit
