// The C library stream checked out: the same values in the same order as
// rand(), and rand() continues exactly where the draws left it: after the
// check-in, after an interrupt check (returned or thrown) and after a fatal
// error; rand() itself where the C library holds a state the step cannot
// follow.
#include <gtest/gtest.h>

#include <cstdlib>

#include "c_stream.h"
#include "c_stream_source.h"
#include "fatal_capture.h"
#include "interrupt.h"
#include "interrupt_capture.h"
#include "rand15.h"
#include "rand_position.h"
#include "truncated_normal.h"

namespace {

constexpr unsigned kSeed = 20261208;

// Checked out and drawing lock-free wherever the C library allows it.
void expect_held() {
#if QV_C_STREAM_LOCK_FREE
  EXPECT_TRUE(core::c_stream_lock_free());
  EXPECT_TRUE(core::g_c_stream.held);
#endif
}

// First in this executable: the first check-out also checks the step against
// rand(), and that check must leave the stream where it was.
TEST(CStream, SameValuesAsRandThenRandContinues) {
  constexpr int kDraws = 200000;
  const qv_test::RandStream stream(kSeed, kDraws + 1);
  stream.restart();
  core::c_stream_check_out();
  expect_held();
  int mismatches = 0;
  for (int k = 0; k < kDraws; ++k) mismatches += core::rand15() != stream.value15(k);
  core::c_stream_check_in();
  EXPECT_EQ(mismatches, 0);
  EXPECT_FALSE(core::g_c_stream.held);
  EXPECT_EQ(stream.consumed(), kDraws);
}

TEST(CStream, GoesBackForEveryInterruptCheck) {
  const qv_test::RandStream stream(kSeed, 100);
  for (const bool interrupt : {false, true}) {
    stream.restart();
    core::c_stream_check_out();
    core::InterruptPoll poll;
    int drawn = 0;
    bool interrupted = false;
    qv_test::arm_interrupt(interrupt);
    try {
      // A draw every 4096 ticks; the check comes with the last tick.
      for (int tick = 0; tick < core::kInterruptPollInterval; ++tick) {
        if (tick % 4096 == 0) {
          EXPECT_EQ(core::rand15(), stream.value15(drawn++));
        }
        poll.tick();
      }
    } catch (const qv_test::Interrupted&) {
      interrupted = true;
    }
    qv_test::arm_interrupt(false);
    EXPECT_EQ(interrupted, interrupt);
    EXPECT_FALSE(qv_test::stream_held_at_last_check());
    if (!interrupt) {
      // Taken out again after the check: the draws go on from there.
      expect_held();
      EXPECT_EQ(core::rand15(), stream.value15(drawn++));
      core::c_stream_check_in();
    }
    EXPECT_FALSE(core::g_c_stream.held);
    EXPECT_EQ(stream.consumed(), drawn) << "interrupted: " << interrupt;
  }
}

TEST(CStream, GoesBackBeforeTheFatalReporter) {
  const qv_test::RandStream stream(kSeed, 100);
  stream.restart();
  core::c_stream_check_out();
  core::CStreamSource source;
  for (int k = 0; k < 3; ++k) EXPECT_EQ(core::rand15(), stream.value15(k));
  EXPECT_THROW(core::trunom_with(source, 1.0, 0.0), qv_test::FatalError);
  EXPECT_FALSE(core::g_c_stream.held);
  EXPECT_EQ(stream.consumed(), 3);
}

#if QV_C_STREAM_LOCK_FREE
TEST(CStream, RandItselfWhereTheStepCannotFollowTheState) {
  // An 8-byte state makes rand() a congruential generator of another kind.
  static char small_state[8];
  char* usual_state = initstate(kSeed, small_state, sizeof small_state);
  {
    const qv_test::RandStream stream(kSeed, 100);
    stream.restart();
    core::c_stream_check_out();
    EXPECT_FALSE(core::g_c_stream.held);
    for (int k = 0; k < 50; ++k) EXPECT_EQ(core::rand15(), stream.value15(k));
    core::c_stream_check_in();
    EXPECT_EQ(stream.consumed(), 50);
  }
  setstate(usual_state);
  core::c_stream_check_out();
  expect_held();
  core::c_stream_check_in();
}
#endif

}  // namespace
