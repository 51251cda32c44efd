// Setting up a chain's state from the plan the R layer built (checked
// element by element, errors naming the element; plan.h) and the two library
// entries it calls. Derived here: the cells, the threshold moves and their
// starting proposal precisions, t's and the slopes' prior form, the number of
// whole-point moves and their kind, the progress reports' spacing.
#pragma once

#include "chain_state.h"

namespace oprobit {

// Slots the protected list `keep` needs for this plan.
int keep_slots(SEXP plan);

// Fills *s from the plan; s->keep must already be a protected list of
// keep_slots(plan) elements.
void set_up_chain(SEXP plan, SEXP entries, ChainState* s);

}  // namespace oprobit
