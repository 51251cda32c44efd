// The chain's draws replayed from a scripted source: the slice step's points
// for known log densities, the regression step's (t, b) and the fixed
// proposal's accept/reject decision, with and without its defensive
// mixture, and the current point's log likelihood kept between iterations.
// The script fails a test that asks for
// another kind of draw than the next one scripted, or leaves draws unused.
#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>
#include <limits>
#include <vector>

#include "chain_state.h"
#include "small_matrix.h"
#include "regression_draw.h"
#include "slice_step.h"
#include "whole_point_move.h"

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

enum class Kind { kUniform, kNormal, kExponential, kGamma, kChiSquare };

struct Step {
  Kind kind;
  double value;
};
Step u(double v) { return {Kind::kUniform, v}; }
Step n(double v) { return {Kind::kNormal, v}; }
Step e(double v) { return {Kind::kExponential, v}; }
Step g(double v) { return {Kind::kGamma, v}; }
Step chi(double v) { return {Kind::kChiSquare, v}; }

struct Script {
  std::vector<Step> steps;
  std::size_t taken = 0;
  bool mismatch = false;
  std::vector<double> arguments{};  // of the gamma and chi-square draws, in order

  double next(Kind kind) {
    if (taken >= steps.size() || steps[taken].kind != kind) {
      mismatch = true;
      return std::numeric_limits<double>::quiet_NaN();
    }
    return steps[taken++].value;
  }
  bool all_taken() const { return !mismatch && taken == steps.size(); }

  oprobit::RandomSource source() {
    return oprobit::RandomSource{
        this,
        [](void* state) { return static_cast<Script*>(state)->next(Kind::kUniform); },
        [](void* state) { return static_cast<Script*>(state)->next(Kind::kNormal); },
        [](void* state) { return static_cast<Script*>(state)->next(Kind::kExponential); },
        [](void* state, double shape, double scale) {
          Script* script = static_cast<Script*>(state);
          script->arguments.insert(script->arguments.end(), {shape, scale});
          return script->next(Kind::kGamma);
        },
        [](void* state, double df) {
          static_cast<Script*>(state)->arguments.push_back(df);
          return static_cast<Script*>(state)->next(Kind::kChiSquare);
        }};
  }
};

// ---- The slice step -------------------------------------------------------

TEST(SliceStep, StepsOutBothWaysThenShrinksTowardsTheStart) {
  // Standard normal log density from 0; level -0.5, so the slice is (-1, 1).
  std::vector<double> at;
  auto logf = [&at](double x) {
    at.push_back(x);
    return -0.5 * x * x;
  };
  Script script{{e(0.5), u(0.25), u(0.875), u(0.5)}};
  const double x = oprobit::slice_step(script.source(), oprobit::kLogSdSlice, 0.0, oprobit::log_density(logf));
  EXPECT_TRUE(script.all_taken());
  // Interval (-0.25, 0.75) stepped out to (-1.25, 1.75); 1.375 lies outside
  // the slice and becomes the right end; then -1.25 + 0.5 * 2.625.
  EXPECT_EQ(x, 0.0625);
  const std::vector<double> want = {0.0, -0.25, -1.25, 0.75, 1.75, 1.375, 0.0625};
  ASSERT_EQ(at.size(), want.size());
  for (std::size_t k = 0; k < want.size(); ++k) EXPECT_DOUBLE_EQ(at[k], want[k]) << k;
}

