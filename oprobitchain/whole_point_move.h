// Moves of the whole point (beta, zeta) from the fixed multivariate t
// proposal, accepted on the likelihood with the latent variables integrated
// out (an independence Metropolis-Hastings step).
#pragma once

#include "chain_state.h"

namespace oprobit {

// The iteration's moves, when the fixed proposal is in force; i is 1-based.
void whole_point_moves(ChainState& s, const RandomSource& random, int i);

}  // namespace oprobit
