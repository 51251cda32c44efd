#include "group_sd_draw.h"

#include <cmath>

#include "slice_step.h"
#include "small_matrix.h"

namespace oprobit {
namespace {

// sum over levels of u u' into s (q x q).
void effect_squares(const GroupTerm& term, double* s) {
  const int q = term.q;
  for (int a = 0; a < q * q; ++a) s[a] = 0.0;
  for (int g = 0; g < term.levels; ++g) {
    const double* u = term.u + static_cast<R_xlen_t>(g) * q;
    for (int j = 0; j < q; ++j) {
      for (int k = 0; k < q; ++k) s[j + q * k] += u[j] * u[k];
    }
  }
}

// Log posterior of (log sd, cor) given the effects' squares s, up to a
// constant; -Inf outside the positive definite matrices.
double log_target(const GroupEffects& groups, const GroupTerm& term, const double* sd, const double* cor,
                  const double* s, double* scratch) {
  const int q = term.q;
  double* sigma = scratch;
  double* root = scratch + q * q;
  double* column = root + q * q;
  for (int j = 0; j < q; ++j) {
    for (int k = 0; k < q; ++k) sigma[j + q * k] = sd[j] * sd[k] * (j == k ? 1.0 : cor[j + q * k]);
  }
  if (!cholesky_lower(sigma, q, root)) return R_NegInf;
  double log_det = 0.0;
  for (int j = 0; j < q; ++j) log_det += 2.0 * std::log(root[j + q * j]);
  // tr(Sigma^-1 S) = sum over the columns of S of s_k' Sigma^-1 e_k.
  double trace = 0.0;
  for (int k = 0; k < q; ++k) {
    for (int j = 0; j < q; ++j) column[j] = s[j + q * k];
    solve_lower(root, q, column);
    solve_lower_transposed(root, q, column);
    trace += column[k];
  }
  double value = -0.5 * term.levels * log_det - 0.5 * trace;
  for (int j = 0; j < q; ++j) value += log_sd_prior(groups, sd[j]) + std::log(sd[j]);
  return value;
}

// Slice step on x = log sd[j].
void slice_sd(const RandomSource& random, const GroupEffects& groups, GroupTerm& term, int j, const double* s, double* scratch) {
  double* sd = term.sd;
  auto logf = [&](double x) {
    sd[j] = std::exp(x);
    return log_target(groups, term, sd, term.cor, s, scratch);
  };
  sd[j] = std::exp(slice_step(random, kLogSdSlice, std::log(sd[j]), log_density(logf)));
}

// Slice step on one correlation over (-1, 1), shrinking towards the current
// value; values off the positive definite matrices have density 0.
void slice_cor(const RandomSource& random, const GroupEffects& groups, GroupTerm& term, int j, int k, const double* s, double* scratch) {
  const int q = term.q;
  double* cor = term.cor;
  auto logf = [&](double x) {
    cor[j + q * k] = x;
    cor[k + q * j] = x;
    return log_target(groups, term, term.sd, cor, s, scratch);
  };
  const double x = slice_step(random, SliceShape{0.0, 0, -1.0, 1.0, 1e-12}, cor[j + q * k], log_density(logf));
  cor[j + q * k] = x;
  cor[k + q * j] = x;
}

// sigma^2 and its mixing variable a, each from its inverse-gamma conditional.
void draw_half_t_mixture(const RandomSource& random, const GroupEffects& groups, GroupTerm& term, double squares) {
  const double df = groups.df;
  const double variance = term.sd[0] * term.sd[0];
  const double a = 1.0 / random.gamma((df + 1.0) / 2.0, 1.0 / (df / variance + 1.0 / (groups.scale * groups.scale)));
  term.mix = a;
  const double drawn = 1.0 / random.gamma((df + term.levels) / 2.0, 1.0 / (df / a + squares / 2.0));
  term.sd[0] = std::sqrt(drawn);
}

}  // namespace

void draw_group_covariances(ChainState& s, const RandomSource& random) {
  GroupEffects& groups = s.groups;
  for (int t = 0; t < groups.terms; ++t) {
    GroupTerm& term = groups.term[t];
    const int q = term.q;
    double* squares = term.scratch;
    double* scratch = squares + q * q;
    effect_squares(term, squares);
    if (q == 1 && groups.sd_prior == kHalfStudentT) {
      draw_half_t_mixture(random, groups, term, squares[0]);
    } else {
      for (int j = 0; j < q; ++j) slice_sd(random, groups, term, j, squares, scratch);
      for (int j = 0; j < q; ++j) {
        for (int k = j + 1; k < q; ++k) slice_cor(random, groups, term, j, k, squares, scratch);
      }
    }
    require_group_covariance(term);
  }
}

}  // namespace oprobit
