// The per-call memo of interval log masses: every value it hands out must be
// the very double the plain evaluation gives, whether it comes from the memo,
// from a shared norm value, or after a slot was overwritten.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "cutpoint_step.h"
#include "fatal_capture.h"
#include "interval_mass_cache.h"

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

bool same_double(double a, double b) {
  return std::memcmp(&a, &b, sizeof a) == 0 || (std::isnan(a) && std::isnan(b));
}

TEST(IntervalMassCache, PairsEqualThePlainEvaluationBitForBit) {
  std::mt19937_64 rng(7);
  std::uniform_real_distribution<double> cut(-2.0, 3.0);
  std::uniform_int_distribution<int> group(0, 11);
  ordinal::IntervalMassCache memo;
  // Few distinct means (memo hits), fixed and moving cutpoints (shared ends),
  // and thousands of distinct pairs (slot collisions and overwrites).
  const double c[] = {-kInf, 0.0, 0.35, 0.8, 1.4, 2.1, kInf};
  for (int i = 0; i < 20000; ++i) {
    const double mu = (i % 3 == 0) ? cut(rng) : 0.25 * group(rng) - 0.5;
    const double q = (i % 5 == 0) ? 0.5 + 0.1 * (i % 7) : 1.3;
    const int k = 1 + i % 4;  // intervals between finite cutpoints 1 ... 5
    double p_lo = c[k], p_hi = c[k + 1];
    if (k >= 2) p_lo += 0.01 * ((i / 5) % 4);       // a moved cutpoint below
    if (k + 1 <= 4) p_hi -= 0.02 * ((i / 7) % 3);   // a moved cutpoint above
    if (p_lo > p_hi) p_lo = p_hi;
    double proposed = 0, current = 0;
    memo.log_mass_pair(q, mu, p_lo, p_hi, c[k], c[k + 1], &proposed, &current);
    ASSERT_TRUE(same_double(proposed, ordinal::interval_log_mass(q, mu, p_lo, p_hi))) << i;
    ASSERT_TRUE(same_double(current, ordinal::interval_log_mass(q, mu, c[k], c[k + 1]))) << i;
    double again = 0, current_again = 0;  // both now from the memo
    memo.log_mass_pair(q, mu, p_lo, p_hi, c[k], c[k + 1], &again, &current_again);
    ASSERT_TRUE(same_double(current_again, current)) << i;
    ASSERT_TRUE(same_double(again, proposed)) << i;
  }
}

// Distinct means make the memo step aside for a stretch and look again after
// it; repeated means keep it. Every value stays the plain one.
TEST(IntervalMassCache, StepsAsideOnDistinctMeansAndLooksAgain) {
  using Memo = ordinal::IntervalMassCache;
  Memo memo;
  int i = 0;
  auto feed = [&](int pairs, bool distinct) {
    for (int k = 0; k < pairs; ++k, ++i) {
      const double mu = distinct ? 1e-3 * i : 0.5 * (i % 4);
      double proposed = 0, current = 0;
      memo.log_mass_pair(1.3, mu, 0.2, 1.1, 0.0, 1.0, &proposed, &current);
      ASSERT_TRUE(same_double(proposed, ordinal::interval_log_mass(1.3, mu, 0.2, 1.1))) << i;
      ASSERT_TRUE(same_double(current, ordinal::interval_log_mass(1.3, mu, 0.0, 1.0))) << i;
    }
  };
  EXPECT_EQ(memo.mode(), Memo::kWatching);
  feed(Memo::kWindow, true);
  EXPECT_EQ(memo.mode(), Memo::kPlain);
  feed(Memo::kStretch - 1, false);
  EXPECT_EQ(memo.mode(), Memo::kPlain);
  feed(1, false);
  EXPECT_EQ(memo.mode(), Memo::kWatching);
  feed(Memo::kWindow, false);  // four means: almost every lookup hits
  EXPECT_EQ(memo.mode(), Memo::kMemo);
  feed(Memo::kStretch + Memo::kWindow, false);
  EXPECT_EQ(memo.mode(), Memo::kMemo);
}

TEST(IntervalMassCache, ZeroAndNegativeZeroEndsAndEmptyIntervals) {
  ordinal::IntervalMassCache memo;
  const double cases[][4] = {{1.0, 0.0, -0.0, 0.0}, {1.0, 0.0, 0.0, -0.0}, {2.0, 1.0, 1.0, 1.0},
                             {1.0, -40.0, 0.0, 1.0}, {1.0, 40.0, 0.0, 1.0}, {1.0, 0.5, 0.5, 0.6}};
  for (int round = 0; round < 2; ++round) {
    for (const auto& a : cases) {
      double proposed = 0, current = 0;
      memo.log_mass_pair(a[0], a[1], a[2], a[3], a[2], a[3], &proposed, &current);
      const double plain = ordinal::interval_log_mass(a[0], a[1], a[2], a[3]);
      EXPECT_TRUE(same_double(proposed, plain));
      EXPECT_TRUE(same_double(current, plain));
    }
  }
}

TEST(IntervalMassCache, AValueThatCannotBeEvaluatedStillReachesTheReporter) {
  ordinal::IntervalMassCache memo;
  double proposed = 0, current = 0;
  memo.log_mass_pair(1.0, 0.2, 0.0, 1.0, 0.0, 1.0, &proposed, &current);
  EXPECT_THROW(memo.log_mass_pair(1.0, std::nan(""), 0.0, 1.0, 0.0, 1.0, &proposed, &current),
               qv_test::FatalError);
  // Not memoised: the same arguments fail again.
  EXPECT_THROW(memo.log_mass_pair(1.0, std::nan(""), 0.0, 1.0, 0.0, 1.0, &proposed, &current),
               qv_test::FatalError);
  EXPECT_THROW(memo.log_mass_pair(1.0, 0.0, 0.0, kInf, 0.0, 1.0, &proposed, &current),
               qv_test::FatalError);
}

}  // namespace
