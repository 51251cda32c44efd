// The cutpoint update: stream replays of the proposal, the cases without a
// free cutpoint, skipped categories, each decision against an independent
// ratio from erfc, and the rules for NaN and infinite terms.
#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>
#include <cstdlib>
#include <limits>
#include <vector>

#include "cutpoint_step.h"
#include "generator.h"
#include "normal_cdf.h"
#include "rand_position.h"
#include "sampler.h"

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

struct Case {
  std::vector<double> c;
  std::vector<int> y;
  std::vector<double> m;
  double t = 1.0;
  double s = 1.0;
};

struct Outcome {
  std::vector<double> p;
  bool accepted = false;
  int consumed = 0;  // rand() values, the acceptance one included
  double u = -1.0;   // the acceptance uniform
};

Outcome run(const Case& cs, unsigned seed) {
  core::reset_generator_for_testing();
  const ordinal::CutpointModel model{static_cast<int>(cs.y.size()), static_cast<int>(cs.c.size()),
                                     cs.y.data(), cs.c.data(), cs.m.data(), cs.t, cs.s};
  Outcome o;
  o.p.assign(cs.c.size() + 1, 12345.0);  // one guard element past the end
  qv_test::RandStream stream(seed, 2000);
  stream.restart();
  o.accepted = ordinal::cutpoint_step(model, o.p.data());
  o.consumed = stream.consumed();
  if (o.consumed > 0) o.u = stream.value15(o.consumed - 1) * 0x1p-15;
  EXPECT_EQ(o.p.back(), 12345.0);
  o.p.pop_back();
  return o;
}

// A model with every category in use, K = 7.
Case seven_cutpoints() {
  Case cs;
  cs.c = {-kInf, 0.0, 0.4, 0.9, 1.3, 2.0, kInf};
  for (int i = 0; i < 30; ++i) {
    cs.y.push_back(1 + (i * 7) % 6);
    cs.m.push_back(1.0 + 0.9 * std::sin(1.7 * i));
  }
  cs.t = 1.5;
  cs.s = 3.0;
  return cs;
}

TEST(CutpointStep, ProposalReplaysSequentialDrawsAndTakesOneMoreRand) {
  for (const std::vector<double>& c :
       {std::vector<double>{-kInf, -1.0, 0.5, 2.0, kInf},
        std::vector<double>{-kInf, 0.0, 0.3, 0.35, 1.0, 1.1, 2.5, 3.0, kInf},
        std::vector<double>{-3.0, -2.0, -1.5, 6.0, 9.5, 10.0, 10.5, 11.0}}) {
    Case cs;
    cs.c = c;
    cs.s = 2.0;
    const int k = static_cast<int>(c.size());
    for (unsigned seed = 1; seed <= 40; ++seed) {
      const Outcome o = run(cs, seed);
      // Replay: one draw per free cutpoint, in increasing order, between the
      // new cutpoint below and the current one above.
      core::reset_generator_for_testing();
      qv_test::RandStream stream(seed, 2000);
      stream.restart();
      std::vector<double> expected = c;
      for (int j = 2; j <= k - 3; ++j) {
        const double z =
            core::trunom(cs.s * (expected[j - 1] - c[j]), cs.s * (c[j + 1] - c[j]));
        expected[j] = c[j] + z / cs.s;
      }
      EXPECT_EQ(o.consumed, stream.consumed() + 1);
      for (int j = 0; j < k; ++j) EXPECT_EQ(o.p[j], expected[j]) << k << " " << seed << " " << j;
      for (int j = 2; j <= k - 3; ++j) {
        EXPECT_GE(o.p[j], o.p[j - 1]);
        EXPECT_LE(o.p[j], c[j + 1]);
      }
    }
  }
}

