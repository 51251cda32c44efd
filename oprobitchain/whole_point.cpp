#include "whole_point.h"

#include <cmath>

#include "r_math.h"
#include "small_matrix.h"

namespace oprobit {
namespace {

// Log of the normal probability of [lo, hi] around mean m, taken on the side
// of the mean where both tail values are small, so that it keeps precision.
double log_interval_mass(double lo, double hi, double m) {
  const double low = lo - m;
  const double high = hi - m;
  const double mass = low > 0.0 ? Rf_pnorm5(-low, 0.0, 1.0, 1, 0) - Rf_pnorm5(-high, 0.0, 1.0, 1, 0)
                                 : Rf_pnorm5(high, 0.0, 1.0, 1, 0) - Rf_pnorm5(low, 0.0, 1.0, 1, 0);
  return std::log(mass);
}

double bound(const double* zeta, int j, int k) {
  if (k == 0) return R_NegInf;
  if (k == j) return R_PosInf;
  return zeta[k - 1];
}

}  // namespace

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

double cell_log_ratio(const Cells& cells, int j, const double* eta, const double* zeta,
                      const double* new_eta, const double* new_zeta) {
  double total = 0.0;
  for (int c = 0; c < cells.count; ++c) {
    const int row = cells.pattern[c];
    const int k = cells.y[c];
    const double now = log_interval_mass(bound(zeta, j, k - 1), bound(zeta, j, k), eta[row]);
    const double then =
        log_interval_mass(bound(new_zeta, j, k - 1), bound(new_zeta, j, k), new_eta[row]);
    total += cells.size[c] * (then - now);
  }
  return total;
}

}  // namespace oprobit
