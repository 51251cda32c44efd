// Truncated standard normal samplers, written once over their random source.
//
//   double onetn_with(Source&, x)        a draw above x
//   double trunom_with(Source&, as, bl)  a draw between as and bl
//
// A Source supplies, one draw per call and in the order the steps ask:
//   exponential()       unit exponential deviate
//   normal()            standard normal deviate
//   proposal_uniform()  uniform for the middle-case proposal
//   acceptance_log()    log of an acceptance uniform; 0 for a uniform of 0
// and may supply
//   accepts(r)          acceptance_log() <= r for one acceptance uniform,
//                       when it can decide that more cheaply than the log
//   poll()              called once per rejection attempt, before its draws:
//                       where the host may interrupt (core/interrupt.h)
//
// Assumes nothing of its arguments: bounds that are not numbers give a NaN
// draw without touching the source; bounds out of order and bounds that no
// draw can fill go to the fatal reporter.
#pragma once

#include <cmath>
#include <limits>

#include "fatal.h"

namespace core {

constexpr double kUpperTailThreshold = 8.0;
constexpr double kLowerTailThreshold = -8.0;

constexpr const char kBoundsOutOfOrder[] = "Error: as>bl\n";
constexpr const char kBoundsInfiniteOnOneSide[] =
    "Error: as and bl both infinite on the same side\n";
constexpr const char kOnetnInfiniteBound[] = "Error: onetn bound is +Inf\n";

// The acceptance test L <= r on one acceptance uniform: the source's own
// accepts(r) where it has one, else its acceptance_log() compared with r.
template <class Source>
auto acceptance_passes(Source& source, double r, int) -> decltype(source.accepts(r)) {
  return source.accepts(r);
}
template <class Source>
bool acceptance_passes(Source& source, double r, long) {
  return source.acceptance_log() <= r;
}
template <class Source>
bool acceptance_passes(Source& source, double r) {
  return acceptance_passes(source, r, 0);
}

// The start of one rejection attempt: the source's poll() where it has one.
template <class Source>
auto poll_source(Source& source, int) -> decltype(source.poll()) {
  return source.poll();
}
template <class Source>
void poll_source(Source&, long) {}
template <class Source>
void attempt_starts(Source& source) {
  poll_source(source, 0);
}

template <class Source>
double onetn_with(Source& source, double x) {
  if (std::isnan(x)) return x;
  if (x >= 0.0) {
    // Above x >= 0: exponential proposals with the optimal rate alpha.
    if (x == std::numeric_limits<double>::infinity()) fatal(kOnetnInfiniteBound);
    const double x2 = x * x;
    // Where x * x overflows, alpha's limit is x itself; every proposal then
    // rounds to x and is accepted at the first attempt.
    const double alpha = std::isinf(x2) ? x : 0.5 * x + 0.5 * std::sqrt(x2 + 4.0);
    for (;;) {
      attempt_starts(source);
      const double e = source.exponential();
      const double z = x + e / alpha;
      const double d = z - alpha;
      if (acceptance_passes(source, -d * d * 0.5)) return z;
    }
  }
  // Above x < 0: plain normal draws until one lies above x.
  for (;;) {
    attempt_starts(source);
    const double z = source.normal();
    if (z > x) return z;
  }
}

template <class Source>
double trunom_with(Source& source, double as, double bl) {
  if (as > bl) {
    print_bound_diagnostic(as, bl);
    fatal(kBoundsOutOfOrder);
  }
  if (std::isnan(as) || std::isnan(bl)) return std::numeric_limits<double>::quiet_NaN();

  if (bl >= kUpperTailThreshold) {
    // Upper tail (and every interval reaching it): draws above as, kept when
    // they do not pass bl. Equal bounds cannot be hit by a draw: return them.
    if (as == bl) {
      if (std::isinf(as)) fatal(kBoundsInfiniteOnOneSide);
      return as;
    }
    for (;;) {
      attempt_starts(source);
      const double z = onetn_with(source, as);
      if (z <= bl) return z;
    }
  }

  if (as <= kLowerTailThreshold) {
    // Lower tail: mirrored draws below bl, kept when they lie above as.
    if (as == bl) {
      if (std::isinf(as)) fatal(kBoundsInfiniteOnOneSide);
      return as;
    }
    for (;;) {
      attempt_starts(source);
      const double z = -onetn_with(source, -bl);
      if (z > as) return z;
    }
  }

  // Middle: uniform proposals over [as, bl), accepted against the density's
  // largest value on the interval: at bl when the interval lies below 0, at
  // as when it lies above 0, at 0 when it contains 0. One loop per shape.
  const double w = bl - as;
  if (bl < 0.0) {
    const double peak = bl * bl;
    for (;;) {
      attempt_starts(source);
      const double z = as + w * source.proposal_uniform();
      const double r = (peak - z * z) * 0.5;
      if (acceptance_passes(source, r)) return z;
    }
  }
  if (as > 0.0) {
    const double peak = as * as;
    for (;;) {
      attempt_starts(source);
      const double z = as + w * source.proposal_uniform();
      const double r = (peak - z * z) * 0.5;
      if (acceptance_passes(source, r)) return z;
    }
  }
  for (;;) {
    attempt_starts(source);
    const double z = as + w * source.proposal_uniform();
    const double r = -z * z * 0.5;
    if (acceptance_passes(source, r)) return z;
  }
}

}  // namespace core
