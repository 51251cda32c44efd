#include "chain_setup.h"

#include <climits>
#include <cmath>

#include <R_ext/Rdynload.h>

#include "group_setup.h"
#include "newton_move.h"
#include "plan.h"
#include "small_matrix.h"
#include "whole_point_setup.h"

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

// The cells: the runs of one category among a covariate row's units (units
// lie in row order, by category within a row).
Cells derive_cells(const ChainData& data) {
  auto starts_cell = [&data](int r, int j) { return j == data.row_start[r] || data.y[j] != data.y[j - 1]; };
  int count = 0;
  for (int r = 0; r < data.rows; ++r) {
    for (int j = data.row_start[r]; j < data.row_start[r + 1]; ++j) count += starts_cell(r, j);
  }
  int* row = scratch<int>(count);
  int* y = scratch<int>(count);
  double* size = scratch<double>(count);
  int c = -1;
  for (int r = 0; r < data.rows; ++r) {
    for (int j = data.row_start[r]; j < data.row_start[r + 1]; ++j) {
      if (starts_cell(r, j)) {
        ++c;
        row[c] = r;
        y[c] = data.y[j];
        size[c] = 0.0;
      }
      size[c] += 1.0;
    }
  }
  return Cells{count, row, y, size, Link::kProbit};
}

void read_data(SEXP plan, ChainData* data) {
  const int n = plan_int(plan, element::kN);
  const int p = plan_int(plan, element::kP);
  const int J = plan_int(plan, element::kJ);
  if (n < 1 || p < 1 || J < 2) Rf_error("%s: the plan needs n >= 1, p >= 1 and J >= 2", kEntry);
  data->n = n;
  data->p = p;
  data->categories = J;
  data->slopes = p - 1;
  data->thresholds = J - 1;
  data->dim = data->slopes + data->thresholds;
  data->U = plan_real(plan, element::kU);
  SEXP X = plan_element(plan, element::kX);
  if (TYPEOF(X) != REALSXP || XLENGTH(X) % p != 0 || XLENGTH(X) / p > INT_MAX) {
    Rf_error("%s: plan element 'X' must be a double matrix with p columns", kEntry);
  }
  const int rows = static_cast<int>(XLENGTH(X) / p);
  data->rows = rows;
  data->X = REAL(X);
  data->offset = plan_reals(plan, element::kOffset, rows);
  const int* row_start = plan_ints(plan, element::kRowStart, rows + 1);
  if (row_start[0] != 0 || row_start[rows] != n) {
    Rf_error("%s: plan element 'row_start' must run from 0 to n", kEntry);
  }
  for (int r = 0; r < rows; ++r) {
    if (row_start[r + 1] < row_start[r]) {
      Rf_error("%s: plan element 'row_start' must not decrease", kEntry);
    }
  }
  data->row_start = row_start;
  const int* y = plan_ints(plan, element::kY, n);
  for (int i = 0; i < n; ++i) {
    if (y[i] < 1 || y[i] > J) Rf_error("%s: plan element 'y' must hold codes 1 ... J", kEntry);
  }
  data->y = y;
  data->cells = derive_cells(*data);
  const char* link = plan_string(plan, element::kLink);
  if (!link_from_name(link, &data->cells.link)) {
    Rf_error("%s: plan element 'link' names a link the chain does not know: '%s'", kEntry, link);
  }
  // The threshold steps and the latent draws are those of the normal error.
  if (data->cells.link != Link::kProbit) {
    Rf_error("%s: plan element 'link' must be \"probit\" for the augmented method, not '%s'", kEntry, link);
  }
}

bool any_nonzero(const double* x, int count) {
  for (int k = 0; k < count; ++k) {
    if (x[k] != 0.0) return true;
  }
  return false;
}

