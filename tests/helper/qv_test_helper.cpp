// Test-suite helper for the R-level tests (not a deliverable): fixes the C
// library stream with srand(), reads it, and calls the libraries' exported
// native functions through the addresses R's getNativeSymbolInfo() returns.
#include <cstdint>
#include <cstdlib>

#define R_NO_REMAP
#include <R.h>
#include <Rinternals.h>

namespace {

DL_FUNC function_of(SEXP address) {
  if (TYPEOF(address) != EXTPTRSXP) Rf_error("expected a native symbol address");
  DL_FUNC f = R_ExternalPtrAddrFn(address);
  if (f == nullptr) Rf_error("null native symbol address");
  return f;
}

SEXP doubles(R_xlen_t n) { return Rf_allocVector(REALSXP, n); }

}  // namespace

extern "C" {

SEXP qvt_srand(SEXP seed) {
  std::srand(static_cast<unsigned>(Rf_asInteger(seed)));
  return R_NilValue;
}

// The next `count` raw rand() values (31 bits), as doubles.
SEXP qvt_rand(SEXP count) {
  const int n = Rf_asInteger(count);
  SEXP out = Rf_protect(doubles(n));
  for (int i = 0; i < n; ++i) REAL(out)[i] = std::rand();
  Rf_unprotect(1);
  return out;
}

// double f(double), applied to each element.
SEXP qvt_call_d_d(SEXP address, SEXP x) {
  auto f = reinterpret_cast<double (*)(double)>(function_of(address));
  const R_xlen_t n = XLENGTH(x);
  SEXP out = Rf_protect(doubles(n));
  for (R_xlen_t i = 0; i < n; ++i) REAL(out)[i] = f(REAL(x)[i]);
  Rf_unprotect(1);
  return out;
}

// float f(double), applied to each element.
SEXP qvt_call_d_f(SEXP address, SEXP x) {
  auto f = reinterpret_cast<float (*)(double)>(function_of(address));
  const R_xlen_t n = XLENGTH(x);
  SEXP out = Rf_protect(doubles(n));
  for (R_xlen_t i = 0; i < n; ++i) REAL(out)[i] = f(REAL(x)[i]);
  Rf_unprotect(1);
  return out;
}

// double f(double, double), applied to pairs of elements.
SEXP qvt_call_dd_d(SEXP address, SEXP a, SEXP b) {
  auto f = reinterpret_cast<double (*)(double, double)>(function_of(address));
  const R_xlen_t n = XLENGTH(a);
  SEXP out = Rf_protect(doubles(n));
  for (R_xlen_t i = 0; i < n; ++i) REAL(out)[i] = f(REAL(a)[i], REAL(b)[i]);
  Rf_unprotect(1);
  return out;
}

// void f(float*, double, double, float*): returns c(first output, second output).
SEXP qvt_call_fddf(SEXP address, SEXP a, SEXP x) {
  auto f = reinterpret_cast<void (*)(float*, double, double, float*)>(function_of(address));
  float first = -1.0f, second = -1.0f;
  f(&first, Rf_asReal(a), Rf_asReal(x), &second);
  SEXP out = Rf_protect(doubles(2));
  REAL(out)[0] = first;
  REAL(out)[1] = second;
  Rf_unprotect(1);
  return out;
}

// double f(int32_t* seed), called `count` times with one seed variable that
// starts at `seed`: returns the draws followed by the seed's final value.
SEXP qvt_call_seeded(SEXP address, SEXP seed, SEXP count) {
  auto f = reinterpret_cast<double (*)(std::int32_t*)>(function_of(address));
  std::int32_t s = Rf_asInteger(seed);
  const int n = Rf_asInteger(count);
  SEXP out = Rf_protect(doubles(n + 1));
  for (int i = 0; i < n; ++i) REAL(out)[i] = f(&s);
  REAL(out)[n] = s;
  Rf_unprotect(1);
  return out;
}

// void f(const char*): the fatal reporter.
SEXP qvt_call_text(SEXP address, SEXP text) {
  auto f = reinterpret_cast<void (*)(const char*)>(function_of(address));
  f(CHAR(STRING_ELT(text, 0)));
  return R_NilValue;
}

}  // extern "C"

extern "C" {

// Timing aid for the benchmarks: `count` rand() calls in a plain loop, with
// nothing else per call; returns their sum so that none is left out.
SEXP qvt_rand_loop(SEXP count) {
  const int n = Rf_asInteger(count);
  double sum = 0.0;
  for (int i = 0; i < n; ++i) sum += std::rand();
  return Rf_ScalarReal(sum);
}

// The same for R's uniform generator: `count` unif_rand() calls.
SEXP qvt_unif_rand_loop(SEXP count) {
  const int n = Rf_asInteger(count);
  double sum = 0.0;
  GetRNGstate();
  for (int i = 0; i < n; ++i) sum += unif_rand();
  PutRNGstate();
  return Rf_ScalarReal(sum);
}

}  // extern "C"

extern "C" {

// Timing aid for the benchmarks: `count` times what an exponential-tail
// attempt of the C-stream sampler cannot do without: a rand() seed, one
// call of the library's expdev (at `address`) with it, the acceptance rand().
SEXP qvt_exponential_attempt_loop(SEXP address, SEXP count) {
  auto expdev = reinterpret_cast<double (*)(std::int32_t*)>(function_of(address));
  const int n = Rf_asInteger(count);
  double sum = 0.0;
  for (int i = 0; i < n; ++i) {
    std::int32_t seed = std::rand() >> 16;
    sum += expdev(&seed);
    sum += std::rand();
  }
  return Rf_ScalarReal(sum);
}

}  // extern "C"
