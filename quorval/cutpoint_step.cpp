// The cutpoint update: sequential truncated-normal proposal of the free
// cutpoints, forward and reverse proposal constants, observation terms, and
// the decision on one coarse uniform. Plain doubles only: the reporter may
// leave by longjmp from any draw or probability.
#include "cutpoint_step.h"

#include <cmath>
#include <cstdint>
#include <cstring>

#include "interval_mass_cache.h"
#include "normal_cdf.h"
#include "rand15.h"
#include "sampler.h"

namespace ordinal {
namespace {

constexpr int kFirstFree = 2;  // cutpoints 0 and 1 are fixed

}  // namespace

double interval_log_mass(double q, double mu, double l, double h) {
  const double upper = static_cast<float>(norm(q * (h - mu)));
  const double lower = norm(q * (l - mu));
  return std::log(upper - lower);
}

bool cutpoint_step(const CutpointModel& model, double* p) {
  const int k = model.k;
  const double* c = model.c;
  const double s = model.s;
  for (int j = 0; j < k; ++j) p[j] = c[j];

  double forward = 0.0;  // A
  double reverse = 0.0;  // B
  const int last_free = k - 3;
  if (last_free >= kFirstFree) {
    // Each free cutpoint between the new one below and the current one above.
    for (int j = kFirstFree; j <= last_free; ++j) {
      const double z = core::trunom(s * (p[j - 1] - c[j]), s * (c[j + 1] - c[j]));
      p[j] = c[j] + z / s;
    }
    for (int j = kFirstFree; j <= last_free; ++j) {
      forward = forward + interval_log_mass(s, c[j], p[j - 1], c[j + 1]);
    }
    // The reverse move: c[j] around p[j], between the reversed c[j-1] and the
    // not yet reversed p[j+1].
    for (int j = kFirstFree; j <= last_free; ++j) {
      reverse = reverse + interval_log_mass(s, p[j], c[j - 1], p[j + 1]);
    }
  }

  // Categories 1 and k-1 lie between fixed cutpoints: same under p and c.
  // An observation with the same code and the same mean (bit for bit) as the
  // last counted one has its terms; other repeated terms (means that repeat
  // out of order) come from the memo.
  IntervalMassCache memo;
  const double t = model.t;
  int last_code = 0;  // no counted observation yet
  std::uint64_t last_mean = 0;
  double proposed = 0.0, current = 0.0;
  for (int i = 0; i < model.n; ++i) {
    const int code = model.y[i];
    if (code == 1 || code == k - 1) continue;
    std::uint64_t mean_bits;
    std::memcpy(&mean_bits, &model.m[i], sizeof mean_bits);
    if (code != last_code || mean_bits != last_mean) {
      memo.log_mass_pair(t, model.m[i], p[code - 1], p[code], c[code - 1], c[code], &proposed,
                         &current);
      last_code = code;
      last_mean = mean_bits;
    }
    forward = forward + proposed;
    reverse = reverse + current;
  }

  const double ratio = std::exp(forward - reverse);
  const double u = core::rand15() * core::kCoarseUniformScale;
  return ratio >= u;
}

}  // namespace ordinal
