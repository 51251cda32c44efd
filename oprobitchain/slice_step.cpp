#include "slice_step.h"

namespace oprobit {

double slice_step(const RandomSource& random, const SliceShape& shape, double x0, LogDensity logf) {
  const double lower = shape.lower, upper = shape.upper, width = shape.width;
  const double level = logf(x0) - random.exponential();
  double left = lower, right = upper;
  if (width > 0) {
    left = x0 - random.uniform() * width;
    right = left + width;
    for (int k = shape.max_steps; k != 0 && left > lower && logf(left) > level; k -= k > 0) left -= width;
    for (int k = shape.max_steps; k != 0 && right < upper && logf(right) > level; k -= k > 0) right += width;
    if (left < lower) left = lower;
    if (right > upper) right = upper;
  }
  for (;;) {
    const double x = left + random.uniform() * (right - left);
    if (x > lower && x < upper && logf(x) > level) return x;
    if (x < x0) {
      left = x;
    } else {
      right = x;
    }
    if (right - left < shape.give_up) return x0;
  }
}

}  // namespace oprobit