TEST(CutpointStep, WithoutFreeCutpointsCopiesAndDecidesOnOneRand) {
  // One observation of every category; for K <= 3 each is skipped, so even
  // NaN means are never read.
  const std::vector<std::vector<double>> cutpoints = {
      {}, {kInf}, {-kInf, kInf}, {-kInf, 0.5, kInf}, {-kInf, 0.0, 1.0, kInf}};
  for (const std::vector<double>& c : cutpoints) {
    Case cs;
    cs.c = c;
    const int k = static_cast<int>(c.size());
    for (int code = 1; code <= k - 1; ++code) {
      cs.y.push_back(code);
      cs.m.push_back(k <= 3 ? kNaN : 0.3);
    }
    for (unsigned seed = 1; seed <= 20; ++seed) {
      const Outcome o = run(cs, seed);
      EXPECT_EQ(o.p, c);
      EXPECT_EQ(o.consumed, 1);
      EXPECT_TRUE(o.accepted) << k;
    }
  }
  // K = 4 with a counted observation of probability 0: -inf - -inf rejects.
  Case zero;
  zero.c = {-kInf, 0.0, 1.0, kInf};
  zero.y = {2};
  zero.m = {100.0};
  for (unsigned seed = 1; seed <= 20; ++seed) {
    const Outcome o = run(zero, seed);
    EXPECT_FALSE(o.accepted);
    EXPECT_EQ(o.consumed, 1);
  }
}

TEST(CutpointStep, CategoriesBetweenFixedCutpointsChangeNothing) {
  const Case base = seven_cutpoints();
  Case padded;
  padded.c = base.c;
  padded.t = base.t;
  padded.s = base.s;
  for (size_t i = 0; i < base.y.size(); ++i) {
    padded.y.push_back(i % 2 ? 1 : 6);  // never read: their means are NaN
    padded.m.push_back(kNaN);
    if (base.y[i] == 1 || base.y[i] == 6) continue;
    padded.y.push_back(base.y[i]);
    padded.m.push_back(base.m[i]);
  }
  for (unsigned seed = 1; seed <= 30; ++seed) {
    const Outcome a = run(base, seed);
    const Outcome b = run(padded, seed);
    EXPECT_EQ(a.p, b.p);
    EXPECT_EQ(a.accepted, b.accepted);
    EXPECT_EQ(a.consumed, b.consumed);
  }
}

// log(Phi(q (h - mu)) - Phi(q (l - mu))), each tail from erfc.
double reference_log_mass(double q, double mu, double l, double h) {
  const double a = q * (l - mu) / std::sqrt(2.0);
  const double b = q * (h - mu) / std::sqrt(2.0);
  if (a > 0.0) return std::log(0.5 * (std::erfc(a) - std::erfc(b)));
  if (b < 0.0) return std::log(0.5 * (std::erfc(-b) - std::erfc(-a)));
  return std::log(1.0 - 0.5 * std::erfc(-a) - 0.5 * std::erfc(b));
}

// The Metropolis-Hastings log ratio of the sequential proposal: likelihood
// ratio times forward over reverse normalising constants.
double reference_log_ratio(const Case& cs, const std::vector<double>& p) {
  const std::vector<double>& c = cs.c;
  const int k = static_cast<int>(c.size());
  double r = 0.0;
  for (int j = 2; j <= k - 3; ++j) {
    r += reference_log_mass(cs.s, c[j], p[j - 1], c[j + 1]);
    r -= reference_log_mass(cs.s, p[j], c[j - 1], p[j + 1]);
  }
  for (size_t i = 0; i < cs.y.size(); ++i) {
    const int code = cs.y[i];
    r += reference_log_mass(cs.t, cs.m[i], p[code - 1], p[code]);
    r -= reference_log_mass(cs.t, cs.m[i], c[code - 1], c[code]);
  }
  return r;
}

TEST(CutpointStep, EachDecisionFollowsTheMetropolisHastingsRatio) {
  Case cs = seven_cutpoints();
  int accepted = 0, rejected = 0;
  for (unsigned seed = 1; seed <= 400; ++seed) {
    // Vary the data so that the ratios spread around 1.
    cs.t = 0.5 + (seed % 5) * 0.5;
    cs.s = 1.0 + (seed % 3) * 2.0;
    const Outcome o = run(cs, seed);
    const double log_ratio = reference_log_ratio(cs, o.p);
    if (o.u == 0.0) {
      EXPECT_TRUE(o.accepted);
      continue;
    }
    const double margin = log_ratio - std::log(o.u);
    if (std::fabs(margin) < 1e-4) continue;  // too close for float probabilities
    EXPECT_EQ(o.accepted, margin > 0.0) << seed << " " << log_ratio;
    (margin > 0.0 ? accepted : rejected) += 1;
  }
  EXPECT_GT(accepted, 50);
  EXPECT_GT(rejected, 50);
}

