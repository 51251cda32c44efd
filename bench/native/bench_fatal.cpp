// The benchmark never reaches a fatal path; these end the program if it does.
#include <cstdio>
#include <cstdlib>

#include "fatal.h"

namespace core {

void fatal(const char* text) {
  std::fputs(text, stderr);
  std::abort();
}

void print_bound_diagnostic(double as, double bl) {
  std::fprintf(stderr, "as=%14f, bl=%14f\n", as, bl);
}

}  // namespace core
