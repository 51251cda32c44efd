// log_at_most(v, r) must give exactly the answer of log(v) <= r (with 0 for a
// uniform that is not positive) for every pair, above all where r lies
// within a few units in the last place of log(v), where the bounds must not
// decide.
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "host_stream_source.h"
#include "log_squeeze.h"

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

bool direct(double v, double r) { return quorval2::acceptance_log_of(v) <= r; }

// Uniforms as R's generators make them (multiples of 2^-32 and of 2^-53),
// and the extremes: the smallest subnormal and normal, values next to 1.
std::vector<double> uniforms() {
  std::vector<double> v = {0x1p-1074, 0x1p-1022, 1e-300, 0x1p-32, 0x1p-53, 0.5,
                           std::nextafter(1.0, 0.0), 1.0 - 0x1p-32, 1.0};
  std::mt19937_64 engine(7);
  for (int i = 0; i < 20000; ++i) {
    const std::uint64_t bits = engine();
    v.push_back(static_cast<double>(bits >> 32) * 0x1p-32);
    v.push_back(static_cast<double>(bits >> 11) * 0x1p-53);
  }
  return v;
}

// Log-ratios next to log(v): the value itself, its neighbours up to three
// steps either way, and offsets far smaller and far larger than the slack.
std::vector<double> log_ratios_near(double v) {
  const double l = std::log(v);
  std::vector<double> r = {l, 0.0, -0.0, kInf, -kInf};
  double up = l, down = l;
  for (int i = 0; i < 3; ++i) {
    up = std::nextafter(up, kInf);
    down = std::nextafter(down, -kInf);
    r.push_back(up);
    r.push_back(down);
  }
  for (double d : {1e-15, 1e-12, 1e-9, 1e-6, 1e-3, 0.1, 1.0}) {
    r.push_back(l + d * (1.0 + std::fabs(l)));
    r.push_back(l - d * (1.0 + std::fabs(l)));
  }
  return r;
}

TEST(LogSqueeze, SameAnswerAsTheLogarithmNextToIt) {
  long long pairs = 0;
  for (double v : uniforms()) {
    for (double r : log_ratios_near(v)) {
      ASSERT_EQ(quorval2::log_at_most(v, r), direct(v, r)) << "v=" << v << " r=" << r;
      ++pairs;
    }
  }
  EXPECT_GT(pairs, 500000);
}

TEST(LogSqueeze, SameAnswerForUniformsPackedNextToOne) {
  // v = 1 - k 2^-e, where the bounds agree with log(v) to within rounding,
  // and r up to four steps either side of log(v): only the slack keeps the
  // bounds from deciding there.
  long long pairs = 0;
  for (int e = 10; e <= 52; ++e) {
    for (int k = 1; k <= 200; ++k) {
      const double v = 1.0 - std::ldexp(k, -e);
      double up = std::log(v), down = up;
      for (int step = 0; step <= 4; ++step) {
        ASSERT_EQ(quorval2::log_at_most(v, up), direct(v, up)) << "v=1-" << k << "*2^-" << e;
        ASSERT_EQ(quorval2::log_at_most(v, down), direct(v, down)) << "v=1-" << k << "*2^-" << e;
        up = std::nextafter(up, kInf);
        down = std::nextafter(down, -kInf);
        pairs += 2;
      }
    }
  }
  EXPECT_EQ(pairs, 43 * 200 * 10);
}

TEST(LogSqueeze, SameAnswerOverTheRangeOfLogRatios) {
  // The log-ratios the samplers compare: -d*d/2 and (peak - z*z)/2, from 0
  // down to far below the logarithm of any uniform.
  std::mt19937_64 engine(11);
  std::uniform_real_distribution<double> uniform(0.0, 1.0);
  std::exponential_distribution<double> spread(0.25);
  for (int i = 0; i < 2000000; ++i) {
    const double v = uniform(engine);
    const double r = -spread(engine);
    ASSERT_EQ(quorval2::log_at_most(v, r), direct(v, r)) << "v=" << v << " r=" << r;
  }
}

TEST(LogSqueeze, UniformsThatAreNotPositiveCountAsLogZero) {
  for (double v : {0.0, -0.0, -0.5, std::numeric_limits<double>::quiet_NaN()}) {
    EXPECT_TRUE(quorval2::log_at_most(v, 0.0)) << v;
    EXPECT_TRUE(quorval2::log_at_most(v, -0.0)) << v;
    EXPECT_FALSE(quorval2::log_at_most(v, -1e-300)) << v;
  }
}

TEST(LogSqueeze, NotANumberRatioNeverPasses) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  for (double v : {0.0, 1e-300, 0.25, 1.0}) EXPECT_FALSE(quorval2::log_at_most(v, nan)) << v;
}

}  // namespace
