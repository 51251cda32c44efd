// Whether ln v <= r for an acceptance uniform v, decided without the
// logarithm where two cheap bounds settle it.
//
// For 0 < v <= 1, with t = v - 1:
//   (v - 1/v) / 2  <=  ln v  <=  t - t*t/2
// (every term of the series of ln(1 + t) is negative for -1 < t <= 0, and
// ln v - (v - 1/v)/2 decreases to 0 at v = 1). When r lies clearly above the
// upper bound the test passes, when it lies clearly below the lower bound it
// fails; otherwise, and for v above 1, ln v is taken and compared, so the
// answer is always that of log(v) <= r with the library's log: the margin
// covers the rounding of the bounds and the error of log itself. A uniform
// that is not positive takes no logarithm and counts as ln v = 0.
#pragma once

#include <cmath>

namespace quorval2 {

// Relative slack of the bounds: far above the few units in the last place
// that the bounds and log can be off by, far below what changes how often
// the bounds settle the test.
constexpr double kSqueezeSlack = 0x1p-40;

inline bool log_at_most(double v, double r) {
  if (!(v > 0.0)) return 0.0 <= r;
  if (v <= 1.0) {
    const double t = v - 1.0;
    const double upper = t - t * t * 0.5;
    if (upper <= r - kSqueezeSlack * (1.0 + std::fabs(r))) return true;
    const double lower = (v - 1.0 / v) * 0.5;
    if (lower > r + kSqueezeSlack * (1.0 + std::fabs(lower))) return false;
  }
  return std::log(v) <= r;
}

}  // namespace quorval2
