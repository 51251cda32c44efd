// libFuzzer target: gammln, gser, gcf and gammp on any pair (a, x). Each
// returns or ends in one of its documented fatal errors, never another;
// gser and gcf store ln Gamma(a) before anything can fail; inside the range
// each method is used for (the series below x = a + 1, the fraction from
// there up) the results are probabilities. The fuzzer's own time limit
// catches an iteration that does not stop. Every check runs on every input,
// so one input can show several findings.
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>

#include "fatal_capture.h"
#include "finding.h"
#include "fuzz_input.h"
#include "incomplete_gamma.h"

namespace {

constexpr double kFloatSlack = 1e-5;  // float rounding of a probability

bool probability(double p) { return p >= 0.0 && p <= 1.0 + kFloatSlack; }

bool same_bits(float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0; }

void check_series(double a_in, double x_in, double a, double x) {
  float p = NAN, lngamma = NAN;
  const float expected_lngamma = ordinal::gammln(a_in);
  try {
    ordinal::gser(&p, a_in, x_in, &lngamma);
    if (x < 0.0 || std::isnan(x)) qv_fuzz::report("gser(%a, %a) returned %a", a_in, x_in, p);
    if (x == 0.0 && p != 0.0f) qv_fuzz::report("gser(%a, 0) = %a", a_in, p);
    if (a > 0.0 && x < a + 1.0 && !probability(p)) qv_fuzz::report("gser(%a, %a) = %a", a_in, x_in, p);
  } catch (const qv_test::FatalError& error) {
    const bool negative = x < 0.0;
    if (error.text != (negative ? ordinal::kSeriesNegativeX : ordinal::kSeriesNoConvergence)) {
      qv_fuzz::report("gser(%a, %a) failed with '%s'", a_in, x_in, error.text.c_str());
    }
  }
  if (!same_bits(lngamma, expected_lngamma)) {
    qv_fuzz::report("gser(%a, %a) stored ln Gamma %a, not %a", a_in, x_in, lngamma, expected_lngamma);
  }
}

void check_fraction(double a_in, double x_in, double a, double x) {
  float q = NAN, lngamma = NAN;
  const float expected_lngamma = ordinal::gammln(a_in);
  try {
    ordinal::gcf(&q, a_in, x_in, &lngamma);
    if (a > 0.0 && x >= a + 1.0 && !probability(q)) qv_fuzz::report("gcf(%a, %a) = %a", a_in, x_in, q);
  } catch (const qv_test::FatalError& error) {
    if (error.text != ordinal::kFractionNoConvergence) {
      qv_fuzz::report("gcf(%a, %a) failed with '%s'", a_in, x_in, error.text.c_str());
    }
  }
  if (!same_bits(lngamma, expected_lngamma)) {
    qv_fuzz::report("gcf(%a, %a) stored ln Gamma %a, not %a", a_in, x_in, lngamma, expected_lngamma);
  }
}

void check_gammp(double a_in, double x_in, double a, double x) {
  const bool invalid = x < 0.0 || a <= 0.0;
  try {
    const double p = ordinal::gammp(a_in, x_in);
    if (invalid || std::isnan(a) || std::isnan(x)) qv_fuzz::report("gammp(%a, %a) = %a", a_in, x_in, p);
    if (!probability(p) || (x == 0.0 && p != 0.0)) qv_fuzz::report("gammp(%a, %a) = %a", a_in, x_in, p);
  } catch (const qv_test::FatalError& error) {
    const std::string& text = error.text;
    const bool documented = invalid ? text == ordinal::kInvalidGammaArguments
                                    : (text == ordinal::kSeriesNoConvergence ||
                                       text == ordinal::kFractionNoConvergence);
    if (!documented) qv_fuzz::report("gammp(%a, %a) failed with '%s'", a_in, x_in, text.c_str());
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  qv_fuzz::FuzzInput input(data, size);
  const double a_in = input.next_double();
  const double x_in = input.next_double();
  // The routines round their arguments to float first.
  const double a = static_cast<float>(a_in);
  const double x = static_cast<float>(x_in);
  check_series(a_in, x_in, a, x);
  check_fraction(a_in, x_in, a, x);
  check_gammp(a_in, x_in, a, x);
  qv_fuzz::finish_input();
  return 0;
}
