// The probit link: the latent error is standard normal.
#pragma once

#include <cmath>

#include "link.h"

namespace oprobit {

struct ProbitLink {
  // A cell's mass from the normal tail on the far side of its row's mean m
  // (upper tail when both bounds lie above it), so that it keeps its
  // precision far out: 0.5 erfc(x / sqrt 2) is the mass above x. y is the
  // category, between thresholds y - 1 and y (1-based).
  static double cell_mass(double m, int y, int categories, const double* zeta) {
    constexpr double kRootHalf = 0.70710678118654752440;
    if (y == 1) return 0.5 * std::erfc((m - zeta[0]) * kRootHalf);
    if (y == categories) return 0.5 * std::erfc((zeta[categories - 2] - m) * kRootHalf);
    if (zeta[y - 2] > m) {
      return 0.5 * (std::erfc((zeta[y - 2] - m) * kRootHalf) - std::erfc((zeta[y - 1] - m) * kRootHalf));
    }
    if (zeta[y - 1] < m) {
      return 0.5 * (std::erfc((m - zeta[y - 1]) * kRootHalf) - std::erfc((m - zeta[y - 2]) * kRootHalf));
    }
    return 1.0 - 0.5 * (std::erfc((zeta[y - 1] - m) * kRootHalf) + std::erfc((m - zeta[y - 2]) * kRootHalf));
  }

  // The normal density's slope is -x times the density.
  static BoundTerms bound_terms(double lo, double hi, bool has_lo, bool has_hi, double mass) {
    constexpr double kInverseRootTwoPi = 0.39894228040143267794;
    BoundTerms t;
    t.g_lo = has_lo ? kInverseRootTwoPi * std::exp(-0.5 * lo * lo) / mass : 0.0;
    t.g_hi = has_hi ? kInverseRootTwoPi * std::exp(-0.5 * hi * hi) / mass : 0.0;
    t.d_lolo = lo * t.g_lo - t.g_lo * t.g_lo;
    t.d_hihi = -hi * t.g_hi - t.g_hi * t.g_hi;
    t.d_lohi = t.g_lo * t.g_hi;
    return t;
  }
};

}  // namespace oprobit
