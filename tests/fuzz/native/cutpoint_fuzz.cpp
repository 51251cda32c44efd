// libFuzzer target: one cutpoint update (ordinal::cutpoint_step) on inputs
// that pass the entry's argument checks: K cutpoints and N observations
// with codes in 1 ... K-1, any values. The update returns or ends in one of
// its documented fatal errors (bounds out of order or infinite on one side,
// a probability of a non-finite value); it writes exactly K cutpoints,
// copies the fixed ones, and draws each free one inside its interval. With
// cutpoints in order, finite and of moderate size, and moderate t and s, it
// must not fail at all. Draws run on a budget as in trunom_fuzz.cpp.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "budgeted_source.h"
#include "cutpoint_step.h"
#include "fatal_capture.h"
#include "finding.h"
#include "fuzz_input.h"
#include "generator.h"
#include "incomplete_gamma.h"
#include "slow_interval.h"
#include "truncated_normal.h"

namespace {

constexpr double kGuard = 12345.0;
constexpr double kModerate = 1e6;

struct Step {
  std::vector<double> c, m;
  std::vector<int> y;
  double t = 1.0, s = 1.0;
  bool ordered = false;
};

Step read_step(qv_fuzz::FuzzInput& input) {
  Step step;
  const int k = input.next_int(0, 12);
  const int n = k >= 2 ? input.next_int(0, 12) : 0;
  step.ordered = input.next_bool();
  for (int j = 0; j < k; ++j) step.c.push_back(input.next_double());
  for (int i = 0; i < n; ++i) {
    step.y.push_back(input.next_int(1, k - 1));
    step.m.push_back(input.next_double());
  }
  step.t = input.next_double();
  step.s = input.next_double();
  if (step.ordered) {
    for (double& v : step.c) {
      if (std::isnan(v)) v = 0.0;
    }
    std::sort(step.c.begin(), step.c.end());
    step.t = std::fabs(step.t);
    step.s = std::fabs(step.s);
  }
  return step;
}

bool moderate(double v) { return std::isfinite(v) && std::fabs(v) <= kModerate; }

// Ordered, finite where used, moderate: the update has no reason to fail.
bool well_posed(const Step& step) {
  const int k = static_cast<int>(step.c.size());
  if (!step.ordered) return false;
  for (int j = 1; j < k - 1; ++j) {
    if (!moderate(step.c[j])) return false;
  }
  for (std::size_t i = 0; i < step.m.size(); ++i) {
    if (step.y[i] != 1 && step.y[i] != k - 1 && !moderate(step.m[i])) return false;
  }
  return step.t >= 1e-3 && step.t <= 1e3 && step.s >= 1e-3 && step.s <= 1e3;
}

void check_proposal(const Step& step, const double* p) {
  const int k = static_cast<int>(step.c.size());
  if (p[k] != kGuard) qv_fuzz::finding("the step wrote past K = %d cutpoints", k);
  for (int j = 0; j < k; ++j) {
    const bool free = j >= 2 && j <= k - 3;
    if (!free) {
      if (std::memcmp(&p[j], &step.c[j], sizeof(double)) != 0) {
        qv_fuzz::finding("fixed cutpoint %d changed from %a to %a", j, step.c[j], p[j]);
      }
      continue;
    }
    if (!std::isfinite(p[j])) qv_fuzz::finding("free cutpoint %d = %a", j, p[j]);
    if (!well_posed(step)) continue;
    const double scale = std::max({std::fabs(p[j - 1]), std::fabs(step.c[j]), std::fabs(step.c[j + 1])});
    // Relative rounding of c[j] + z / s, and the absolute rounding of
    // denormal differences, which z / s magnifies by up to 1 / s.
    const double tol = 8.0 * 2.220446049250313e-16 * scale + 1e-300;
    if (p[j] < p[j - 1] - tol || p[j] > step.c[j + 1] + tol) {
      qv_fuzz::finding("free cutpoint %d = %a outside [%a, %a]", j, p[j], p[j - 1], step.c[j + 1]);
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  qv_fuzz::FuzzInput input(data, size);
  const Step step = read_step(input);
  const unsigned seed = input.next_seed();
  const int k = static_cast<int>(step.c.size());
  std::vector<double> proposal(k + 1, kGuard);
  const ordinal::CutpointModel model{static_cast<int>(step.y.size()), k, step.y.data(),
                                     step.c.data(), step.m.data(), step.t, step.s};

  std::srand(seed);
  core::reset_generator_for_testing();
  qv_fuzz::fuzz_source().arm(qv_fuzz::kDrawBudget, nullptr, 0);
  try {
    ordinal::cutpoint_step(model, proposal.data());
    check_proposal(step, proposal.data());
  } catch (const qv_test::FatalError& error) {
    const bool documented = error.text == core::kBoundsOutOfOrder ||
                            error.text == core::kBoundsInfiniteOnOneSide ||
                            error.text == ordinal::kFractionNoConvergence;
    if (!documented || well_posed(step)) {
      std::fprintf(stderr, "K = %d, N = %zu, t = %a, s = %a, cutpoints:", k, step.y.size(), step.t, step.s);
      for (double v : step.c) std::fprintf(stderr, " %a", v);
      std::fputc('\n', stderr);
      qv_fuzz::finding("the step failed with '%s'", error.text.c_str());
    }
  } catch (const qv_fuzz::DrawBudgetExceeded& out) {
    const double expected = qv_fuzz::expected_trunom_attempts(out.as, out.bl);
    if (expected < qv_fuzz::kQuickAttempts) {
      qv_fuzz::finding("a proposal draw on [%a, %a] made no draw within %lld draws; about %g expected",
                       out.as, out.bl, qv_fuzz::kDrawBudget, expected);
    }
    qv_fuzz::slow_by_design("cutpoint proposal", out.as, out.bl, expected);
  }
  return 0;
}
