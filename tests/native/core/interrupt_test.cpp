// Interruption points: a rejection loop that never accepts and a vector loop
// that never draws both reach the host's interrupt check, once per
// kInterruptPollInterval iterations, and an interrupt ends them.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cmath>
#include <vector>

#include "c_stream_source.h"
#include "generator.h"
#include "interrupt.h"
#include "interrupt_capture.h"
#include "sampler.h"
#include "truncated_normal.h"
#include "trunomcall_loop.h"

namespace {

// Arms the check for the duration of a scope.
struct Armed {
  Armed() { qv_test::arm_interrupt(true); }
  ~Armed() { qv_test::arm_interrupt(false); }
};

TEST(Interrupt, EndlessRejectionLoopsReachTheCheck) {
  core::reset_generator_for_testing();
  std::srand(3);
  // Practically endless: a tail draw beyond 10 lands within 1e-15 of it
  // with a chance of about 1e-14.
  const double endless[][2] = {{10.0, 10.0 + 1e-15}, {-10.0 - 1e-15, -10.0}};
  for (const auto& interval : endless) {
    const long long before = qv_test::interrupt_checks();
    Armed armed;
    EXPECT_THROW(core::trunom(interval[0], interval[1]), qv_test::Interrupted);
    EXPECT_EQ(qv_test::interrupt_checks(), before + 1);
  }
}

TEST(Interrupt, VectorLoopPollsAlsoWhereNoElementDraws) {
  // NaN bounds make no draw, so only the loop itself can poll.
  const int n = 3 * core::kInterruptPollInterval + 5;
  const std::vector<double> m(n, 0.0), s(n, 1.0), lo(n, std::nan("")), hi(n, 1.0);
  std::vector<double> out(n);
  core::CStreamSource source;
  const long long before = qv_test::interrupt_checks();
  const bool nan_seen = core::fill_truncated_normals_with(
      [&source](double l, double h) { return core::trunom_with(source, l, h); }, n, m.data(),
      s.data(), lo.data(), hi.data(), out.data());
  EXPECT_TRUE(nan_seen);
  EXPECT_EQ(qv_test::interrupt_checks(), before + 3);
}

}  // namespace
