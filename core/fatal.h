// The fatal error reporter and the bound diagnostic.
//
// Inside a library (fatal_r.cpp) the reporter writes its three lines to R's
// error stream and then signals an R error, which leaves by longjmp: callers
// must hold no object with a non-trivial destructor when they call it. The
// native tests link their own definitions of these two functions.
#pragma once

namespace core {

// Writes "Velmora run-time error...", the text, "...now exiting to system..."
// and does not return.
[[noreturn]] void fatal(const char* text);

// Writes "as=%14f, bl=%14f\n" to the output stream.
void print_bound_diagnostic(double as, double bl);

}  // namespace core
