// Native micro-benchmark of the truncated normal sampler on the C library
// stream, per regime, next to its floor: the rand() calls a rejection attempt
// cannot do without. The stream itself is timed both ways, through rand()
// with its lock and checked out as the entries read it (c_stream.h); the
// sampler runs as the entries run it, with the stream checked out, except
// for the exported-style call of one draw.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <random>
#include <vector>

#include "c_stream.h"
#include "c_stream_source.h"
#include "generator.h"
#include "rand15.h"
#include "sampler.h"
#include "truncated_normal.h"
#include "trunomcall_loop.h"

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

// One value of the 15-bit stream, through rand() with its lock.
void BM_StreamWithLock(benchmark::State& state) {
  std::srand(1);
  for (auto _ : state) benchmark::DoNotOptimize(core::rand15());
}
BENCHMARK(BM_StreamWithLock);

// One value of the 15-bit stream, checked out: the same values, no lock.
void BM_StreamCheckedOut(benchmark::State& state) {
  std::srand(1);
  core::c_stream_check_out();
  for (auto _ : state) benchmark::DoNotOptimize(core::rand15());
  core::c_stream_check_in();
  if (!core::c_stream_lock_free()) state.SkipWithError("the C library stream is not checked out here");
}
BENCHMARK(BM_StreamCheckedOut);

// A check-out and a check-in with no draw: what an entry call pays once.
void BM_StreamCheckOutIn(benchmark::State& state) {
  for (auto _ : state) {
    core::c_stream_check_out();
    core::c_stream_check_in();
  }
}
BENCHMARK(BM_StreamCheckOutIn);

// Two 15-bit values, checked out: the cost of one middle-case attempt's
// randomness as the entries draw it.
void BM_FloorTwoValues(benchmark::State& state) {
  std::srand(1);
  core::c_stream_check_out();
  for (auto _ : state) {
    benchmark::DoNotOptimize(core::rand15());
    benchmark::DoNotOptimize(core::rand15());
  }
  core::c_stream_check_in();
}
BENCHMARK(BM_FloorTwoValues);

// Two 15-bit rand() values with the lock: the same floor for a caller of the
// exported functions outside an entry.
void BM_FloorTwoRand(benchmark::State& state) {
  std::srand(1);
  for (auto _ : state) {
    benchmark::DoNotOptimize(core::rand15());
    benchmark::DoNotOptimize(core::rand15());
  }
}
BENCHMARK(BM_FloorTwoRand);

// What an attempt of the exponential tail cannot do without: the rand()
// seed, the generator's exponential deviate (one step and a logarithm) and
// the acceptance rand().
void BM_FloorExponentialAttempt(benchmark::State& state) {
  std::srand(1);
  core::c_stream_check_out();
  for (auto _ : state) {
    std::int32_t seed = core::rand15();
    benchmark::DoNotOptimize(core::expdev(&seed));
    benchmark::DoNotOptimize(core::rand15());
  }
  core::c_stream_check_in();
}
BENCHMARK(BM_FloorExponentialAttempt);

// The exported-style call: one source per draw, rand() with its lock.
void BM_Trunom(benchmark::State& state, double as, double bl) {
  std::srand(1);
  for (auto _ : state) benchmark::DoNotOptimize(core::trunom(as, bl));
}

// The vector entry's way: one source kept across draws, sampler inlined.
void BM_TrunomInlined(benchmark::State& state, double as, double bl) {
  std::srand(1);
  core::CStreamSource source;
  core::c_stream_check_out();
  for (auto _ : state) benchmark::DoNotOptimize(core::trunom_with(source, as, bl));
  core::c_stream_check_in();
}

// trunomcall's own loop over vectors (means 0, reciprocal sds 1), without R:
// per element the bounds are standardised, the sampler runs inlined and the
// draw is stored. Time per element.
constexpr int kLoopLength = 4096;

void run_loop(benchmark::State& state, const std::vector<double>& lo,
              const std::vector<double>& hi) {
  std::srand(1);
  const std::vector<double> m(lo.size(), 0.0), s(lo.size(), 1.0);
  std::vector<double> out(lo.size());
  core::CStreamSource source;
  core::c_stream_check_out();
  for (auto _ : state) {
    benchmark::DoNotOptimize(core::fill_truncated_normals_with(
        [&source](double lower, double upper) { return core::trunom_with(source, lower, upper); },
        static_cast<int>(lo.size()), m.data(), s.data(), lo.data(), hi.data(), out.data()));
  }
  core::c_stream_check_in();
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(lo.size()));
}

void BM_TrunomcallLoop(benchmark::State& state, double as, double bl) {
  run_loop(state, std::vector<double>(kLoopLength, as), std::vector<double>(kLoopLength, bl));
}

// Per-element bounds: lower standard normal, upper = lower + unit exponential.
void BM_TrunomcallLoopVaried(benchmark::State& state) {
  std::mt19937_64 engine(20240);
  std::normal_distribution<double> normal;
  std::exponential_distribution<double> exponential;
  std::vector<double> lo(kLoopLength), hi(kLoopLength);
  for (int i = 0; i < kLoopLength; ++i) {
    lo[i] = normal(engine);
    hi[i] = lo[i] + exponential(engine);
  }
  run_loop(state, lo, hi);
}
BENCHMARK(BM_TrunomcallLoopVaried);

#define QV_REGIME(name, as, bl)                                 \
  BENCHMARK_CAPTURE(BM_Trunom, name, as, bl);                   \
  BENCHMARK_CAPTURE(BM_TrunomInlined, name, as, bl);            \
  BENCHMARK_CAPTURE(BM_TrunomcallLoop, name, as, bl)

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
