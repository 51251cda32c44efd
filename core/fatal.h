// The fatal error reporter and the bound diagnostic.
//
// Inside a library (fatal_r.cpp) the reporter writes its three lines to R's
// error stream and then signals an R error, which leaves by longjmp: callers
// must hold no object with a non-trivial destructor when they call it. Both
// first give a checked-out C library stream back to the C library
// (c_stream.h), so that rand() stands where the draws so far left it. The
// host defines report_fatal() and report_bound_diagnostic(); the native tests
// link their own definitions of these two.
#pragma once

#include "c_stream.h"

namespace core {

// Writes "Velmora run-time error...", the text, "...now exiting to system..."
// and does not return.
[[noreturn]] void report_fatal(const char* text);

// Writes "as=%14f, bl=%14f\n" to the output stream.
void report_bound_diagnostic(double as, double bl);

[[noreturn]] inline void fatal(const char* text) {
  c_stream_hand_back();
  report_fatal(text);
}

inline void print_bound_diagnostic(double as, double bl) {
  c_stream_hand_back();
  report_bound_diagnostic(as, bl);
}

}  // namespace core
