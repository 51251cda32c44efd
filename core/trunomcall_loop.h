// The vector loop shared by every library's trunomcall: one draw per element,
// in element order, on standardised bounds. Returns whether any element came
// out as NaN, so that the entry can warn once. Each element is an
// interruption point (interrupt.h), also one that makes no draw.
#pragma once

#include <limits>

#include "interrupt.h"

namespace core {

// `draw(lower, upper)` makes one truncated standard normal draw.
template <class Draw>
bool fill_truncated_normals_with(Draw&& draw, int n, const double* m, const double* s,
                                 const double* lo, const double* hi, double* out) {
  bool nan_seen = false;
  InterruptPoll interrupt_poll;
  for (int i = 0; i < n; ++i) {
    interrupt_poll.tick();
    const double lower = s[i] * (lo[i] - m[i]);
    const double upper = s[i] * (hi[i] - m[i]);
    const double z = draw(lower, upper);
    const double x = m[i] + z / s[i];
    // An element that is not a number is R's NaN, whichever operand carried
    // it in: an NA mean and a NaN draw may leave either payload in the sum.
    if (x != x) {
      out[i] = std::numeric_limits<double>::quiet_NaN();
      nan_seen = true;
    } else {
      out[i] = x;
    }
  }
  return nan_seen;
}

}  // namespace core
