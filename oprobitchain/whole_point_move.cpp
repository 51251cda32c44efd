#include "whole_point_move.h"

#include <cmath>


namespace oprobit {
namespace {

// The log prior density of the slopes, up to a constant (0 when flat).
double log_slope_prior(const ChainPrior& prior, int slopes, const double* beta) {
  if (prior.flat) return 0.0;
  double sum = 0.0;
  for (int k = 0; k < slopes; ++k) sum += prior.B0[k] * (beta[k] - prior.b0[k]) * (beta[k] - prior.b0[k]);
  return -0.5 * sum;
}

// A draw from the proposal into w: with a mixture first one uniform for its
// component, then d normals (kept in z) and one chi-square.
void draw_proposal(const RandomSource& random, const TProposal& proposal, double* w, double* z) {
  const int d = proposal.d;
  const bool heavy = proposal.mix > 0.0 && random.uniform() < proposal.mix;
  const double df = heavy ? proposal.mix_df : proposal.df;
  for (int a = 0; a < d; ++a) z[a] = random.normal();
  double scale = std::sqrt(df / random.chi_square(df));
  if (heavy) scale *= proposal.mix_scale;
  for (int b = 0; b < d; ++b) {
    double sum = 0.0;
    for (int a = 0; a <= b; ++a) sum += z[a] * proposal.root[a + d * b];
    w[b] = proposal.mu[b] + sum * scale;
  }
}

}  // namespace

void whole_point_moves(ChainState& s, const RandomSource& random, int i) {
  WholePointMoves& whole = s.whole;
  if (!whole.ready) return;
  const ChainData& data = s.data;
  const int slopes = data.slopes;
  const int thresholds = data.thresholds;
  double* w = whole.candidate;
  const double* new_zeta = w + slopes;
  const bool kept = i > s.settings.burnin;
  if (!whole.keeps_known) whole.known = false;
  for (int move = 0; move < whole.per_iteration; ++move) {
    draw_proposal(random, whole.proposal, w, whole.normals);
    (kept ? whole.tried : whole.burnin_tried) += 1.0;
    bool ordered = true;
    for (int k = 1; k < thresholds; ++k) ordered = ordered && new_zeta[k - 1] < new_zeta[k];
    if (!ordered) continue;
    update_eta(data, w, whole.candidate_eta);
    double* point = whole.current;
    for (int k = 0; k < slopes; ++k) point[k] = s.beta[k];
    for (int k = 0; k < thresholds; ++k) point[slopes + k] = s.zeta[k];
    if (!whole.known) {
      whole.log_likelihood = cell_log_likelihood(data.cells, data.categories, s.eta, s.zeta);
      whole.known = true;
    }
    const double new_log_likelihood =
        cell_log_likelihood(data.cells, data.categories, whole.candidate_eta, new_zeta);
    double log_ratio = new_log_likelihood - whole.log_likelihood +
                       log_proposal_ratio(whole.proposal, point, w, whole.ratio_scratch);
    if (!s.prior.flat) {
      log_ratio += log_slope_prior(s.prior, slopes, w) - log_slope_prior(s.prior, slopes, s.beta);
    }
    if (!std::isnan(log_ratio) && std::log(random.uniform()) < log_ratio) {
      for (int k = 0; k < slopes; ++k) s.beta[k] = w[k];
      for (int k = 0; k < thresholds; ++k) s.zeta[k] = new_zeta[k];
      for (int r = 0; r < data.rows; ++r) s.eta[r] = whole.candidate_eta[r];
      whole.log_likelihood = new_log_likelihood;
      (kept ? whole.accepted : whole.burnin_accepted) += 1.0;
    }
  }
}

}  // namespace oprobit
