// The covariance of each group term given its effects u. A single coefficient
// under a half-t sd prior: the inverse-gamma mixture (sigma^2 | a ~
// IG(df / 2, df / a), a ~ IG(1 / 2, 1 / scale^2)), both conditionals
// conjugate. Otherwise (several correlated coefficients, or a half-normal sd
// prior) slice steps on each log sd and each correlation: sds under their
// half-t or half-normal priors, correlations uniform over the positive
// definite matrices (LKJ(1)).
#pragma once

#include "chain_state.h"

namespace oprobit {

void draw_group_covariances(ChainState& s, const RandomSource& random);

}  // namespace oprobit