TEST(SliceStep, NeverEvaluatesOutsideItsBoundsAndStepsOutWithoutLimit) {
  // log x - x from 1 (the t step's shape: bounded below by 0, no step limit),
  // level -2: the interval (-0.5, 1.5) steps out to the right only, is cut
  // to (0, 3.5), and the shrinking point 0 is refused unevaluated.
  std::vector<double> at;
  auto logf = [&at](double x) {
    at.push_back(x);
    return std::log(x) - x;
  };
  Script script{{e(1.0), u(0.75), u(0.0), u(0.5)}};
  const oprobit::SliceShape shape{2.0, -1, 0.0, kInf, 0.0};
  const double x = oprobit::slice_step(script.source(), shape, 1.0, oprobit::log_density(logf));
  EXPECT_TRUE(script.all_taken());
  EXPECT_DOUBLE_EQ(x, 1.75);
  const std::vector<double> want = {1.0, 1.5, 3.5, 1.75};
  ASSERT_EQ(at.size(), want.size());
  for (std::size_t k = 0; k < want.size(); ++k) EXPECT_DOUBLE_EQ(at[k], want[k]) << k;
}

TEST(SliceStep, StepsOutAtMostMaxStepsAndGivesUpKeepingTheStart) {
  // A flat density: every end lies above the level, so two steps each way.
  std::vector<double> at;
  auto flat = [&at](double x) {
    at.push_back(x);
    return 0.0;
  };
  Script script{{e(1.0), u(0.5), u(0.1)}};
  const oprobit::SliceShape two_steps{1.0, 2, -kInf, kInf, 1e-12};
  EXPECT_DOUBLE_EQ(oprobit::slice_step(script.source(), two_steps, 0.0, oprobit::log_density(flat)), -2.0);
  EXPECT_TRUE(script.all_taken());
  const std::vector<double> want = {0.0, -0.5, -1.5, 0.5, 1.5, -2.0};
  ASSERT_EQ(at.size(), want.size());
  for (std::size_t k = 0; k < want.size(); ++k) EXPECT_DOUBLE_EQ(at[k], want[k]) << k;

  // No point but the start lies in the slice: (-1, 1) without stepping out
  // (no uniform for it) halves around 0.3 until narrower than 1e-12, after
  // 41 points (2 / 2^41 < 1e-12 < 2 / 2^40), and the start stays.
  auto spike = [](double x) { return x == 0.3 ? 0.0 : -kInf; };
  Script shrinking{{e(1.0)}};
  for (int k = 0; k < 41; ++k) shrinking.steps.push_back(u(0.5));
  const oprobit::SliceShape bounded{0.0, 0, -1.0, 1.0, 1e-12};
  EXPECT_EQ(oprobit::slice_step(shrinking.source(), bounded, 0.3, oprobit::log_density(spike)), 0.3);
  EXPECT_TRUE(shrinking.all_taken());
}

// ---- A small chain state: three covariate rows, one slope, J = 3 ----------

struct SmallChain {
  // Rows x = -1, 0, 2 of 2, 1 and 1 units: X'X over the units is diag(4, 6).
  double X[6] = {1, 1, 1, -1, 0, 2};
  double offset[3] = {0, 0, 0};
  int row_start[4] = {0, 2, 3, 4};
  int y[4] = {1, 1, 2, 3};
  int cell_row[3] = {0, 1, 2};
  int cell_y[3] = {1, 2, 3};
  double cell_size[3] = {2, 1, 1};
  double M_inv[4] = {0.25, 0, 0, 1.0 / 6};
  double M_root_inv[4] = {0.5, 0, 0, 1 / std::sqrt(6.0)};
  double zeros[2] = {0, 0};
  double cutpoints[4] = {-kInf, 0.0, 1.5, kInf};
  double z[4] = {0.2, -0.4, 1.0, 2.5};
  double beta[1] = {0.5}, zeta[2] = {-0.5, 0.8}, eta[3];
  double scratch[8][3];
  oprobit::ChainState s{};

  SmallChain() {
    oprobit::ChainData& data = s.data;
    data.n = 4, data.p = 2, data.categories = 3, data.slopes = 1, data.thresholds = 2, data.dim = 3;
    data.rows = 3, data.X = X, data.offset = offset, data.row_start = row_start, data.y = y, data.U = 1.5;
    data.cells = oprobit::Cells{3, cell_row, cell_y, cell_size, oprobit::Link::kProbit};
    s.prior = oprobit::ChainPrior{M_inv, M_root_inv, zeros, zeros, false, true, zeros, zeros, 2.5};
    s.settings.burnin = 0;
    s.beta = beta, s.zeta = zeta, s.eta = eta;
    oprobit::update_eta(data, beta, eta);
    s.frame.t = 1.0, s.frame.cutpoints = cutpoints, s.frame.z = z;
    s.regression = oprobit::RegressionScratch{scratch[0], scratch[1], scratch[2], scratch[3], scratch[4]};
  }
};

