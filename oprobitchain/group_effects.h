// Group-level (random) effects of the ordinal probit chain. On the probit
// scale w_i = x_i' beta + sum over terms of d_i' u_(term, level of i) + e_i,
// e_i ~ N(0, 1), u ~ N(0, Sigma_term) for every level of a term.
//
// The effects enter the other moves only through the offset by covariate row
// (every unit is its own row when there are group terms): eta = x' beta +
// offset, and the regression step's linear term P m - X' o, which the moves
// here keep up to date. Plain data in R_alloc memory.
//
// The moves of the effects and their covariances (random_effects_draw.h,
// group_sd_draw.h) and the Newton move of the whole point with the sds
// (newton_move.h) reach the component through the functions below
// (group_effects.cpp). Coefficient j counts the coefficients of every term,
// term after term.
#pragma once

#define R_NO_REMAP
#include <Rinternals.h>

namespace oprobit {

// Priors of a group-level sd.
enum SdPrior { kHalfStudentT = 0, kHalfNormal = 1 };

struct GroupTerm {
  int q;                 // coefficients per level
  int levels;
  const int* level;      // n: each unit's level, 0-based
  const double* d;       // n x q: each unit's covariates of the term
  const int* shift;      // q: -1 the thresholds, k > 0 slope k, 0 none
  double* dd;            // levels x q x q: sum of d d' over a level's units
  double* dr;            // levels x q: sum of d r over a level's units
  double* u;             // levels x q, level-major
  double* sigma;         // q x q covariance
  double* sigma_inv;     // q x q
  double* sd;            // q
  double* cor;           // q x q correlation
  double mix;            // the half-t mixing variable (q = 1)
  double* scratch;       // 4 q x q + 4 q
};

struct GroupEffects {
  int terms;  // 0: no group terms
  GroupTerm* term;
  int sd_prior;
  double df, scale;
  const double* base_offset;  // n, the model's own offsets
  double* offset;          // n, the chain's offset by row (rows = units): base_offset + d' u
  double* linear_term;     // p, P m - X' o
  double* prior_shift;     // p, M^-1 linear_term
  const double* base_linear;  // p, P m
  double* w;               // n: the latent variables on the probit scale
  int draw_columns;        // sds, then correlations, by term
  int effect_columns;      // every u
  bool keep_effects;       // every kept iteration's u
  double* effect_sum;      // effect_columns: sums over kept iterations
  double* effect_square;
};

struct ChainState;

// The number of group-level coefficients.
int group_coefficients(const GroupEffects& groups);

// Coefficient j's sd.
double group_sd(const GroupEffects& groups, int j);

// Each coefficient's part of every unit's mean, d_j u_j: column j of v (n
// rows).
void group_row_parts(const GroupEffects& groups, int n, double* v);

// Coefficient j's sd and every level's effect of it times factor[j], for
// every j; then each term's covariance. An R error when one is no longer
// positive definite.
void scale_group_coefficients(GroupEffects& groups, const double* factor);

// The log prior density of one group-level sd, up to a constant.
double log_sd_prior(const GroupEffects& groups, double sd);

// The log density of log sd under the sd prior, up to a constant, with its
// first and second derivatives in log sd.
void log_sd_prior_derivatives(const GroupEffects& groups, double sd, double* value, double* first,
                              double* second);

// sigma, sigma_inv from sd and cor; false when not positive definite.
bool set_group_covariance(GroupTerm& term);

// The same, with an R error when not positive definite.
void require_group_covariance(GroupTerm& term);

// The offsets d' u by unit, eta and the regression step's linear term from
// the current effects.
void refresh_group_offsets(ChainState& s);

}  // namespace oprobit
