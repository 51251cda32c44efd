// Log-gamma and the regularized incomplete gamma function in single
// precision: arguments arrive as doubles and are rounded to float before any
// use; the running series sum and the previous continued-fraction convergent
// are floats; everything else is double.
//
//   gammln(xx)            ln Gamma(xx), for xx > 0
//   gser(&p, a, x, &gln)  P(a, x) by its power series (x < a + 1)
//   gcf(&q, a, x, &gln)   Q(a, x) = 1 - P(a, x) by its continued fraction
//   gammp(a, x)           P(a, x), choosing the series or the fraction
//
// gser and gcf store ln Gamma(a) first and trust a > 0; gammp checks its
// arguments. Failures go to the fatal reporter (core/fatal.h).
#pragma once

namespace ordinal {

constexpr int kMaxIterations = 100;
constexpr double kTolerance = 3.0e-7;

constexpr const char kSeriesNegativeX[] = "x less than 0 in routine GSER";
constexpr const char kSeriesNoConvergence[] = "a too large, ITMAX too small in routine GSER";
constexpr const char kFractionNoConvergence[] = "a too large, ITMAX too small in routine GCF";
constexpr const char kInvalidGammaArguments[] = "Invalid arguments in routine GAMMP";

float gammln(double xx);
void gser(float* p_out, double a, double x, float* lngamma_out);
void gcf(float* q_out, double a, double x, float* lngamma_out);
double gammp(double a, double x);

// gser and gcf with ln Gamma(a) given, for callers that evaluate many x at one
// a: gln must be gammln(a), and the result is then the same float.
void gser_given(float* p_out, double a, double x, float gln);
void gcf_given(float* q_out, double a, double x, float gln);

}  // namespace ordinal