// ---- The regression step ---------------------------------------------------

TEST(RegressionStep, DrawsTSquaredFromItsGammaThenBAndMapsBack) {
  SmallChain chain;
  // X'z = (3.3, 5.2), M^-1 X'z = (0.825, 5.2 / 6), rss = z'z - (X'z)' M^-1 X'z.
  const double rss = 7.45 - (3.3 * 0.825 + 5.2 * 5.2 / 6);
  Script script{{g(4.0), n(0.5), n(-1.0)}};
  oprobit::draw_regression(chain.s, script.source());
  EXPECT_TRUE(script.all_taken());
  ASSERT_EQ(script.arguments.size(), 2u);
  EXPECT_EQ(script.arguments[0], 2.5);  // (n + J + 1 - 3) / 2
  EXPECT_NEAR(script.arguments[1], 2 / rss, 1e-12);
  // t = 2; u = 2 M^-1 X'z + M_root_inv (0.5, -1); b = u / t; thresholds at
  // t (c - b[1]) for the cutpoints 0 and U = 1.5.
  const double u0 = 1.65 + 0.25, u1 = 2 * 5.2 / 6 - 1 / std::sqrt(6.0);
  EXPECT_NEAR(chain.beta[0], u1, 1e-14);
  EXPECT_NEAR(chain.zeta[0], -u0, 1e-14);
  EXPECT_NEAR(chain.zeta[1], 3.0 - u0, 1e-14);
  EXPECT_NEAR(chain.eta[2], 2 * u1, 1e-14);  // eta follows the new slope
}

TEST(RegressionStep, TwoCategoriesKeepTAndDrawOnlyB) {
  SmallChain chain;
  chain.s.data.categories = 2, chain.s.data.thresholds = 1, chain.s.data.dim = 2;
  Script script{{n(0.0), n(0.0)}};
  oprobit::draw_regression(chain.s, script.source());
  EXPECT_TRUE(script.all_taken());  // no gamma draw for t
  EXPECT_NEAR(chain.beta[0], 5.2 / 6, 1e-14);
  EXPECT_NEAR(chain.zeta[0], -0.825, 1e-14);
}

// ---- The fixed proposal's accept/reject decision ---------------------------

struct WholeMove : SmallChain {
  double mu[3] = {0.4, -0.3, 0.9};
  double root[9] = {0.5, 0, 0, 0, 0.5, 0, 0, 0, 0.5};
  double root_inv[9] = {2, 0, 0, 0, 2, 0, 0, 0, 2};
  double work[5][3];
  WholeMove() {
    oprobit::WholePointMoves& whole = s.whole;
    whole.per_iteration = 1;
    whole.ready = true;
    whole.proposal = oprobit::TProposal{3, 5.0, mu, root, root_inv};
    whole.candidate = work[0], whole.candidate_eta = work[1], whole.current = work[2];
    whole.normals = work[3], whole.ratio_scratch = work[4];
  }
  // The log acceptance ratio of w from the chain's start (flat prior).
  double log_ratio(const double* w) {
    const double start[3] = {0.5, -0.5, 0.8};
    double w_eta[3];
    oprobit::update_eta(s.data, w, w_eta);
    double scratch_d[3];
    return oprobit::cell_log_likelihood(s.data.cells, 3, w_eta, w + 1) -
           oprobit::cell_log_likelihood(s.data.cells, 3, eta, zeta) +
           oprobit::log_proposal_ratio(s.whole.proposal, start, w, scratch_d);
  }
};

