// Subtractive generator and deviates: exact stream replays.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "generator.h"

namespace {

// The generator's integer of a draw: ran3 returns it times 1e-9.
std::int32_t mj_of(double u) { return static_cast<std::int32_t>(std::llround(u * 1e9)); }

std::vector<std::int32_t> first_mj(std::int32_t seed, int count) {
  core::reset_generator_for_testing();
  std::vector<std::int32_t> out;
  for (int i = 0; i < count; ++i) out.push_back(mj_of(core::ran3(&seed)));
  return out;
}

TEST(Ran3, FirstDrawsOfFreshStateMatchTheTables) {
  EXPECT_EQ(first_mj(-1, 5),
            (std::vector<std::int32_t>{298227348, 715119168, 33021107, 874393600, 534194424}));
  EXPECT_EQ(first_mj(0, 5),
            (std::vector<std::int32_t>{533923850, 323008803, 401103978, 459259507, 390269598}));
  EXPECT_EQ(first_mj(41, 5),
            (std::vector<std::int32_t>{870367268, 399533768, 309706267, 479757320, 291187464}));
}

TEST(Ran3, DrawIsTheIntegerTimesOneBillionthInDouble) {
  core::reset_generator_for_testing();
  std::int32_t seed = -1;
  EXPECT_EQ(core::ran3(&seed), 298227348 * 1e-9);
}

TEST(Ran3, InitialisationSetsSeedToOneAndIndices) {
  core::reset_generator_for_testing();
  std::int32_t seed = 41;
  core::ran3(&seed);
  EXPECT_EQ(seed, 1);
  EXPECT_EQ(core::generator_state().initialised, 1);
  EXPECT_EQ(core::generator_state().current, 1);
  EXPECT_EQ(core::generator_state().partner, 32);
}

TEST(Ran3, NonNegativeSeedOnInitialisedStateIsIgnored) {
  core::reset_generator_for_testing();
  std::int32_t seed = -1;
  core::ran3(&seed);
  std::int32_t other = 12345;
  EXPECT_EQ(mj_of(core::ran3(&other)), 715119168);
  EXPECT_EQ(other, 12345);
}

TEST(Ran3, NegativeSeedRestartsTheSameStream) {
  const std::vector<std::int32_t> expected = first_mj(-7, 60);
  std::int32_t seed = 3;
  for (int i = 0; i < 100; ++i) core::ran3(&seed);
  seed = -7;
  for (int i = 0; i < 60; ++i) EXPECT_EQ(mj_of(core::ran3(&seed)), expected[i]) << i;
}

TEST(Ran3, IndicesWrapAfterFiftyFiveDraws) {
  core::reset_generator_for_testing();
  std::int32_t seed = 5;
  for (int i = 0; i < 55; ++i) core::ran3(&seed);
  EXPECT_EQ(core::generator_state().current, 55);
  EXPECT_EQ(core::generator_state().partner, 31);
  core::ran3(&seed);
  EXPECT_EQ(core::generator_state().current, 1);
  EXPECT_EQ(core::generator_state().partner, 32);
}

TEST(Ran3, ValuesStayInUnitIntervalOverLongStream) {
  core::reset_generator_for_testing();
  std::int32_t seed = 9;
  for (int i = 0; i < 200000; ++i) {
    const double u = core::ran3(&seed);
    ASSERT_GE(u, 0.0);
    ASSERT_LT(u, 1.0);
  }
}

TEST(Ran3, SeedsBeyondSupportedMagnitudeAreDeterministicAndDefined) {
  // Followed in two's-complement arithmetic; must not trap (run under UBSan).
  for (std::int32_t s : {INT32_MIN, INT32_MIN + 1, -161803399, 161803399, INT32_MAX}) {
    const std::vector<std::int32_t> a = first_mj(s, 10);
    const std::vector<std::int32_t> b = first_mj(s, 10);
    EXPECT_EQ(a, b) << s;
  }
  // A seed of magnitude exactly the constant gives mj = 0 and stays in range.
  for (std::int32_t v : first_mj(161803398, 200)) {
    EXPECT_GE(v, 0);
    EXPECT_LT(v, 1000000000);
  }
}

TEST(Gasdev, FirstPairOfFreshStateWithSeedMinusOne) {
  core::reset_generator_for_testing();
  std::int32_t seed = -1;
  const double first = core::gasdev(&seed);
  EXPECT_NEAR(first, 1.05981621, 5e-9);
  EXPECT_EQ(core::normal_pair_cache().has_spare, 1);
  EXPECT_NEAR(core::normal_pair_cache().spare, -0.994062634, 5e-10);
  // The pair is built from the first two uniforms, in order.
  const double x = 2.0 * (298227348 * 1e-9) - 1.0;
  const double y = 2.0 * (715119168 * 1e-9) - 1.0;
  const double s = x * x + y * y;
  const double f = std::sqrt(-2.0 * std::log(s) / s);
  EXPECT_EQ(first, y * f);
  const double spare = core::gasdev(&seed);
  EXPECT_EQ(spare, x * f);
  EXPECT_EQ(core::normal_pair_cache().has_spare, 0);
}

TEST(Gasdev, SpareIsReturnedWithoutTouchingSeedOrState) {
  core::reset_generator_for_testing();
  std::int32_t seed = -1;
  core::gasdev(&seed);
  const std::int32_t current = core::generator_state().current;
  std::int32_t negative = -5;
  core::gasdev(&negative);
  EXPECT_EQ(negative, -5);
  EXPECT_EQ(core::generator_state().current, current);
}

TEST(Gasdev, SpareSurvivesARestart) {
  core::reset_generator_for_testing();
  std::int32_t seed = -1;
  core::gasdev(&seed);
  const double spare = core::normal_pair_cache().spare;
  std::int32_t restart = -3;
  core::ran3(&restart);  // reinitialises the table, not the cache
  EXPECT_EQ(restart, 1);
  EXPECT_EQ(core::gasdev(&restart), spare);
}

TEST(Expdev, FirstValueOfFreshStateWithSeedMinusOne) {
  core::reset_generator_for_testing();
  std::int32_t seed = -1;
  const double e = core::expdev(&seed);
  EXPECT_NEAR(e, 1.20989917, 5e-9);
  EXPECT_EQ(e, -std::log(298227348 * 1e-9));
}

TEST(MixedCalls, ConsumeOneStreamInCallOrder) {
  // Reference: ran3 alone.
  std::vector<double> u;
  {
    core::reset_generator_for_testing();
    std::int32_t seed = -11;
    for (int i = 0; i < 400; ++i) u.push_back(core::ran3(&seed));
  }
  core::reset_generator_for_testing();
  std::int32_t seed = -11;
  size_t k = 0;
  for (int round = 0; round < 40; ++round) {
    ASSERT_EQ(core::ran3(&seed), u[k++]);
    // expdev: skips exact zeros, then -log u.
    while (u[k] == 0.0) ++k;
    ASSERT_EQ(core::expdev(&seed), -std::log(u[k++]));
    // gasdev: pairs until 0 < s < 1; returns y f, keeps x f.
    double x, y, s;
    do {
      x = 2.0 * u[k++] - 1.0;
      y = 2.0 * u[k++] - 1.0;
      s = x * x + y * y;
    } while (s >= 1.0 || s == 0.0);
    const double f = std::sqrt(-2.0 * std::log(s) / s);
    ASSERT_EQ(core::gasdev(&seed), y * f);
    ASSERT_EQ(core::gasdev(&seed), x * f);
  }
}

}  // namespace
