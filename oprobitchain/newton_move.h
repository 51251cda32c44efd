// Moves of the whole point (beta, zeta) with the group-level sds, for fits
// with group terms, from the Newton proposal of the point the chain is at
// (newton_proposal.h), accepted on the likelihood with the latent variables
// integrated out, given the standardised group-level effects.
#pragma once

#include "chain_state.h"

namespace oprobit {

// The move's scratch, once the group terms are set up.
void set_up_newton_moves(ChainState* s);

// The iteration's moves; i is 1-based.
void newton_moves(ChainState& s, const RandomSource& random, int i);

}  // namespace oprobit
