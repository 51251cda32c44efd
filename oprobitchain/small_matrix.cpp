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

namespace oprobit {

bool cholesky_lower(const double* a, int n, double* l) {
  for (int j = 0; j < n; ++j) {
    double pivot = a[j + n * j];
    for (int k = 0; k < j; ++k) pivot -= l[j + n * k] * l[j + n * k];
    if (!(pivot > 0.0) || !std::isfinite(pivot)) return false;
    const double root = std::sqrt(pivot);
    for (int i = 0; i < j; ++i) l[i + n * j] = 0.0;
    l[j + n * j] = root;
    for (int i = j + 1; i < n; ++i) {
      double sum = a[i + n * j];
      for (int k = 0; k < j; ++k) sum -= l[i + n * k] * l[j + n * k];
      l[i + n * j] = sum / root;
    }
  }
  return true;
}

void solve_lower(const double* l, int n, double* b) {
  for (int i = 0; i < n; ++i) {
    double sum = b[i];
    for (int k = 0; k < i; ++k) sum -= l[i + n * k] * b[k];
    b[i] = sum / l[i + n * i];
  }
}

void solve_lower_transposed(const double* l, int n, double* b) {
  for (int i = n - 1; i >= 0; --i) {
    double sum = b[i];
    for (int k = i + 1; k < n; ++k) sum -= l[k + n * i] * b[k];
    b[i] = sum / l[i + n * i];
  }
}

}  // namespace oprobit
