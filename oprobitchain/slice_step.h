// One slice step on a scalar x under a log density known up to a constant:
// a level below the density at the current point x0 (its log less an
// exponential draw), an interval around x0 stepped out until both ends lie
// below the level, then shrunk towards x0 until a uniform point in it lies
// above the level.
#pragma once

#include <limits>

#include "random_source.h"

namespace oprobit {

// The interval and its limits. The density is 0 outside (lower, upper), where
// it is never evaluated. With width > 0 the interval starts as one width at a
// uniform offset around x0 and steps out by width, at most max_steps times on
// each side (no limit when max_steps < 0), then is cut to (lower, upper); with
// width 0 it is (lower, upper) itself. Shrinking gives up, keeping x0, once
// the interval is narrower than give_up (never when give_up is 0).
struct SliceShape {
  double width;
  int max_steps;
  double lower, upper;
  double give_up;
};

// Unit steps, at most 50 each way, over the whole line: the steps on a log sd.
constexpr SliceShape kLogSdSlice{1.0, 50, -std::numeric_limits<double>::infinity(),
                                 std::numeric_limits<double>::infinity(), 1e-12};

// A log density as a plain function of its own object (a lambda, say), which
// must outlive the step.
struct LogDensity {
  const void* object;
  double (*at)(const void* object, double x);
  double operator()(double x) const { return at(object, x); }
};

template <class F>
LogDensity log_density(const F& f) {
  return LogDensity{&f, [](const void* object, double x) { return (*static_cast<const F*>(object))(x); }};
}

// The new point; logf may keep its own state of the last point it was
// evaluated at, which need not be the point returned.
double slice_step(const RandomSource& random, const SliceShape& shape, double x0, LogDensity logf);

}  // namespace oprobit
