// R's random stream and normal distribution function under their exported
// names, without Rmath.h's macros (which would rename variables such as
// `beta` too).
#pragma once

#define R_NO_REMAP
#define R_NO_REMAP_RMATH
#include <R.h>
#include <Rmath.h>

extern "C" {
double Rf_rgamma(double shape, double scale);
double Rf_rchisq(double df);
void Rf_pnorm_both(double x, double* cum, double* ccum, int i_tail, int log_p);
}
