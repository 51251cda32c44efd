// The independence chain's plan: the distinct covariate rows and their
// (row, category) cells with counts (weights are never expanded into
// units), the slopes' prior, the run's length, the fixed proposal (which
// this method cannot run without) and the start. Every element is checked;
// errors name it.
#include <climits>
#include <cmath>
#include <cstring>

#include "chain_setup.h"
#include "plan.h"
#include "whole_point_setup.h"

namespace oprobit {
namespace {

constexpr const char kEntry[] = "oprobit_chain";

void require_finite(const double* x, R_xlen_t count, const char* name) {
  for (R_xlen_t k = 0; k < count; ++k) {
    if (!std::isfinite(x[k])) Rf_error("%s: plan element '%s' must be finite", kEntry, name);
  }
}

void read_cells(SEXP plan, ChainData* data) {
  const R_xlen_t count = plan_length(plan, element::kCellRow, INTSXP);
  if (count < 1 || count > INT_MAX) Rf_error("%s: plan element 'cell_row' must hold 1 to 2^31 - 1 cells", kEntry);
  const int* row = plan_ints(plan, element::kCellRow, count);
  const int* y = plan_ints(plan, element::kCellY, count);
  const double* size = plan_reals(plan, element::kCellSize, count);
  for (R_xlen_t c = 0; c < count; ++c) {
    if (row[c] < 0 || row[c] >= data->rows) {
      Rf_error("%s: plan element 'cell_row' must hold rows 0 ... rows - 1 of 'X'", kEntry);
    }
    if (y[c] < 1 || y[c] > data->categories) Rf_error("%s: plan element 'cell_y' must hold codes 1 ... J", kEntry);
    if (!(size[c] > 0.0) || !std::isfinite(size[c])) {
      Rf_error("%s: plan element 'cell_size' must hold positive finite counts", kEntry);
    }
  }
  data->cells.count = static_cast<int>(count);
  data->cells.row = row;
  data->cells.y = y;
  data->cells.size = size;
}

void read_data(SEXP plan, ChainData* data) {
  const char* link = plan_string(plan, element::kLink);
  if (!link_from_name(link, &data->cells.link)) {
    Rf_error("%s: plan element 'link' names a link the chain does not know: '%s'", kEntry, link);
  }
  const int p = plan_int(plan, element::kP);
  const int J = plan_int(plan, element::kJ);
  if (p < 1) Rf_error("%s: plan element 'p' must be positive", kEntry);
  if (J < 2) Rf_error("%s: plan element 'J' must be at least 2", kEntry);
  data->n = 0;
  data->p = p;
  data->categories = J;
  data->slopes = p - 1;
  data->thresholds = J - 1;
  data->dim = data->slopes + data->thresholds;
  SEXP X = plan_element(plan, element::kX);
  if (TYPEOF(X) != REALSXP || XLENGTH(X) < p || XLENGTH(X) % p != 0 || XLENGTH(X) / p > INT_MAX) {
    Rf_error("%s: plan element 'X' must be a double matrix with p columns and at least one row", kEntry);
  }
  data->rows = static_cast<int>(XLENGTH(X) / p);
  data->X = REAL(X);
  require_finite(data->X, XLENGTH(X), element::kX);
  data->offset = plan_reals(plan, element::kOffset, data->rows);
  require_finite(data->offset, data->rows, element::kOffset);
  data->row_start = nullptr;
  data->y = nullptr;
  data->U = 0.0;
  read_cells(plan, data);
}

void read_prior(SEXP plan, const ChainData& data, ChainPrior* prior) {
  prior->b0 = plan_reals(plan, element::kB0, data.slopes);
  prior->B0 = plan_reals(plan, element::kBigB0, data.slopes);
  require_finite(prior->b0, data.slopes, element::kB0);
  bool flat = true;
  for (int k = 0; k < data.slopes; ++k) {
    if (!(prior->B0[k] >= 0.0) || !std::isfinite(prior->B0[k])) {
      Rf_error("%s: plan element 'B0' must hold precisions >= 0", kEntry);
    }
    flat = flat && prior->B0[k] == 0.0;
  }
  prior->flat = flat;
}

void read_start(SEXP plan, ChainState* s) {
  const ChainData& data = s->data;
  const double* beta = plan_reals(plan, element::kBeta, data.slopes);
  const double* zeta = plan_reals(plan, element::kZeta, data.thresholds);
  require_finite(beta, data.slopes, element::kBeta);
  require_finite(zeta, data.thresholds, element::kZeta);
  for (int k = 1; k < data.thresholds; ++k) {
    if (!(zeta[k - 1] < zeta[k])) Rf_error("%s: plan element 'zeta' must increase", kEntry);
  }
  s->beta = scratch<double>(data.slopes);
  s->zeta = scratch<double>(data.thresholds);
  s->eta = scratch<double>(data.rows);
  for (int k = 0; k < data.slopes; ++k) s->beta[k] = beta[k];
  for (int k = 0; k < data.thresholds; ++k) s->zeta[k] = zeta[k];
  update_eta(data, s->beta, s->eta);
}

}  // namespace

bool independence_method(SEXP plan) {
  if (plan_optional(plan, element::kMethod) == R_NilValue) return false;
  const char* method = plan_string(plan, element::kMethod);
  if (std::strcmp(method, "independence") == 0) return true;
  if (std::strcmp(method, "augmented") == 0) return false;
  Rf_error("%s: plan element 'method' must be \"augmented\" or \"independence\", not '%s'", kEntry, method);
}

void set_up_independence(SEXP plan, ChainState* s) {
  if (plan_optional(plan, element::kGroups) != R_NilValue) {
    Rf_error("%s: plan element 'groups' has no place in an independence plan", kEntry);
  }
  read_data(plan, &s->data);
  read_prior(plan, s->data, &s->prior);
  ChainSettings& settings = s->settings;
  read_run_length(plan, &settings);
  settings.independence = true;
  WholePointMoves& whole = s->whole;
  whole.per_iteration = plan_int(plan, element::kWholeMoves);
  if (whole.per_iteration < 1) Rf_error("%s: plan element 'whole_moves' must be at least 1", kEntry);
  read_whole_proposal(plan, s->data.dim, s->data.rows, true, &whole);
  // Nothing else moves the point: its log likelihood is kept from one
  // iteration to the next.
  whole.keeps_known = true;
  s->groups.terms = 0;
  SET_VECTOR_ELT(s->keep, kDraws, Rf_allocVector(REALSXP, static_cast<R_xlen_t>(settings.iter) * s->data.dim));
  s->kept = 0;
  read_start(plan, s);
}

}  // namespace oprobit
