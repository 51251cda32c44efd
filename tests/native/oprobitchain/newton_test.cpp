// The Newton move's R-free pieces: the cells' gradient and curvature in
// (beta, l, zeta) against central differences of a long double log
// likelihood, and the proposal's centre and density against their formulas.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "newton_proposal.h"
#include "small_matrix.h"
#include "whole_point.h"

namespace {

constexpr int kRows = 6, kSlopes = 2, kExtra = 1, kCategories = 4;
constexpr int kD = kSlopes + kExtra + kCategories - 1;
// Covariate rows, the intercept column first; v: the rows' scaled part.
const double kX[kRows * (kSlopes + 1)] = {1, 1, 1, 1, 1, 1, 0.5, -1.2, 2.0, 0.1, -0.3, 1.1,
                                          1, 0, 0, 1, 1, 0};
const double kV[kRows] = {0.4, -0.9, 0.2, 1.3, -0.1, 0.0};
const double kOffset[kRows] = {0.1, 0.0, -0.2, 0.3, 0.0, 0.5};
// Cells of every category, unit and weighted.
const int kRow[] = {0, 1, 2, 3, 4, 5, 0, 2, 3};
const int kCode[] = {1, 2, 3, 4, 2, 3, 4, 1, 2};
const double kSize[] = {1, 1, 3, 1, 2, 1, 1, 5, 1};
const oprobit::Cells kCells{9, kRow, kCode, kSize, oprobit::Link::kProbit};

long double phi(long double x) { return 0.5L * std::erfc(-x / std::sqrt(2.0L)); }

// The row means at theta = (beta, l, zeta): x' beta + exp(l) v + offset.
void means(const long double* theta, long double* eta) {
  for (int r = 0; r < kRows; ++r) {
    eta[r] = kOffset[r] + std::exp(theta[kSlopes]) * kV[r];
    for (int a = 0; a < kSlopes; ++a) eta[r] += theta[a] * kX[r + kRows * (a + 1)];
  }
}

long double direct(const long double* theta) {
  long double eta[kRows];
  means(theta, eta);
  const long double* zeta = theta + kSlopes + kExtra;
  long double total = 0;
  for (int c = 0; c < kCells.count; ++c) {
    const int y = kCode[c];
    const long double m = eta[kRow[c]];
    const long double lo = y == 1 ? 0 : phi(zeta[y - 2] - m);
    const long double hi = y == kCategories ? 1 : phi(zeta[y - 1] - m);
    total += kSize[c] * std::log(hi - lo);
  }
  return total;
}

TEST(CellDerivatives, MatchCentralDifferencesOfTheLogLikelihood) {
  const double theta[kD] = {0.3, -0.6, std::log(0.8), -0.7, 0.2, 1.1};
  // The chain's means at theta, with v scaled by exp(l) at the point.
  long double point[kD], eta_long[kRows];
  for (int a = 0; a < kD; ++a) point[a] = theta[a];
  means(point, eta_long);
  double eta[kRows];
  for (int r = 0; r < kRows; ++r) eta[r] = static_cast<double>(eta_long[r]);
  const double scale = 0.8;
  const oprobit::Directions directions{kExtra, kV, &scale};
  double log_likelihood, gradient[kD], curvature[kD * kD], scratch[kD];
  ASSERT_TRUE(oprobit::cell_derivatives(kCells, kCategories, kX, kRows, kSlopes, directions, eta,
                                        theta + kSlopes + kExtra, &log_likelihood, gradient, curvature, scratch));
  EXPECT_NEAR(log_likelihood, static_cast<double>(direct(point)), 1e-12);
  EXPECT_NEAR(log_likelihood, oprobit::cell_log_likelihood(kCells, kCategories, eta, theta + kSlopes + kExtra),
              1e-12);
  const long double h = 1e-4L;
  for (int a = 0; a < kD; ++a) {
    long double up[kD], down[kD];
    for (int b = 0; b < kD; ++b) up[b] = down[b] = point[b];
    up[a] += h;
    down[a] -= h;
    EXPECT_NEAR(gradient[a], static_cast<double>((direct(up) - direct(down)) / (2 * h)), 1e-7) << a;
    for (int b = 0; b < kD; ++b) {
      long double pp[kD], pm[kD], mp[kD], mm[kD];
      for (int k = 0; k < kD; ++k) pp[k] = pm[k] = mp[k] = mm[k] = point[k];
      pp[a] += h, pp[b] += h, pm[a] += h, pm[b] -= h, mp[a] -= h, mp[b] += h, mm[a] -= h, mm[b] -= h;
      const long double second = (direct(pp) - direct(pm) - direct(mp) + direct(mm)) / (4 * h * h);
      EXPECT_NEAR(curvature[a + kD * b], -static_cast<double>(second), 1e-5) << a << ", " << b;
    }
  }
}

TEST(CellDerivatives, ACellOfMassZeroIsReported) {
  const double eta[kRows] = {60, 0, 0, 0, 0, 0};  // row 0 in category 1, 60 sd below its mean
  const double zeta[] = {-0.7, 0.2, 1.1};
  const double scale = 1.0;
  const oprobit::Directions directions{kExtra, kV, &scale};
  double log_likelihood, gradient[kD], curvature[kD * kD], scratch[kD];
  EXPECT_FALSE(oprobit::cell_derivatives(kCells, kCategories, kX, kRows, kSlopes, directions, eta, zeta,
                                         &log_likelihood, gradient, curvature, scratch));
}

// A point of a quadratic log posterior -(x - m)' A (x - m) / 2.
struct Quadratic {
  static constexpr int d = 3;
  double a[d * d] = {2.0, 0.3, -0.2, 0.3, 1.0, 0.1, -0.2, 0.1, 0.5};
  double m[d] = {0.5, -1.0, 2.0};
  double gradient[d], curvature[d * d], root[d * d], centre[d];
  oprobit::NewtonPoint at(const double* x) {
    for (int i = 0; i < d; ++i) {
      gradient[i] = 0.0;
      for (int j = 0; j < d; ++j) gradient[i] -= a[i + d * j] * (x[j] - m[j]);
    }
    for (int k = 0; k < d * d; ++k) curvature[k] = a[k];
    return oprobit::NewtonPoint{0.0, gradient, curvature, root, centre, 0.0};
  }
};

TEST(NewtonProposal, CentresAtTheModeOfAQuadraticFromAnyPoint) {
  Quadratic q;
  for (const double x : {-3.0, 0.0, 7.5}) {
    const double from[] = {x, x * x, -x};
    oprobit::NewtonPoint point = q.at(from);
    ASSERT_TRUE(oprobit::newton_finish(point, from, Quadratic::d));
    for (int i = 0; i < Quadratic::d; ++i) EXPECT_NEAR(point.centre[i], q.m[i], 1e-12);
  }
  Quadratic flat;
  flat.a[0] = -1.0;  // not positive definite: no proposal
  const double from[] = {0, 0, 0};
  oprobit::NewtonPoint point = flat.at(from);
  EXPECT_FALSE(oprobit::newton_finish(point, from, Quadratic::d));
}

TEST(NewtonProposal, LogDensityIsTheMultivariateT) {
  Quadratic q;
  const double from[] = {0.2, 0.1, 1.0};
  oprobit::NewtonPoint point = q.at(from);
  ASSERT_TRUE(oprobit::newton_finish(point, from, Quadratic::d));
  // log |A|^(1/2) - (df + d) / 2 log(1 + (x - m)' A (x - m) / df).
  const long double det = 2.0L * (1.0L * 0.5L - 0.01L) - 0.3L * (0.3L * 0.5L + 0.02L) +
                          -0.2L * (0.3L * 0.1L + 0.2L * 1.0L);
  const double df = 7.0;
  const double to[] = {1.0, -2.0, 0.5};
  long double form = 0;
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) form += (to[i] - q.m[i]) * q.a[i + 3 * j] * (to[j] - q.m[j]);
  }
  const long double want = 0.5L * std::log(det) - 0.5L * (df + 3) * std::log1p(form / df);
  double scratch[3];
  EXPECT_NEAR(oprobit::newton_log_density(point, to, 3, df, scratch), static_cast<double>(want), 1e-13);
}

}  // namespace