// The step's terms as plainly evaluated: the float-rounded upper value of
// norm, less the lower one, summed in the step's order; whatever the step
// keeps or shares between terms, its decision must be this one.
double plain_term(double q, double mu, double l, double h) {
  const double upper = static_cast<float>(ordinal::norm(q * (h - mu)));
  return std::log(upper - ordinal::norm(q * (l - mu)));
}

bool plain_decision(const Case& cs, const Outcome& o) {
  const int k = static_cast<int>(cs.c.size());
  const std::vector<double>& c = cs.c;
  const std::vector<double>& p = o.p;
  double a = 0.0, b = 0.0;
  for (int j = 2; j <= k - 3; ++j) a = a + plain_term(cs.s, c[j], p[j - 1], c[j + 1]);
  for (int j = 2; j <= k - 3; ++j) b = b + plain_term(cs.s, p[j], c[j - 1], p[j + 1]);
  for (std::size_t i = 0; i < cs.y.size(); ++i) {
    const int code = cs.y[i];
    if (code == 1 || code == k - 1) continue;
    a = a + plain_term(cs.t, cs.m[i], p[code - 1], p[code]);
    b = b + plain_term(cs.t, cs.m[i], c[code - 1], c[code]);
  }
  return std::exp(a - b) >= o.u;
}

TEST(CutpointStep, DecidesAsThePlainTermsWhereMeansAreAlmostEqual) {
  // Two observations on a zero-width current interval [c1, c2]: its term is
  // the log of norm's float rounding error there, finite or NaN at random
  // from one float of the standardised end to the next. So a term taken
  // from a neighbouring mean flips the decision. Pairs of means that are the
  // same float but give different floats at the end (cutpoints near 1000),
  // and pairs one float apart (cutpoints at 0).
  int flips = 0, steps = 0;
  for (double cut : {1000.0, 0.0}) {
    for (int i = 0; i < 60; ++i) {
      double ma, mb;
      if (cut != 0.0) {
        ma = static_cast<float>(cut + 0.3 + i * 1e-3) + 1e-6;
        mb = ma + (1 + i % 7) * 2e-6;
        ASSERT_EQ(static_cast<float>(ma), static_cast<float>(mb));
      } else {
        const float f = static_cast<float>(0.3 + i * 1e-3);
        ma = f;
        mb = std::nextafter(f, 1.0f);
      }
      Case cs;
      cs.c = {-kInf, cut, cut, cut + 1.0, kInf};
      cs.y = {2, 2};
      cs.m = (i % 2 == 0) ? std::vector<double>{ma, mb} : std::vector<double>{mb, ma};
      cs.s = 2.0;
      if (std::isnan(plain_term(1.0, ma, cut, cut)) != std::isnan(plain_term(1.0, mb, cut, cut))) {
        ++flips;
      }
      for (unsigned seed = 1; seed <= 3; ++seed) {
        const Outcome o = run(cs, seed + i);
        ASSERT_EQ(o.accepted, plain_decision(cs, o)) << "means " << ma << ", " << mb;
        ++steps;
      }
    }
  }
  EXPECT_GT(flips, 20);
  EXPECT_EQ(steps, 360);
}

TEST(CutpointStep, DecidesAsThePlainTermsOnRunsOfEqualRows) {
  // Data sorted by covariate row and category: runs of one mean, in which
  // the code changes while the mean stays, and means of +0 and -0 in turn.
  Case cs;
  cs.c = {-kInf, 0.0, 0.5, 1.1, 1.6, kInf};
  const double means[] = {0.25, 0.25, -0.0, 0.0, 0.8};
  for (double m : means) {
    for (int code : {2, 2, 2, 3, 3, 4, 2}) {
      cs.y.push_back(code);
      cs.m.push_back(m);
    }
  }
  int accepted = 0;
  for (unsigned seed = 1; seed <= 200; ++seed) {
    cs.s = 0.5 + (seed % 4);
    const Outcome o = run(cs, seed);
    ASSERT_EQ(o.accepted, plain_decision(cs, o)) << seed;
    accepted += o.accepted;
  }
  EXPECT_GT(accepted, 20);
  EXPECT_LT(accepted, 180);
}

