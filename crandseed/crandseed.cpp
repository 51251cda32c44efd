// .Call entry crandseed(seed): seeds the C library's rand() stream with
// srand(seed). A helper of its own, apart from the three libraries: they
// never seed the stream, so the R layer seeds it here before their first draw.
#include <cmath>
#include <cstdlib>

#define R_NO_REMAP
#include <Rinternals.h>

#include "export.h"

namespace {

constexpr const char kEntry[] = "crandseed";
// srand() takes an unsigned int: seeds 0 ... 2^32 - 1.
constexpr double kLargestSeed = 4294967295.0;

// The seed as an unsigned int: one whole number in 0 ... 2^32 - 1, given as
// an integer or a double.
unsigned checked_seed(SEXP x) {
  if (TYPEOF(x) != INTSXP && TYPEOF(x) != REALSXP) {
    Rf_error("%s: argument 'seed' must be a number, not of type '%s'", kEntry,
             Rf_type2char(TYPEOF(x)));
  }
  if (XLENGTH(x) != 1) {
    Rf_error("%s: argument 'seed' must be one number, not %lld", kEntry,
             static_cast<long long>(XLENGTH(x)));
  }
  const double seed = Rf_asReal(x);
  if (!(seed >= 0.0 && seed <= kLargestSeed && std::floor(seed) == seed)) {
    Rf_error("%s: argument 'seed' must be a whole number in 0 ... 4294967295", kEntry);
  }
  return static_cast<unsigned>(seed);
}

}  // namespace

QV_EXPORT SEXP crandseed(SEXP seed_arg) {
  std::srand(checked_seed(seed_arg));
  return R_NilValue;
}
