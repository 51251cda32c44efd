// Setting up a chain's state from the plan the R layer built (checked
// element by element, errors naming the element; plan.h) and the two library
// entries it calls. Derived here: the cells, the threshold moves and their
// starting proposal precisions, t's and the slopes' prior form, the number of
// whole-point moves and their kind, the progress reports' spacing.
#pragma once

#include "chain_state.h"

namespace oprobit {

// The run's length (burnin, iter, thin) and the progress reports' spacing,
// for either method.
void read_run_length(SEXP plan, ChainSettings* settings);

// Slots the protected list `keep` needs for this plan.
int keep_slots(SEXP plan);

// Whether the plan asks for the independence chain (element `method`:
// "independence"; "augmented" or no such element: the augmented chain).
bool independence_method(SEXP plan);

// Fills *s from an independence plan (independence_setup.cpp); s->keep must
// already be a protected list of keep_slots(plan) elements. The entries are
// not needed.
void set_up_independence(SEXP plan, ChainState* s);

// Fills *s from the plan; s->keep must already be a protected list of
// keep_slots(plan) elements.
void set_up_chain(SEXP plan, SEXP entries, ChainState* s);

}  // namespace oprobit
