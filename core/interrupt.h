// Long loops let the host interrupt them. Each iteration of a loop that has
// no bound of its own (a rejection loop, a vector loop, the sweeps) ticks an
// InterruptPoll; every kInterruptPollInterval ticks the poll calls
// check_user_interrupt(), so the cost per iteration is one decrement.
//
// The host defines check_user_interrupt(): in a library it is R's
// R_CheckUserInterrupt (interrupt_r.cpp), which leaves by longjmp on Ctrl-C
// or when a setTimeLimit() limit has passed. No object with a non-trivial
// destructor may therefore live in any frame of a polling loop. Polling
// touches no random stream: the draws are the same with or without it. A C
// library stream that the entry has checked out (c_stream.h) goes back to
// the C library for the check and is taken out again when it returns.
#pragma once

#include "c_stream.h"

namespace core {

void check_user_interrupt();

constexpr int kInterruptPollInterval = 1 << 15;

class InterruptPoll {
 public:
  void tick() {
    if (--countdown_ == 0) {
      countdown_ = kInterruptPollInterval;
      const bool held = c_stream_hand_back();
      check_user_interrupt();
      if (held) c_stream_take_back();
    }
  }

 private:
  int countdown_ = kInterruptPollInterval;
};

}  // namespace core
