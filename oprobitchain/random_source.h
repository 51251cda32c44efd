// The random draws of the chain's moves, all from one source that each move
// is handed: R's stream in the package (chain_entry.cpp), a scripted sequence
// in the native tests. Plain data: an R error may jump over it.
#pragma once

namespace oprobit {

struct RandomSource {
  void* state;
  double (*uniform_of)(void* state);
  double (*normal_of)(void* state);
  double (*exponential_of)(void* state);
  double (*gamma_of)(void* state, double shape, double scale);
  double (*chi_square_of)(void* state, double df);

  double uniform() const { return uniform_of(state); }
  double normal() const { return normal_of(state); }
  double exponential() const { return exponential_of(state); }
  double gamma(double shape, double scale) const { return gamma_of(state, shape, scale); }
  double chi_square(double df) const { return chi_square_of(state, df); }
};

}  // namespace oprobit
