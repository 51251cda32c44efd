#include "regression_draw.h"

#include <cmath>
#include <limits>

#include "slice_step.h"
#include "small_matrix.h"

namespace oprobit {
namespace {

// The slice step for t > 0 under the log-concave density a log t - rss t^2 / 2
// + S t, stepping out without limit by a width from the curvature at the mode.
double slice_t(const RandomSource& random, double t, double a, double rss, double S) {
  auto logf = [a, rss, S](double x) { return a * std::log(x) - rss * x * x / 2 + S * x; };
  const double mode = (S + std::sqrt(S * S + 4 * rss * a)) / (2 * rss);
  const double width = 2 / std::sqrt(a / (mode * mode) + rss);
  return slice_step(random, SliceShape{width, -1, 0.0, std::numeric_limits<double>::infinity(), 0.0}, t, log_density(logf));
}

}  // namespace

void draw_regression(ChainState& s, const RandomSource& random) {
  const ChainData& data = s.data;
  const ChainPrior& prior = s.prior;
  RegressionScratch& r = s.regression;
  const int p = data.p;
  const double* z = s.frame.z;
  // z' z, X' z and z' o through the sums of z by covariate row.
  double zz = 0.0;
  double zo = 0.0;
  for (int row = 0; row < data.rows; ++row) {
    double sum = 0.0;
    for (int j = data.row_start[row]; j < data.row_start[row + 1]; ++j) {
      sum += z[j];
      zz += z[j] * z[j];
    }
    r.sums[row] = sum;
    zo += data.offset[row] * sum;
  }
  for (int a = 0; a < p; ++a) {
    double sum = 0.0;
    const double* column = data.X + static_cast<R_xlen_t>(data.rows) * a;
    for (int row = 0; row < data.rows; ++row) sum += column[row] * r.sums[row];
    r.Xz[a] = sum;
  }
  multiply(prior.M_inv, p, p, r.Xz, r.fitted);
  double t = s.frame.t;
  if (data.categories > 2) {
    double explained = 0.0;
    for (int a = 0; a < p; ++a) explained += r.Xz[a] * r.fitted[a];
    const double rss = zz - explained;
    if (prior.t_by_slice) {
      // The linear term of log t: z' o + (X' z)' M^-1 (P m - X' o).
      double S = zo;
      for (int a = 0; a < p; ++a) S += r.fitted[a] * prior.linear_term[a];
      t = slice_t(random, t, 2 * prior.gamma_shape - 1, rss, S);
    } else {
      t = std::sqrt(random.gamma(prior.gamma_shape, 2.0 / rss));
    }
  }
  for (int a = 0; a < p; ++a) r.normals[a] = random.normal();
  multiply(prior.M_root_inv, p, p, r.normals, r.u);
  for (int a = 0; a < p; ++a) r.u[a] = r.fitted[a] * t + prior.prior_shift[a] + r.u[a];
  // Back to the probit scale: the cutpoints stay, b = u / t and t are new.
  // beta = t (u / t) rounds as the map through the frame does, so that the
  // slopes and the thresholds come from the same b.
  const double b_intercept = r.u[0] / t;
  for (int k = 0; k < data.slopes; ++k) s.beta[k] = t * (r.u[k + 1] / t);
  for (int k = 0; k < data.thresholds; ++k) s.zeta[k] = t * (s.frame.cutpoints[k + 1] - b_intercept);
  update_eta(data, s.beta, s.eta);
}

}  // namespace oprobit
