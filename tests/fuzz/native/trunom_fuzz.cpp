// libFuzzer target: trunom(as, bl) on any pair of doubles, drawing from the
// C stream (seeded from the input) after an optional script of values the
// fuzzer picks. A draw lies in [as, bl]; bounds that are not numbers give
// NaN without drawing; out of order or equal infinite bounds are the fatal
// errors; a draw that runs out of budget is a hang unless its interval is
// one of the practically endless ones (slow_interval.h).
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "budgeted_source.h"
#include "fatal_capture.h"
#include "finding.h"
#include "fuzz_input.h"
#include "generator.h"
#include "sampler.h"
#include "slow_interval.h"
#include "truncated_normal.h"

namespace {

bool refused(double as, double bl) { return as > bl || (as == bl && std::isinf(as)); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  qv_fuzz::FuzzInput input(data, size);
  const double as = input.next_double();
  const double bl = input.next_double();
  qv_fuzz::BudgetedSource& source = qv_fuzz::start_sampler_input(input);
  try {
    const double z = core::trunom(as, bl);
    if (refused(as, bl)) qv_fuzz::finding("trunom(%a, %a) returned %a instead of failing", as, bl, z);
    if (std::isnan(as) || std::isnan(bl)) {
      if (!std::isnan(z) || source.used() != 0) {
        qv_fuzz::finding("trunom(%a, %a) = %a after %lld draws", as, bl, z, source.used());
      }
    } else if (!(z >= as && z <= bl)) {
      qv_fuzz::finding("trunom(%a, %a) = %a lies outside its interval", as, bl, z);
    }
  } catch (const qv_test::FatalError& error) {
    const char* expected = as > bl ? core::kBoundsOutOfOrder : core::kBoundsInfiniteOnOneSide;
    if (!refused(as, bl) || error.text != expected) {
      qv_fuzz::finding("trunom(%a, %a) failed with '%s'", as, bl, error.text.c_str());
    }
  } catch (const qv_fuzz::DrawBudgetExceeded&) {
    const double expected = qv_fuzz::expected_trunom_attempts(as, bl);
    if (expected < qv_fuzz::kQuickAttempts) {
      qv_fuzz::finding("trunom(%a, %a) made no draw within %lld draws; about %g proposals expected",
                       as, bl, qv_fuzz::kDrawBudget, expected);
    }
    // Slow by design: an interval far narrower than the proposals' spacing.
    qv_fuzz::slow_by_design("trunom", as, bl, expected);
  }
  return 0;
}