TEST(WholePointMove, AcceptsExactlyWhenLogUniformIsBelowTheRatio) {
  // Normals (-3, -0.4, 0.6) and a chi-square of df: w = mu + 0.5 z, a slope
  // of the wrong sign.
  const double w[3] = {-1.1, -0.5, 1.2};
  for (const bool accept : {true, false}) {
    WholeMove move;
    const double ratio = move.log_ratio(w);
    ASSERT_LT(ratio, 0.0);
    const double uniform = std::exp(ratio) * (accept ? 1 - 1e-9 : 1 + 1e-9);
    Script script{{n(-3.0), n(-0.4), n(0.6), chi(5.0), u(uniform)}};
    oprobit::whole_point_moves(move.s, script.source(), 1);
    EXPECT_TRUE(script.all_taken()) << accept;
    EXPECT_EQ(script.arguments, std::vector<double>{5.0});
    EXPECT_EQ(move.s.whole.tried, 1.0);
    EXPECT_EQ(move.s.whole.accepted, accept ? 1.0 : 0.0);
    const double* now = accept ? w : nullptr;
    EXPECT_DOUBLE_EQ(move.beta[0], now ? now[0] : 0.5) << accept;
    EXPECT_DOUBLE_EQ(move.zeta[0], now ? now[1] : -0.5) << accept;
    EXPECT_DOUBLE_EQ(move.zeta[1], now ? now[2] : 0.8) << accept;
    EXPECT_DOUBLE_EQ(move.eta[2], 2 * move.beta[0]) << accept;
  }
}

TEST(WholePointMove, ThresholdsOutOfOrderAreRefusedWithoutAUniform) {
  WholeMove move;
  // zeta = (-0.3 + 0.5 * 2, 0.9 - 0.5 * 2) = (0.7, -0.1): out of order.
  Script script{{n(0.0), n(2.0), n(-2.0), chi(5.0)}};
  oprobit::whole_point_moves(move.s, script.source(), 1);
  EXPECT_TRUE(script.all_taken());
  EXPECT_EQ(move.s.whole.tried, 1.0);
  EXPECT_EQ(move.s.whole.accepted, 0.0);
  EXPECT_EQ(move.beta[0], 0.5);
  EXPECT_EQ(move.zeta[0], -0.5);
}

// ---- The defensive mixture -------------------------------------------------

// Three coordinates, a root with off-diagonal terms, a heavy component of 2
// df at twice the scale, chosen one time in ten.
struct Mixture {
  double mu[3] = {0.4, -0.3, 0.9};
  double root[9] = {0.5, 0, 0, 0.2, 0.8, 0, -0.1, 0.3, 0.6};
  double root_inv[9];
  oprobit::TProposal proposal{3, 5.0, mu, root, root_inv};
  Mixture() {
    oprobit::invert_upper(root, 3, root_inv);
    proposal.mix = 0.1, proposal.mix_df = 2.0, proposal.mix_scale = 2.0;
  }
};

// The t density written out: Sigma = r' r by its entries, its inverse by
// cofactors, the gamma functions themselves; no logs but the last.
long double t_density(const double* x, const double* mu, const double* root, double df, double scale) {
  long double sigma[3][3];
  for (int a = 0; a < 3; ++a) {
    for (int b = 0; b < 3; ++b) {
      long double sum = 0;
      for (int k = 0; k < 3; ++k) sum += static_cast<long double>(root[k + 3 * a]) * root[k + 3 * b];
      sigma[a][b] = sum * scale * scale;
    }
  }
  auto cofactor = [&sigma](int a, int b) {
    const int a1 = (a + 1) % 3, a2 = (a + 2) % 3, b1 = (b + 1) % 3, b2 = (b + 2) % 3;
    return sigma[a1][b1] * sigma[a2][b2] - sigma[a1][b2] * sigma[a2][b1];
  };
  const long double det = sigma[0][0] * cofactor(0, 0) + sigma[0][1] * cofactor(0, 1) + sigma[0][2] * cofactor(0, 2);
  long double q = 0;
  for (int a = 0; a < 3; ++a) {
    for (int b = 0; b < 3; ++b) q += (x[a] - mu[a]) * cofactor(b, a) / det * (x[b] - mu[b]);
  }
  const long double pi = 3.141592653589793238462643383279502884L;
  return std::tgamma((df + 3) / 2.0L) / std::tgamma(df / 2.0L) / std::pow(df * pi, 1.5L) / std::sqrt(det) *
         std::pow(1 + q / df, -(df + 3) / 2.0L);
}

