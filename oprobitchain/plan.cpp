#include "plan.h"

#include <cstring>

namespace oprobit {
namespace {

constexpr const char kEntry[] = "oprobit_chain";

bool find(SEXP plan, const char* name, SEXP* x) {
  if (TYPEOF(plan) != VECSXP) Rf_error("%s: the plan must be a list", kEntry);
  SEXP names = Rf_getAttrib(plan, R_NamesSymbol);
  for (R_xlen_t i = 0; i < XLENGTH(plan) && names != R_NilValue; ++i) {
    if (std::strcmp(CHAR(STRING_ELT(names, i)), name) == 0) {
      *x = VECTOR_ELT(plan, i);
      return true;
    }
  }
  return false;
}

SEXP typed(SEXP plan, const char* name, SEXPTYPE type, R_xlen_t length) {
  SEXP x = plan_element(plan, name);
  if (TYPEOF(x) != static_cast<int>(type) || (length >= 0 && XLENGTH(x) != length)) {
    Rf_error("%s: plan element '%s' must be a %s vector of length %lld", kEntry, name,
             Rf_type2char(type), static_cast<long long>(length));
  }
  return x;
}

}  // namespace

SEXP plan_optional(SEXP plan, const char* name) {
  SEXP x;
  return find(plan, name, &x) ? x : R_NilValue;
}

SEXP plan_element(SEXP plan, const char* name) {
  SEXP x;
  if (!find(plan, name, &x)) Rf_error("%s: the plan has no element '%s'", kEntry, name);
  return x;
}

int plan_int(SEXP plan, const char* name) { return INTEGER(typed(plan, name, INTSXP, 1))[0]; }

double plan_real(SEXP plan, const char* name) { return REAL(typed(plan, name, REALSXP, 1))[0]; }

bool plan_flag(SEXP plan, const char* name) {
  return LOGICAL(typed(plan, name, LGLSXP, 1))[0] == TRUE;
}

const char* plan_string(SEXP plan, const char* name) {
  SEXP x = typed(plan, name, STRSXP, 1);
  if (STRING_ELT(x, 0) == NA_STRING) Rf_error("%s: plan element '%s' must not be NA", kEntry, name);
  return CHAR(STRING_ELT(x, 0));
}

R_xlen_t plan_length(SEXP plan, const char* name, SEXPTYPE type) {
  SEXP x = plan_element(plan, name);
  if (TYPEOF(x) != static_cast<int>(type)) {
    Rf_error("%s: plan element '%s' must be a %s vector", kEntry, name, Rf_type2char(type));
  }
  return XLENGTH(x);
}

const int* plan_ints(SEXP plan, const char* name, R_xlen_t length) {
  return INTEGER(typed(plan, name, INTSXP, length));
}

const double* plan_reals(SEXP plan, const char* name, R_xlen_t length) {
  return REAL(typed(plan, name, REALSXP, length));
}

}  // namespace oprobit
