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
//
// The memo steps aside when it does not pay: it watches its hits over a
// window of observations, and where fewer than one lookup in kMinHitShare
// hits (means that are nearly all distinct, as with continuous covariates)
// it evaluates plainly for the next kStretch observations, then looks
// again. Plain or memoised, every term is the same double.
#pragma once

#include <cstdint>
#include <cstring>
#include <type_traits>

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
                     double* proposed, double* current) {
    const double zpl = q * (pl - mu), zph = q * (ph - mu);
    const double zcl = q * (cl - mu), zch = q * (ch - mu);
    const int hits = mode_ == kPlain ? plain_pair(zpl, zph, zcl, zch, proposed, current)
                                     : memo_pair(zpl, zph, zcl, zch, proposed, current);
    if (mode_ == kWatching) hits_ += hits;
    if (--left_ == 0) next_stretch();
  }

  // What the memo does with the next pair.
  enum Mode { kWatching, kMemo, kPlain };
  Mode mode() const { return mode_; }

  // Observations in one look at the hits, and in the stretch that follows it
  // (through the memo after a good look, plainly after a poor one); the memo
  // is kept when at least one lookup in kMinHitShare hits.
  static constexpr int kWindow = 128;
  static constexpr int kStretch = 4096;
  static constexpr int kMinHitShare = 16;

 private:
  int slot_of(std::uint64_t key) const;
  // Each returns how many of its two terms came from the memo.
  int memo_pair(double zpl, double zph, double zcl, double zch, double* proposed,
                double* current);
  static int plain_pair(double zpl, double zph, double zcl, double zch, double* proposed,
                        double* current);
  void next_stretch();

  static constexpr int kBits = 11;
  static constexpr int kSlots = 1 << kBits;
  // All ones in both halves: two NaN floats, which norm never returns from.
  static constexpr std::uint64_t kEmpty = ~std::uint64_t{0};

  Mode mode_ = kWatching;
  int left_ = kWindow;  // pairs left in this look or stretch
  int hits_ = 0;        // hits in this look
  std::uint64_t keys_[kSlots];
  double values_[kSlots];
};

// The memo lives in the cutpoint step's frame, which an R error or interrupt
// can leave by a long jump: it must need no destructor.
static_assert(std::is_trivially_destructible<IntervalMassCache>::value,
              "an R error or interrupt can jump over the memo");

}  // namespace ordinal
