#include "group_effects.h"

#include <cmath>

#include "chain_state.h"
#include "small_matrix.h"

namespace oprobit {

int group_coefficients(const GroupEffects& groups) {
  int count = 0;
  for (int t = 0; t < groups.terms; ++t) count += groups.term[t].q;
  return count;
}

double group_sd(const GroupEffects& groups, int j) {
  for (int t = 0; t < groups.terms; ++t) {
    if (j < groups.term[t].q) return groups.term[t].sd[j];
    j -= groups.term[t].q;
  }
  return 0.0;
}

void group_row_parts(const GroupEffects& groups, int n, double* v) {
  for (int t = 0; t < groups.terms; ++t) {
    const GroupTerm& term = groups.term[t];
    for (int j = 0; j < term.q; ++j, v += n) {
      const double* d = term.d + static_cast<R_xlen_t>(n) * j;
      for (int i = 0; i < n; ++i) v[i] = d[i] * term.u[static_cast<R_xlen_t>(term.level[i]) * term.q + j];
    }
  }
}

void scale_group_coefficients(GroupEffects& groups, const double* factor) {
  int j = 0;
  for (int t = 0; t < groups.terms; ++t) {
    GroupTerm& term = groups.term[t];
    for (int k = 0; k < term.q; ++k, ++j) {
      term.sd[k] *= factor[j];
      for (int g = 0; g < term.levels; ++g) term.u[static_cast<R_xlen_t>(g) * term.q + k] *= factor[j];
    }
    require_group_covariance(term);
  }
}

double log_sd_prior(const GroupEffects& groups, double sd) {
  const double x = sd / groups.scale;
  if (groups.sd_prior == kHalfNormal) return -0.5 * x * x;
  return -0.5 * (groups.df + 1.0) * std::log1p(x * x / groups.df);
}

void log_sd_prior_derivatives(const GroupEffects& groups, double sd, double* value, double* first,
                              double* second) {
  const double x = sd / groups.scale;
  *value = log_sd_prior(groups, sd) + std::log(sd);
  if (groups.sd_prior == kHalfNormal) {
    *first = 1.0 - x * x;
    *second = -2.0 * x * x;
    return;
  }
  const double r = x * x / groups.df;
  *first = 1.0 - (groups.df + 1.0) * r / (1.0 + r);
  *second = -2.0 * (groups.df + 1.0) * r / ((1.0 + r) * (1.0 + r));
}

bool set_group_covariance(GroupTerm& term) {
  const int q = term.q;
  double* root = term.scratch;
  double* column = root + q * q;
  for (int j = 0; j < q; ++j) {
    for (int k = 0; k < q; ++k) {
      term.sigma[j + q * k] = term.sd[j] * term.sd[k] * (j == k ? 1.0 : term.cor[j + q * k]);
    }
  }
  if (!cholesky_lower(term.sigma, q, root)) return false;
  for (int k = 0; k < q; ++k) {
    for (int j = 0; j < q; ++j) column[j] = j == k ? 1.0 : 0.0;
    solve_lower(root, q, column);
    solve_lower_transposed(root, q, column);
    for (int j = 0; j < q; ++j) term.sigma_inv[j + q * k] = column[j];
  }
  return true;
}

void require_group_covariance(GroupTerm& term) {
  if (!set_group_covariance(term)) Rf_error("oprobit_chain: a group covariance lost positive definiteness");
}

void refresh_group_offsets(ChainState& s) {
  GroupEffects& groups = s.groups;
  const ChainData& data = s.data;
  const int n = data.n;
  for (int i = 0; i < n; ++i) groups.offset[i] = groups.base_offset[i];
  for (int t = 0; t < groups.terms; ++t) {
    const GroupTerm& term = groups.term[t];
    for (int i = 0; i < n; ++i) {
      const double* u = term.u + static_cast<R_xlen_t>(term.level[i]) * term.q;
      for (int j = 0; j < term.q; ++j) groups.offset[i] += term.d[i + static_cast<R_xlen_t>(n) * j] * u[j];
    }
  }
  update_eta(data, s.beta, s.eta);
  // P m - X' o and M^-1 times it, for the next regression step; the plan's
  // linear term has the model's own offsets in it already.
  const int p = data.p;
  for (int a = 0; a < p; ++a) {
    const double* column = data.X + static_cast<R_xlen_t>(data.rows) * a;
    double sum = 0.0;
    for (int i = 0; i < n; ++i) sum += column[i] * (groups.offset[i] - groups.base_offset[i]);
    groups.linear_term[a] = groups.base_linear[a] - sum;
  }
  multiply(s.prior.M_inv, p, p, groups.linear_term, groups.prior_shift);
}

}  // namespace oprobit
