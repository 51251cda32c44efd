// Every latent variable by one call of the latent entry (a trunomcall), in
// the working frame of the current point.
#pragma once

#include "chain_state.h"

namespace oprobit {

// Sets the working frame (t, b[1], cutpoints) of the current (beta, zeta)
// and draws z into keep[kLatentDraws].
void draw_latent(ChainState& s);

}  // namespace oprobit
