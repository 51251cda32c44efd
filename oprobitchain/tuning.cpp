#include "tuning.h"

#include <cmath>

namespace oprobit {
namespace {

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
  adapt_threshold_scales(s, i);
}

}  // namespace oprobit
