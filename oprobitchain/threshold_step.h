// The thresholds given the slopes, by quorval's cutpoint step with the latent
// variables integrated out: one call per threshold moved.
#pragma once

#include "chain_state.h"

namespace oprobit {

// Moves the thresholds of iteration i (1-based): each in turn, or, once the
// whole point moves too and carries them, one threshold per iteration.
void threshold_steps(ChainState& s, int i);

}  // namespace oprobit
