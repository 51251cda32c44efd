// Truncated normal sampler on the C library stream: exact replays of each
// case, stream consumption, boundaries and the handling of bounds no draw can
// fill.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <string>
#include <vector>

#include "coarse_log_table.h"
#include "fatal_capture.h"
#include "generator.h"
#include "rand_position.h"
#include "sampler.h"

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

int r15() { return std::rand() >> 16; }
double coarse() { return r15() * 0x1p-15; }
double log_or_zero(double v) { return v > 0.0 ? std::log(v) : 0.0; }

// Straight transcription of the steps, drawing with the direct formulas
// (log of each uniform, no table), for replay against the library.
double reference_onetn(double x) {
  if (x >= 0.0) {
    const double alpha = 0.5 * x + 0.5 * std::sqrt(x * x + 4.0);
    for (;;) {
      std::int32_t seed = r15();
      const double e = core::expdev(&seed);
      const double z = x + e / alpha;
      const double d = z - alpha;
      const double l = log_or_zero(coarse());
      if (l <= -d * d * 0.5) return z;
    }
  }
  for (;;) {
    std::int32_t seed = r15();
    const double z = core::gasdev(&seed);
    if (z > x) return z;
  }
}

double reference_trunom(double as, double bl) {
  if (bl >= 8.0) {
    for (;;) {
      const double z = reference_onetn(as);
      if (z <= bl) return z;
    }
  }
  if (as <= -8.0) {
    for (;;) {
      const double z = -reference_onetn(-bl);
      if (z > as) return z;
    }
  }
  const double w = bl - as;
  for (;;) {
    const double z = as + w * coarse();
    double r;
    if (bl < 0.0) {
      r = (bl * bl - z * z) * 0.5;
    } else if (as > 0.0) {
      r = (as * as - z * z) * 0.5;
    } else {
      r = -z * z * 0.5;
    }
    if (log_or_zero(coarse()) <= r) return z;
  }
}

struct Interval {
  double as, bl;
};

const Interval kCases[] = {
    {-1, 1},       {-0.1, 0.1},  {-7.9, 7.9}, {1, 1.5},      {3, 3.5},     {-3.5, -3},
    {-2, 0},       {0, 2},       {0, kInf},   {2, kInf},     {4, kInf},    {10, kInf},
    {-kInf, -4},   {-kInf, 7.9}, {-kInf, kInf}, {-5, kInf},  {8, 9},       {-9, -8.5},
    {-8, 7},       {7.999, 8},   {-20, -10},  {0.5, 0.5},    {-kInf, -8},  {-3, 8},
};

TEST(Trunom, ReplaysTheStepsBitForBitInEveryCase) {
  for (const Interval& c : kCases) {
    for (unsigned seed : {1u, 2u, 77u}) {
      core::reset_generator_for_testing();
      std::srand(seed);
      double expected[50];
      for (double& e : expected) e = reference_trunom(c.as, c.bl);
      const int next_expected = std::rand();

      core::reset_generator_for_testing();
      std::srand(seed);
      for (double e : expected) {
        ASSERT_EQ(core::trunom(c.as, c.bl), e) << c.as << " " << c.bl << " seed " << seed;
      }
      EXPECT_EQ(std::rand(), next_expected) << "stream position after " << c.as << " " << c.bl;
    }
  }
}

// Coarse uniforms of exactly 0 (one value in 32768): every case of the
// sampler started where the proposal or the acceptance uniform is 0, found
// in a seeded stream, against the steps. Ties there decide by <=, and the
// acceptance logarithm of 0 is taken as 0.
TEST(CoarseZero, LogTableTakesNoLogarithmAtZero) {
  const double* table = core::coarse_log_table();
  EXPECT_EQ(table[0], 0.0);
  EXPECT_FALSE(std::signbit(table[0]));
  for (int k = 1; k < 32768; ++k) ASSERT_EQ(table[k], std::log(k * 0x1p-15)) << k;
}

