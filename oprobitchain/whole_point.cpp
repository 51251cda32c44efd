#include "whole_point.h"

#include <cmath>

#include "r_math.h"
#include "small_matrix.h"

namespace oprobit {

bool fit_proposal(const double* pilot, int rows, int d, int first, int last, TProposal* out) {
  const int used = last - first;
  if (used < 20 * d) return false;
  double* mu = out->mu;
  for (int a = 0; a < d; ++a) {
    double sum = 0.0;
    for (int i = first; i < last; ++i) sum += pilot[i + static_cast<long>(rows) * a];
    mu[a] = sum / used;
  }
  double* cov = reinterpret_cast<double*>(R_alloc(static_cast<size_t>(d) * d, sizeof(double)));
  for (int a = 0; a < d; ++a) {
    for (int b = 0; b <= a; ++b) {
      double sum = 0.0;
      for (int i = first; i < last; ++i) {
        sum += (pilot[i + static_cast<long>(rows) * a] - mu[a]) *
               (pilot[i + static_cast<long>(rows) * b] - mu[b]);
      }
      cov[a + d * b] = cov[b + d * a] = sum / (used - 1);
    }
  }
  if (!cholesky_upper(cov, d, out->root)) return false;
  invert_upper(out->root, d, out->root_inv);
  out->d = d;
  return true;
}

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

double cell_log_likelihood(const Cells& cells, int j, int rows, const double* eta,
                           const double* zeta, double* tails) {
  // Per row and threshold, the normal probability below it and above it, in
  // one evaluation. A cell's mass is taken from the tail side of its row's
  // mean where both values are small, so that it keeps its precision.
  const int thresholds = j - 1;
  double* below = tails;
  double* above = tails + static_cast<long>(rows) * thresholds;
  for (int r = 0; r < rows; ++r) {
    for (int k = 0; k < thresholds; ++k) {
      Rf_pnorm_both(zeta[k] - eta[r], &below[r * thresholds + k], &above[r * thresholds + k], 2, 0);
    }
  }
  double total = 0.0;
  for (int c = 0; c < cells.count; ++c) {
    const int row = cells.row[c];
    const int y = cells.y[c];  // between thresholds y - 1 and y (1-based)
    const double* b = below + row * thresholds;
    const double* a = above + row * thresholds;
    double mass;
    if (y > 1 && zeta[y - 2] > eta[row]) {
      mass = a[y - 2] - (y < j ? a[y - 1] : 0.0);
    } else {
      mass = (y < j ? b[y - 1] : 1.0) - (y > 1 ? b[y - 2] : 0.0);
    }
    total += cells.size[c] * std::log(mass);
  }
  return total;
}

}  // namespace oprobit
