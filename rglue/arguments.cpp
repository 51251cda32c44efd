#include "arguments.h"

namespace core {
namespace {

void check_vector(SEXP x, SEXPTYPE type, const char* type_name, R_xlen_t min_length,
                  const char* entry, const char* name) {
  if (TYPEOF(x) != static_cast<int>(type)) {
    Rf_error("%s: argument '%s' must be %s vector, not of type '%s'", entry, name,
             type_name, Rf_type2char(TYPEOF(x)));
  }
  if (XLENGTH(x) < min_length) {
    Rf_error("%s: argument '%s' must have at least %lld elements, not %lld", entry, name,
             static_cast<long long>(min_length), static_cast<long long>(XLENGTH(x)));
  }
}

}  // namespace

int checked_count(SEXP x, int minimum, const char* entry, const char* name) {
  // NULL, a function or an environment has no length to ask for.
  if (!Rf_isVectorAtomic(x)) {
    Rf_error("%s: argument '%s' must be a count, not of type '%s'", entry, name,
             Rf_type2char(TYPEOF(x)));
  }
  if (XLENGTH(x) < 1) Rf_error("%s: argument '%s' must be a count, not empty", entry, name);
  const int n = Rf_asInteger(x);
  if (n == NA_INTEGER) Rf_error("%s: argument '%s' must be a count, not NA", entry, name);
  if (n < minimum) {
    Rf_error("%s: argument '%s' must be at least %d, not %d", entry, name, minimum, n);
  }
  return n;
}

const double* checked_doubles(SEXP x, R_xlen_t min_length, const char* entry,
                              const char* name) {
  check_vector(x, REALSXP, "a double", min_length, entry, name);
  return REAL(x);
}

double* checked_writable_doubles(SEXP x, R_xlen_t min_length, const char* entry,
                                 const char* name) {
  check_vector(x, REALSXP, "a double", min_length, entry, name);
  return REAL(x);
}

const int* checked_integers(SEXP x, R_xlen_t min_length, const char* entry,
                            const char* name) {
  check_vector(x, INTSXP, "an integer", min_length, entry, name);
  return INTEGER(x);
}

}  // namespace core
