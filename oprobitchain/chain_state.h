// The state of one ordinal probit chain: what the plan fixes, the current
// point, and what each move keeps between iterations. Every move is a
// function of this one object (threshold_step.h, whole_point_move.h,
// latent_draw.h, regression_draw.h, random_effects_draw.h, group_sd_draw.h,
// tuning.h), so an iteration reads as a
// list of steps.
//
// Everything here is plain data, R_alloc memory or R vectors held in the
// protected list `keep`: an R error or an interrupt may leave the chain by a
// long jump at any call into R.
#pragma once

#define R_NO_REMAP
#include <Rinternals.h>

#include "group_effects.h"
#include "newton_proposal.h"
#include "random_source.h"
#include "small_matrix.h"
#include "whole_point.h"

namespace oprobit {

// quorval's cutpoint step and a trunomcall, as .Call would call them.
using CutpointEntry = SEXP (*)(SEXP, SEXP, SEXP, SEXP, SEXP, SEXP, SEXP);
using LatentEntry = SEXP (*)(SEXP, SEXP, SEXP, SEXP, SEXP);

// Slots of the protected list `keep`: the R vectors handed to the entries.
enum KeepSlot {
  kStepCutpointCount,  // 5, the cutpoints of one threshold's call
  kStepCutpoints,      // (-Inf, lower neighbour, threshold, upper neighbour, Inf)
  kStepPrecision,      // 1: the latent precision on the probit scale
  kStepScale,          // the proposal precision of the moving threshold
  kLatentCount,
  kLatentMean,
  kLatentPrecision,
  kLatentLower,
  kLatentUpper,
  kLatentDraws,  // the last trunomcall's result
  kMoveRows,     // per threshold: covariate row of each of its units
  kMoveCodes,    // per threshold: 2 or 3 per unit
  kDraws,        // the chain's kept draws
  kGroupDraws,   // kept group-level sds and correlations
  kEffectDraws,  // kept group-level effects, when asked for
  kFirstMoveSlot  // per threshold: its rows' means, then their count
};

// What the plan fixes for the whole chain.
struct ChainData {
  int n;           // latent variables (units)
  int p;           // columns of X, the intercept first
  int categories;  // J
  int slopes;      // p - 1
  int thresholds;  // J - 1
  int dim;         // slopes + thresholds: the point (beta, zeta)
  int rows;        // distinct covariate rows
  const double* X;             // rows x p, distinct covariate rows
  const double* offset;        // rows, added to x' beta
  const int* row_start;        // rows + 1: units of covariate row r
  const int* y;                // n codes 1 ... J, units in row order
  double U;                    // the working frame's span of the cutpoints
  Cells cells;                 // distinct (covariate row, category) cells
};

struct ChainPrior {
  const double* M_inv;       // (X'X + diag(0, B0))^-1
  const double* M_root_inv;  // its upper triangular root
  // The conditional of u = t b given t and z is normal with mean
  // t M^-1 X' z + prior_shift, where prior_shift = M^-1 linear_term and
  // linear_term = P m - X' o (P m: the slope prior's mean term, o: offsets).
  const double* prior_shift;
  const double* linear_term;
  bool t_by_slice;  // a linear term in log t: t by a slice step, not a gamma draw
  bool flat;
  const double* b0;
  const double* B0;
  double gamma_shape;
};

struct ChainSettings {
  // The independence chain: the whole-point moves alone on the cells, with
  // no units, threshold steps, latent draws nor regression.
  bool independence;
  int burnin, iter, thin, iterations;
  int adapt_window;
  double target_acceptance;
  double far;  // distance from the data to an outer threshold's far neighbour
  bool latent_r;  // the latent entry draws from R's stream
  int report_every;
};

// One threshold move per threshold: the rows (units) of its two categories.
struct ThresholdMoves {
  SEXP rows;      // keep[kMoveRows]
  SEXP codes;     // keep[kMoveCodes]
  const bool* mirrored;  // per threshold: moved on the axis w -> -w
  double* scale;        // per threshold: proposal precision
  double* accepted;     // after burn-in
  double* tried;        // after burn-in
  double* window_accepted;  // in the current tuning window
  double* window_tried;
};

// The move of the whole point from a fixed multivariate t proposal, centred
// at the posterior mode with the curvature there; or, with group terms (whose
// effects move the mode in every iteration), from the Newton proposal of the
// current point.
struct WholePointMoves {
  int per_iteration;
  TProposal proposal;  // the fixed one; its df serves the Newton proposal too
  bool ready;  // a proposal is in force
  bool newton;
  // The Newton move's scratch (newton_move.cpp): the current point's
  // proposal and the candidate's, the point with one log sd factor per
  // group-level coefficient (newton_extra of them), those factors, and each
  // coefficient's part of the row means.
  NewtonPoint newton_point[2];
  int newton_extra;
  double* newton_theta;
  double* newton_scale;
  double* newton_directions;
  double accepted;  // after burn-in
  double tried;
  double burnin_accepted;  // over burn-in
  double burnin_tried;
  // The current point's log likelihood, while it is known. Where nothing
  // but these moves changes the point (the independence chain) it stays
  // known from one iteration to the next.
  bool keeps_known;
  bool known;
  double log_likelihood;
  double* candidate;    // dim
  double* candidate_eta;  // rows
  double* current;        // dim
  double* normals;        // dim
  double* ratio_scratch;  // dim; the Newton move's: dim + its extra coordinates
};

struct LatentFrame {
  double t;          // latent precision in the working frame
  double intercept;  // b[1]
  double* cutpoints;   // J + 1
  double* bounds_of;   // the cutpoints the bounds were built for
  bool bounds_set;
  const double* z;     // n: the last latent draws, in keep[kLatentDraws]
};

struct RegressionScratch {
  double* sums;  // rows: sum of z over a covariate row's units
  double* Xz;    // p
  double* fitted;
  double* normals;
  double* u;
};

struct ChainState {
  ChainData data;
  ChainPrior prior;
  ChainSettings settings;
  CutpointEntry cutpoint_entry;
  LatentEntry latent_entry;
  SEXP keep;

  // The current point on the probit scale, and x' beta + offset by row.
  double* beta;
  double* zeta;
  double* eta;

  ThresholdMoves threshold;
  WholePointMoves whole;
  LatentFrame frame;
  RegressionScratch regression;
  GroupEffects groups;
  int kept;
};

// Scratch memory for the chain, from R_alloc (freed when the entry returns).
template <class T>
T* scratch(R_xlen_t count) {
  return reinterpret_cast<T*>(R_alloc(static_cast<size_t>(count > 0 ? count : 1), sizeof(T)));
}

// eta = x' beta + offset for every covariate row.
inline void update_eta(const ChainData& data, const double* beta, double* eta) {
  // x' beta by covariate row, the intercept column left out (0 without slopes).
  multiply(data.X + data.rows, data.rows, data.slopes, beta, eta);
  for (int r = 0; r < data.rows; ++r) eta[r] += data.offset[r];
}

}  // namespace oprobit
