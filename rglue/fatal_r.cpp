// The reporter as R sees it: the three lines on R's error stream, then an R
// error whose message is the text without its trailing newline. Control
// returns to the R prompt; a batch Rscript ends with status 1.
#include "fatal.h"

#include <cstring>

#define R_NO_REMAP
#include <R.h>
#include <Rinternals.h>

namespace core {

void report_fatal(const char* text) {
  REprintf("Velmora run-time error...\n");
  REprintf("%s\n", text);
  REprintf("...now exiting to system...\n");
  int length = static_cast<int>(std::strlen(text));
  if (length > 0 && text[length - 1] == '\n') --length;
  Rf_error("%.*s", length, text);
}

void report_bound_diagnostic(double as, double bl) {
  Rprintf("as=%14f, bl=%14f\n", as, bl);
}

}  // namespace core
