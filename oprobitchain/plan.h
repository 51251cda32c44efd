// Reading the chain's plan, a named list that the R layer builds once per
// fit, with errors that name the element.
#pragma once

#define R_NO_REMAP
#include <Rinternals.h>

namespace oprobit {

SEXP plan_element(SEXP plan, const char* name);
int plan_int(SEXP plan, const char* name);
double plan_real(SEXP plan, const char* name);
bool plan_flag(SEXP plan, const char* name);
// Vectors of exactly `length` elements.
const int* plan_ints(SEXP plan, const char* name, R_xlen_t length);
const double* plan_reals(SEXP plan, const char* name, R_xlen_t length);

}  // namespace oprobit
