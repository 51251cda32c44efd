// The driver's small matrices, column-major: the upper triangular inverse and
// the matrix-vector product, exact on dyadic entries.
#include <gtest/gtest.h>

#include <cmath>

#include "small_matrix.h"

namespace {

TEST(SmallMatrix, UpperTriangularInverseIsExactAndZeroBelowTheDiagonal) {
  // r = [2 1 -4; 0 4 8; 0 0 0.5], whose inverse is [0.5 -0.125 6; 0 0.25 -4; 0 0 2].
  const double r[] = {2, 0, 0, 1, 4, 0, -4, 8, 0.5};
  double inverse[9];
  for (double& v : inverse) v = NAN;
  oprobit::invert_upper(r, 3, inverse);
  const double want[] = {0.5, 0, 0, -0.125, 0.25, 0, 6, -4, 2};
  for (int k = 0; k < 9; ++k) EXPECT_EQ(inverse[k], want[k]) << k;
}

TEST(SmallMatrix, UpperTriangularInverseTimesItselfIsTheIdentity) {
  const int n = 4;
  const double r[] = {1.3, 0, 0, 0, -0.7, 2.1, 0, 0, 0.2, 0.9, 0.6, 0, 3.3, -1.1, 0.45, 1.7};
  double inverse[16];
  oprobit::invert_upper(r, n, inverse);
  for (int i = 0; i < n; ++i)
    for (int j = 0; j < n; ++j) {
      double sum = 0;
      for (int k = 0; k < n; ++k) sum += r[i + n * k] * inverse[k + n * j];
      EXPECT_NEAR(sum, i == j ? 1.0 : 0.0, 1e-14) << i << ", " << j;
    }
}

TEST(SmallMatrix, ProductOfARectangularMatrixAndAVector) {
  // a = [1 -2; 3 0.5; -4 6] (3 x 2), v = (2, -1): a v = (4, 5.5, -14).
  const double a[] = {1, 3, -4, -2, 0.5, 6};
  const double v[] = {2, -1};
  double out[] = {NAN, NAN, NAN};
  oprobit::multiply(a, 3, 2, v, out);
  EXPECT_EQ(out[0], 4.0);
  EXPECT_EQ(out[1], 5.5);
  EXPECT_EQ(out[2], -14.0);
}

}  // namespace