TEST(CoarseZero, EveryCaseReplaysTheStepsWhereAUniformIsZero) {
  const unsigned seed = 2026;
  const qv_test::RandStream stream(seed, 1 << 19);
  std::vector<int> zeros;  // positions p >= 1 of a 15-bit 0
  for (int p = 1; p < (1 << 19) - 1000 && zeros.size() < 4; ++p) {
    if (stream.value15(p) == 0) zeros.push_back(p);
  }
  ASSERT_EQ(zeros.size(), 4u);
  const double big = 1e150;  // onetn's proposal rounds to alpha: log-ratio 0
  const Interval middle[] = {{1, 1.5}, {-3.5, -3}, {-1, 1}, {-2, -2}, {0.5, 0.5}, {0, 0}};
  const Interval tails[] = {{0, kInf}, {2, kInf}, {big, kInf}, {-kInf, -big}, {-kInf, -4}};
  // Replays three draws from position `start` (the library, then the steps).
  auto check = [&stream](int start, double as, double bl) {
    double got[3], expected[3];
    int next[2];
    for (int pass = 0; pass < 2; ++pass) {
      core::reset_generator_for_testing();
      stream.restart();
      for (int i = 0; i < start; ++i) std::rand();
      for (int k = 0; k < 3; ++k) {
        if (pass == 0) got[k] = core::trunom(as, bl);
        else expected[k] = reference_trunom(as, bl);
      }
      next[pass] = std::rand();
    }
    for (int k = 0; k < 3; ++k) EXPECT_EQ(got[k], expected[k]) << as << " " << bl << " at " << start;
    EXPECT_EQ(next[0], next[1]) << "stream position after " << as << " " << bl << " at " << start;
    return got[0];
  };
  for (int p : zeros) {
    for (const Interval& c : middle) {
      check(p, c.as, c.bl);      // a proposal uniform of 0: z = as
      check(p - 1, c.as, c.bl);  // an acceptance uniform of 0: L = 0
    }
    // An interval placed so that the proposal before the zero lands on 0:
    // r = 0 = L and the tie accepts: the first attempt's draw, 0.
    const double as = -stream.value15(p - 1) * 0x1p-15;
    EXPECT_EQ(check(p - 1, as, as + 1.0), 0.0);
    // The tails' acceptance uniform comes second in an attempt.
    for (const Interval& c : tails) check(p - 1, c.as, c.bl);
  }
}

TEST(Trunom, DrawsLieInTheClosedInterval) {
  core::reset_generator_for_testing();
  std::srand(5);
  for (const Interval& c : kCases) {
    for (int i = 0; i < 2000; ++i) {
      const double z = core::trunom(c.as, c.bl);
      ASSERT_GE(z, c.as);
      ASSERT_LE(z, c.bl);
    }
  }
}

TEST(Trunom, MiddleDrawsLieOnTheGridAndNeverReachTheUpperBound) {
  core::reset_generator_for_testing();
  std::srand(9);
  const double as = -1.3, bl = 2.1, w = bl - as;
  for (int i = 0; i < 20000; ++i) {
    const double z = core::trunom(as, bl);
    ASSERT_LT(z, bl);
    // z = as + w * (k / 32768) for an integer k: recover k and rebuild z.
    const double k = std::round((z - as) / w * 32768.0);
    ASSERT_EQ(z, as + w * (k * 0x1p-15));
  }
}

TEST(Trunom, EqualBoundsInTheMiddleReturnTheBoundAfterTwoRandValues) {
  for (double a : {-7.5, -1.0, 0.0, 0.25, 7.99}) {
    double z = 0;
    EXPECT_EQ(qv_test::rand_values_consumed(3, [&] { z = core::trunom(a, a); }), 2);
    EXPECT_EQ(z, a);
  }
}

TEST(Trunom, CaseBoundariesSelectTheDocumentedCase) {
  // Middle case draws from rand() alone; a tail case also steps the generator.
  auto generator_steps = [](double as, double bl) {
    core::reset_generator_for_testing();
    std::int32_t s = -1;
    core::ran3(&s);
    std::srand(4);
    core::trunom(as, bl);
    return core::generator_state().current != 1;
  };
  EXPECT_TRUE(generator_steps(0.0, 8.0));                     // bl = 8: upper tail
  EXPECT_TRUE(generator_steps(-8.0, 7.0));                    // as = -8: lower tail
  EXPECT_FALSE(generator_steps(-7.999999, std::nextafter(8.0, 0.0)));  // middle
}

TEST(Trunom, OneSidedInfiniteBounds) {
  core::reset_generator_for_testing();
  std::srand(12);
  for (int i = 0; i < 5000; ++i) {
    ASSERT_GT(core::trunom(1.5, kInf), 1.5 - 1e-300);
    ASSERT_LE(core::trunom(-kInf, -1.5), -1.5);
    ASSERT_TRUE(std::isfinite(core::trunom(-kInf, kInf)));
  }
}

