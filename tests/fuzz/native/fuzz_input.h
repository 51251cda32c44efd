// Reading the fuzzer's bytes as the numbers the targets need: doubles that
// are often the values careless arithmetic trips on (NaN, infinities, the
// extremes, denormals, negative zero, the samplers' thresholds and their
// neighbours), sometimes any bit pattern, sometimes ordinary numbers.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

#include <fuzzer/FuzzedDataProvider.h>

namespace qv_fuzz {

class FuzzInput {
 public:
  FuzzInput(const std::uint8_t* data, std::size_t size) : provider_(data, size) {}

  double next_double() {
    switch (provider_.ConsumeIntegralInRange<int>(0, 4)) {
      case 0: {
        const std::uint64_t bits = provider_.ConsumeIntegral<std::uint64_t>();
        double value;
        std::memcpy(&value, &bits, sizeof value);
        return value;
      }
      case 1:
        return special(provider_.ConsumeIntegral<std::uint8_t>());
      case 2: {
        // A special value moved by a few ulps.
        const double base = special(provider_.ConsumeIntegral<std::uint8_t>());
        const int steps = provider_.ConsumeIntegralInRange<int>(-3, 3);
        return step_ulps(base, steps);
      }
      case 3:
        return provider_.ConsumeIntegralInRange<int>(-64, 64) / 4.0;
      default:
        return provider_.ConsumeFloatingPointInRange<double>(-50.0, 50.0);
    }
  }

  int next_int(int low, int high) { return provider_.ConsumeIntegralInRange<int>(low, high); }
  unsigned next_seed() { return provider_.ConsumeIntegral<unsigned>(); }
  bool next_bool() { return provider_.ConsumeBool(); }
  std::uint8_t next_byte() { return provider_.ConsumeIntegral<std::uint8_t>(); }
  std::size_t remaining() { return provider_.remaining_bytes(); }

 private:
  static double special(std::uint8_t k) {
    constexpr double kInf = std::numeric_limits<double>::infinity();
    static const double kValues[] = {
        0.0, -0.0, 1.0, -1.0, 0.5, -0.5, 2.0, -2.0, 8.0, -8.0, 7.5, -7.5, 10.0, -10.0,
        40.0, -40.0, 1e4, -1e4, 1e10, -1e10, 1.34e154, -1.34e154, 1e200, -1e200, 2.6e19,
        -2.6e19, 1.7320508, 1e308, -1e308, std::numeric_limits<double>::max(),
        -std::numeric_limits<double>::max(), std::numeric_limits<double>::min(),
        std::numeric_limits<double>::denorm_min(), -std::numeric_limits<double>::denorm_min(),
        1e-300, -1e-300, kInf, -kInf, std::numeric_limits<double>::quiet_NaN(),
        3.4028234663852886e38, 1e-45, 100.0, 1000.0};
    return kValues[k % (sizeof kValues / sizeof kValues[0])];
  }

  static double step_ulps(double x, int steps) {
    const double towards = steps < 0 ? -std::numeric_limits<double>::infinity()
                                     : std::numeric_limits<double>::infinity();
    for (int i = 0; i < std::abs(steps); ++i) x = std::nextafter(x, towards);
    return x;
  }

  FuzzedDataProvider provider_;
};

}  // namespace qv_fuzz
