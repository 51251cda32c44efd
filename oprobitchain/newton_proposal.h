// The Newton proposal for the whole point (beta, zeta): from a point theta
// with gradient g and curvature A (minus the Hessian of the log posterior),
// a multivariate t centred at the Newton step theta + A^-1 g with scale A^-1.
// Where the log posterior is close to quadratic the centre is close to the
// mode wherever the chain is, so the move draws nearly independent points;
// the proposal depends on the point it starts from, so each move weighs the
// reverse proposal too. Free of R: the draws are in newton_move.cpp.
#pragma once

namespace oprobit {

// A point's log posterior and the proposal from it. Plain data in R_alloc
// memory: an R error may jump over it.
struct NewtonPoint {
  double log_posterior;
  double* gradient;   // d
  double* curvature;  // d x d
  double* root;       // d x d lower triangular: curvature = root root'
  double* centre;     // d
  double log_root_det;
};

// The root, centre and log determinant of the root from theta and the
// point's gradient and curvature; false when the curvature is not positive
// definite.
bool newton_finish(NewtonPoint& point, const double* theta, int d);

// log q(to | from), up to a constant that is the same for every point, for
// the t with df degrees of freedom. scratch: d doubles.
double newton_log_density(const NewtonPoint& from, const double* to, int d, double df, double* scratch);

}  // namespace oprobit
