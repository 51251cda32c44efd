// The move of the whole point (beta, zeta) on the probit scale: a fixed
// multivariate t proposal centred at the posterior mode, and the log
// likelihood of a point with the latent variables integrated out, summed over
// the distinct (covariate row, category) cells.
#pragma once

namespace oprobit {

// A multivariate t with df degrees of freedom, centre mu and scale r' r.
// Plain data in R_alloc memory: an R error may jump over it.
struct TProposal {
  int d;
  double df;
  double* mu;        // d
  double* root;      // d x d, upper triangular
  double* root_inv;  // d x d, upper triangular
};

// A draw from the proposal into w, from R's stream: d normals (kept in z),
// then one chi-square.
void draw_proposal(const TProposal& proposal, double* w, double* z);

// log q(current) - log q(w) for the proposal density q.
// scratch: d doubles.
double log_proposal_ratio(const TProposal& proposal, const double* current, const double* w,
                          double* scratch);

// The cells: covariate row (0-based), category (1 ... J) and size.
struct Cells {
  int count;
  const int* row;
  const int* y;
  const double* size;
};

// Log likelihood of the point (eta, zeta): eta holds x' beta (+ offset) by
// covariate row, zeta the J - 1 thresholds; summed over the cells in double
// precision.
double cell_log_likelihood(const Cells& cells, int categories, const double* eta, const double* zeta);

}  // namespace oprobit
