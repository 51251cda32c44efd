#include "whole_point.h"

#include <cmath>

#include "r_math.h"
#include "small_matrix.h"

namespace oprobit {

void draw_proposal(const TProposal& proposal, double* w, double* z) {
  const int d = proposal.d;
  for (int a = 0; a < d; ++a) z[a] = norm_rand();
  const double scale = std::sqrt(proposal.df / Rf_rchisq(proposal.df));
  for (int b = 0; b < d; ++b) {
    double sum = 0.0;
    for (int a = 0; a <= b; ++a) sum += z[a] * proposal.root[a + d * b];
    w[b] = proposal.mu[b] + sum * scale;
  }
}

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

double cell_log_likelihood(const Cells& cells, int categories, const double* eta, const double* zeta) {
  // A cell's mass from the normal tail on the far side of its row's mean
  // (upper tail when both bounds lie above it), so that it keeps its
  // precision far out: 0.5 erfc(x / sqrt 2) is the mass above x.
  // Masses of single units are multiplied together and their product's log
  // taken before it can underflow: one log for many cells.
  constexpr double kRootHalf = 0.70710678118654752440;
  constexpr double kSmallestProduct = 0x1p-900;
  double total = 0.0;
  double product = 1.0;
  for (int c = 0; c < cells.count; ++c) {
    const double m = eta[cells.row[c]];
    const int y = cells.y[c];  // between thresholds y - 1 and y (1-based)
    double mass;
    if (y == 1) {
      mass = 0.5 * std::erfc((m - zeta[0]) * kRootHalf);
    } else if (y == categories) {
      mass = 0.5 * std::erfc((zeta[categories - 2] - m) * kRootHalf);
    } else if (zeta[y - 2] > m) {
      mass = 0.5 * (std::erfc((zeta[y - 2] - m) * kRootHalf) - std::erfc((zeta[y - 1] - m) * kRootHalf));
    } else if (zeta[y - 1] < m) {
      mass = 0.5 * (std::erfc((m - zeta[y - 1]) * kRootHalf) - std::erfc((m - zeta[y - 2]) * kRootHalf));
    } else {
      mass = 1.0 - 0.5 * (std::erfc((zeta[y - 1] - m) * kRootHalf) + std::erfc((m - zeta[y - 2]) * kRootHalf));
    }
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

}  // namespace oprobit
