// The move of the whole point (beta, zeta) on the probit scale: a fixed
// multivariate t proposal centred at the posterior mode, and the log
// likelihood of a point with the latent variables integrated out, summed over
// the distinct (covariate row, category) cells. Free of R: the draws from
// the proposal are in whole_point_move.cpp.
#pragma once

#include "link.h"

namespace oprobit {

// A multivariate t with df degrees of freedom, centre mu and scale r' r;
// with mix > 0 a defensive mixture: with probability mix the draw comes from
// a t with mix_df degrees of freedom and scale mix_scale^2 r' r instead, and
// the density is q = (1 - mix) t_main + mix t_heavy.
// Plain data in R_alloc memory: an R error may jump over it.
struct TProposal {
  int d;
  double df;
  double* mu;        // d
  double* root;      // d x d, upper triangular
  double* root_inv;  // d x d, upper triangular
  double mix = 0.0;
  double mix_df = 1.0;
  double mix_scale = 1.0;
};

// log q(current) - log q(w) for the proposal density q.
// scratch: d doubles.
double log_proposal_ratio(const TProposal& proposal, const double* current, const double* w,
                          double* scratch);

// log q(x), normalised. scratch: d doubles.
double log_proposal_density(const TProposal& proposal, const double* x, double* scratch);

// The cells: covariate row (0-based), category (1 ... J) and size, and the
// link whose mass they take.
struct Cells {
  int count;
  const int* row;
  const int* y;
  const double* size;
  Link link;
};

// Log likelihood of the point (eta, zeta): eta holds x' beta (+ offset) by
// covariate row, zeta the J - 1 thresholds; summed over the cells in double
// precision.
double cell_log_likelihood(const Cells& cells, int categories, const double* eta, const double* zeta);

// The same log likelihood with its gradient and the negative of its Hessian
// (curvature, d x d) in the point (beta, l, zeta): d = slopes + extra + J - 1.
// X holds the covariate rows (rows x (slopes + 1), the intercept column
// first). Each extra coordinate l_j scales a part of every row's mean: the
// mean is exp(l_j) v_j + the rest, with v_j = directions[rows * j ...] times
// direction_scale[j] at the point. scratch: slopes + extra doubles. False
// where a cell's mass is 0 in double precision.
struct Directions {
  int extra;
  const double* v;      // rows x extra
  const double* scale;  // extra
};
bool cell_derivatives(const Cells& cells, int categories, const double* X, int rows, int slopes,
                      const Directions& directions, const double* eta, const double* zeta,
                      double* log_likelihood, double* gradient, double* curvature, double* scratch);

}  // namespace oprobit
