// Subtractive generator (modulus 10^9, seed constant 161,803,398, lags 55 and
// 24), the polar-method normal deviate and the inverted exponential deviate.
#include "generator.h"

#include <cmath>

namespace core {
namespace {

constexpr std::int32_t kModulus = 1000000000;
constexpr std::int32_t kSeedConstant = 161803398;
constexpr double kOutputScale = 1e-9;

GeneratorState g_state;
NormalPairCache g_cache;

// Fills the table from the seed and warms it up with four passes.
//
// Seeds of magnitude above 161,803,398 (the most negative 32-bit integer
// included) follow the same steps in two's-complement arithmetic: the
// subtraction and the magnitude wrap as 32-bit integers, and the table may
// then hold values outside 0 ... 999,999,999.
void initialise(std::int32_t* seed) {
  g_state.initialised = 1;
  const std::uint32_t s = static_cast<std::uint32_t>(*seed);
  const std::uint32_t magnitude = (*seed < 0) ? (0u - s) : s;
  std::int32_t mj = static_cast<std::int32_t>(
      static_cast<std::uint32_t>(kSeedConstant) - magnitude);
  mj %= kModulus;
  g_state.table[55] = mj;
  std::int32_t mk = 1;
  for (int i = 1; i <= 54; ++i) {
    const int ii = (21 * i) % 55;
    g_state.table[ii] = mk;
    // Wrapping subtraction: only unsupported seeds can leave the range.
    std::int32_t t = static_cast<std::int32_t>(static_cast<std::uint32_t>(mj) -
                                               static_cast<std::uint32_t>(mk));
    if (t < 0) t = static_cast<std::int32_t>(static_cast<std::uint32_t>(t) +
                                             static_cast<std::uint32_t>(kModulus));
    mj = mk;
    mk = t;
  }
  for (int pass = 0; pass < 4; ++pass) {
    for (int i = 1; i <= 55; ++i) {
      std::uint32_t d = static_cast<std::uint32_t>(g_state.table[i]) -
                        static_cast<std::uint32_t>(g_state.table[1 + (i + 30) % 55]);
      if (static_cast<std::int32_t>(d) < 0) d += static_cast<std::uint32_t>(kModulus);
      g_state.table[i] = static_cast<std::int32_t>(d);
    }
  }
  g_state.current = 0;
  g_state.partner = 31;
  *seed = 1;
}

}  // namespace

double ran3(std::int32_t* seed) {
  if (*seed < 0 || g_state.initialised == 0) initialise(seed);
  if (++g_state.current == 56) g_state.current = 1;
  if (++g_state.partner == 56) g_state.partner = 1;
  std::uint32_t mj = static_cast<std::uint32_t>(g_state.table[g_state.current]) -
                     static_cast<std::uint32_t>(g_state.table[g_state.partner]);
  if (static_cast<std::int32_t>(mj) < 0) mj += static_cast<std::uint32_t>(kModulus);
  g_state.table[g_state.current] = static_cast<std::int32_t>(mj);
  return static_cast<std::int32_t>(mj) * kOutputScale;
}

double gasdev(std::int32_t* seed) {
  if (g_cache.has_spare == 1) {
    g_cache.has_spare = 0;
    return g_cache.spare;
  }
  double x, y, s;
  do {
    x = 2.0 * ran3(seed) - 1.0;
    y = 2.0 * ran3(seed) - 1.0;
    s = x * x + y * y;
  } while (s >= 1.0 || s == 0.0);
  const double f = std::sqrt(-2.0 * std::log(s) / s);
  g_cache.spare = x * f;
  g_cache.has_spare = 1;
  return y * f;
}

double expdev(std::int32_t* seed) {
  double u;
  do {
    u = ran3(seed);
  } while (u == 0.0);
  return -std::log(u);
}

const GeneratorState& generator_state() { return g_state; }
const NormalPairCache& normal_pair_cache() { return g_cache; }

void reset_generator_for_testing() {
  g_state = GeneratorState{};
  g_cache = NormalPairCache{};
}

}  // namespace core
