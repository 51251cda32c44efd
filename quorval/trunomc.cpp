// .C entry: truncated standard normal draws into the caller's fourth vector.
// .C hands over bare pointers, so lengths cannot be checked here; the R
// wrapper checks them. A count of 0 or less writes nothing. Each element is
// an interruption point (interrupt.h). The C library stream is checked out
// for the loop (c_stream.h).
#include "c_stream.h"
#include "export.h"
#include "interrupt.h"
#include "sampler.h"

QV_EXPORT void trunomc(int* n, double* a, double* b, double* out) {
  if (*n <= 0) return;
  core::InterruptPoll interrupt_poll;
  core::c_stream_check_out();
  for (int i = 0; i < *n; ++i) {
    interrupt_poll.tick();
    out[i] = core::trunom(a[i], b[i]);
  }
  core::c_stream_check_in();
}
