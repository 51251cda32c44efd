// The whole-point move's R-free pieces: the cells' log likelihood against a
// long double sum of log(Phi(b) - Phi(a)) over cells of every kind, unit and
// weighted, across the product's underflow guard; the t proposal's log
// density ratio against its formula.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "small_matrix.h"
#include "whole_point.h"

namespace {

long double phi(long double x) { return 0.5L * std::erfc(-x / std::sqrt(2.0L)); }

// Phi(b - m) - Phi(a - m), as upper tails when the cell's midpoint lies above
// the mean, so that a cell far out keeps its digits.
long double direct_mass(long double a, long double b, long double m) {
  if (a + b > 2 * m) return phi(m - a) - phi(m - b);
  return phi(b - m) - phi(a - m);
}

long double direct_log_likelihood(const oprobit::Cells& cells, int categories, const double* eta,
                                  const double* zeta) {
  const long double inf = HUGE_VALL;
  long double total = 0;
  for (int c = 0; c < cells.count; ++c) {
    const int y = cells.y[c];
    const long double a = y == 1 ? -inf : zeta[y - 2];
    const long double b = y == categories ? inf : zeta[y - 1];
    total += cells.size[c] * std::log(direct_mass(a, b, eta[cells.row[c]]));
  }
  return total;
}

// Five categories; the means put cells on every side of the thresholds and
// four of them beyond 8.9 sd, where Phi(b) - Phi(a) in double is 0.
const double kZeta[] = {-1.0, 0.2, 0.9, 2.5};
const double kEta[] = {0.5, -0.3, 1.6, -8.0, 12.0};
// first, first far, last, last far, middle below the mean, middle above it,
// middle around it, middle far above, middle far below
const int kRow[] = {0, 4, 1, 3, 2, 1, 0, 3, 4};
const int kCode[] = {1, 1, 5, 5, 2, 4, 3, 4, 2};

void expect_direct(const oprobit::Cells& cells, const char* what) {
  const double got = oprobit::cell_log_likelihood(cells, 5, kEta, kZeta);
  const double want = static_cast<double>(direct_log_likelihood(cells, 5, kEta, kZeta));
  EXPECT_NEAR(got, want, 1e-13 * std::fabs(want)) << what;
}

TEST(CellLogLikelihood, EveryKindOfCellAloneAndTogetherUnitOrWeighted) {
  const double unit = 1.0;
  for (int c = 0; c < 9; ++c) {
    expect_direct(oprobit::Cells{1, &kRow[c], &kCode[c], &unit, oprobit::Link::kProbit}, "cell alone");
  }
  const double ones[] = {1, 1, 1, 1, 1, 1, 1, 1, 1};
  expect_direct(oprobit::Cells{9, kRow, kCode, ones, oprobit::Link::kProbit}, "unit cells");
  const double sizes[] = {4, 1, 7, 2, 1, 3, 12, 1, 5};
  expect_direct(oprobit::Cells{9, kRow, kCode, sizes, oprobit::Link::kProbit}, "weighted and unit cells");
}

TEST(CellLogLikelihood, ManyTinyUnitCellsCrossTheUnderflowGuard) {
  // 3000 unit cells of mass about 8e-11 (their product is about 1e-30300),
  // with a weighted cell among them: the product must carry across it.
  const int count = 3000;
  std::vector<int> row(count, 0), y(count, 1);
  std::vector<double> size(count, 1.0);
  y[1234] = 3;
  size[1234] = 6.0;
  const double eta[] = {0.0};
  const double zeta[] = {-6.4, -0.5, 0.7};
  const oprobit::Cells cells{count, row.data(), y.data(), size.data(), oprobit::Link::kProbit};
  const double got = oprobit::cell_log_likelihood(cells, 4, eta, zeta);
  const double want = static_cast<double>(direct_log_likelihood(cells, 4, eta, zeta));
  EXPECT_LT(want, -69000.0);
  EXPECT_NEAR(got, want, 1e-13 * std::fabs(want));
}

TEST(LogProposalRatio, EqualsTheMultivariateTDensityRatio) {
  // Scale r' r for the upper triangular r (column-major): the quadratic form
  // of x - mu is |y|^2 for r' y = x - mu, solved here in long double.
  const int d = 3;
  const double df = 5.0;
  double r[] = {1.5, 0, 0, 0.3, 0.8, 0, -0.4, 0.25, 2.0};
  double r_inv[9];
  oprobit::invert_upper(r, d, r_inv);
  double mu[] = {0.1, -0.2, 0.5};
  const oprobit::TProposal proposal{d, df, mu, r, r_inv};
  auto log_kernel = [&](const double* x) {
    long double y[3], q = 0;
    for (int b = 0; b < d; ++b) {
      long double sum = static_cast<long double>(x[b]) - mu[b];
      for (int a = 0; a < b; ++a) sum -= r[a + d * b] * y[a];
      y[b] = sum / r[b + d * b];
      q += y[b] * y[b];
    }
    return -0.5L * (df + d) * std::log1p(q / df);
  };
  const double current[] = {0.4, 0.3, -1.0};
  const double w[] = {-1.2, 0.7, 2.2};
  double scratch[3];
  const double want = static_cast<double>(log_kernel(current) - log_kernel(w));
  EXPECT_NEAR(oprobit::log_proposal_ratio(proposal, current, w, scratch), want, 1e-14);
  EXPECT_NEAR(oprobit::log_proposal_ratio(proposal, w, current, scratch), -want, 1e-14);
}

}  // namespace