TEST(DefensiveMixture, LogDensityIsThatOfTheTwoTsMixed) {
  Mixture m;
  const double points[4][3] = {{0.4, -0.3, 0.9}, {0.7, -0.1, 1.2}, {2.5, -3.0, 4.0}, {40.0, 25.0, -30.0}};
  double scratch[3];
  for (const auto& x : points) {
    const long double main = t_density(x, m.mu, m.root, 5.0, 1.0);
    const long double heavy = t_density(x, m.mu, m.root, 2.0, 2.0);
    const long double mixed = 0.9L * main + 0.1L * heavy;
    EXPECT_NEAR(oprobit::log_proposal_density(m.proposal, x, scratch), std::log(mixed), 1e-12) << x[0];
    // Without the mixture: the main t alone.
    oprobit::TProposal single = m.proposal;
    single.mix = 0.0;
    EXPECT_NEAR(oprobit::log_proposal_density(single, x, scratch), std::log(main), 1e-12) << x[0];
  }
  // Far out the heavy component carries the density, which stays finite.
  const double far[3] = {1e6, -1e6, 1e6};
  const double value = oprobit::log_proposal_density(m.proposal, far, scratch);
  EXPECT_NEAR(value, std::log(0.1L * t_density(far, m.mu, m.root, 2.0, 2.0)), 1e-9);
}

TEST(DefensiveMixture, RatioIsTheDensitiesDifferenceAndTodaysWithoutMixture) {
  Mixture m;
  const double current[3] = {0.6, -0.2, 1.4}, w[3] = {3.0, -2.0, 0.1};
  double scratch[3];
  EXPECT_NEAR(oprobit::log_proposal_ratio(m.proposal, current, w, scratch),
              oprobit::log_proposal_density(m.proposal, current, scratch) -
                  oprobit::log_proposal_density(m.proposal, w, scratch),
              1e-13);
  // mix = 0: bit for bit the single t's ratio, as the chain computed it
  // before the mixture existed.
  m.proposal.mix = 0.0;
  double squares[2];
  const double* points[2] = {current, w};
  for (int k = 0; k < 2; ++k) {
    double centred[3], total = 0.0;
    for (int a = 0; a < 3; ++a) centred[a] = points[k][a] - m.mu[a];
    for (int b = 0; b < 3; ++b) {
      double r = 0.0;
      for (int a = 0; a <= b; ++a) r += m.root_inv[a + 3 * b] * centred[a];
      total += r * r;
    }
    squares[k] = total;
  }
  const double today = -0.5 * (5.0 + 3) * (std::log1p(squares[0] / 5.0) - std::log1p(squares[1] / 5.0));
  EXPECT_EQ(oprobit::log_proposal_ratio(m.proposal, current, w, scratch), today);
  // And the mixture's ratio differs from it at these points.
  m.proposal.mix = 0.1;
  EXPECT_GT(std::fabs(oprobit::log_proposal_ratio(m.proposal, current, w, scratch) - today), 1e-3);
}

