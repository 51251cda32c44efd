// Every link of the cell code, through one typed suite: its masses add up to
// one over the categories and stay positive far out, its bound terms agree
// with central differences of the log mass, its masses agree with a direct
// evaluation in long double far into both tails, and the plan's name finds
// it. A new link adds its type to `Links` and its `Reference`.
#include <gtest/gtest.h>

#include <cmath>

#include "link_cauchit.h"
#include "link_cloglog.h"
#include "link_logit.h"
#include "link_loglog.h"
#include "link_probit.h"

namespace {

// Each link's distribution function F and its complement in long double,
// written the plain way, and how far the mean may lie below (above) the
// thresholds with a middle category's mass still representable in double:
// the Gumbel links' short tail ends after a few units.
template <class L>
struct Reference;
template <>
struct Reference<oprobit::ProbitLink> {
  static long double cdf(long double x) { return 0.5L * std::erfc(-x / std::sqrt(2.0L)); }
  static long double upper(long double x) { return cdf(-x); }
  static constexpr double below = -30, above = 30;
};
template <>
struct Reference<oprobit::LogitLink> {
  static long double cdf(long double x) { return 1.0L / (1.0L + std::exp(-x)); }
  static long double upper(long double x) { return cdf(-x); }
  static constexpr double below = -30, above = 30;
};
template <>
struct Reference<oprobit::CloglogLink> {
  static long double cdf(long double x) { return -std::expm1(-std::exp(x)); }
  static long double upper(long double x) { return std::exp(-std::exp(x)); }
  static constexpr double below = -5, above = 30;
};
template <>
struct Reference<oprobit::LoglogLink> {
  static long double cdf(long double x) { return std::exp(-std::exp(-x)); }
  static long double upper(long double x) { return -std::expm1(-std::exp(-x)); }
  static constexpr double below = -30, above = 5;
};
template <>
struct Reference<oprobit::CauchitLink> {
  static long double cdf(long double x) {
    const long double pi = 3.141592653589793238462643383279502884L;
    return x < 0 ? std::atan(-1.0L / x) / pi : 0.5L + std::atan(x) / pi;
  }
  static long double upper(long double x) { return cdf(-x); }
  static constexpr double below = -30, above = 30;
};

template <class L>
class LinkTest : public ::testing::Test {};

using Links = ::testing::Types<oprobit::ProbitLink, oprobit::LogitLink, oprobit::CloglogLink,
                               oprobit::LoglogLink, oprobit::CauchitLink>;
TYPED_TEST_SUITE(LinkTest, Links);

constexpr int kCategories = 4;
constexpr double kZeta[kCategories - 1] = {-1.2, 0.1, 0.9};

TYPED_TEST(LinkTest, MassesAddUpToOneAndStayPositiveInTheTails) {
  for (double m : {-40.0, -3.0, -0.4, 0.0, 0.5, 2.5, 40.0}) {
    double total = 0.0;
    for (int y = 1; y <= kCategories; ++y) {
      const double mass = TypeParam::cell_mass(m, y, kCategories, kZeta);
      EXPECT_GE(mass, 0.0) << "m " << m << " y " << y;
      total += mass;
    }
    EXPECT_NEAR(total, 1.0, 1e-14) << "m " << m;
  }
  // A middle category far from the mean keeps its mass (no cancellation to 0).
  EXPECT_GT(TypeParam::cell_mass(Reference<TypeParam>::above, 2, kCategories, kZeta), 0.0);
  EXPECT_GT(TypeParam::cell_mass(Reference<TypeParam>::below, 3, kCategories, kZeta), 0.0);
}

TYPED_TEST(LinkTest, MassesAgreeWithALongDoubleEvaluationFarOut) {
  using R = Reference<TypeParam>;
  // The reference subtracts the two values of F, or of its complement,
  // whichever are the smaller: long double leaves enough digits then.
  auto reference = [](double m, int y) {
    const long double lo = y > 1 ? static_cast<long double>(kZeta[y - 2]) - m : 0.0L;
    const long double hi = y < kCategories ? static_cast<long double>(kZeta[y - 1]) - m : 0.0L;
    if (y == 1) return R::cdf(hi);
    if (y == kCategories) return R::upper(lo);
    return R::cdf(hi) <= R::upper(lo) ? R::cdf(hi) - R::cdf(lo) : R::upper(lo) - R::upper(hi);
  };
  int compared = 0;
  for (double m : {-25.0, -6.0, -4.0, -1.0, 0.3, 4.0, 6.0, 25.0}) {
    for (int y = 1; y <= kCategories; ++y) {
      const long double want = reference(m, y);
      const double mass = TypeParam::cell_mass(m, y, kCategories, kZeta);
      if (want > 1e-290L) {
        EXPECT_NEAR(static_cast<double>(mass / want), 1.0, 1e-11) << "m " << m << " y " << y;
        ++compared;
      } else {
        EXPECT_LE(mass, 1e-290) << "m " << m << " y " << y;
      }
    }
  }
  EXPECT_GE(compared, 24);  // most points lie where double can hold the mass
}

TYPED_TEST(LinkTest, BoundTermsAreTheLogMassDerivatives) {
  const double h = 1e-5;
  for (double m : {-1.5, 0.3, 2.0}) {
    for (int y = 2; y < kCategories; ++y) {  // both bounds finite
      double zeta[kCategories - 1] = {kZeta[0], kZeta[1], kZeta[2]};
      // log mass as a function of the two bounds, moved through the thresholds.
      auto log_mass = [&](double d_lo, double d_hi) {
        zeta[y - 2] = kZeta[y - 2] + d_lo;
        zeta[y - 1] = kZeta[y - 1] + d_hi;
        const double value = std::log(TypeParam::cell_mass(m, y, kCategories, zeta));
        zeta[y - 2] = kZeta[y - 2];
        zeta[y - 1] = kZeta[y - 1];
        return value;
      };
      const double mass = TypeParam::cell_mass(m, y, kCategories, kZeta);
      const oprobit::BoundTerms t =
          TypeParam::bound_terms(kZeta[y - 2] - m, kZeta[y - 1] - m, true, true, mass);
      EXPECT_NEAR(-t.g_lo, (log_mass(h, 0) - log_mass(-h, 0)) / (2 * h), 1e-6);
      EXPECT_NEAR(t.g_hi, (log_mass(0, h) - log_mass(0, -h)) / (2 * h), 1e-6);
      const double at = log_mass(0, 0);
      EXPECT_NEAR(t.d_lolo, (log_mass(h, 0) - 2 * at + log_mass(-h, 0)) / (h * h), 1e-4);
      EXPECT_NEAR(t.d_hihi, (log_mass(0, h) - 2 * at + log_mass(0, -h)) / (h * h), 1e-4);
      const double cross =
          (log_mass(h, h) - log_mass(h, -h) - log_mass(-h, h) + log_mass(-h, -h)) / (4 * h * h);
      EXPECT_NEAR(t.d_lohi, cross, 1e-4);
    }
  }
  // An infinite bound contributes nothing.
  const oprobit::BoundTerms outer = TypeParam::bound_terms(0.0, 0.4, false, true, 0.6);
  EXPECT_EQ(outer.g_lo, 0.0);
  EXPECT_EQ(outer.d_lohi, 0.0);
}

TEST(LinkNames, ThePlanNamesALinkTheChainKnows) {
  oprobit::Link link = oprobit::Link::kProbit;
  EXPECT_TRUE(oprobit::link_from_name("probit", &link));
  EXPECT_EQ(link, oprobit::Link::kProbit);
  const char* names[] = {"probit", "logit", "cloglog", "loglog", "cauchit"};
  const oprobit::Link links[] = {oprobit::Link::kProbit, oprobit::Link::kLogit, oprobit::Link::kCloglog,
                                 oprobit::Link::kLoglog, oprobit::Link::kCauchit};
  for (int k = 0; k < 5; ++k) {
    EXPECT_TRUE(oprobit::link_from_name(names[k], &link)) << names[k];
    EXPECT_EQ(link, links[k]) << names[k];
  }
  EXPECT_FALSE(oprobit::link_from_name("tobit", &link));
  EXPECT_FALSE(oprobit::link_from_name("Logit", &link));
  EXPECT_FALSE(oprobit::link_from_name("", &link));
}

}  // namespace
