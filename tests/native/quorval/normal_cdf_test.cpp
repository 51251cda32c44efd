// norm(z) = 1 + erf(z / sqrt 2): stated values, the branch at y = 1.5, the
// lower tail kept below float spacing, saturation and the fatal reports.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "fatal_capture.h"
#include "incomplete_gamma.h"
#include "normal_cdf.h"

namespace {

double twice_phi(double z) { return std::erfc(-z / std::sqrt(2.0)); }

TEST(NormalCdf, ZeroAndNegativeZeroGiveExactlyOne) {
  EXPECT_EQ(ordinal::norm(0.0), 1.0);
  EXPECT_EQ(ordinal::norm(-0.0), 1.0);
}

TEST(NormalCdf, StatedValuesAndAGrid) {
  EXPECT_NEAR(ordinal::norm(1.0), 1.68269, 1e-5);
  EXPECT_NEAR(ordinal::norm(-1.0), 0.31731, 1e-5);
  EXPECT_NEAR(ordinal::norm(2.0), 1.95450, 1e-5);
  EXPECT_NEAR(ordinal::norm(-2.0), 0.045500, 1e-6);
  EXPECT_NEAR(ordinal::norm(1.7320508), 1.91674, 1e-5);
  EXPECT_NEAR(ordinal::norm(5.0), 1.99999943, 1e-8);
  for (double z = -7.0; z <= 7.0; z += 0.0625) {
    EXPECT_NEAR(ordinal::norm(z), twice_phi(z), 3e-7) << z;
  }
}

TEST(NormalCdf, LowerTailIsNotCutAtFloatSpacing) {
  // 1 - Q is not rounded to float: that would give 5.96e-7 at -5 and 0 at -8.
  EXPECT_NEAR(ordinal::norm(-5.0), 5.733e-7, 0.001e-7);
  EXPECT_GT(ordinal::norm(-8.0), 1.1e-15);
  EXPECT_LT(ordinal::norm(-8.0), 1.35e-15);
  for (double z = -8.0; z <= -2.0; z += 0.25) {
    EXPECT_NEAR(ordinal::norm(z) / twice_phi(z), 1.0, z > -6.0 ? 1e-5 : 0.1) << z;
  }
}

TEST(NormalCdf, SeriesBelowYOfOneAndAHalfFractionFromThere) {
  // sqrt 3 rounded to float gives y = 1.5 exactly: continued fraction.
  const double root3 = 1.7320508;
  float p, q, gln;
  ordinal::gcf(&q, 0.5, 1.5, &gln);
  EXPECT_EQ(ordinal::norm(root3), (1.0 - static_cast<double>(q)) + 1.0);
  EXPECT_EQ(ordinal::norm(-root3), 1.0 - (1.0 - static_cast<double>(q)));
  const double below = std::nextafter(static_cast<float>(root3), 0.0f);
  const float y = static_cast<float>(below * (below * 0.5));
  ASSERT_LT(y, 1.5f);
  ordinal::gser(&p, 0.5, y, &gln);
  EXPECT_EQ(ordinal::norm(below), 1.0 + p);
  EXPECT_EQ(ordinal::norm(-below), 1.0 - p);
}

TEST(NormalCdf, DependsOnTheArgumentOnlyThroughItsFloat) {
  // Doubles about 1e-8 (relative) off their float, over the standardised
  // bounds the cutpoint step meets: each gives exactly its float's value.
  int off_float = 0;
  for (int i = -60000; i <= 60000; ++i) {
    const double z0 = i * 2.0e-4 + 1.3e-5;  // -12 ... 12
    for (double offset : {-2.5e-8, -1e-8, 1e-8, 2.5e-8}) {
      const double z = z0 * (1.0 + offset);
      const double zf = static_cast<float>(z);
      if (zf != z) ++off_float;
      ASSERT_EQ(ordinal::norm(z), ordinal::norm(zf)) << z;
    }
  }
  EXPECT_GT(off_float, 400000);
}

TEST(NormalCdf, SaturatesFarOutAndReportsWhereYOverflows) {
  EXPECT_EQ(ordinal::norm(1e19), 2.0);
  EXPECT_EQ(ordinal::norm(-1e19), 0.0);
  const std::string fraction = "a too large, ITMAX too small in routine GCF";
  const double inf = std::numeric_limits<double>::infinity();
  for (double z : {std::numeric_limits<double>::quiet_NaN(), inf, -inf, 3e19, -3e19}) {
    std::string text;
    try {
      ordinal::norm(z);
    } catch (const qv_test::FatalError& e) {
      text = e.text;
    }
    EXPECT_EQ(text, fraction) << z;
  }
}

}  // namespace