void read_prior(SEXP plan, const ChainData& data, bool groups, ChainPrior* prior) {
  const int p = data.p;
  prior->M_inv = plan_reals(plan, element::kMInv, static_cast<R_xlen_t>(p) * p);
  prior->M_root_inv = plan_reals(plan, element::kMRootInv, static_cast<R_xlen_t>(p) * p);
  prior->prior_shift = plan_reals(plan, element::kPriorShift, p);
  prior->linear_term = plan_reals(plan, element::kLinearTerm, p);
  // The linear term of log t is z' o + (X' z)' M^-1 (P m - X' o); the group
  // effects' offsets move in every iteration.
  prior->t_by_slice = any_nonzero(prior->linear_term, p) || any_nonzero(data.offset, data.rows) || groups;
  prior->b0 = plan_reals(plan, element::kB0, data.slopes);
  prior->B0 = plan_reals(plan, element::kBigB0, data.slopes);
  prior->flat = !any_nonzero(prior->B0, data.slopes);
  // t^2 given z has shape (n + J + 1 - 3) / 2.
  prior->gamma_shape = (static_cast<double>(data.n) + data.categories + 1 - 3) / 2;
}

void read_settings(SEXP plan, ChainSettings* settings) {
  read_run_length(plan, settings);
  settings->independence = false;
  settings->adapt_window = plan_int(plan, element::kAdaptWindow);
  if (settings->adapt_window < 1) Rf_error("%s: plan element 'adapt_window' must be positive", kEntry);
  settings->target_acceptance = plan_real(plan, element::kTargetAcceptance);
  settings->far = plan_real(plan, element::kFar);
  settings->latent_r = plan_flag(plan, element::kLatentR);
}

