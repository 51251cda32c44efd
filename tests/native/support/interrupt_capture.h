// Native-test stand-in for the host's interrupt check: it counts the checks
// and, once armed, turns the next one into a C++ exception, as Ctrl-C would
// end the call in R.
#pragma once

namespace qv_test {

struct Interrupted {};

// Checks made so far.
long long interrupt_checks();
// Whether the C library stream was checked out during the last check.
bool stream_held_at_last_check();
// When true, every check throws Interrupted.
void arm_interrupt(bool armed);

}  // namespace qv_test
