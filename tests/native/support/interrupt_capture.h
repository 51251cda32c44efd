// Native-test stand-in for the host's interrupt check: it counts the checks
// and, once armed, turns the next one into a C++ exception, as Ctrl-C would
// end the call in R.
#pragma once

namespace qv_test {

struct Interrupted {};

// Checks made so far.
long long interrupt_checks();
// When true, every check throws Interrupted.
void arm_interrupt(bool armed);

}  // namespace qv_test
