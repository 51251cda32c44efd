#include "interval_mass_cache.h"

#include <cmath>

#include "cutpoint_step.h"
#include "normal_cdf.h"

namespace ordinal {
namespace {

std::uint32_t float_bits(double z) {
  const float f = static_cast<float>(z);
  std::uint32_t bits;
  std::memcpy(&bits, &f, sizeof bits);
  return bits;
}

std::uint64_t pair_key(std::uint32_t upper, std::uint32_t lower) {
  return (std::uint64_t{upper} << 32) | lower;
}

// The term from its two norm values, as interval_log_mass forms it.
double log_mass_from(double f_upper, double f_lower) {
  const double upper = static_cast<float>(f_upper);
  return std::log(upper - f_lower);
}

}  // namespace

int IntervalMassCache::slot_of(std::uint64_t key) const {
  return static_cast<int>((key * 0x9E3779B97F4A7C15ull) >> (64 - kBits));
}

void IntervalMassCache::next_stretch() {
  if (mode_ == kWatching) {
    mode_ = hits_ * kMinHitShare < 2 * kWindow ? kPlain : kMemo;
    left_ = kStretch;
  } else {
    mode_ = kWatching;
    left_ = kWindow;
    hits_ = 0;
  }
}

// Both terms evaluated, upper then lower, proposal first, as the plain
// evaluation orders them; an end that is the same float under both is
// evaluated once (the same argument of norm gives the same double).
int IntervalMassCache::plain_pair(double zpl, double zph, double zcl, double zch,
                                  double* proposed, double* current) {
  const double fph = norm(zph);
  const double fpl = norm(zpl);
  *proposed = log_mass_from(fph, fpl);
  const double fch = float_bits(zch) == float_bits(zph) ? fph : norm(zch);
  const double fcl = float_bits(zcl) == float_bits(zpl) ? fpl : norm(zcl);
  *current = log_mass_from(fch, fcl);
  return 0;
}

int IntervalMassCache::memo_pair(double zpl, double zph, double zcl, double zch,
                                 double* proposed, double* current) {
  const std::uint32_t bpl = float_bits(zpl), bph = float_bits(zph);
  const std::uint32_t bcl = float_bits(zcl), bch = float_bits(zch);
  const std::uint64_t kp = pair_key(bph, bpl), kc = pair_key(bch, bcl);
  const int sp = slot_of(kp), sc = slot_of(kc);
  const bool hit_p = kp != kEmpty && keys_[sp] == kp;
  const bool hit_c = kc != kEmpty && keys_[sc] == kc;
  if (hit_p && hit_c) {
    *proposed = values_[sp];
    *current = values_[sc];
    return 2;
  }
  // Evaluate in the order upper, lower, proposal first: a value that goes to
  // the fatal reporter reaches it where the plain evaluation would.
  double fph = 0.0, fpl = 0.0;
  if (hit_p) {
    *proposed = values_[sp];
  } else {
    fph = norm(zph);
    fpl = norm(zpl);
    *proposed = log_mass_from(fph, fpl);
  }
  if (hit_c) {
    *current = values_[sc];
  } else {
    const double fch = (!hit_p && bch == bph) ? fph : norm(zch);
    const double fcl = (!hit_p && bcl == bpl) ? fpl : norm(zcl);
    *current = log_mass_from(fch, fcl);
  }
  if (!hit_p && kp != kEmpty) {
    keys_[sp] = kp;
    values_[sp] = *proposed;
  }
  if (!hit_c && kc != kEmpty) {
    keys_[sc] = kc;
    values_[sc] = *current;
  }
  return static_cast<int>(hit_p) + static_cast<int>(hit_c);
}

}  // namespace ordinal
