// The vector loop shared by every library's trunomcall: one draw per element,
// in element order, on standardised bounds. Returns whether any element came
// out as NaN, so that the entry can warn once. Each element is an
// interruption point (interrupt.h), also one that makes no draw.
#pragma once

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
    out[i] = m[i] + z / s[i];
    nan_seen |= (out[i] != out[i]);
  }
  return nan_seen;
}

}  // namespace core
