#include "small_matrix.h"

#include <cmath>

namespace oprobit {

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
