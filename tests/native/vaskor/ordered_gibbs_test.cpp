// Ordered Gibbs sweeps: the bounds and centres each update computes (with a
// recording draw), the worked example on the stream, and replays against a
// plain transcription on a fixed 20 x 20 matrix indexed from 1.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <vector>

#include "generator.h"
#include "interrupt.h"
#include "interrupt_capture.h"
#include "ordered_gibbs.h"
#include "sampler.h"

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// A draw that records its bounds and returns preset values in turn.
struct Recorded {
  double lo, hi;
};
std::vector<Recorded> g_calls;
std::vector<double> g_answers;

double recording_draw(double lo, double hi) {
  g_calls.push_back({lo, hi});
  return g_answers[(g_calls.size() - 1) % g_answers.size()];
}

std::vector<double> run_recorded(int n, int sweeps, const std::vector<double>& a,
                                 const std::vector<double>& m, std::vector<double> x,
                                 std::vector<double> answers) {
  g_calls.clear();
  g_answers = answers;
  std::vector<double> scratch(vaskor::sweep_scratch_size(n));
  vaskor::ordered_gibbs_sweeps_with<recording_draw>(n, sweeps, a.data(), m.data(), x.data(),
                                                    scratch.data());
  return x;
}

std::vector<double> run_library(int n, int sweeps, const std::vector<double>& a,
                                const double* m, std::vector<double> x) {
  std::vector<double> scratch(vaskor::sweep_scratch_size(n));
  vaskor::ordered_gibbs_sweeps(n, sweeps, a.data(), m, x.data(), scratch.data());
  return x;
}

// The steps as written: a fixed working matrix indexed from 1 (so n <= 19),
// the weighted sum recomputed from the state at every update.
std::vector<double> reference_sweeps(int n, int sweeps, const std::vector<double>& a,
                                     const std::vector<double>& m, std::vector<double> x) {
  double w[20][20];
  for (int i = 1; i <= n; ++i) {
    for (int j = 1; j <= i; ++j) {
      w[i][j] = a[(i - 1) + (j - 1) * n];
      w[j][i] = a[(i - 1) + (j - 1) * n];
    }
  }
  for (int sweep = 0; sweep < sweeps; ++sweep) {
    for (int i = 1; i <= n; ++i) {
      double s_i = 0.0;
      for (int j = 1; j <= n; ++j) {
        if (j != i) s_i = s_i + (x[j] - m[j - 1]) * w[i][j];
      }
      const double w_i = s_i / w[i][i];
      const double s = std::sqrt(w[i][i]);
      const double z = core::trunom(s * (x[i - 1] - w_i), s * (x[i + 1] - w_i));
      x[i] = w_i + z / s;
    }
  }
  return x;
}

// A random lower triangle with a positive diagonal (NaN above it, never read),
// a random location vector and an ordered start between the given ends.
struct Problem {
  std::vector<double> a, m, x;
};

Problem random_problem(int n, unsigned seed, double lower_end, double upper_end) {
  std::srand(seed);
  auto uniform = [] { return std::rand() / (RAND_MAX + 1.0); };
  Problem p;
  p.a.assign(static_cast<std::size_t>(n) * n, kNaN);  // upper triangle never read
  for (int c = 0; c < n; ++c) {
    p.a[c + c * n] = 0.5 + 4.0 * uniform();
    for (int r = c + 1; r < n; ++r) p.a[r + c * n] = (uniform() - 0.5) * 0.8;
  }
  for (int j = 0; j < n; ++j) p.m.push_back(4.0 * uniform() - 2.0);
  p.x.push_back(lower_end);
  for (int j = 1; j <= n; ++j) p.x.push_back(-2.0 + 4.0 * j / (n + 1));
  p.x.push_back(upper_end);
  return p;
}

TEST(OrderedGibbs, WorkedExampleBoundsAndCentres) {
  // A_11 = 4, A_21 = 2, A_22 = 1 (A_12 = 99 is never read), m = (1, 3).
  const std::vector<double> a = {4, 2, 99, 1};
  const double z1 = 1.25, z2 = -0.375;
  const auto x = run_recorded(2, 1, a, {1, 3}, {-kInf, 0.5, 1, kInf}, {z1, z2});
  ASSERT_EQ(g_calls.size(), 2u);
  EXPECT_EQ(g_calls[0].lo, -kInf);
  EXPECT_EQ(g_calls[0].hi, 4.0);  // 2 * (1 - (-1))
  EXPECT_EQ(x[1], -1.0 + z1 / 2.0);
  // Component 2 sees the new x_1: w_2 = (x_1 - 1) * 2 / 1, s_2 = 1.
  const double w2 = (x[1] - 1.0) * 2.0;
  EXPECT_EQ(g_calls[1].lo, x[1] - w2);
  EXPECT_EQ(g_calls[1].hi, kInf);
  EXPECT_EQ(x[2], w2 + z2);
  EXPECT_EQ(x[0], -kInf);
  EXPECT_EQ(x[3], kInf);
}

