// Reporting findings from a fuzz target: each goes to standard error as a
// "FINDING:" line; an input with findings ends in abort() so that libFuzzer
// keeps it as a crash artifact. report() lets an input go on to its other
// checks (finish_input() then aborts); finding() aborts at once.
#pragma once

#include <cstdarg>
#include <cstdio>
#include <cstdlib>

namespace qv_fuzz {

inline bool& input_has_findings() {
  static bool flag = false;
  return flag;
}

inline void report_list(const char* format, std::va_list args) {
  std::fputs("FINDING: ", stderr);
  std::vfprintf(stderr, format, args);
  std::fputc('\n', stderr);
  input_has_findings() = true;
}

inline void report(const char* format, ...) {
  std::va_list args;
  va_start(args, format);
  report_list(format, args);
  va_end(args);
}

[[noreturn]] inline void finding(const char* format, ...) {
  std::va_list args;
  va_start(args, format);
  report_list(format, args);
  va_end(args);
  std::abort();
}

inline void finish_input() {
  if (input_has_findings()) std::abort();
}

}  // namespace qv_fuzz
