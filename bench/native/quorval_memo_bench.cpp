// Native micro-benchmark of the observation terms of one cutpoint update:
// the step as the entry runs it (with its memo) next to plain evaluation of
// the same terms (two interval_log_mass calls per counted observation), for
// means that are all distinct and for means with few distinct values.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <random>
#include <vector>

#include "cutpoint_step.h"

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

struct Data {
  std::vector<int> y;
  std::vector<double> m;
  std::vector<double> c{-kInf, 0, 0.5, 1, 1.5, 2, 2.5, 3, kInf};
  std::vector<double> p;
  double t = 1.25;
};

// N observations around mean 1.5 with sd 1, categories cut at c; `groups` > 0
// rounds the means to that many values.
Data make_data(int n, int groups) {
  Data d;
  std::mt19937_64 rng(42);
  std::normal_distribution<double> normal;
  d.y.resize(n);
  d.m.resize(n);
  for (int i = 0; i < n; ++i) {
    double m = 1.5 + normal(rng);
    if (groups > 0) {  // `groups` equally spaced values over [-0.5, 3]
      const double step = 3.5 / (groups - 1);
      const double k = std::round((std::min(std::max(m, -0.5), 3.0) + 0.5) / step);
      m = -0.5 + k * step;
    }
    const double latent = m + normal(rng) / d.t;
    int code = 1;
    while (code < 8 && latent > d.c[code]) ++code;
    d.y[i] = code;
    d.m[i] = m;
  }
  d.p = d.c;
  return d;
}

void BM_Step(benchmark::State& state, int groups) {
  const Data d = make_data(static_cast<int>(state.range(0)), groups);
  ordinal::CutpointModel model{static_cast<int>(d.y.size()), 9, d.y.data(), d.c.data(),
                               d.m.data(), d.t, 4.0};
  std::vector<double> out(9);
  for (auto _ : state) {
    std::srand(1);  // the same proposal every time
    benchmark::DoNotOptimize(ordinal::cutpoint_step(model, out.data()));
  }
}

// The same observation terms under the same proposal, each evaluated on its
// own.
void BM_Plain(benchmark::State& state, int groups) {
  Data d = make_data(static_cast<int>(state.range(0)), groups);
  const int n = static_cast<int>(d.y.size());
  ordinal::CutpointModel model{n, 9, d.y.data(), d.c.data(), d.m.data(), d.t, 4.0};
  std::srand(1);
  ordinal::cutpoint_step(model, d.p.data());
  for (auto _ : state) {
    double a = 0, b = 0;
    for (int i = 0; i < n; ++i) {
      const int k = d.y[i];
      if (k == 1 || k == 8) continue;
      a = a + ordinal::interval_log_mass(d.t, d.m[i], d.p[k - 1], d.p[k]);
      b = b + ordinal::interval_log_mass(d.t, d.m[i], d.c[k - 1], d.c[k]);
    }
    benchmark::DoNotOptimize(a);
    benchmark::DoNotOptimize(b);
  }
}

BENCHMARK_CAPTURE(BM_Step, distinct, 0)->Arg(3498)->Arg(100000)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Plain, distinct, 0)->Arg(3498)->Arg(100000)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Step, groups8, 8)->Arg(3498)->Arg(100000)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Plain, groups8, 8)->Arg(3498)->Arg(100000)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
