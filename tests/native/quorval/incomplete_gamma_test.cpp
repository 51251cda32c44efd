// Incomplete gamma: closed forms, stated values, the choice between series
// and continued fraction, what gser and gcf store, the fatal reports, and
// non-positive a ending in a value or a report.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "fatal_capture.h"
#include "incomplete_gamma.h"

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// The text the reporter receives from `call`, or "" when it returns.
template <class F>
std::string fatal_text(F call) {
  try {
    call();
  } catch (const qv_test::FatalError& e) {
    return e.text;
  }
  return "";
}

// Exact tier: the series and the fraction transcribed with their rounding
// points (float arguments, a float running sum, a float previous convergent,
// float results), for bit-for-bit comparison on a grid.
float reference_series(double a_in, double x_in) {
  // Rounded to float, then held in doubles: the logarithm is the double one.
  const double a = static_cast<float>(a_in), x = static_cast<float>(x_in);
  const float gln = ordinal::gammln(a);
  double d = a, t = 1.0 / a;
  float sum = static_cast<float>(t);
  for (int n = 0; n < 100; ++n) {
    d += 1.0;
    t *= x / d;
    sum = static_cast<float>(sum + t);
    if (std::fabs(t) < std::fabs(sum) * 3.0e-7) {
      return static_cast<float>(sum * std::exp(-x + a * std::log(x) - gln));
    }
  }
  return kNaN;
}

float reference_fraction(double a_in, double x_in) {
  // Rounded to float, then held in doubles: the logarithm is the double one.
  const double a = static_cast<float>(a_in), x = static_cast<float>(x_in);
  const float gln = ordinal::gammln(a);
  double d0 = 1.0, d1 = x, n0 = 0.0, n1 = 1.0, f = 1.0;
  float previous = 0.0f;
  for (int n = 1; n <= 100; ++n) {
    d0 = (d1 + d0 * (n - a)) * f;
    n0 = (n1 + n0 * (n - a)) * f;
    d1 = x * d0 + n * f * d1;
    n1 = x * n0 + n * f * n1;
    if (d1 == 0.0) continue;
    f = 1.0 / d1;
    const float g = static_cast<float>(n1 * f);
    if (std::fabs((n1 * f - previous) / g) < 3.0e-7) {
      return static_cast<float>(std::exp(-x + a * std::log(x) - gln) * g);
    }
    previous = g;
  }
  return kNaN;
}

TEST(IncompleteGamma, SeriesAndFractionAreExactToTheBit) {
  float out, gln;
  for (double a : {0.1, 0.2, 0.5, 1.0, 1.75, 2.3, 2.7, 7.0, 19.75}) {
    for (double share : {0.01, 0.2, 0.45, 0.7, 0.93}) {
      const double x = share * (a + 1.0);
      ordinal::gser(&out, a, x, &gln);
      EXPECT_EQ(out, reference_series(a, x)) << a << " " << x;
    }
    for (double factor : {1.0, 1.3, 2.0, 4.5, 11.0}) {
      const double x = factor * (a + 1.0);
      ordinal::gcf(&out, a, x, &gln);
      EXPECT_EQ(out, reference_fraction(a, x)) << a << " " << x;
    }
  }
}

TEST(IncompleteGamma, MatchesClosedFormsOnBothBranches) {
  // P(1/2, x) = erf(sqrt x), P(1, x) = 1 - e^-x, P(3, x) = 1 - e^-x (1 + x + x^2/2).
  for (double x : {0.015625, 0.25, 1.0, 1.4375, 1.5, 2.0, 3.5, 4.0, 7.0, 20.0, 60.0}) {
    EXPECT_NEAR(ordinal::gammp(0.5, x), std::erf(std::sqrt(x)), 3e-7) << x;
    EXPECT_NEAR(ordinal::gammp(1.0, x), -std::expm1(-x), 3e-7) << x;
    EXPECT_NEAR(ordinal::gammp(3.0, x), 1.0 - std::exp(-x) * (1.0 + x + 0.5 * x * x), 3e-7) << x;
  }
}

