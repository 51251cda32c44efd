#include "interrupt_capture.h"

#include "c_stream.h"
#include "interrupt.h"

namespace qv_test {
namespace {

long long g_checks = 0;
bool g_armed = false;
bool g_stream_held = false;

}  // namespace

long long interrupt_checks() { return g_checks; }
void arm_interrupt(bool armed) { g_armed = armed; }
bool stream_held_at_last_check() { return g_stream_held; }

}  // namespace qv_test

namespace core {

void check_user_interrupt() {
  ++qv_test::g_checks;
  qv_test::g_stream_held = core::g_c_stream.held;
  if (qv_test::g_armed) throw qv_test::Interrupted{};
}

}  // namespace core
