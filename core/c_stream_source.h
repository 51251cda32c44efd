// The random source of quorval and vaskor: the 15-bit C library stream for
// the coarse uniforms, and the library's subtractive generator, seeded with a
// fresh rand15() value on every draw, for the exponential and normal deviates.
// Its rejection attempts are interruption points (interrupt.h).
#pragma once

#include <cstdint>

#include "coarse_log_table.h"
#include "generator.h"
#include "interrupt.h"
#include "rand15.h"

namespace core {

struct CStreamSource {
  const double* log_table = coarse_log_table();
  InterruptPoll interrupt_poll;

  double exponential() {
    std::int32_t seed = rand15();
    return expdev(&seed);
  }
  double normal() {
    // A pending spare is the draw; the seed's rand15() is consumed anyway.
    std::int32_t seed = rand15();
    return gasdev(&seed);
  }
  double proposal_uniform() { return rand15() * kCoarseUniformScale; }
  double acceptance_log() { return log_table[rand15()]; }
  // Once per rejection attempt.
  void poll() { interrupt_poll.tick(); }
};

}  // namespace core
