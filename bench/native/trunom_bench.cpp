// Native micro-benchmark of the truncated normal sampler on the C library
// stream, per regime, next to its floor: the rand() calls a rejection attempt
// cannot do without.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdlib>
#include <limits>

#include "c_stream_source.h"
#include "rand15.h"
#include "sampler.h"
#include "truncated_normal.h"

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

// Two 15-bit rand() values: the cost of one middle-case attempt's randomness.
void BM_FloorTwoRand(benchmark::State& state) {
  std::srand(1);
  for (auto _ : state) {
    benchmark::DoNotOptimize(core::rand15());
    benchmark::DoNotOptimize(core::rand15());
  }
}
BENCHMARK(BM_FloorTwoRand);

// The exported-style call: one source per draw.
void BM_Trunom(benchmark::State& state, double as, double bl) {
  std::srand(1);
  for (auto _ : state) benchmark::DoNotOptimize(core::trunom(as, bl));
}

// The vector entry's way: one source kept across draws, sampler inlined.
void BM_TrunomInlined(benchmark::State& state, double as, double bl) {
  std::srand(1);
  core::CStreamSource source;
  for (auto _ : state) benchmark::DoNotOptimize(core::trunom_with(source, as, bl));
}

#define QV_REGIME(name, as, bl)                                 \
  BENCHMARK_CAPTURE(BM_Trunom, name, as, bl);                   \
  BENCHMARK_CAPTURE(BM_TrunomInlined, name, as, bl)

QV_REGIME(middle_m1_1, -1.0, 1.0);
QV_REGIME(middle_m01_01, -0.1, 0.1);
QV_REGIME(middle_m79_79, -7.9, 7.9);
QV_REGIME(window_1_15, 1.0, 1.5);
QV_REGIME(window_3_35, 3.0, 3.5);
QV_REGIME(upper_0_inf, 0.0, kInf);
QV_REGIME(upper_2_inf, 2.0, kInf);
QV_REGIME(upper_4_inf, 4.0, kInf);
QV_REGIME(upper_10_inf, 10.0, kInf);
QV_REGIME(lower_inf_m4, -kInf, -4.0);
QV_REGIME(unbounded, -kInf, kInf);

}  // namespace

BENCHMARK_MAIN();
