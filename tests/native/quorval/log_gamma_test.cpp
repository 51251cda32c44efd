// ln Gamma: stated values, rounding of the argument, accuracy over a range,
// and non-positive arguments returning instead of trapping.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "incomplete_gamma.h"

namespace {

TEST(LogGamma, StatedValues) {
  EXPECT_NEAR(ordinal::gammln(0.5), 0.5723649, 1e-7);  // ln sqrt(pi)
  EXPECT_NEAR(ordinal::gammln(10.0), 12.80183, 1e-5);  // ln 9!
  // The six-term series is not exact at 1 and 2.
  EXPECT_NEAR(ordinal::gammln(1.0), -3.4e-11, 0.05e-11);
  EXPECT_NEAR(ordinal::gammln(2.0), -7.8e-11, 0.05e-11);
}

TEST(LogGamma, RoundsTheArgumentToFloatFirst) {
  EXPECT_EQ(ordinal::gammln(0.1), ordinal::gammln(static_cast<double>(0.1f)));
  // 1 + 2^-30 rounds to 1; unrounded it would move the result by ~ -5e-10.
  EXPECT_EQ(ordinal::gammln(1.0 + 0x1p-30), ordinal::gammln(1.0));
}

TEST(LogGamma, AgreesWithTheLibraryLogGammaToFloatPrecision) {
  for (double x = 0.0625; x < 200.0; x *= 1.25) {
    const double exact = std::lgamma(static_cast<double>(static_cast<float>(x)));
    EXPECT_NEAR(ordinal::gammln(x), exact, 4e-7 * std::fmax(1.0, std::fabs(exact))) << x;
  }
}

TEST(LogGamma, NonPositiveAndNonFiniteArgumentsReturn) {
  // The pole at 0 comes out as +inf. Other non-positive arguments only have
  // to return (the sanitizer build checks that nothing traps on the way).
  EXPECT_EQ(ordinal::gammln(0.0), std::numeric_limits<float>::infinity());
  const double inf = std::numeric_limits<double>::infinity();
  for (double xx : {-0.0, -0.5, -1.0, -3.7, -1e30, -1e300, -inf, inf,
                    std::numeric_limits<double>::quiet_NaN()}) {
    ordinal::gammln(xx);
  }
}

}  // namespace
