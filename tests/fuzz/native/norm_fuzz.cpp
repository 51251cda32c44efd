// libFuzzer target: norm(z) on any double. It returns 2 Phi(z) in [0, 2],
// at least 1 for z >= 0 and at most 1 below, with norm(z) + norm(-z) = 2 up
// to one rounding; it fails, with the continued fraction's message, exactly
// when z is not a number or z^2 / 2 overflows single precision.
#include <cmath>
#include <cstdint>

#include "fatal_capture.h"
#include "finding.h"
#include "fuzz_input.h"
#include "incomplete_gamma.h"
#include "normal_cdf.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  qv_fuzz::FuzzInput input(data, size);
  const double z = input.next_double();
  const double zs = static_cast<float>(z);
  const double y = static_cast<float>(zs * (zs * 0.5));
  const bool must_fail = std::isnan(z) || std::isinf(y);
  try {
    const double f = ordinal::norm(z);
    if (must_fail) qv_fuzz::finding("norm(%a) returned %a", z, f);
    if (!(f >= 0.0 && f <= 2.0) || (zs >= 0.0 ? f < 1.0 : f > 1.0)) {
      qv_fuzz::finding("norm(%a) = %a", z, f);
    }
    const double mirrored = ordinal::norm(-z);
    if (std::fabs(f + mirrored - 2.0) > 4.5e-16) {
      qv_fuzz::finding("norm(%a) + norm(-z) = %a + %a", z, f, mirrored);
    }
  } catch (const qv_test::FatalError& error) {
    if (!must_fail || error.text != ordinal::kFractionNoConvergence) {
      qv_fuzz::finding("norm(%a) failed with '%s'", z, error.text.c_str());
    }
  }
  return 0;
}