// The threshold moves: per threshold k (between categories k + 1 and k + 2,
// 1-based), the units of those two categories in unit order with their
// covariate rows and codes, on the mirrored axis when more than half of the
// units lie at or below it; their means' vectors; the proposal precisions,
// starting from the two categories' sizes.
void set_up_threshold_moves(ChainState* s) {
  const ChainData& data = s->data;
  const int n = data.n;
  const int thresholds = data.thresholds;
  ThresholdMoves& moves = s->threshold;
  int* unit_row = scratch<int>(n);
  for (int r = 0; r < data.rows; ++r) {
    for (int j = data.row_start[r]; j < data.row_start[r + 1]; ++j) unit_row[j] = r;
  }
  int* counts = scratch<int>(data.categories);
  for (int c = 0; c < data.categories; ++c) counts[c] = 0;
  for (int i = 0; i < n; ++i) ++counts[data.y[i] - 1];
  moves.rows = Rf_allocVector(VECSXP, thresholds);
  SET_VECTOR_ELT(s->keep, kMoveRows, moves.rows);
  moves.codes = Rf_allocVector(VECSXP, thresholds);
  SET_VECTOR_ELT(s->keep, kMoveCodes, moves.codes);
  bool* mirrored = scratch<bool>(thresholds);
  moves.mirrored = mirrored;
  moves.scale = scratch<double>(thresholds);
  int below = 0;
  for (int k = 0; k < thresholds; ++k) {
    below += counts[k];
    mirrored[k] = static_cast<double>(below) / n > 0.5;
    moves.scale[k] = 0.5 * std::sqrt(static_cast<double>(counts[k] + counts[k + 1]));
    const int count = counts[k] + counts[k + 1];
    SEXP rows = Rf_allocVector(INTSXP, count);
    SET_VECTOR_ELT(moves.rows, k, rows);
    SEXP codes = Rf_allocVector(INTSXP, count);
    SET_VECTOR_ELT(moves.codes, k, codes);
    int m = 0;
    for (int i = 0; i < n; ++i) {
      if (data.y[i] != k + 1 && data.y[i] != k + 2) continue;
      INTEGER(rows)[m] = unit_row[i];
      INTEGER(codes)[m] = (data.y[i] == k + 1) == mirrored[k] ? 3 : 2;
      ++m;
    }
    SET_VECTOR_ELT(s->keep, kFirstMoveSlot + k, Rf_allocVector(REALSXP, count));
    SEXP means_count = Rf_allocVector(INTSXP, 1);
    SET_VECTOR_ELT(s->keep, kFirstMoveSlot + thresholds + k, means_count);
    INTEGER(means_count)[0] = count;
  }
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

// Rows up to which a fit with group terms makes two whole-point moves per
// iteration: the Newton move's passes over the rows then cost little against
// the entries' fixed cost per call.
constexpr int kFewGroupRows = 500;

void set_up_whole_point(SEXP plan, bool groups, ChainState* s) {
  WholePointMoves& whole = s->whole;
  const int asked = plan_int(plan, element::kWholeMoves);
  if (asked < 0) Rf_error("%s: plan element 'whole_moves' must be 0 (automatic) or positive", kEntry);
  // Automatic: several moves where the cells are few against the units (each
  // move is then cheap against the latent draw), one where each unit is
  // nearly its own cell.
  const int automatic =
      groups ? (s->data.n <= kFewGroupRows ? 2 : 1) : (4.0 * s->data.cells.count <= s->data.n ? 4 : 1);
  whole.per_iteration = asked > 0 ? asked : automatic;
  read_whole_proposal(plan, s->data.dim, s->data.rows, false, &whole);
  // With group terms (whose effects move the mode in every iteration) the
  // move proposes from the Newton step of the current point.
  whole.newton = groups;
  if (whole.newton) {
    if (whole.ready) Rf_error("%s: plan element 'whole_centre' must be NULL with group terms", kEntry);
    whole.ready = true;
  }
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

void read_run_length(SEXP plan, ChainSettings* settings) {
  const int burnin = plan_int(plan, element::kBurnin);
  const int iter = plan_int(plan, element::kIter);
  const int thin = plan_int(plan, element::kThin);
  if (burnin < 0 || iter < 1 || thin < 1 || static_cast<double>(iter) * thin + burnin > INT_MAX) {
    Rf_error("%s: the plan's burnin, iter and thin are out of range", kEntry);
  }
  settings->burnin = burnin;
  settings->iter = iter;
  settings->thin = thin;
  settings->iterations = burnin + iter * thin;
  settings->report_every = settings->iterations / 100 > 1 ? settings->iterations / 100 : 1;
}

void set_up_chain(SEXP plan, SEXP entries, ChainState* s) {
  // R keeps every native symbol as DL_FUNC; these are the entries' own types.
  s->cutpoint_entry = reinterpret_cast<CutpointEntry>(reinterpret_cast<void*>(entry_address(entries, 0, "step")));
  s->latent_entry = reinterpret_cast<LatentEntry>(reinterpret_cast<void*>(entry_address(entries, 1, "latent")));
  const bool groups = plan_optional(plan, element::kGroups) != R_NilValue;
  read_data(plan, &s->data);
  read_prior(plan, s->data, groups, &s->prior);
  read_settings(plan, &s->settings);
  set_up_threshold_moves(s);
  set_up_whole_point(plan, groups, s);
  set_up_latent(s);
  SET_VECTOR_ELT(s->keep, kDraws,
                 Rf_allocVector(REALSXP, static_cast<R_xlen_t>(s->settings.iter) * s->data.dim));
  s->kept = 0;

  const ChainData& data = s->data;
  s->beta = scratch<double>(data.slopes);
  s->zeta = scratch<double>(data.thresholds);
  s->eta = scratch<double>(data.rows);
  const double* beta = plan_reals(plan, element::kBeta, data.slopes);
  const double* zeta = plan_reals(plan, element::kZeta, data.thresholds);
  for (int k = 0; k < data.slopes; ++k) s->beta[k] = beta[k];
  for (int k = 0; k < data.thresholds; ++k) s->zeta[k] = zeta[k];
  update_eta(data, s->beta, s->eta);
  set_up_group_effects(plan, s);
  if (s->whole.newton) set_up_newton_moves(s);
}

int keep_slots(SEXP plan) {
  const int J = plan_int(plan, element::kJ);
  if (J < 2 || J > INT_MAX / 4) Rf_error("%s: plan element 'J' must be a count of categories from 2", kEntry);
  return kFirstMoveSlot + 2 * (J - 1);
}

}  // namespace oprobit
