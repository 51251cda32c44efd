// A random source for the truncated normal samplers (core/truncated_normal.h)
// that takes every random number from a host generator, one host call per
// draw:
//
//   exponential()       -> draws.exponential()   unit exponential
//   normal()            -> draws.normal()        standard normal
//   proposal_uniform()  -> draws.uniform()       uniform on (0, 1)
//   acceptance_log()    -> ln of draws.uniform(); 0 for a uniform that is
//                          not positive (no logarithm is taken)
//   accepts(r)          -> acceptance_log() <= r for one draws.uniform(),
//                          mostly decided without the logarithm
//   poll()              -> an interruption point per rejection attempt
//                          (core/interrupt.h)
//
// `Draws` is R's generator in the library (r_stream_source.h) and a scripted
// sequence in the native tests. Needs no R header.
#pragma once

#include <cmath>

#include "interrupt.h"
#include "log_squeeze.h"

namespace quorval2 {

// The log of an acceptance uniform, as the rejection tests compare it.
inline double acceptance_log_of(double v) { return v > 0.0 ? std::log(v) : 0.0; }

template <class Draws>
struct HostStreamSource {
  Draws draws;
  core::InterruptPoll interrupt_poll;

  double exponential() { return draws.exponential(); }
  double normal() { return draws.normal(); }
  double proposal_uniform() { return draws.uniform(); }
  double acceptance_log() { return acceptance_log_of(draws.uniform()); }
  bool accepts(double r) { return log_at_most(draws.uniform(), r); }
  void poll() { interrupt_poll.tick(); }
};

}  // namespace quorval2
