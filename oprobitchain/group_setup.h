// The group terms of a chain: read from the plan's element `groups` (NULL
// when the model has none), their kept draws and their part of the result.
#pragma once

#include "chain_state.h"

namespace oprobit {

// After the rest of the chain is set up; s->groups.terms = 0 without groups.
void set_up_group_effects(SEXP plan, ChainState* s);

// The group-level draws of iteration i when it is kept (before keep_draw()
// counts it).
void keep_group_draws(ChainState& s, int i);

// list(draws = sds and correlations, effects = every u or NULL,
// effect_sum, effect_square), or NULL without group terms.
SEXP group_result(ChainState& s);

}  // namespace oprobit
