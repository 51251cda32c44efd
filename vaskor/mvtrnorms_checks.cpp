#include "mvtrnorms_checks.h"

#include <cmath>
#include <cstddef>
#include <cstdio>

#define R_NO_REMAP
#include <R.h>
#include <Rinternals.h>

namespace vaskor {
namespace {

constexpr const char kEntry[] = "mvtrnorms";

// A value as R prints it in a message: NA, NaN, Inf, -Inf or the number.
struct ValueText {
  char text[32];
};

ValueText value_text(double v) {
  ValueText out;
  if (R_IsNA(v)) {
    std::snprintf(out.text, sizeof out.text, "NA");
  } else if (std::isnan(v)) {
    std::snprintf(out.text, sizeof out.text, "NaN");
  } else if (std::isinf(v)) {
    std::snprintf(out.text, sizeof out.text, v > 0 ? "Inf" : "-Inf");
  } else {
    std::snprintf(out.text, sizeof out.text, "%.15g", v);
  }
  return out;
}

}  // namespace

void check_gibbs_matrix(int n, const double* a) {
  const std::size_t size = static_cast<std::size_t>(n);
  for (std::size_t column = 0; column < size; ++column) {
    const double diagonal = a[column + column * size];
    if (!(std::isfinite(diagonal) && diagonal > 0.0)) {
      Rf_error("%s: argument 'A' must have positive finite numbers on its diagonal, "
               "not %s at [%lld, %lld]",
               kEntry, value_text(diagonal).text, static_cast<long long>(column + 1),
               static_cast<long long>(column + 1));
    }
    for (std::size_t row = column + 1; row < size; ++row) {
      const double entry = a[row + column * size];
      if (!std::isfinite(entry)) {
        Rf_error("%s: argument 'A' must have finite numbers below its diagonal, "
                 "not %s at [%lld, %lld]",
                 kEntry, value_text(entry).text, static_cast<long long>(row + 1),
                 static_cast<long long>(column + 1));
      }
    }
  }
}

void check_gibbs_location(int n, const double* m) {
  for (int j = 0; j < n; ++j) {
    if (!std::isfinite(m[j])) {
      Rf_error("%s: argument 'm' must have finite numbers in its first %d elements, "
               "not %s at [%d]",
               kEntry, n, value_text(m[j]).text, j + 1);
    }
  }
}

void check_gibbs_start(int n, const double* x) {
  const long long upper = static_cast<long long>(n) + 1;
  if (std::isnan(x[0]) || x[0] == INFINITY) {
    Rf_error("%s: argument 'x' must start with a lower end value that is a number below Inf, "
             "not %s",
             kEntry, value_text(x[0]).text);
  }
  // The first component's start is never read: its first update replaces it
  // before anything looks at it.
  for (int i = 2; i <= n; ++i) {
    if (!std::isfinite(x[i])) {
      Rf_error("%s: argument 'x' must have finite starting components in elements 3 to %lld, "
               "not %s at [%d]",
               kEntry, upper, value_text(x[i]).text, i + 1);
    }
  }
  if (std::isnan(x[upper]) || x[upper] == -INFINITY) {
    Rf_error("%s: argument 'x' must have an upper end value (element %lld) that is a number "
             "above -Inf, not %s",
             kEntry, upper + 1, value_text(x[upper]).text);
  }
}

}  // namespace vaskor
