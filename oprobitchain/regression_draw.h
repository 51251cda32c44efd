// (b, t) given the latent variables, in the working frame, from their exact
// conditional: t with b integrated out, then b; then back to the probit
// scale, which rescales and shifts the latent axis with (beta, zeta).
#pragma once

#include "chain_state.h"

namespace oprobit {

// Reads z and the frame that draw_latent() set. Calls nothing of R.
void draw_regression(ChainState& s, const RandomSource& random);

}  // namespace oprobit