TEST(CutpointStep, UpperValueRoundedToFloatCanMakeTheRatioNaN) {
  // Two cutpoints one float apart where the rounded upper value falls below
  // the lower one: both terms are NaN and the proposal is rejected, although
  // the exact difference is positive.
  float lower = 0.3f, upper = 0.3f;
  bool found = false;
  for (int step = 0; step < 1000 && !found; ++step) {
    lower = std::nextafter(lower, 1.0f);
    upper = std::nextafter(lower, 1.0f);
    const double hi = ordinal::norm(upper), lo = ordinal::norm(lower);
    found = hi > lo && static_cast<float>(hi) < lo;
  }
  ASSERT_TRUE(found);
  Case cs;
  cs.c = {-kInf, lower, upper, kInf};
  cs.y = {2};
  cs.m = {0.0};
  Case wide = cs;
  wide.c[2] = lower + 0.5;
  for (unsigned seed = 1; seed <= 20; ++seed) {
    EXPECT_FALSE(run(cs, seed).accepted);
    EXPECT_TRUE(run(wide, seed).accepted);
  }
}

// K = 5 with a proposal nearly uniform over (0, 10) and one sharply placed
// observation of category 2 at 5: its term is -inf whenever cutpoint 2 lies
// well below 5.
Case sharp_observation(double current) {
  Case cs;
  cs.c = {-kInf, 0.0, current, 10.0, kInf};
  cs.y = {2};
  cs.m = {5.0};
  cs.t = 100.0;
  cs.s = 0.1;
  return cs;
}

TEST(CutpointStep, InfiniteTermsDecideAsTheRatioSays) {
  int high = 0, low = 0;
  for (unsigned seed = 1; seed <= 200; ++seed) {
    // Current probability 0 (B = -inf): accepted when the proposal gives the
    // observation mass, rejected (-inf - -inf) when it does not.
    const Outcome from_zero = run(sharp_observation(1.0), seed);
    if (from_zero.p[2] >= 5.0) {
      EXPECT_TRUE(from_zero.accepted);
      ++high;
    } else if (from_zero.p[2] <= 4.8) {
      EXPECT_FALSE(from_zero.accepted);
      ++low;
    }
    // Proposal probability 0 with current mass (A = -inf): r = 0, accepted
    // only on a uniform of exactly 0.
    const Outcome to_zero = run(sharp_observation(9.0), seed);
    if (to_zero.p[2] <= 4.8) {
      EXPECT_EQ(to_zero.accepted, to_zero.u == 0.0);
    }
  }
  EXPECT_GT(high, 40);
  EXPECT_GT(low, 40);
}

TEST(CutpointStep, ARatioOfZeroIsAcceptedOnAUniformOfZero) {
  // Find a stream position whose proposal lands below 4.8 and whose
  // acceptance uniform is 0. The draw is in the middle case (rand() only).
  const Case cs = sharp_observation(9.0);
  const double lo = cs.s * (cs.c[1] - cs.c[2]), hi = cs.s * (cs.c[3] - cs.c[2]);
  unsigned found = 0;
  for (unsigned seed = 1; seed < 2000000 && found == 0; ++seed) {
    std::srand(seed);
    const double p2 = cs.c[2] + core::trunom(lo, hi) / cs.s;
    if (p2 <= 4.8 && (std::rand() >> 16) == 0) found = seed;
  }
  ASSERT_NE(found, 0u);
  const Outcome o = run(cs, found);
  EXPECT_EQ(o.u, 0.0);
  EXPECT_TRUE(o.accepted);
  EXPECT_LE(o.p[2], 4.8);
}

}  // namespace
