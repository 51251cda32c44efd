#include "whole_point_setup.h"

#include <cmath>

#include "plan.h"
#include "small_matrix.h"

namespace oprobit {
namespace {

constexpr const char kEntry[] = "oprobit_chain";

double positive(SEXP plan, const char* name) {
  const double x = plan_real(plan, name);
  if (!(x > 0.0) || !std::isfinite(x)) Rf_error("%s: plan element '%s' must be positive and finite", kEntry, name);
  return x;
}

double* filled(R_xlen_t count, const double* from) {
  double* x = scratch<double>(count);
  for (R_xlen_t k = 0; k < count; ++k) x[k] = from == nullptr ? 0.0 : from[k];
  return x;
}

void read_mixture(SEXP plan, TProposal* proposal) {
  proposal->mix = 0.0;
  if (plan_optional(plan, element::kWholeMix) == R_NilValue) return;
  const double mix = plan_real(plan, element::kWholeMix);
  if (!(mix >= 0.0 && mix < 1.0)) Rf_error("%s: plan element 'whole_mix' must lie in [0, 1)", kEntry);
  proposal->mix = mix;
  // Its df and scale matter only with a mixture, but are checked whenever given.
  const bool needed = mix > 0.0;
  if (needed || plan_optional(plan, element::kWholeMixDf) != R_NilValue) {
    proposal->mix_df = positive(plan, element::kWholeMixDf);
  }
  if (needed || plan_optional(plan, element::kWholeMixScale) != R_NilValue) {
    proposal->mix_scale = positive(plan, element::kWholeMixScale);
  }
}

}  // namespace

void read_whole_proposal(SEXP plan, int dim, int rows, bool required, WholePointMoves* whole) {
  const R_xlen_t square = static_cast<R_xlen_t>(dim) * dim;
  whole->proposal = TProposal{dim, positive(plan, element::kWholeDf), filled(dim, nullptr),
                              filled(square, nullptr), filled(square, nullptr)};
  read_mixture(plan, &whole->proposal);
  whole->ready = false;
  // The proposal the R layer fitted (posterior mode and curvature), or none.
  SEXP centre = plan_element(plan, element::kWholeCentre);
  if (centre == R_NilValue) {
    if (required) Rf_error("%s: plan element 'whole_centre' must not be NULL for this method", kEntry);
  } else {
    const double* mu = plan_reals(plan, element::kWholeCentre, dim);
    const double* root = plan_reals(plan, element::kWholeRoot, square);
    for (int a = 0; a < dim; ++a) {
      if (!std::isfinite(mu[a])) Rf_error("%s: plan element 'whole_centre' must be finite", kEntry);
      whole->proposal.mu[a] = mu[a];
    }
    for (R_xlen_t a = 0; a < square; ++a) whole->proposal.root[a] = root[a];
    for (int a = 0; a < dim; ++a) {
      for (int b = 0; b < a; ++b) {
        if (root[a + dim * b] != 0.0) Rf_error("%s: plan element 'whole_root' must be upper triangular", kEntry);
      }
      if (!(root[a + dim * a] > 0.0) || !std::isfinite(root[a + dim * a])) {
        Rf_error("%s: plan element 'whole_root' must have a positive diagonal", kEntry);
      }
    }
    invert_upper(whole->proposal.root, dim, whole->proposal.root_inv);
    whole->ready = true;
  }
  whole->newton = false;
  whole->accepted = 0.0;
  whole->tried = 0.0;
  whole->burnin_accepted = 0.0;
  whole->burnin_tried = 0.0;
  whole->keeps_known = false;
  whole->known = false;
  whole->log_likelihood = 0.0;
  whole->candidate = filled(dim, nullptr);
  whole->candidate_eta = filled(rows, nullptr);
  whole->current = filled(dim, nullptr);
  whole->normals = filled(dim, nullptr);
  whole->ratio_scratch = filled(dim, nullptr);
}

}  // namespace oprobit
