#include "whole_point.h"

#include <cmath>

namespace oprobit {

double log_proposal_ratio(const TProposal& proposal, const double* current, const double* w,
                          double* scratch) {
  const int d = proposal.d;
  double squares[2];
  const double* points[2] = {current, w};
  for (int k = 0; k < 2; ++k) {
    for (int a = 0; a < d; ++a) scratch[a] = points[k][a] - proposal.mu[a];
    double total = 0.0;
    for (int b = 0; b < d; ++b) {
      double r = 0.0;
      for (int a = 0; a <= b; ++a) r += proposal.root_inv[a + d * b] * scratch[a];
      total += r * r;
    }
    squares[k] = total;
  }
  return -0.5 * (proposal.df + d) *
         (std::log1p(squares[0] / proposal.df) - std::log1p(squares[1] / proposal.df));
}

namespace {

constexpr double kRootHalf = 0.70710678118654752440;

// A cell's mass from the normal tail on the far side of its row's mean m
// (upper tail when both bounds lie above it), so that it keeps its precision
// far out: 0.5 erfc(x / sqrt 2) is the mass above x. y is the category, between
// thresholds y - 1 and y (1-based).
inline double cell_mass(double m, int y, int categories, const double* zeta) {
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

}  // namespace

double cell_log_likelihood(const Cells& cells, int categories, const double* eta, const double* zeta) {
  // Masses of single units are multiplied together and their product's log
  // taken before it can underflow: one log for many cells.
  constexpr double kSmallestProduct = 0x1p-900;
  double total = 0.0;
  double product = 1.0;
  for (int c = 0; c < cells.count; ++c) {
    const double mass = cell_mass(eta[cells.row[c]], cells.y[c], categories, zeta);
    if (cells.size[c] == 1.0) {
      product *= mass;
      if (product < kSmallestProduct) {
        total += std::log(product);
        product = 1.0;
      }
    } else {
      total += cells.size[c] * std::log(mass);
    }
  }
  return total + std::log(product);
}

bool cell_derivatives(const Cells& cells, int categories, const double* X, int rows, int slopes,
                      const Directions& directions, const double* eta, const double* zeta,
                      double* log_likelihood, double* gradient, double* curvature, double* scratch) {
  constexpr double kInverseRootTwoPi = 0.39894228040143267794;
  // Coordinates that move every mean by their covariate (the slopes, then the
  // extra ones) come first, the thresholds after them.
  const int linear = slopes + directions.extra;
  const int d = linear + categories - 1;
  for (int a = 0; a < d; ++a) gradient[a] = 0.0;
  for (int a = 0; a < d * d; ++a) curvature[a] = 0.0;
  double* z = scratch;  // a cell's covariate of each linear coordinate
  double total = 0.0;
  double product = 1.0;
  for (int c = 0; c < cells.count; ++c) {
    const int row = cells.row[c];
    const double m = eta[row];
    const int y = cells.y[c];
    const double mass = cell_mass(m, y, categories, zeta);
    if (!(mass > 0.0)) return false;
    const double w = cells.size[c];
    if (w == 1.0) {
      product *= mass;
      if (product < 0x1p-900) {
        total += std::log(product);
        product = 1.0;
      }
    } else {
      total += w * std::log(mass);
    }
    // Derivatives of log mass in its bounds lo = zeta[y-1] - m, hi = zeta[y] - m.
    const bool has_lo = y > 1, has_hi = y < categories;
    const double lo = has_lo ? zeta[y - 2] - m : 0.0;
    const double hi = has_hi ? zeta[y - 1] - m : 0.0;
    const double g_lo = has_lo ? kInverseRootTwoPi * std::exp(-0.5 * lo * lo) / mass : 0.0;
    const double g_hi = has_hi ? kInverseRootTwoPi * std::exp(-0.5 * hi * hi) / mass : 0.0;
    const double d_lolo = lo * g_lo - g_lo * g_lo;
    const double d_hihi = -hi * g_hi - g_hi * g_hi;
    const double d_lohi = g_lo * g_hi;
    // In the mean m, which moves both bounds down.
    const double first = w * (g_lo - g_hi);
    const double second = w * (d_lolo + 2.0 * d_lohi + d_hihi);
    const double with_hi = w * (d_hihi + d_lohi);
    const double with_lo = w * (d_lolo + d_lohi);
    for (int a = 0; a < slopes; ++a) z[a] = X[row + static_cast<long>(rows) * (a + 1)];
    for (int j = 0; j < directions.extra; ++j) {
      z[slopes + j] = directions.v[row + static_cast<long>(rows) * j] * directions.scale[j];
    }
    const int h = linear + y - 1;  // zeta[y] when has_hi
    const int l = linear + y - 2;  // zeta[y-1] when has_lo
    for (int a = 0; a < linear; ++a) {
      gradient[a] += first * z[a];
      for (int b = 0; b <= a; ++b) curvature[b + d * a] -= second * z[a] * z[b];
      if (has_hi) curvature[a + d * h] += with_hi * z[a];
      if (has_lo) curvature[a + d * l] += with_lo * z[a];
    }
    // exp(l_j) v_j is its own second derivative in l_j.
    for (int a = slopes; a < linear; ++a) curvature[a + d * a] -= first * z[a];
    if (has_hi) {
      gradient[h] += w * g_hi;
      curvature[h + d * h] -= w * d_hihi;
    }
    if (has_lo) {
      gradient[l] -= w * g_lo;
      curvature[l + d * l] -= w * d_lolo;
    }
    if (has_lo && has_hi) curvature[l + d * h] -= w * d_lohi;
  }
  // Filled above the diagonal: mirror it.
  for (int a = 0; a < d; ++a) {
    for (int b = a + 1; b < d; ++b) curvature[b + d * a] = curvature[a + d * b];
  }
  total += std::log(product);
  *log_likelihood = total;
  return std::isfinite(total);
}

}  // namespace oprobit
