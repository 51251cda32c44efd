#include "threshold_step.h"

#include "../quorval/cutpoint_result.h"

namespace oprobit {
namespace {

// One call of the cutpoint step for threshold k: five cutpoints, the moving
// threshold between its two neighbours (an outer threshold's missing
// neighbour lies `far` beyond the data, where the category probability is 0
// to the entry's precision). A threshold above the middle of the data moves
// on the mirrored axis, which keeps its probabilities in the lower tail where
// the entry's single precision is accurate. Returns whether it moved.
bool step_one(ChainState& s, int k, double lower, double upper) {
  const int thresholds = s.data.thresholds;
  const int* rows = INTEGER(VECTOR_ELT(s.threshold.rows, k));
  SEXP means_sexp = VECTOR_ELT(s.keep, kFirstMoveSlot + k);
  SEXP count_sexp = VECTOR_ELT(s.keep, kFirstMoveSlot + thresholds + k);
  const int count = INTEGER(count_sexp)[0];
  double* means = REAL(means_sexp);
  double* cutpoints = REAL(VECTOR_ELT(s.keep, kStepCutpoints));
  const bool mirrored = s.threshold.mirrored[k];
  const double* eta = s.eta;
  if (mirrored) {
    cutpoints[1] = -upper;
    cutpoints[2] = -s.zeta[k];
    cutpoints[3] = -lower;
    for (int j = 0; j < count; ++j) means[j] = -eta[rows[j]];
  } else {
    cutpoints[1] = lower;
    cutpoints[2] = s.zeta[k];
    cutpoints[3] = upper;
    for (int j = 0; j < count; ++j) means[j] = eta[rows[j]];
  }
  SEXP scale = VECTOR_ELT(s.keep, kStepScale);
  REAL(scale)[0] = s.threshold.scale[k];
  SEXP result = Rf_protect(s.cutpoint_entry(count_sexp, VECTOR_ELT(s.keep, kStepCutpointCount),
                                            VECTOR_ELT(s.threshold.codes, k), VECTOR_ELT(s.keep, kStepCutpoints),
                                            means_sexp, VECTOR_ELT(s.keep, kStepPrecision), scale));
  const double proposed = ordinal::proposed_cutpoint(REAL(result), 2);
  const bool moved = ordinal::cutpoint_accepted(REAL(result), 5);
  Rf_unprotect(1);
  if (moved) s.zeta[k] = mirrored ? -proposed : proposed;
  return moved;
}

}  // namespace

void threshold_steps(ChainState& s, int i) {
  const int thresholds = s.data.thresholds;
  double low = s.eta[0], high = s.eta[0];
  for (int r = 1; r < s.data.rows; ++r) {
    if (s.eta[r] < low) low = s.eta[r];
    if (s.eta[r] > high) high = s.eta[r];
  }
  const double far_low = low - s.settings.far;
  const double far_high = high + s.settings.far;
  const int first = s.whole.ready ? i % thresholds : 0;
  const int last = s.whole.ready ? first + 1 : thresholds;
  const bool kept = i > s.settings.burnin;
  ThresholdMoves& moves = s.threshold;
  for (int k = first; k < last; ++k) {
    // An outer threshold beyond its far neighbour stays where it is.
    if ((k == 0 && !(far_low < s.zeta[0])) || (k == thresholds - 1 && !(s.zeta[k] < far_high))) continue;
    const double lower = k == 0 ? far_low : s.zeta[k - 1];
    const double upper = k == thresholds - 1 ? far_high : s.zeta[k + 1];
    const bool moved = step_one(s, k, lower, upper);
    moves.window_tried[k] += 1.0;
    if (kept) moves.tried[k] += 1.0;
    if (moved) {
      moves.window_accepted[k] += 1.0;
      if (kept) moves.accepted[k] += 1.0;
    }
  }
}

}  // namespace oprobit
