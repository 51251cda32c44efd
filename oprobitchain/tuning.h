// Tuning during burn-in: the proposal precision of each threshold's step,
// towards the target acceptance.
#pragma once

#include "chain_state.h"

namespace oprobit {

// After iteration i (1-based) of burn-in; nothing after it.
void tune(ChainState& s, int i);

}  // namespace oprobit
