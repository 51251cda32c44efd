// A per-call memo of interval_log_mass values.
//
// log(float(F(q (h - mu))) - F(q (l - mu))) depends on its arguments only
// through the two values that norm rounds to float first, so the pair of
// float bit patterns determines it exactly. Observations whose means repeat
// (a categorical covariate) then cost one lookup per term instead of two
// incomplete gamma evaluations and a logarithm. Direct-mapped: a collision
// overwrites, a miss computes; a result is the same double either way.
// Values are stored only after they have been computed, so an argument that
// goes to the fatal reporter reaches it at the same point as without a memo.
#pragma once

#include <cstdint>
#include <cstring>

namespace ordinal {

class IntervalMassCache {
 public:
  IntervalMassCache() { std::memset(keys_, 0xff, sizeof keys_); }

  // The two terms of one observation, under the proposal [pl, ph] and under
  // the current cutpoints [cl, ch]: *proposed = interval_log_mass(q, mu, pl,
  // ph), then *current = interval_log_mass(q, mu, cl, ch), each from the memo
  // when it holds the pair. Where an end is the same float under
  // both (a fixed cutpoint), its norm value is evaluated once.
  void log_mass_pair(double q, double mu, double pl, double ph, double cl, double ch,
                     double* proposed, double* current);

 private:
  int slot_of(std::uint64_t key) const;

  static constexpr int kBits = 11;
  static constexpr int kSlots = 1 << kBits;
  // All ones in both halves: two NaN floats, which norm never returns from.
  static constexpr std::uint64_t kEmpty = ~std::uint64_t{0};

  std::uint64_t keys_[kSlots];
  double values_[kSlots];
};

}  // namespace ordinal