TEST(OrderedGibbs, WorkedExampleFirstUpdateFromTheStream) {
  core::reset_generator_for_testing();
  std::srand(321);
  const double z = core::trunom(-kInf, 4.0);
  core::reset_generator_for_testing();
  std::srand(321);
  const double m[] = {1, 3};
  const auto x = run_library(2, 1, {4, 2, 99, 1}, m, {-kInf, 0.5, 1, kInf});
  EXPECT_EQ(x[1], -1.0 + z / 2.0);
  EXPECT_LE(x[1], x[2]);
}

TEST(OrderedGibbs, OwnLocationNeverEntersAndSingleComponentReadsNoLocation) {
  // With every draw 0 each component lands on its centre: component 1 of
  // a 3-vector gets ((x_2 - m_2) A_12 + (x_3 - m_3) A_13) / A_11, m_1 unused.
  const std::vector<double> a = {2, 0.5, -0.25, kNaN, 1, 0.75, kNaN, kNaN, 4};
  const auto x = run_recorded(3, 1, a, {1e6, 0.25, -0.5}, {-10, 0, 1, 2, 10}, {0.0});
  EXPECT_EQ(x[1], ((1 - 0.25) * 0.5 + (2 - -0.5) * -0.25) / 2);
  EXPECT_EQ(x[2], ((x[1] - 1e6) * 0.5 + (2 - -0.5) * 0.75) / 1);
  // n = 1: centre 0, bounds s * ends; a null location pointer is never touched.
  g_calls.clear();
  g_answers = {0.5};
  double single[] = {4.0}, scratch[2], one[] = {-1.0, 7.0, 3.0};
  vaskor::ordered_gibbs_sweeps_with<recording_draw>(1, 2, single, nullptr, one, scratch);
  ASSERT_EQ(g_calls.size(), 2u);
  EXPECT_EQ(g_calls[1].lo, -2.0);
  EXPECT_EQ(g_calls[1].hi, 6.0);
  EXPECT_EQ(one[1], 0.25);
}

TEST(OrderedGibbs, ReplaysTheFixedMatrixStepsExactly) {
  const struct {
    int n, sweeps;
    double lower, upper;
  } cases[] = {{1, 40, -kInf, kInf}, {2, 30, -1.5, kInf}, {5, 20, -kInf, 2.5},
               {12, 10, -2.5, 2.5}, {19, 8, -kInf, kInf}};
  for (const auto& c : cases) {
    const Problem p = random_problem(c.n, 100 + c.n, c.lower, c.upper);
    core::reset_generator_for_testing();
    std::srand(7 + c.n);
    const auto expected = reference_sweeps(c.n, c.sweeps, p.a, p.m, p.x);
    const int next = std::rand();
    core::reset_generator_for_testing();
    std::srand(7 + c.n);
    const auto got = run_library(c.n, c.sweeps, p.a, p.m.data(), p.x);
    EXPECT_EQ(std::rand(), next) << "n = " << c.n;  // same rand() consumption
    ASSERT_EQ(got.size(), expected.size());
    for (std::size_t i = 0; i < got.size(); ++i) {
      EXPECT_EQ(std::memcmp(&got[i], &expected[i], sizeof(double)), 0)
          << "n = " << c.n << ", element " << i << ": " << got[i] << " vs " << expected[i];
    }
  }
}

TEST(OrderedGibbs, OneDrawPerUpdate) {
  const Problem p = random_problem(4, 3, -kInf, kInf);
  run_recorded(4, 3, p.a, p.m, p.x, {0.0});
  EXPECT_EQ(g_calls.size(), 12u);
  run_recorded(4, 0, p.a, p.m, p.x, {0.0});
  EXPECT_EQ(g_calls.size(), 0u);
}

TEST(OrderedGibbs, EveryUpdateIsAnInterruptionPoint) {
  // Draws that return at once: only the sweeps themselves can poll.
  const long long before = qv_test::interrupt_checks();
  run_recorded(1, 2 * core::kInterruptPollInterval + 1, {4.0}, {0.0}, {-kInf, 0.0, kInf}, {0.0});
  EXPECT_EQ(qv_test::interrupt_checks(), before + 2);
}

}  // namespace
