#include "newton_move.h"

#include <cmath>

#include "small_matrix.h"

namespace oprobit {
namespace {

// The move's point is (beta, l, zeta): with group terms, l_j = log of the
// factor that scales the sd of coefficient j of a term and every level's
// effect with it (the standardised effects stay), 0 at the chain's point.
// It moves the sds together with (beta, zeta), with the latent variables
// integrated out; the slopes' and thresholds' moves alone leave l out.
struct Layout {
  int slopes, extra, thresholds, d;
};

Layout layout_of(const ChainState& s) {
  const int extra = s.whole.newton_extra;
  return Layout{s.data.slopes, extra, s.data.thresholds, s.data.slopes + extra + s.data.thresholds};
}

// The log posterior of the point theta, whose row means are eta, with the
// proposal from it; false where there is none (a cell of mass 0, or a
// curvature that is not positive definite).
bool evaluate(const ChainState& s, const Layout& layout, const double* theta, const double* eta,
              NewtonPoint& point) {
  const ChainData& data = s.data;
  const int d = layout.d;
  double* scales = s.whole.newton_scale;
  for (int j = 0; j < layout.extra; ++j) scales[j] = std::exp(theta[layout.slopes + j]);
  const Directions directions{layout.extra, s.whole.newton_directions, scales};
  double log_posterior = 0.0;
  if (!cell_derivatives(data.cells, data.categories, data.X, data.rows, layout.slopes, directions, eta,
                        theta + layout.slopes + layout.extra, &log_posterior, point.gradient,
                        point.curvature, s.whole.ratio_scratch)) {
    return false;
  }
  if (!s.prior.flat) {
    for (int k = 0; k < layout.slopes; ++k) {
      const double precision = s.prior.B0[k];
      const double r = theta[k] - s.prior.b0[k];
      log_posterior -= 0.5 * precision * r * r;
      point.gradient[k] -= precision * r;
      point.curvature[k + d * k] += precision;
    }
  }
  for (int j = 0; j < layout.extra; ++j) {
    const int a = layout.slopes + j;
    double value, first, second;
    log_sd_prior_derivatives(s.groups, group_sd(s.groups, j) * scales[j], &value, &first, &second);
    log_posterior += value;
    point.gradient[a] += first;
    point.curvature[a + d * a] -= second;
  }
  point.log_posterior = log_posterior;
  return newton_finish(point, theta, d);
}

// The row means at theta: x' beta + the offsets, each coefficient's part of
// them scaled by exp(l_j).
void means_at(const ChainState& s, const Layout& layout, const double* theta, double* eta) {
  update_eta(s.data, theta, eta);
  const int rows = s.data.rows;
  for (int j = 0; j < layout.extra; ++j) {
    const double change = std::exp(theta[layout.slopes + j]) - 1.0;
    const double* v = s.whole.newton_directions + static_cast<R_xlen_t>(rows) * j;
    for (int r = 0; r < rows; ++r) eta[r] += change * v[r];
  }
}

// The accepted point theta into the chain's state: the slopes, thresholds,
// sds and effects, then the offsets, eta and the regression step's linear
// term from them.
void take(ChainState& s, const Layout& layout, const double* theta) {
  for (int k = 0; k < layout.slopes; ++k) s.beta[k] = theta[k];
  for (int k = 0; k < layout.thresholds; ++k) s.zeta[k] = theta[layout.slopes + layout.extra + k];
  double* factors = s.whole.newton_scale;
  for (int j = 0; j < layout.extra; ++j) factors[j] = std::exp(theta[layout.slopes + j]);
  scale_group_coefficients(s.groups, factors);
  refresh_group_offsets(s);
}

// A draw from the proposal from `from` into w: d normals (kept in z), then
// one chi-square.
void draw_from(const RandomSource& random, const NewtonPoint& from, int d, double df, double* w, double* z) {
  for (int a = 0; a < d; ++a) z[a] = random.normal();
  const double scale = std::sqrt(df / random.chi_square(df));
  solve_lower_transposed(from.root, d, z);
  for (int a = 0; a < d; ++a) w[a] = from.centre[a] + z[a] * scale;
}

}  // namespace

void set_up_newton_moves(ChainState* s) {
  WholePointMoves& whole = s->whole;
  const int extra = group_coefficients(s->groups);
  if (extra == 0) Rf_error("oprobit_chain: the Newton whole-point move needs group terms");
  whole.newton_extra = extra;
  const int d = s->data.dim + extra;
  const R_xlen_t square = static_cast<R_xlen_t>(d) * d;
  for (NewtonPoint& point : whole.newton_point) {
    point = NewtonPoint{0.0, scratch<double>(d), scratch<double>(square), scratch<double>(square),
                        scratch<double>(d), 0.0};
  }
  whole.newton_theta = scratch<double>(d);
  whole.candidate = scratch<double>(d);
  whole.normals = scratch<double>(d);
  whole.ratio_scratch = scratch<double>(d);
  whole.newton_scale = scratch<double>(extra);
  whole.newton_directions = scratch<double>(static_cast<R_xlen_t>(s->data.rows) * extra);
}

void newton_moves(ChainState& s, const RandomSource& random, int i) {
  WholePointMoves& whole = s.whole;
  const Layout layout = layout_of(s);
  const int d = layout.d;
  const double df = whole.proposal.df;
  const bool kept = i > s.settings.burnin;
  // The other moves changed the point, its effects or its offsets since the
  // last time.
  group_row_parts(s.groups, s.data.n, s.whole.newton_directions);
  double* theta = whole.newton_theta;
  for (int k = 0; k < layout.slopes; ++k) theta[k] = s.beta[k];
  for (int j = 0; j < layout.extra; ++j) theta[layout.slopes + j] = 0.0;
  for (int k = 0; k < layout.thresholds; ++k) theta[layout.slopes + layout.extra + k] = s.zeta[k];
  NewtonPoint* current = &whole.newton_point[0];
  NewtonPoint* candidate = &whole.newton_point[1];
  bool proposes = evaluate(s, layout, theta, s.eta, *current);
  double* w = whole.candidate;
  const double* new_zeta = w + layout.slopes + layout.extra;
  for (int move = 0; move < whole.per_iteration; ++move) {
    (kept ? whole.tried : whole.burnin_tried) += 1.0;
    if (!proposes) continue;
    draw_from(random, *current, d, df, w, whole.normals);
    bool ordered = true;
    for (int k = 1; k < layout.thresholds; ++k) ordered = ordered && new_zeta[k - 1] < new_zeta[k];
    if (!ordered) continue;
    means_at(s, layout, w, whole.candidate_eta);
    if (!evaluate(s, layout, w, whole.candidate_eta, *candidate)) continue;
    const double log_ratio = candidate->log_posterior - current->log_posterior +
                             newton_log_density(*candidate, theta, d, df, whole.ratio_scratch) -
                             newton_log_density(*current, w, d, df, whole.ratio_scratch);
    if (std::isnan(log_ratio) || !(std::log(random.uniform()) < log_ratio)) continue;
    (kept ? whole.accepted : whole.burnin_accepted) += 1.0;
    take(s, layout, w);
    if (move + 1 == whole.per_iteration) break;
    // The next move starts from the new point, with l at 0 again.
    group_row_parts(s.groups, s.data.n, s.whole.newton_directions);
    for (int a = 0; a < d; ++a) theta[a] = w[a];
    for (int j = 0; j < layout.extra; ++j) theta[layout.slopes + j] = 0.0;
    proposes = evaluate(s, layout, theta, s.eta, *current);
  }
}

}  // namespace oprobit
