// Setting up a chain's state from the plan the R layer built (checked
// element by element, errors naming the element) and the two library entries
// it calls.
#pragma once

#include "chain_state.h"

namespace oprobit {

// Slots the protected list `keep` needs for this plan.
int keep_slots(SEXP plan);

// Fills *s from the plan; s->keep must already be a protected list of
// keep_slots(plan) elements.
void set_up_chain(SEXP plan, SEXP entries, ChainState* s);

}  // namespace oprobit
