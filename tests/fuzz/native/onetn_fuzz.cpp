// libFuzzer target: onetn(x) on any double, drawing from the C stream
// (seeded from the input) after an optional script of values the fuzzer
// picks. A draw lies above x (at or above x for x >= 0) and is finite; a
// bound that is not a number gives NaN without drawing; +Inf is the fatal
// error. onetn accepts at least about half of its proposals for every x,
// so running out of budget is always a hang.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "budgeted_source.h"
#include "fatal_capture.h"
#include "finding.h"
#include "fuzz_input.h"
#include "generator.h"
#include "sampler.h"
#include "truncated_normal.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  qv_fuzz::FuzzInput input(data, size);
  const double x = input.next_double();
  qv_fuzz::BudgetedSource& source = qv_fuzz::start_sampler_input(input);
  try {
    const double z = core::onetn(x);
    if (std::isnan(x)) {
      if (!std::isnan(z) || source.used() != 0) qv_fuzz::finding("onetn(%a) = %a", x, z);
    } else if (x == INFINITY || !std::isfinite(z) || (x >= 0.0 ? z < x : z <= x)) {
      qv_fuzz::finding("onetn(%a) = %a is not a draw above its bound", x, z);
    }
  } catch (const qv_test::FatalError& error) {
    if (x != INFINITY || error.text != core::kOnetnInfiniteBound) {
      qv_fuzz::finding("onetn(%a) failed with '%s'", x, error.text.c_str());
    }
  } catch (const qv_fuzz::DrawBudgetExceeded&) {
    qv_fuzz::finding("onetn(%a) made no draw within %lld draws", x, qv_fuzz::kDrawBudget);
  }
  return 0;
}
