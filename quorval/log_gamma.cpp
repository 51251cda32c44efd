// ln Gamma(xx) by a six-term series with shift 5.5:
//   (xx - 0.5) ln(xx + 4.5) - (xx + 4.5) + ln(2.50662827465 * ser),
//   ser = 1 + sum_j c_j / (xx + j - 1).
// The argument is rounded to float first, the result is a float. Nothing is
// checked: for xx <= 0 the logarithms may see zero or negative values and the
// result is then an infinity or NaN, never a trap.
#include <cmath>

#include "incomplete_gamma.h"

namespace ordinal {
namespace {

constexpr double kShift = 5.5;
constexpr double kScale = 2.50662827465;
constexpr double kCoefficients[6] = {76.18009173,  -86.50532033,   24.01409822,
                                     -1.231739516, 0.00120858003, -5.36382e-6};

}  // namespace

float gammln(double xx) {
  const float xs = static_cast<float>(xx);
  double x = static_cast<double>(xs) - 1.0;
  double tmp = x + kShift;
  tmp = tmp - (x + 0.5) * std::log(tmp);
  double ser = 1.0;
  for (double c : kCoefficients) {
    x = x + 1.0;
    ser = ser + c / x;
  }
  return static_cast<float>(std::log(kScale * ser) - tmp);
}

}  // namespace ordinal
