#include "latent_draw.h"

#include <cstring>

#include <R_ext/Random.h>

namespace oprobit {
namespace {

constexpr const char kEntry[] = "oprobit_chain";

// The working frame of (beta, zeta): t = (zeta[J-1] - zeta[1]) / U, b[1] =
// -zeta[1] / t, cutpoints (-Inf, 0, c[2], ..., c[J-2], U, Inf).
void set_frame(ChainState& s) {
  const int J = s.data.categories;
  const int thresholds = s.data.thresholds;
  LatentFrame& frame = s.frame;
  frame.t = J > 2 ? (s.zeta[thresholds - 1] - s.zeta[0]) / s.data.U : 1.0;
  frame.intercept = -s.zeta[0] / frame.t;
  double* c = frame.cutpoints;
  c[0] = R_NegInf;
  for (int k = 1; k < J; ++k) c[k] = frame.intercept + s.zeta[k - 1] / frame.t;
  c[J] = R_PosInf;
  c[1] = 0.0;
  if (J > 2) c[J - 1] = s.data.U;
}

}  // namespace

void draw_latent(ChainState& s) {
  set_frame(s);
  const ChainData& data = s.data;
  const int n = data.n;
  const double t = s.frame.t;
  double* mean = REAL(VECTOR_ELT(s.keep, kLatentMean));
  double* precision = REAL(VECTOR_ELT(s.keep, kLatentPrecision));
  for (int r = 0; r < data.rows; ++r) {
    const double m = s.frame.intercept + s.eta[r] / t;
    for (int j = data.row_start[r]; j < data.row_start[r + 1]; ++j) mean[j] = m;
  }
  for (int j = 0; j < n; ++j) precision[j] = t;
  // The bounds change only when the cutpoints do.
  const int K = data.categories + 1;
  if (!s.frame.bounds_set || std::memcmp(s.frame.cutpoints, s.frame.bounds_of, sizeof(double) * K) != 0) {
    double* lo = REAL(VECTOR_ELT(s.keep, kLatentLower));
    double* hi = REAL(VECTOR_ELT(s.keep, kLatentUpper));
    for (int j = 0; j < n; ++j) {
      lo[j] = s.frame.cutpoints[data.y[j] - 1];
      hi[j] = s.frame.cutpoints[data.y[j]];
    }
    std::memcpy(s.frame.bounds_of, s.frame.cutpoints, sizeof(double) * K);
    s.frame.bounds_set = true;
  }
  // R's stream is the chain's until here; the entry may draw from it.
  if (s.settings.latent_r) PutRNGstate();
  SEXP z = s.latent_entry(VECTOR_ELT(s.keep, kLatentCount), VECTOR_ELT(s.keep, kLatentMean),
                          VECTOR_ELT(s.keep, kLatentPrecision), VECTOR_ELT(s.keep, kLatentLower),
                          VECTOR_ELT(s.keep, kLatentUpper));
  SET_VECTOR_ELT(s.keep, kLatentDraws, z);
  if (s.settings.latent_r) GetRNGstate();
  if (TYPEOF(z) != REALSXP || XLENGTH(z) != n) {
    Rf_error("%s: the latent entry returned no vector of n draws", kEntry);
  }
  s.frame.z = REAL(z);
}

}  // namespace oprobit
