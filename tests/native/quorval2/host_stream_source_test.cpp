// The host-stream source driving the shared samplers: a scripted host
// generator replays fixed deviates, checks that each draw asks for the kind
// of deviate the steps call for, and counts what was taken.
#include <cmath>
#include <cstddef>
#include <limits>
#include <vector>

#include <gtest/gtest.h>

#include "fatal_capture.h"
#include "host_stream_source.h"
#include "interrupt_capture.h"
#include "truncated_normal.h"

namespace {

enum class Kind { kExponential, kNormal, kUniform };

struct Step {
  Kind kind;
  double value;
};

struct Script {
  std::vector<Step> steps;
  std::size_t taken = 0;
  bool mismatch = false;

  double next(Kind kind) {
    if (taken >= steps.size() || steps[taken].kind != kind) {
      mismatch = true;
      return std::numeric_limits<double>::quiet_NaN();
    }
    return steps[taken++].value;
  }
  bool all_taken() const { return !mismatch && taken == steps.size(); }
};

struct ScriptedDraws {
  Script* script;
  double exponential() { return script->next(Kind::kExponential); }
  double normal() { return script->next(Kind::kNormal); }
  double uniform() { return script->next(Kind::kUniform); }
};

using Source = quorval2::HostStreamSource<ScriptedDraws>;

Step e(double v) { return {Kind::kExponential, v}; }
Step n(double v) { return {Kind::kNormal, v}; }
Step u(double v) { return {Kind::kUniform, v}; }

double trunom(Script& script, double as, double bl) {
  Source source{ScriptedDraws{&script}, {}};
  return core::trunom_with(source, as, bl);
}

double onetn(Script& script, double x) {
  Source source{ScriptedDraws{&script}, {}};
  return core::onetn_with(source, x);
}

constexpr double kInf = std::numeric_limits<double>::infinity();

TEST(AcceptanceLog, NaturalLogOfPositiveUniformsAndZeroOtherwise) {
  EXPECT_EQ(quorval2::acceptance_log_of(0.25), std::log(0.25));
  EXPECT_EQ(quorval2::acceptance_log_of(0x1p-1074), std::log(0x1p-1074));
  EXPECT_EQ(quorval2::acceptance_log_of(0.0), 0.0);
}

TEST(MiddleCase, EqualBoundsReturnTheBoundAfterExactlyTwoUniforms) {
  for (double a : {-7.5, -0.3, 0.0, 0.3, 7.99}) {
    Script script{{u(0.8125), u(0.999)}};
    EXPECT_EQ(trunom(script, a, a), a);
    EXPECT_TRUE(script.all_taken()) << a;
  }
}

TEST(MiddleCase, ProposalSpansTheIntervalAtFullUniformResolution) {
  // A proposal uniform finer than 2^-15 must reach z unrounded: as + w * u.
  const double as = -1.0, bl = 1.0, fine = 0.123456789012345;
  Script script{{u(fine), u(1e-300)}};
  const double z = trunom(script, as, bl);
  EXPECT_EQ(z, as + (bl - as) * fine);
  EXPECT_TRUE(script.all_taken());
}

TEST(MiddleCase, AcceptanceComparesTheLogOfTheUniformWithEachLogRatio) {
  struct Case {
    double as, bl, u, r;  // r: the log-ratio at z = as + (bl - as) * u
  };
  const Case cases[] = {
      {1.0, 2.0, 0.5, (1.0 - 2.25) * 0.5},      // right of 0: measured from as
      {-2.0, -1.0, 0.5, (1.0 - 2.25) * 0.5},    // left of 0: measured from bl
      {-1.0, 2.0, 0.75, -1.25 * 1.25 * 0.5},    // around 0: measured from 0
  };
  for (const Case& c : cases) {
    const double z = c.as + (c.bl - c.as) * c.u;
    // Just above the threshold: rejected; a second proposal near the
    // density's peak on the interval is then taken with a small uniform.
    const double above = std::exp(c.r) * 1.0001;
    const double peak_u = c.bl < 0.0 ? 0.999 : (c.as > 0.0 ? 0.0 : -c.as / (c.bl - c.as));
    Script rejected{{u(c.u), u(above), u(peak_u), u(0.01)}};
    const double second = trunom(rejected, c.as, c.bl);
    EXPECT_TRUE(rejected.all_taken()) << c.as;
    EXPECT_NE(second, z);
    // Just below it: the first proposal is taken.
    Script accepted{{u(c.u), u(std::exp(c.r) * 0.9999)}};
    EXPECT_EQ(trunom(accepted, c.as, c.bl), z);
    EXPECT_TRUE(accepted.all_taken()) << c.as;
  }
}

TEST(MiddleCase, ZeroAcceptanceUniformPassesOnlyAtLogRatioZero) {
  // log(0) would accept everything; the source gives 0, which only a
  // proposal at the density's peak on [1, 2] (z = as) satisfies.
  Script script{{u(0.5), u(0.0), u(0.0), u(0.0)}};
  EXPECT_EQ(trunom(script, 1.0, 2.0), 1.0);
  EXPECT_TRUE(script.all_taken());
}

TEST(Trunom, EndlessRejectionReachesTheInterruptCheck) {
  // Every proposal lands at 10 + 1/alpha, beyond the interval.
  struct Endless {
    double exponential() { return 1.0; }
    double normal() { return 0.0; }
    double uniform() { return 0.5; }
  };
  quorval2::HostStreamSource<Endless> source{};
  qv_test::arm_interrupt(true);
  EXPECT_THROW(core::trunom_with(source, 10.0, 10.0 + 1e-15), qv_test::Interrupted);
  qv_test::arm_interrupt(false);
}

TEST(Onetn, NonNegativeBoundDrawsExponentialThenUniformPerAttempt) {
  const double x = 1.0;
  const double alpha = 0.5 * x + 0.5 * std::sqrt(x * x + 4.0);
  const double first = x + 2.0 / alpha, second = x + 0.25 / alpha;
  const double d1 = first - alpha, d2 = second - alpha;
  // First attempt just rejected, second just accepted.
  Script script{{e(2.0), u(std::exp(-d1 * d1 * 0.5) * 1.0001), e(0.25),
                 u(std::exp(-d2 * d2 * 0.5) * 0.9999)}};
  EXPECT_EQ(onetn(script, x), second);
  EXPECT_TRUE(script.all_taken());
}

TEST(Onetn, NegativeZeroTakesTheExponentialBranch) {
  Script script{{e(0.5), u(0.5)}};
  EXPECT_EQ(onetn(script, -0.0), -0.0 + 0.5 / 1.0);
  EXPECT_TRUE(script.all_taken());
}

TEST(Onetn, NegativeBoundKeepsTheFirstNormalStrictlyAbove) {
  Script script{{n(-3.0), n(-2.0), n(-1.5)}};
  EXPECT_EQ(onetn(script, -2.0), -1.5);
  EXPECT_TRUE(script.all_taken());
}

TEST(Trunom, UnboundedIntervalReturnsTheFirstNormal) {
  Script script{{n(-0.731)}};
  EXPECT_EQ(trunom(script, -kInf, kInf), -0.731);
  EXPECT_TRUE(script.all_taken());
}

TEST(Trunom, UpperBoundOfEightTakesTheUpperTail) {
  // onetn(7.5): exponential proposals, kept while z <= 8.
  const double x = 7.5;
  const double alpha = 0.5 * x + 0.5 * std::sqrt(x * x + 4.0);
  const double z = x + 0.1 / alpha;
  Script script{{e(0.1), u(1e-300)}};
  EXPECT_EQ(trunom(script, x, 8.0), z);
  EXPECT_TRUE(script.all_taken());
}

TEST(Trunom, LowerBoundOfMinusEightTakesTheLowerTail) {
  // -onetn(7.5) for [-8, -7.5], kept while z > -8; then [-8, 1] mirrors to
  // onetn(-1), which uses normals.
  const double alpha = 0.5 * 7.5 + 0.5 * std::sqrt(7.5 * 7.5 + 4.0);
  Script window{{e(0.1), u(1e-300)}};
  EXPECT_EQ(trunom(window, -8.0, -7.5), -(7.5 + 0.1 / alpha));
  EXPECT_TRUE(window.all_taken());
  Script wide{{n(-2.0), n(0.4)}};
  EXPECT_EQ(trunom(wide, -8.0, 1.0), -0.4);
  EXPECT_TRUE(wide.all_taken());
}

TEST(Trunom, BoundsOutOfOrderReachTheReporterWithoutDrawing) {
  Script script{{}};
  try {
    trunom(script, 2.0, 1.0);
    FAIL() << "no fatal error";
  } catch (const qv_test::FatalError& error) {
    EXPECT_EQ(error.text, "Error: as>bl\n");
  }
  EXPECT_EQ(qv_test::last_bound_diagnostic(), "as=      2.000000, bl=      1.000000\n");
  EXPECT_TRUE(script.all_taken());
}

}  // namespace
