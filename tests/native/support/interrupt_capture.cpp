#include "interrupt_capture.h"

#include "interrupt.h"

namespace qv_test {
namespace {

long long g_checks = 0;
bool g_armed = false;

}  // namespace

long long interrupt_checks() { return g_checks; }
void arm_interrupt(bool armed) { g_armed = armed; }

}  // namespace qv_test

namespace core {

void check_user_interrupt() {
  ++qv_test::g_checks;
  if (qv_test::g_armed) throw qv_test::Interrupted{};
}

}  // namespace core