TEST(IncompleteGamma, StatedValues) {
  EXPECT_NEAR(ordinal::gammp(1.0, 1.0), 0.63212, 1e-5);
  EXPECT_NEAR(ordinal::gammp(0.5, 2.0), 0.95450, 1e-5);
  EXPECT_NEAR(ordinal::gammp(100.0, 100.0), 0.5133, 1e-4);
  EXPECT_EQ(ordinal::gammp(0.7, 0.0), 0.0);
  // The lower tail is not cut at float spacing: 1 - Q is formed in double.
  EXPECT_NEAR(ordinal::gammp(0.5, 12.5), 1.0 - std::erfc(std::sqrt(12.5)), 1e-12);
}

TEST(IncompleteGamma, SeriesBelowAPlusOneFractionFromAPlusOne) {
  for (double a : {0.5, 1.0, 3.0, 7.25}) {
    float p, q, gln;
    const float edge = static_cast<float>(a + 1.0);
    const double below = std::nextafter(edge, 0.0f);
    ordinal::gser(&p, a, below, &gln);
    EXPECT_EQ(ordinal::gammp(a, below), p) << a;
    ordinal::gcf(&q, a, edge, &gln);
    EXPECT_EQ(ordinal::gammp(a, edge), 1.0 - static_cast<double>(q)) << a;
    EXPECT_NEAR(p + q, 1.0, 1e-6) << a;
  }
}

TEST(IncompleteGamma, SeriesAndFractionStoreLogGammaOfTheRoundedA) {
  float p = -1.0f, q = -1.0f, gln = 0.0f;
  ordinal::gser(&p, 2.5, 0.0, &gln);
  EXPECT_EQ(p, 0.0f);
  EXPECT_EQ(gln, ordinal::gammln(2.5));
  ordinal::gcf(&q, 0.1, 9.0, &gln);
  EXPECT_EQ(gln, ordinal::gammln(0.1));
  EXPECT_EQ(ordinal::gammp(0.1, 9.0), ordinal::gammp(static_cast<float>(0.1), 9.0));
  // Stored before the argument check fails.
  gln = 0.0f;
  EXPECT_EQ(fatal_text([&] { ordinal::gser(&p, 4.0, -1.0, &gln); }), ordinal::kSeriesNegativeX);
  EXPECT_EQ(gln, ordinal::gammln(4.0));
}

TEST(IncompleteGamma, FatalReports) {
  const std::string invalid = "Invalid arguments in routine GAMMP";
  const std::string series = "a too large, ITMAX too small in routine GSER";
  const std::string fraction = "a too large, ITMAX too small in routine GCF";
  EXPECT_EQ(fatal_text([] { ordinal::gammp(1000.0, 1000.0); }), series);
  EXPECT_EQ(fatal_text([] { ordinal::gammp(1.0, -1.0); }), invalid);
  EXPECT_EQ(fatal_text([] { ordinal::gammp(0.0, 1.0); }), invalid);
  EXPECT_EQ(fatal_text([] { ordinal::gammp(-2.0, -1.0); }), invalid);
  // A value that rounds to a float of 0 is not positive.
  EXPECT_EQ(fatal_text([] { ordinal::gammp(1e-60, 1.0); }), invalid);
  EXPECT_EQ(fatal_text([] { ordinal::gammp(kNaN, 1.0); }), fraction);
  EXPECT_EQ(fatal_text([] { ordinal::gammp(1.0, kNaN); }), fraction);
  EXPECT_EQ(fatal_text([] { ordinal::gammp(1.0, kInf); }), fraction);
  float p, gln;
  EXPECT_EQ(fatal_text([&] { ordinal::gser(&p, 1.0, -0.5, &gln); }),
            "x less than 0 in routine GSER");
  EXPECT_EQ(fatal_text([&] { ordinal::gser(&p, 1.0, kNaN, &gln); }), series);
}

TEST(IncompleteGamma, NonPositiveAEndsInAValueOrAReport) {
  const std::string series = ordinal::kSeriesNoConvergence;
  const std::string fraction = ordinal::kFractionNoConvergence;
  for (double a : {0.0, -0.0, -0.5, -1.0, -2.5, -1e6, -kInf}) {
    for (double x : {0.25, 1.0, 3.0, 50.0}) {
      float out = 0.0f, gln = 0.0f;
      const std::string s = fatal_text([&] { ordinal::gser(&out, a, x, &gln); });
      EXPECT_TRUE(s.empty() || s == series) << a << " " << x << " " << s;
      const std::string f = fatal_text([&] { ordinal::gcf(&out, a, x, &gln); });
      EXPECT_TRUE(f.empty() || f == fraction) << a << " " << x << " " << f;
    }
  }
}

}  // namespace
