#include "small_matrix.h"

#include <cmath>

namespace oprobit {

bool cholesky_upper(const double* a, int n, double* r) {
  for (int k = 0; k < n * n; ++k) r[k] = 0.0;
  for (int j = 0; j < n; ++j) {
    double d = a[j + n * j];
    for (int k = 0; k < j; ++k) d -= r[k + n * j] * r[k + n * j];
    if (!(d > 0.0) || !std::isfinite(d)) return false;
    const double root = std::sqrt(d);
    r[j + n * j] = root;
    for (int i = j + 1; i < n; ++i) {
      double e = a[j + n * i];
      for (int k = 0; k < j; ++k) e -= r[k + n * j] * r[k + n * i];
      r[j + n * i] = e / root;
    }
  }
  return true;
}

void invert_upper(const double* r, int n, double* inverse) {
  for (int k = 0; k < n * n; ++k) inverse[k] = 0.0;
  // Column j of the inverse solves r x = e_j, from the bottom up.
  for (int j = 0; j < n; ++j) {
    inverse[j + n * j] = 1.0 / r[j + n * j];
    for (int i = j - 1; i >= 0; --i) {
      double sum = 0.0;
      for (int k = i + 1; k <= j; ++k) sum += r[i + n * k] * inverse[k + n * j];
      inverse[i + n * j] = -sum / r[i + n * i];
    }
  }
}

void multiply(const double* a, int n, int m, const double* v, double* out) {
  for (int i = 0; i < n; ++i) out[i] = 0.0;
  for (int j = 0; j < m; ++j) {
    const double vj = v[j];
    const double* column = a + static_cast<long>(n) * j;
    for (int i = 0; i < n; ++i) out[i] += column[i] * vj;
  }
}

}  // namespace oprobit
