#include "tuning.h"

#include <cmath>

namespace oprobit {
namespace {

// Records the point of burn-in iteration i and fits the proposal to the
// second quarter of burn-in (at its middle), then to its second half (at its
// end): the move starts running halfway, and the second fit sees it run.
void pilot(ChainState& s, int i) {
  WholePointMoves& whole = s.whole;
  const int burnin = s.settings.burnin;
  const int slopes = s.data.slopes;
  for (int k = 0; k < slopes; ++k) whole.pilot_draws[(i - 1) + static_cast<R_xlen_t>(burnin) * k] = s.beta[k];
  for (int k = 0; k < s.data.thresholds; ++k) {
    whole.pilot_draws[(i - 1) + static_cast<R_xlen_t>(burnin) * (slopes + k)] = s.zeta[k];
  }
  if (i == burnin / 2 || i == burnin) {
    if (fit_proposal(whole.pilot_draws, burnin, s.data.dim, i / 2, i, &whole.proposal)) {
      whole.ready = true;
    } else if (i == burnin) {
      whole.ready = false;
    }
  }
}

// Stochastic-approximation steps on log s with a shrinking gain, once per
// window of iterations.
void adapt_threshold_scales(ChainState& s, int i) {
  const int window = s.settings.adapt_window;
  if (i % window != 0) return;
  ThresholdMoves& moves = s.threshold;
  const double gain = 2 / std::sqrt(static_cast<double>(i) / window);
  for (int k = 0; k < s.data.thresholds; ++k) {
    if (moves.window_tried[k] == 0.0) continue;
    const double rate = moves.window_accepted[k] / moves.window_tried[k];
    moves.scale[k] =
        std::fmin(std::fmax(moves.scale[k] * std::exp(gain * (s.settings.target_acceptance - rate)), 1e-8), 1e8);
    moves.window_accepted[k] = 0.0;
    moves.window_tried[k] = 0.0;
  }
}

}  // namespace

void tune(ChainState& s, int i) {
  if (i > s.settings.burnin) return;
  if (s.whole.pilot) pilot(s, i);
  adapt_threshold_scales(s, i);
}

}  // namespace oprobit
