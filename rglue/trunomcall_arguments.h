// The checked arguments of every library's trunomcall entry: a count n >= 0
// and four double vectors of at least n elements (means, reciprocal sds,
// lower and upper bounds). Each failure is an R error naming the argument.
#pragma once

#include "arguments.h"

namespace core {

struct TrunomcallArguments {
  int n;
  const double* m;
  const double* s;
  const double* lo;
  const double* hi;
};

inline TrunomcallArguments checked_trunomcall_arguments(SEXP n_arg, SEXP m_arg, SEXP s_arg,
                                                        SEXP lo_arg, SEXP hi_arg) {
  const char* entry = "trunomcall";
  TrunomcallArguments a;
  a.n = checked_count(n_arg, 0, entry, "n");
  a.m = checked_doubles(m_arg, a.n, entry, "m");
  a.s = checked_doubles(s_arg, a.n, entry, "s");
  a.lo = checked_doubles(lo_arg, a.n, entry, "lo");
  a.hi = checked_doubles(hi_arg, a.n, entry, "hi");
  return a;
}

}  // namespace core