TEST(Trunom, UnboundedIntervalReturnsTheFirstNormalDraw) {
  core::reset_generator_for_testing();
  std::srand(21);
  std::int32_t seed = r15();
  const double expected = core::gasdev(&seed);
  core::reset_generator_for_testing();
  std::srand(21);
  EXPECT_EQ(core::trunom(-kInf, kInf), expected);
}

TEST(Onetn, NeverReturnsOutsideItsBound) {
  core::reset_generator_for_testing();
  std::srand(31);
  for (double x : {-3.0, -0.5, -1e-300, 0.0, -0.0, 0.5, 3.0, 12.0}) {
    for (int i = 0; i < 3000; ++i) {
      const double z = core::onetn(x);
      if (x < 0) {
        ASSERT_GT(z, x);
      } else {
        ASSERT_GE(z, x);
      }
    }
  }
}

TEST(Onetn, NegativeBoundTakesPendingSpareAsFirstCandidate) {
  core::reset_generator_for_testing();
  std::int32_t seed = -1;
  core::gasdev(&seed);  // leaves the spare of about -0.994
  const double spare = core::normal_pair_cache().spare;
  std::srand(8);
  EXPECT_EQ(core::onetn(-2.0), spare);  // accepted: spare > -2
  // A rejected spare is discarded, not put back.
  core::reset_generator_for_testing();
  seed = -1;
  core::gasdev(&seed);
  const double z = core::onetn(-0.5);  // spare -0.994 is rejected
  EXPECT_NE(z, core::normal_pair_cache().spare);
  EXPECT_GT(z, -0.5);
}

TEST(FatalPaths, BoundsOutOfOrderPrintDiagnosticAndReport) {
  try {
    core::trunom(1.0, -2.5);
    FAIL() << "no fatal error";
  } catch (const qv_test::FatalError& e) {
    EXPECT_EQ(e.text, "Error: as>bl\n");
  }
  EXPECT_EQ(qv_test::last_bound_diagnostic(), "as=      1.000000, bl=     -2.500000\n");
}

TEST(FatalPaths, BothBoundsInfiniteOnOneSideAreReported) {
  EXPECT_THROW(core::trunom(kInf, kInf), qv_test::FatalError);
  EXPECT_THROW(core::trunom(-kInf, -kInf), qv_test::FatalError);
  EXPECT_THROW(core::onetn(kInf), qv_test::FatalError);
}

TEST(Mends, NotANumberBoundGivesNaNAndDrawsNothing) {
  for (const Interval& c : {Interval{kNaN, 1}, Interval{0, kNaN}, Interval{kNaN, kNaN},
                            Interval{kNaN, 9}, Interval{-9, kNaN}, Interval{-kInf, kNaN}}) {
    double z = 0;
    EXPECT_EQ(qv_test::rand_values_consumed(6, [&] { z = core::trunom(c.as, c.bl); }), 0);
    EXPECT_TRUE(std::isnan(z));
  }
  double z = 0;
  EXPECT_EQ(qv_test::rand_values_consumed(6, [&] { z = core::onetn(kNaN); }), 0);
  EXPECT_TRUE(std::isnan(z));
}

TEST(Mends, EqualBoundsInATailReturnTheBoundWithoutDrawing) {
  for (double a : {8.0, 9.5, 1e300, -8.0, -12.0, -1e300}) {
    double z = 0;
    EXPECT_EQ(qv_test::rand_values_consumed(6, [&] { z = core::trunom(a, a); }), 0) << a;
    EXPECT_EQ(z, a);
  }
}

TEST(Mends, BoundsWhoseSquareOverflowsStillGiveADrawInside) {
  core::reset_generator_for_testing();
  std::srand(3);
  const double big = 1e200;
  EXPECT_EQ(core::trunom(big, kInf), big);
  EXPECT_EQ(core::trunom(big, 2 * big), big);
  EXPECT_EQ(core::trunom(-kInf, -big), -big);
  EXPECT_EQ(core::onetn(big), big);
  const double z = core::trunom(-big, big);  // upper tail from a huge negative bound
  EXPECT_TRUE(std::isfinite(z));
  // Below the overflow point the steps already accept at once.
  EXPECT_EQ(qv_test::rand_values_consumed(4, [] { core::trunom(1e150, kInf); }), 2);
  EXPECT_EQ(qv_test::rand_values_consumed(4, [] { core::trunom(1e200, kInf); }), 2);
}

}  // namespace
