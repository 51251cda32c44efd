// Small dense matrices for the chain driver, column-major (element (i, j) of
// an n x n matrix at a[i + n * j]), as R stores them.
#pragma once

namespace oprobit {

// The inverse of the upper triangular r (n x n), itself upper triangular.
void invert_upper(const double* r, int n, double* inverse);

// out = a v for an n x m matrix a and a vector v of m elements.
void multiply(const double* a, int n, int m, const double* v, double* out);

}  // namespace oprobit

namespace oprobit {

// The lower triangular l with a = l l' for a symmetric n x n matrix a;
// false when a is not positive definite.
bool cholesky_lower(const double* a, int n, double* l);

// Solves l x = b (lower), or l' x = b, in place in b.
void solve_lower(const double* l, int n, double* b);
void solve_lower_transposed(const double* l, int n, double* b);

}  // namespace oprobit
