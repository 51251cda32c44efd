#include "chain_setup.h"

#include <climits>

#include <R_ext/Rdynload.h>

#include "group_setup.h"
#include "newton_move.h"
#include "plan.h"
#include "small_matrix.h"

namespace oprobit {
namespace {

constexpr const char kEntry[] = "oprobit_chain";

DL_FUNC entry_address(SEXP entries, int i, const char* name) {
  if (TYPEOF(entries) != VECSXP || XLENGTH(entries) != 2) {
    Rf_error("%s: 'entries' must be a list of two native symbols", kEntry);
  }
  SEXP x = VECTOR_ELT(entries, i);
  if (TYPEOF(x) != EXTPTRSXP || R_ExternalPtrAddrFn(x) == nullptr) {
    Rf_error("%s: entry '%s' must be a native symbol's address", kEntry, name);
  }
  return R_ExternalPtrAddrFn(x);
}

double* zeros(R_xlen_t count) {
  double* x = scratch<double>(count);
  for (R_xlen_t k = 0; k < count; ++k) x[k] = 0.0;
  return x;
}

void read_data(SEXP plan, ChainData* data) {
  const int n = plan_int(plan, "n");
  const int p = plan_int(plan, "p");
  const int J = plan_int(plan, "J");
  if (n < 1 || p < 1 || J < 2) Rf_error("%s: the plan needs n >= 1, p >= 1 and J >= 2", kEntry);
  data->n = n;
  data->p = p;
  data->categories = J;
  data->slopes = p - 1;
  data->thresholds = J - 1;
  data->dim = data->slopes + data->thresholds;
  data->U = plan_real(plan, "U");
  SEXP X = plan_element(plan, "X");
  if (TYPEOF(X) != REALSXP || XLENGTH(X) % p != 0 || XLENGTH(X) / p > INT_MAX) {
    Rf_error("%s: plan element 'X' must be a double matrix with p columns", kEntry);
  }
  const int rows = static_cast<int>(XLENGTH(X) / p);
  data->rows = rows;
  data->X = REAL(X);
  data->offset = plan_reals(plan, "offset", rows);
  const int* row_start = plan_ints(plan, "row_start", rows + 1);
  if (row_start[0] != 0 || row_start[rows] != n) {
    Rf_error("%s: plan element 'row_start' must run from 0 to n", kEntry);
  }
  for (int r = 0; r < rows; ++r) {
    if (row_start[r + 1] < row_start[r]) {
      Rf_error("%s: plan element 'row_start' must not decrease", kEntry);
    }
  }
  data->row_start = row_start;
  const int* y = plan_ints(plan, "y", n);
  for (int i = 0; i < n; ++i) {
    if (y[i] < 1 || y[i] > J) Rf_error("%s: plan element 'y' must hold codes 1 ... J", kEntry);
  }
  data->y = y;
  const int cell_count = static_cast<int>(XLENGTH(plan_element(plan, "cell_row")));
  Cells cells{cell_count, plan_ints(plan, "cell_row", cell_count), plan_ints(plan, "cell_y", cell_count),
              plan_reals(plan, "cell_size", cell_count)};
  for (int c = 0; c < cell_count; ++c) {
    if (cells.row[c] < 0 || cells.row[c] >= rows || cells.y[c] < 1 || cells.y[c] > J) {
      Rf_error("%s: plan element 'cell_row' or 'cell_y' is out of range", kEntry);
    }
  }
  data->cells = cells;
}

void read_prior(SEXP plan, const ChainData& data, ChainPrior* prior) {
  const int p = data.p;
  prior->M_inv = plan_reals(plan, "M_inv", static_cast<R_xlen_t>(p) * p);
  prior->M_root_inv = plan_reals(plan, "M_root_inv", static_cast<R_xlen_t>(p) * p);
  prior->prior_shift = plan_reals(plan, "prior_shift", p);
  prior->linear_term = plan_reals(plan, "linear_term", p);
  prior->t_by_slice = plan_flag(plan, "t_by_slice");
  prior->flat = plan_flag(plan, "flat");
  prior->b0 = plan_reals(plan, "b0", data.slopes);
  prior->B0 = plan_reals(plan, "B0", data.slopes);
  prior->gamma_shape = plan_real(plan, "gamma_shape");
}

void read_settings(SEXP plan, ChainSettings* settings) {
  const int burnin = plan_int(plan, "burnin");
  const int iter = plan_int(plan, "iter");
  const int thin = plan_int(plan, "thin");
  if (burnin < 0 || iter < 1 || thin < 1 || static_cast<double>(iter) * thin + burnin > INT_MAX) {
    Rf_error("%s: the plan's burnin, iter and thin are out of range", kEntry);
  }
  settings->burnin = burnin;
  settings->iter = iter;
  settings->thin = thin;
  settings->iterations = burnin + iter * thin;
  settings->adapt_window = plan_int(plan, "adapt_window");
  if (settings->adapt_window < 1) Rf_error("%s: plan element 'adapt_window' must be positive", kEntry);
  settings->target_acceptance = plan_real(plan, "target_acceptance");
  settings->far = plan_real(plan, "far");
  settings->latent_r = plan_flag(plan, "latent_r");
  settings->report_every = plan_int(plan, "report_every");
}

// The threshold moves: rows and codes per threshold, their means' vectors.
void set_up_threshold_moves(SEXP plan, ChainState* s) {
  const int thresholds = s->data.thresholds;
  ThresholdMoves& moves = s->threshold;
  moves.rows = plan_element(plan, "move_row");
  moves.codes = plan_element(plan, "move_code");
  if (TYPEOF(moves.rows) != VECSXP || XLENGTH(moves.rows) != thresholds || TYPEOF(moves.codes) != VECSXP ||
      XLENGTH(moves.codes) != thresholds) {
    Rf_error("%s: plan elements 'move_row' and 'move_code' must be lists of J - 1", kEntry);
  }
  SEXP mirrored = plan_element(plan, "move_mirrored");
  if (TYPEOF(mirrored) != LGLSXP || XLENGTH(mirrored) != thresholds) {
    Rf_error("%s: plan element 'move_mirrored' must be J - 1 logicals", kEntry);
  }
  moves.mirrored = LOGICAL(mirrored);
  for (int k = 0; k < thresholds; ++k) {
    SEXP rows = VECTOR_ELT(moves.rows, k);
    SEXP codes = VECTOR_ELT(moves.codes, k);
    if (TYPEOF(rows) != INTSXP || TYPEOF(codes) != INTSXP || XLENGTH(rows) != XLENGTH(codes)) {
      Rf_error("%s: move %d must have integer rows and codes of one length", kEntry, k + 1);
    }
    for (R_xlen_t i = 0; i < XLENGTH(rows); ++i) {
      if (INTEGER(rows)[i] < 0 || INTEGER(rows)[i] >= s->data.rows) {
        Rf_error("%s: move %d refers to a covariate row that does not exist", kEntry, k + 1);
      }
    }
    SEXP means = Rf_allocVector(REALSXP, XLENGTH(rows));
    SET_VECTOR_ELT(s->keep, kFirstMoveSlot + k, means);
    SEXP count = Rf_allocVector(INTSXP, 1);
    SET_VECTOR_ELT(s->keep, kFirstMoveSlot + thresholds + k, count);
    INTEGER(count)[0] = static_cast<int>(XLENGTH(rows));
  }
  const double* scale_start = plan_reals(plan, "s_start", thresholds);
  moves.scale = scratch<double>(thresholds);
  for (int k = 0; k < thresholds; ++k) moves.scale[k] = scale_start[k];
  moves.accepted = zeros(thresholds);
  moves.tried = zeros(thresholds);
  moves.window_accepted = zeros(thresholds);
  moves.window_tried = zeros(thresholds);

  SEXP count = Rf_allocVector(INTSXP, 1);
  SET_VECTOR_ELT(s->keep, kStepCutpointCount, count);
  INTEGER(count)[0] = 5;
  SEXP cutpoints = Rf_allocVector(REALSXP, 5);
  SET_VECTOR_ELT(s->keep, kStepCutpoints, cutpoints);
  REAL(cutpoints)[0] = R_NegInf;
  REAL(cutpoints)[4] = R_PosInf;
  SEXP precision = Rf_allocVector(REALSXP, 1);
  SET_VECTOR_ELT(s->keep, kStepPrecision, precision);
  REAL(precision)[0] = 1.0;
  SET_VECTOR_ELT(s->keep, kStepScale, Rf_allocVector(REALSXP, 1));
}

void set_up_whole_point(SEXP plan, ChainState* s) {
  const int dim = s->data.dim;
  WholePointMoves& whole = s->whole;
  whole.per_iteration = plan_int(plan, "whole_moves");
  whole.proposal = TProposal{dim, plan_real(plan, "whole_df"), zeros(dim),
                             zeros(static_cast<R_xlen_t>(dim) * dim), zeros(static_cast<R_xlen_t>(dim) * dim)};
  whole.ready = false;
  // The proposal the R layer fitted (posterior mode and curvature), or none.
  SEXP centre = plan_element(plan, "whole_centre");
  if (centre != R_NilValue) {
    const double* mu = plan_reals(plan, "whole_centre", dim);
    const double* root = plan_reals(plan, "whole_root", static_cast<R_xlen_t>(dim) * dim);
    for (int a = 0; a < dim; ++a) whole.proposal.mu[a] = mu[a];
    for (R_xlen_t a = 0; a < static_cast<R_xlen_t>(dim) * dim; ++a) whole.proposal.root[a] = root[a];
    for (int a = 0; a < dim; ++a) {
      for (int b = 0; b < a; ++b) {
        if (root[a + dim * b] != 0.0) Rf_error("%s: plan element 'whole_root' must be upper triangular", kEntry);
      }
      if (!(root[a + dim * a] > 0.0)) Rf_error("%s: plan element 'whole_root' must have a positive diagonal", kEntry);
    }
    invert_upper(whole.proposal.root, dim, whole.proposal.root_inv);
    whole.ready = true;
  }
  whole.newton = plan_flag(plan, "whole_newton");
  if (whole.newton) {
    if (whole.ready) Rf_error("%s: the plan has both a fixed and a Newton whole-point proposal", kEntry);
    whole.ready = true;
  }
  whole.accepted = 0.0;
  whole.tried = 0.0;
  whole.candidate = scratch<double>(dim);
  whole.candidate_eta = scratch<double>(s->data.rows);
  whole.current = scratch<double>(dim);
  whole.normals = scratch<double>(dim);
  whole.ratio_scratch = scratch<double>(dim);
}

void set_up_latent(ChainState* s) {
  const int n = s->data.n;
  SEXP count = Rf_allocVector(INTSXP, 1);
  SET_VECTOR_ELT(s->keep, kLatentCount, count);
  INTEGER(count)[0] = n;
  SET_VECTOR_ELT(s->keep, kLatentMean, Rf_allocVector(REALSXP, n));
  SET_VECTOR_ELT(s->keep, kLatentPrecision, Rf_allocVector(REALSXP, n));
  SET_VECTOR_ELT(s->keep, kLatentLower, Rf_allocVector(REALSXP, n));
  SET_VECTOR_ELT(s->keep, kLatentUpper, Rf_allocVector(REALSXP, n));
  const int K = s->data.categories + 1;
  s->frame.t = 1.0;
  s->frame.intercept = 0.0;
  s->frame.cutpoints = zeros(K);
  s->frame.bounds_of = zeros(K);
  s->frame.bounds_set = false;
  s->frame.z = nullptr;
  const int p = s->data.p;
  s->regression = RegressionScratch{zeros(s->data.rows), zeros(p), zeros(p), zeros(p), zeros(p)};
}

}  // namespace

void set_up_chain(SEXP plan, SEXP entries, ChainState* s) {
  // R keeps every native symbol as DL_FUNC; these are the entries' own types.
  s->cutpoint_entry = reinterpret_cast<CutpointEntry>(reinterpret_cast<void*>(entry_address(entries, 0, "step")));
  s->latent_entry = reinterpret_cast<LatentEntry>(reinterpret_cast<void*>(entry_address(entries, 1, "latent")));
  read_data(plan, &s->data);
  read_prior(plan, s->data, &s->prior);
  read_settings(plan, &s->settings);
  set_up_threshold_moves(plan, s);
  set_up_whole_point(plan, s);
  set_up_latent(s);
  SET_VECTOR_ELT(s->keep, kDraws,
                 Rf_allocVector(REALSXP, static_cast<R_xlen_t>(s->settings.iter) * s->data.dim));
  s->kept = 0;

  const ChainData& data = s->data;
  s->beta = scratch<double>(data.slopes);
  s->zeta = scratch<double>(data.thresholds);
  s->eta = scratch<double>(data.rows);
  const double* beta = plan_reals(plan, "beta", data.slopes);
  const double* zeta = plan_reals(plan, "zeta", data.thresholds);
  for (int k = 0; k < data.slopes; ++k) s->beta[k] = beta[k];
  for (int k = 0; k < data.thresholds; ++k) s->zeta[k] = zeta[k];
  update_eta(data, s->beta, s->eta);
  set_up_group_effects(plan, s);
  if (s->whole.newton) set_up_newton_moves(s);
}

int keep_slots(SEXP plan) {
  SEXP rows = plan_element(plan, "move_row");
  if (TYPEOF(rows) != VECSXP) Rf_error("%s: plan element 'move_row' must be a list", kEntry);
  return kFirstMoveSlot + 2 * static_cast<int>(XLENGTH(rows));
}

}  // namespace oprobit
