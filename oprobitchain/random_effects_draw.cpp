#include "random_effects_draw.h"

#include <cmath>

#include "slice_step.h"
#include "small_matrix.h"

namespace oprobit {
namespace {

// The latent variables on the probit scale from the working frame's z, for
// the point draw_regression() left: w = t (z - b[1]) = t z + zeta[1].
void latent_on_probit_scale(ChainState& s) {
  const ChainData& data = s.data;
  const double* z = s.frame.z;
  const double t = data.categories > 2 ? (s.zeta[data.thresholds - 1] - s.zeta[0]) / data.U : 1.0;
  double* w = s.groups.w;
  for (int i = 0; i < data.n; ++i) w[i] = t * z[i] + s.zeta[0];
}

// One term's effects, each level's q coefficients in one block: precision
// sum d d' + Sigma^-1, mean its inverse times sum d r, r = w - eta + d' u.
// s.eta is kept equal to x' beta + every term's d' u.
void draw_term(ChainState& s, const RandomSource& random, GroupTerm& term) {
  const int n = s.data.n;
  const int q = term.q;
  const int qq = q * q;
  double* eta = s.eta;
  const double* w = s.groups.w;
  for (int a = 0; a < term.levels * q; ++a) term.dr[a] = 0.0;
  for (int i = 0; i < n; ++i) {
    const double* u = term.u + static_cast<R_xlen_t>(term.level[i]) * q;
    double own = 0.0;
    for (int j = 0; j < q; ++j) own += term.d[i + static_cast<R_xlen_t>(n) * j] * u[j];
    eta[i] -= own;
    const double r = w[i] - eta[i];
    double* dr = term.dr + static_cast<R_xlen_t>(term.level[i]) * q;
    for (int j = 0; j < q; ++j) dr[j] += term.d[i + static_cast<R_xlen_t>(n) * j] * r;
  }
  double* precision = term.scratch;
  double* root = precision + qq;
  double* mean = root + qq;
  double* normals = mean + q;
  for (int g = 0; g < term.levels; ++g) {
    const double* dd = term.dd + static_cast<R_xlen_t>(g) * qq;
    for (int a = 0; a < qq; ++a) precision[a] = dd[a] + term.sigma_inv[a];
    double* u = term.u + static_cast<R_xlen_t>(g) * q;
    if (!cholesky_lower(precision, q, root)) {
      Rf_error("oprobit_chain: a group's precision is not positive definite");
    }
    for (int j = 0; j < q; ++j) mean[j] = term.dr[static_cast<R_xlen_t>(g) * q + j];
    solve_lower(root, q, mean);
    solve_lower_transposed(root, q, mean);
    for (int j = 0; j < q; ++j) normals[j] = random.normal();
    solve_lower_transposed(root, q, normals);
    for (int j = 0; j < q; ++j) u[j] = mean[j] + normals[j];
  }
  for (int i = 0; i < n; ++i) {
    const double* u = term.u + static_cast<R_xlen_t>(term.level[i]) * q;
    for (int j = 0; j < q; ++j) eta[i] += term.d[i + static_cast<R_xlen_t>(n) * j] * u[j];
  }
}

// Sd j of a term given the standardised effects u_j / sd_j and the latent
// variables (the non-centred view, interwoven with the centred draw of
// group_sd_draw.cpp; it mixes where an sd is small against what the data say
// about it). The standardised effects' prior holds only the correlations, so
// the residual r = w - eta + d_j u_j is normal around sd_j a, a = d_j u_j /
// sd_j: a slice step on log sd_j under that likelihood and the sd prior. The
// effects are rescaled with the sd, eta with them.
void rescale_term(ChainState& s, const RandomSource& random, GroupTerm& term, int j) {
  const int n = s.data.n;
  const int q = term.q;
  const double sd = term.sd[j];
  const double* d = term.d + static_cast<R_xlen_t>(n) * j;
  double* eta = s.eta;
  const double* w = s.groups.w;
  double precision = 0.0, linear = 0.0;
  for (int i = 0; i < n; ++i) {
    const double own = d[i] * term.u[static_cast<R_xlen_t>(term.level[i]) * q + j];
    const double a = own / sd;
    precision += a * a;
    linear += a * (w[i] - eta[i] + own);
  }
  const GroupEffects& groups = s.groups;
  auto logf = [&](double x) {
    const double value = std::exp(x);
    return -0.5 * precision * value * value + linear * value + log_sd_prior(groups, value) + x;
  };
  const double x = slice_step(random, kLogSdSlice, std::log(sd), log_density(logf));
  const double ratio = std::exp(x) / sd;
  for (int i = 0; i < n; ++i) eta[i] += d[i] * term.u[static_cast<R_xlen_t>(term.level[i]) * q + j] * (ratio - 1.0);
  for (int g = 0; g < term.levels; ++g) term.u[static_cast<R_xlen_t>(g) * q + j] *= ratio;
  term.sd[j] = std::exp(x);
  require_group_covariance(term);
}

// Coefficient j of every level moves by delta together with its fixed
// counterpart (thresholds up by delta, or the slope down by delta): the
// likelihood stays, so delta is drawn from the effects' normal prior (and the
// slope's, when it has one).
void shift_term(ChainState& s, const RandomSource& random, GroupTerm& term) {
  const int q = term.q;
  for (int j = 0; j < q; ++j) {
    const int target = term.shift[j];
    if (target == 0) continue;
    double precision = term.levels * term.sigma_inv[j + q * j];
    double linear = 0.0;
    for (int g = 0; g < term.levels; ++g) {
      const double* u = term.u + static_cast<R_xlen_t>(g) * q;
      for (int k = 0; k < q; ++k) linear -= term.sigma_inv[j + q * k] * u[k];
    }
    if (target > 0 && !s.prior.flat) {
      const int k = target - 1;
      precision += s.prior.B0[k];
      linear += s.prior.B0[k] * (s.beta[k] - s.prior.b0[k]);
    }
    const double delta = linear / precision + random.normal() / std::sqrt(precision);
    for (int g = 0; g < term.levels; ++g) term.u[static_cast<R_xlen_t>(g) * q + j] += delta;
    if (target < 0) {
      for (int k = 0; k < s.data.thresholds; ++k) s.zeta[k] += delta;
    } else {
      s.beta[target - 1] -= delta;
    }
  }
}

}  // namespace

void draw_group_effects(ChainState& s, const RandomSource& random) {
  GroupEffects& groups = s.groups;
  if (groups.terms == 0) return;
  latent_on_probit_scale(s);
  for (int t = 0; t < groups.terms; ++t) {
    draw_term(s, random, groups.term[t]);
    for (int j = 0; j < groups.term[t].q; ++j) rescale_term(s, random, groups.term[t], j);
  }
  for (int t = 0; t < groups.terms; ++t) shift_term(s, random, groups.term[t]);
  refresh_group_offsets(s);
}

}  // namespace oprobit
