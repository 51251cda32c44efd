// Argument checks for the .Call entries: the checked door in front of code
// that trusts its input. Each failure is an R error naming the entry, the
// argument and what was expected; nothing has been drawn when it is raised.
#pragma once

#define R_NO_REMAP
#include <Rinternals.h>

namespace core {

// A count read with Rf_asInteger from an atomic vector; NA and values below
// `minimum` are errors.
int checked_count(SEXP x, int minimum, const char* entry, const char* name);

// The data of a double vector with at least `min_length` elements.
const double* checked_doubles(SEXP x, R_xlen_t min_length, const char* entry,
                              const char* name);
double* checked_writable_doubles(SEXP x, R_xlen_t min_length, const char* entry,
                                 const char* name);

// The data of an integer vector with at least `min_length` elements.
const int* checked_integers(SEXP x, R_xlen_t min_length, const char* entry,
                            const char* name);

}  // namespace core
