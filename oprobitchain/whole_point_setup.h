// The whole-point move's fixed proposal as the plan gives it, for either
// method: its df, its centre (the posterior mode) and root, and the
// defensive mixture (whole_mix, whole_mix_df, whole_mix_scale; no mixture
// when whole_mix is absent or 0). Errors name the element.
#pragma once

#include "chain_state.h"

namespace oprobit {

// Fills whole->proposal for a point of dim coordinates and sets
// whole->ready; a NULL centre means no fixed proposal, which only the
// augmented method allows (required false). Starts the counters and takes
// the move's scratch for `rows` covariate rows.
void read_whole_proposal(SEXP plan, int dim, int rows, bool required, WholePointMoves* whole);

}  // namespace oprobit