TEST(DefensiveMixture, OneUniformPicksTheComponentOnlyWithAMixture) {
  // Normals (-3, -0.4, 0.6) and a chi-square equal to its df: w = mu + r' z
  // times 2 from the heavy component, times 1 from the main one.
  const double z[3] = {-3.0, -0.4, 0.6};
  for (const bool heavy : {true, false}) {
    for (const bool accept : {true, false}) {
      WholeMove move;
      move.s.whole.proposal.mix = 0.05, move.s.whole.proposal.mix_df = 2.0, move.s.whole.proposal.mix_scale = 2.0;
      const double df = heavy ? 2.0 : 5.0, factor = heavy ? 2.0 : 1.0;
      double w[3];
      for (int b = 0; b < 3; ++b) w[b] = move.mu[b] + 0.5 * z[b] * factor;
      // The decision on the mixture's ratio: just below and just above it.
      const double ratio = move.log_ratio(w);
      ASSERT_LT(ratio, 0.0);
      const double uniform = std::exp(ratio) * (accept ? 1 - 1e-9 : 1 + 1e-9);
      Script script{{u(heavy ? 0.04 : 0.06), n(z[0]), n(z[1]), n(z[2]), chi(df), u(uniform)}};
      oprobit::whole_point_moves(move.s, script.source(), 1);
      EXPECT_TRUE(script.all_taken()) << heavy;
      EXPECT_EQ(script.arguments, std::vector<double>{df}) << heavy;
      EXPECT_EQ(move.s.whole.accepted, accept ? 1.0 : 0.0) << heavy << accept;
      EXPECT_DOUBLE_EQ(move.beta[0], accept ? w[0] : 0.5) << heavy << accept;
      EXPECT_DOUBLE_EQ(move.zeta[1], accept ? w[2] : 0.8) << heavy << accept;
    }
  }
  // Without a mixture the same move takes no uniform before its normals
  // (the script would fail on a uniform where a normal is due).
  WholeMove plain;
  Script script{{n(z[0]), n(z[1]), n(z[2]), chi(5.0), u(0.999999)}};
  oprobit::whole_point_moves(plain.s, script.source(), 1);
  EXPECT_TRUE(script.all_taken());
}

// ---- The current point's log likelihood between iterations ----------------

TEST(WholePointMove, KeepsTheCurrentLogLikelihoodOnlyWhereNothingElseMovesThePoint) {
  // Over burn-in (i = 1 with burnin 1) the move counts in its own counters.
  WholeMove move;
  move.s.settings.burnin = 1;
  move.s.whole.keeps_known = true;
  Script script{{n(-0.2), n(0.2), n(-0.2), chi(5.0), u(1e-300), n(-12.0), n(0.0), n(0.0), chi(5.0), u(0.5)}};
  oprobit::whole_point_moves(move.s, script.source(), 1);
  EXPECT_EQ(move.s.whole.burnin_tried, 1.0);
  EXPECT_EQ(move.s.whole.burnin_accepted, 1.0);
  EXPECT_EQ(move.s.whole.tried, 0.0);
  ASSERT_TRUE(move.s.whole.known);
  EXPECT_EQ(move.s.whole.log_likelihood, oprobit::cell_log_likelihood(move.s.data.cells, 3, move.eta, move.zeta));
  // The second iteration (after burn-in) rejects a far negative slope; the value
  // kept is still the current point's.
  oprobit::whole_point_moves(move.s, script.source(), 2);
  EXPECT_TRUE(script.all_taken());
  EXPECT_EQ(move.s.whole.tried, 1.0);
  EXPECT_EQ(move.s.whole.accepted, 0.0);
  EXPECT_EQ(move.s.whole.log_likelihood, oprobit::cell_log_likelihood(move.s.data.cells, 3, move.eta, move.zeta));

  // Where other moves change the point between iterations a stale value is
  // not used: a kept log likelihood far above the truth would refuse every
  // candidate, yet this one is accepted on its true ratio.
  WholeMove augmented;
  augmented.s.whole.known = true;
  augmented.s.whole.log_likelihood = 1e6;
  Script accepting{{n(-0.2), n(0.2), n(-0.2), chi(5.0), u(1e-300)}};
  oprobit::whole_point_moves(augmented.s, accepting.source(), 1);
  EXPECT_TRUE(accepting.all_taken());
  EXPECT_EQ(augmented.s.whole.accepted, 1.0);
}

}  // namespace
