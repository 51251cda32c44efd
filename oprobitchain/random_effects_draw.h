// The group-level effects u given the latent variables and the rest: each
// level's coefficients in one block from their normal conditional, term after
// term; then, for every coefficient that has a fixed counterpart (the
// intercept's is the thresholds), one draw along the direction that moves the
// effects and their counterpart together and leaves the likelihood as it is;
// then the offsets, eta and the regression step's linear term.
#pragma once

#include "chain_state.h"

namespace oprobit {

// After draw_regression(): reads the latent draws (working frame) and the
// point it left. Nothing when there are no group terms.
void draw_group_effects(ChainState& s, const RandomSource& random);

}  // namespace oprobit
