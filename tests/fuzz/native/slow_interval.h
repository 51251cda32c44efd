// How many proposals trunom can be expected to make on [as, bl]: the one
// kind of valid input on which a draw may take practically forever is an
// interval in a tail far narrower than the spacing of the tail sampler's
// proposals. For a tail bound x with rate alpha and width w the chance that
// a proposal lands inside is about 1 - exp(-alpha (w + ulp(x) / 2)); middle
// intervals, wide ones and inputs that fail or return at once cost a few.
#pragma once

#include <cmath>
#include <cstdio>

namespace qv_fuzz {

inline double expected_trunom_attempts(double as, double bl) {
  if (std::isnan(as) || std::isnan(bl) || as >= bl) return 1.0;
  double x;
  if (bl >= 8.0) {
    x = as;    // upper tail: draws above as, kept when <= bl
  } else if (as <= -8.0) {
    x = -bl;   // lower tail: mirrored draws above -bl, kept when > as
  } else {
    return 1.0;  // middle
  }
  const double width = bl - as;
  if (x < 0.0 || !std::isfinite(width) || !std::isfinite(x)) return 1.0;
  const double alpha = x > 1e150 ? x : 0.5 * x + 0.5 * std::sqrt(x * x + 4.0);
  const double spacing = x > 0.0 ? (std::nextafter(x, INFINITY) - x) / 2.0 : 0.0;
  return 1.0 / -std::expm1(-alpha * (width + spacing));
}

// Notes an input whose draw ran out of budget on an interval that is slow by
// design (make fuzz counts these lines when it replays the corpus).
inline void slow_by_design(const char* what, double as, double bl, double expected) {
  std::fprintf(stderr, "slow by design: %s on [%a, %a], about %g proposals expected\n", what, as, bl,
               expected);
}

}  // namespace qv_fuzz
