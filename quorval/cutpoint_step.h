// One Metropolis-Hastings update of ordinal probit cutpoints: the proposal
// and the accept/reject decision, without R.
//
// Cutpoints 0, 1, K-2 and K-1 are fixed; 2 ... K-3 are free. Each free
// cutpoint is proposed from a normal with mean c[j] and sd 1/s, truncated to
// [p[j-1], c[j+1]], in increasing j. The log ratio adds, for the proposal,
// the log normalising constants of the forward draws against those of the
// reverse draws, and for every observation of a category 2 ... K-2 the log
// probability of its category under p against that under c (a normal with
// mean m[i] and sd 1/t). Decided with one coarse uniform u: accept when
// exp(A - B) >= u; a NaN ratio rejects.
//
// Trusts its input: k >= 0, n >= 0, c with k elements, y and m with n
// elements, every y[i] in 1 ... k-1. Draws through core::trunom and
// core::rand15, so it advances the library's streams; out-of-order cutpoints
// and non-finite values that reach a draw or a probability go to the fatal
// reporter, which does not return.
#pragma once

namespace ordinal {

struct CutpointModel {
  int n;            // observations
  int k;            // cutpoints
  const int* y;     // category codes, 1 ... k-1
  const double* c;  // current cutpoints
  const double* m;  // observation means
  double t;         // reciprocal sd of the latent variable
  double s;         // reciprocal sd of the proposal
};

// Writes the proposal to proposal[0 ... k-1] and returns whether it is
// accepted.
bool cutpoint_step(const CutpointModel& model, double* proposal);

// log( float(F(q (h - mu))) - F(q (l - mu)) ) with F = norm: the log of twice
// the normal probability of [l, h] for mean mu and sd 1/q, with the upper
// value rounded to float before the lower one is subtracted.
double interval_log_mass(double q, double mu, double l, double h);

}  // namespace ordinal
