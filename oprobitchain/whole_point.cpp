#include "whole_point.h"

#include <cmath>
#include <cstring>

#include "link_cauchit.h"
#include "link_cloglog.h"
#include "link_logit.h"
#include "link_loglog.h"
#include "link_probit.h"

namespace oprobit {

namespace {

// (x - mu)' (r' r)^-1 (x - mu).
double squared_distance(const TProposal& proposal, const double* x, double* scratch) {
  const int d = proposal.d;
  for (int a = 0; a < d; ++a) scratch[a] = x[a] - proposal.mu[a];
  double total = 0.0;
  for (int b = 0; b < d; ++b) {
    double r = 0.0;
    for (int a = 0; a <= b; ++a) r += proposal.root_inv[a + d * b] * scratch[a];
    total += r * r;
  }
  return total;
}

// The log density of a d-variate t with df degrees of freedom at squared
// distance q (in its own scale), log_det the log determinant of its scale's
// root.
double log_t_density(double df, int d, double log_det, double q) {
  constexpr double kLogPi = 1.14472988584940017414;
  return std::lgamma(0.5 * (df + d)) - std::lgamma(0.5 * df) - 0.5 * d * (std::log(df) + kLogPi) - log_det -
         0.5 * (df + d) * std::log1p(q / df);
}

}  // namespace

double log_proposal_density(const TProposal& proposal, const double* x, double* scratch) {
  const int d = proposal.d;
  double log_det = 0.0;
  for (int a = 0; a < d; ++a) log_det += std::log(proposal.root[a + d * a]);
  const double q = squared_distance(proposal, x, scratch);
  const double main = log_t_density(proposal.df, d, log_det, q);
  if (proposal.mix == 0.0) return main;
  const double s = proposal.mix_scale;
  const double heavy = log_t_density(proposal.mix_df, d, log_det + d * std::log(s), q / (s * s));
  // log((1 - mix) e^main + mix e^heavy), from the larger term.
  const double a = std::log1p(-proposal.mix) + main;
  const double b = std::log(proposal.mix) + heavy;
  return a > b ? a + std::log1p(std::exp(b - a)) : b + std::log1p(std::exp(a - b));
}

double log_proposal_ratio(const TProposal& proposal, const double* current, const double* w,
                          double* scratch) {
  if (proposal.mix > 0.0) {
    return log_proposal_density(proposal, current, scratch) - log_proposal_density(proposal, w, scratch);
  }
  // One t: its normalising constant cancels.
  const int d = proposal.d;
  const double squares[2] = {squared_distance(proposal, current, scratch),
                             squared_distance(proposal, w, scratch)};
  return -0.5 * (proposal.df + d) *
         (std::log1p(squares[0] / proposal.df) - std::log1p(squares[1] / proposal.df));
}

namespace {

template <class L>
double log_likelihood_of(const Cells& cells, int categories, const double* eta, const double* zeta) {
  // Masses of single units are multiplied together and their product's log
  // taken before it can underflow: one log for many cells.
  constexpr double kSmallestProduct = 0x1p-900;
  double total = 0.0;
  double product = 1.0;
  for (int c = 0; c < cells.count; ++c) {
    const double mass = L::cell_mass(eta[cells.row[c]], cells.y[c], categories, zeta);
    if (cells.size[c] == 1.0) {
      product *= mass;
      if (product < kSmallestProduct) {
        total += std::log(product);
        product = 1.0;
      }
    } else {
      total += cells.size[c] * std::log(mass);
    }
  }
  return total + std::log(product);
}

template <class L>
bool derivatives_of(const Cells& cells, int categories, const double* X, int rows, int slopes,
                    const Directions& directions, const double* eta, const double* zeta,
                    double* log_likelihood, double* gradient, double* curvature, double* scratch) {
  // Coordinates that move every mean by their covariate (the slopes, then the
  // extra ones) come first, the thresholds after them.
  const int linear = slopes + directions.extra;
  const int d = linear + categories - 1;
  for (int a = 0; a < d; ++a) gradient[a] = 0.0;
  for (int a = 0; a < d * d; ++a) curvature[a] = 0.0;
  double* z = scratch;  // a cell's covariate of each linear coordinate
  double total = 0.0;
  double product = 1.0;
  for (int c = 0; c < cells.count; ++c) {
    const int row = cells.row[c];
    const double m = eta[row];
    const int y = cells.y[c];
    const double mass = L::cell_mass(m, y, categories, zeta);
    if (!(mass > 0.0)) return false;
    const double w = cells.size[c];
    if (w == 1.0) {
      product *= mass;
      if (product < 0x1p-900) {
        total += std::log(product);
        product = 1.0;
      }
    } else {
      total += w * std::log(mass);
    }
    // Derivatives of log mass in its bounds lo = zeta[y-1] - m, hi = zeta[y] - m.
    const bool has_lo = y > 1, has_hi = y < categories;
    const double lo = has_lo ? zeta[y - 2] - m : 0.0;
    const double hi = has_hi ? zeta[y - 1] - m : 0.0;
    const BoundTerms t = L::bound_terms(lo, hi, has_lo, has_hi, mass);
    const double g_lo = t.g_lo, g_hi = t.g_hi, d_lolo = t.d_lolo, d_hihi = t.d_hihi, d_lohi = t.d_lohi;
    // In the mean m, which moves both bounds down.
    const double first = w * (g_lo - g_hi);
    const double second = w * (d_lolo + 2.0 * d_lohi + d_hihi);
    const double with_hi = w * (d_hihi + d_lohi);
    const double with_lo = w * (d_lolo + d_lohi);
    for (int a = 0; a < slopes; ++a) z[a] = X[row + static_cast<long>(rows) * (a + 1)];
    for (int j = 0; j < directions.extra; ++j) {
      z[slopes + j] = directions.v[row + static_cast<long>(rows) * j] * directions.scale[j];
    }
    const int h = linear + y - 1;  // zeta[y] when has_hi
    const int l = linear + y - 2;  // zeta[y-1] when has_lo
    for (int a = 0; a < linear; ++a) {
      gradient[a] += first * z[a];
      for (int b = 0; b <= a; ++b) curvature[b + d * a] -= second * z[a] * z[b];
      if (has_hi) curvature[a + d * h] += with_hi * z[a];
      if (has_lo) curvature[a + d * l] += with_lo * z[a];
    }
    // exp(l_j) v_j is its own second derivative in l_j.
    for (int a = slopes; a < linear; ++a) curvature[a + d * a] -= first * z[a];
    if (has_hi) {
      gradient[h] += w * g_hi;
      curvature[h + d * h] -= w * d_hihi;
    }
    if (has_lo) {
      gradient[l] -= w * g_lo;
      curvature[l + d * l] -= w * d_lolo;
    }
    if (has_lo && has_hi) curvature[l + d * h] -= w * d_lohi;
  }
  // Filled above the diagonal: mirror it.
  for (int a = 0; a < d; ++a) {
    for (int b = a + 1; b < d; ++b) curvature[b + d * a] = curvature[a + d * b];
  }
  total += std::log(product);
  *log_likelihood = total;
  return std::isfinite(total);
}

}  // namespace

bool link_from_name(const char* name, Link* link) {
  struct Named {
    const char* name;
    Link link;
  };
  static const Named kLinks[] = {{"probit", Link::kProbit},
                                 {"logit", Link::kLogit},
                                 {"cloglog", Link::kCloglog},
                                 {"loglog", Link::kLoglog},
                                 {"cauchit", Link::kCauchit}};
  for (const Named& named : kLinks) {
    if (std::strcmp(name, named.name) == 0) {
      *link = named.link;
      return true;
    }
  }
  return false;
}

// One case per link.
double cell_log_likelihood(const Cells& cells, int categories, const double* eta, const double* zeta) {
  switch (cells.link) {
    case Link::kLogit:
      return log_likelihood_of<LogitLink>(cells, categories, eta, zeta);
    case Link::kCloglog:
      return log_likelihood_of<CloglogLink>(cells, categories, eta, zeta);
    case Link::kLoglog:
      return log_likelihood_of<LoglogLink>(cells, categories, eta, zeta);
    case Link::kCauchit:
      return log_likelihood_of<CauchitLink>(cells, categories, eta, zeta);
    case Link::kProbit:
    default:
      return log_likelihood_of<ProbitLink>(cells, categories, eta, zeta);
  }
}

bool cell_derivatives(const Cells& cells, int categories, const double* X, int rows, int slopes,
                      const Directions& directions, const double* eta, const double* zeta,
                      double* log_likelihood, double* gradient, double* curvature, double* scratch) {
#define OPROBIT_DERIVATIVES(L)                                                                  \
  derivatives_of<L>(cells, categories, X, rows, slopes, directions, eta, zeta, log_likelihood, gradient, \
                    curvature, scratch)
  switch (cells.link) {
    case Link::kLogit:
      return OPROBIT_DERIVATIVES(LogitLink);
    case Link::kCloglog:
      return OPROBIT_DERIVATIVES(CloglogLink);
    case Link::kLoglog:
      return OPROBIT_DERIVATIVES(LoglogLink);
    case Link::kCauchit:
      return OPROBIT_DERIVATIVES(CauchitLink);
    case Link::kProbit:
    default:
      return OPROBIT_DERIVATIVES(ProbitLink);
  }
#undef OPROBIT_DERIVATIVES
}

}  // namespace oprobit
