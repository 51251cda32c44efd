#include "newton_proposal.h"

#include <cmath>

#include "small_matrix.h"

namespace oprobit {

bool newton_finish(NewtonPoint& point, const double* theta, int d) {
  if (!cholesky_lower(point.curvature, d, point.root)) return false;
  double* centre = point.centre;
  for (int a = 0; a < d; ++a) centre[a] = point.gradient[a];
  solve_lower(point.root, d, centre);
  solve_lower_transposed(point.root, d, centre);
  double log_det = 0.0;
  for (int a = 0; a < d; ++a) {
    centre[a] += theta[a];
    log_det += std::log(point.root[a + d * a]);
  }
  point.log_root_det = log_det;
  for (int a = 0; a < d; ++a) {
    if (!std::isfinite(centre[a])) return false;
  }
  return true;
}

double newton_log_density(const NewtonPoint& from, const double* to, int d, double df, double* scratch) {
  for (int a = 0; a < d; ++a) scratch[a] = to[a] - from.centre[a];
  // (to - centre)' A (to - centre) = |root' (to - centre)|^2.
  double squares = 0.0;
  for (int a = 0; a < d; ++a) {
    double v = 0.0;
    for (int b = a; b < d; ++b) v += from.root[b + d * a] * scratch[b];
    squares += v * v;
  }
  return from.log_root_det - 0.5 * (df + d) * std::log1p(squares / df);
}

}  // namespace oprobit
