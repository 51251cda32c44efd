// Every link of the cell code, through one typed suite: its masses add up to
// one over the categories and stay positive far out, its bound terms agree
// with central differences of the log mass, and the plan's name finds it.
// A new link adds its type to `Links`.
#include <gtest/gtest.h>

#include <cmath>

#include "link_probit.h"

namespace {

template <class L>
class LinkTest : public ::testing::Test {};

using Links = ::testing::Types<oprobit::ProbitLink>;
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
  EXPECT_GT(TypeParam::cell_mass(30.0, 2, kCategories, kZeta), 0.0);
  EXPECT_GT(TypeParam::cell_mass(-30.0, 3, kCategories, kZeta), 0.0);
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
  EXPECT_FALSE(oprobit::link_from_name("logit", &link));
  EXPECT_FALSE(oprobit::link_from_name("", &link));
}

}  // namespace
