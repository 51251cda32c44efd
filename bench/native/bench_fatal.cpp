// The benchmark never reaches a fatal path; these end the program if it does.
// Nothing interrupts it: the interrupt check does nothing.
#include <cstdio>
#include <cstdlib>

#include "fatal.h"
#include "interrupt.h"

namespace core {

void report_fatal(const char* text) {
  std::fputs(text, stderr);
  std::abort();
}

void report_bound_diagnostic(double as, double bl) {
  std::fprintf(stderr, "as=%14f, bl=%14f\n", as, bl);
}

void check_user_interrupt() {}

}  // namespace core
