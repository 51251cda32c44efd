#include "fatal_capture.h"

#include <cstdio>

#include "fatal.h"

namespace qv_test {

std::string& last_bound_diagnostic() {
  static std::string text;
  return text;
}

}  // namespace qv_test

namespace core {

void report_fatal(const char* text) { throw qv_test::FatalError{text}; }

void report_bound_diagnostic(double as, double bl) {
  char buffer[128];
  std::snprintf(buffer, sizeof buffer, "as=%14f, bl=%14f\n", as, bl);
  qv_test::last_bound_diagnostic() = buffer;
}

}  // namespace core
