// .Call entry oprobit_chain(plan, entries, report): one chain of the ordinal
// probit sampler behind oprobit_mcmc(), the whole loop in native code. The R
// layer builds the plan (data, prior, tuning; see R/oprobit_sampler.R for the
// model and the working frame) and hands over the two library entries each
// iteration calls: quorval's cutpoint step and a trunomcall. They are called
// exactly as R would call them, with R vectors, so the libraries stay what
// they are; only the bookkeeping between the calls moved here.
//
// One iteration:
//   1. each threshold by one call of the cutpoint step (five cutpoints, the
//      latent variables integrated out; mirrored above the middle of the data);
//      once the whole-point move runs, one threshold per iteration in turn;
//   2. after the pilot, moves of the whole point (beta, zeta) from a fixed
//      multivariate t, on the cell likelihood;
//   3. every latent variable by one trunomcall in the working frame;
//   4. (b, t) from their exact conditional, back to (beta, zeta).
//
// Everything on the frame is plain data or R_alloc memory: an R error or an
// interrupt may leave it by a long jump. R's random stream is held from the
// first draw to the end and handed back around every call that may use it.
#include <climits>
#include <cmath>
#include <cstring>

#include "r_math.h"
#include <R_ext/Rdynload.h>
#include <Rinternals.h>

#include "export.h"
#include "plan.h"
#include "small_matrix.h"
#include "whole_point.h"

namespace {

constexpr const char kEntry[] = "oprobit_chain";

using StepEntry = SEXP (*)(SEXP, SEXP, SEXP, SEXP, SEXP, SEXP, SEXP);
using LatentEntry = SEXP (*)(SEXP, SEXP, SEXP, SEXP, SEXP);

template <class T>
T* scratch(R_xlen_t count) {
  return reinterpret_cast<T*>(R_alloc(static_cast<size_t>(count > 0 ? count : 1), sizeof(T)));
}

DL_FUNC entry_address(SEXP entries, int i, const char* name) {
  if (TYPEOF(entries) != VECSXP || XLENGTH(entries) != 2) {
    Rf_error("%s: 'entries' must be a list of two native symbols", kEntry);
  }
  SEXP x = VECTOR_ELT(entries, i);
  if (TYPEOF(x) != EXTPTRSXP || R_ExternalPtrAddrFn(x) == nullptr) {
    Rf_error("%s: entry '%s' must be a native symbol's address", kEntry, name);
  }
  return R_ExternalPtrAddrFn(x);
}

// The slice step (stepping out, then shrinking) for t > 0 under the
// log-concave density a log t - rss t^2 / 2 + S t.
double slice_t(double t, double a, double rss, double S) {
  auto logf = [a, rss, S](double x) { return a * std::log(x) - rss * x * x / 2 + S * x; };
  const double mode = (S + std::sqrt(S * S + 4 * rss * a)) / (2 * rss);
  const double width = 2 / std::sqrt(a / (mode * mode) + rss);
  const double level = logf(t) - exp_rand();
  double left = t - unif_rand() * width;
  double right = left + width;
  while (left > 0 && logf(left) > level) left -= width;
  while (logf(right) > level) right += width;
  if (left < 0) left = 0;
  for (;;) {
    const double x = left + unif_rand() * (right - left);
    if (x > 0 && logf(x) > level) return x;
    if (x < t) {
      left = x;
    } else {
      right = x;
    }
  }
}

void call_report(SEXP report, int i) {
  if (report == R_NilValue) return;
  SEXP call = Rf_protect(Rf_lang2(report, Rf_ScalarInteger(i)));
  Rf_eval(call, R_GlobalEnv);
  Rf_unprotect(1);
}

}  // namespace

QV_EXPORT SEXP oprobit_chain(SEXP plan, SEXP entries, SEXP report) {
  using namespace oprobit;
  // R keeps every native symbol as DL_FUNC; these are the entries' own types.
  const StepEntry step_entry =
      reinterpret_cast<StepEntry>(reinterpret_cast<void*>(entry_address(entries, 0, "step")));
  const LatentEntry latent_entry =
      reinterpret_cast<LatentEntry>(reinterpret_cast<void*>(entry_address(entries, 1, "latent")));
  if (report != R_NilValue && !Rf_isFunction(report)) {
    Rf_error("%s: 'report' must be a function or NULL", kEntry);
  }

  // ---- the plan -------------------------------------------------------------
  const int n = plan_int(plan, "n");
  const int p = plan_int(plan, "p");
  const int J = plan_int(plan, "J");
  if (n < 1 || p < 1 || J < 2) Rf_error("%s: the plan needs n >= 1, p >= 1 and J >= 2", kEntry);
  const int slopes = p - 1;
  const int thresholds = J - 1;
  const int d = slopes + thresholds;
  const double U = plan_real(plan, "U");
  SEXP X_sexp = plan_element(plan, "X");
  if (TYPEOF(X_sexp) != REALSXP || XLENGTH(X_sexp) % p != 0) {
    Rf_error("%s: plan element 'X' must be a double matrix with p columns", kEntry);
  }
  const int P = static_cast<int>(XLENGTH(X_sexp) / p);
  const double* X = REAL(X_sexp);
  // The offset of each covariate row (zero without one), part of its x'beta.
  const double* offset = plan_reals(plan, "offset", P);
  const int* pattern_start = plan_ints(plan, "pattern_start", P + 1);
  if (pattern_start[0] != 0 || pattern_start[P] != n) {
    Rf_error("%s: plan element 'pattern_start' must run from 0 to n", kEntry);
  }
  for (int r = 0; r < P; ++r) {
    if (pattern_start[r + 1] < pattern_start[r]) {
      Rf_error("%s: plan element 'pattern_start' must not decrease", kEntry);
    }
  }
  const int* y = plan_ints(plan, "y", n);
  for (int i = 0; i < n; ++i) {
    if (y[i] < 1 || y[i] > J) Rf_error("%s: plan element 'y' must hold codes 1 ... J", kEntry);
  }
  SEXP move_pattern = plan_element(plan, "move_pattern");
  SEXP move_code = plan_element(plan, "move_code");
  if (TYPEOF(move_pattern) != VECSXP || XLENGTH(move_pattern) != thresholds ||
      TYPEOF(move_code) != VECSXP || XLENGTH(move_code) != thresholds) {
    Rf_error("%s: plan elements 'move_pattern' and 'move_code' must be lists of J - 1", kEntry);
  }
  const int* move_mirrored = LOGICAL(plan_element(plan, "move_mirrored"));
  if (XLENGTH(plan_element(plan, "move_mirrored")) != thresholds) {
    Rf_error("%s: plan element 'move_mirrored' must have J - 1 elements", kEntry);
  }
  for (int k = 0; k < thresholds; ++k) {
    SEXP rows = VECTOR_ELT(move_pattern, k);
    SEXP codes = VECTOR_ELT(move_code, k);
    if (TYPEOF(rows) != INTSXP || TYPEOF(codes) != INTSXP || XLENGTH(rows) != XLENGTH(codes)) {
      Rf_error("%s: move %d must have integer rows and codes of one length", kEntry, k + 1);
    }
    for (R_xlen_t i = 0; i < XLENGTH(rows); ++i) {
      if (INTEGER(rows)[i] < 0 || INTEGER(rows)[i] >= P) {
        Rf_error("%s: move %d refers to a covariate row that does not exist", kEntry, k + 1);
      }
    }
  }
  SEXP cell_pattern_sexp = plan_element(plan, "cell_pattern");
  const int cell_count = static_cast<int>(XLENGTH(cell_pattern_sexp));
  Cells cells{cell_count, plan_ints(plan, "cell_pattern", cell_count),
              plan_ints(plan, "cell_y", cell_count), plan_reals(plan, "cell_size", cell_count)};
  for (int c = 0; c < cell_count; ++c) {
    if (cells.pattern[c] < 0 || cells.pattern[c] >= P || cells.y[c] < 1 || cells.y[c] > J) {
      Rf_error("%s: plan element 'cell_pattern' or 'cell_y' is out of range", kEntry);
    }
  }
  const double* M_inv = plan_reals(plan, "M_inv", static_cast<R_xlen_t>(p) * p);
  const double* M_root_inv = plan_reals(plan, "M_root_inv", static_cast<R_xlen_t>(p) * p);
  const double* prior_shift = plan_reals(plan, "prior_shift", p);
  const double* Pm = plan_reals(plan, "Pm", p);
  const bool has_prior_mean = plan_flag(plan, "has_prior_mean");
  const bool flat = plan_flag(plan, "flat");
  const double* b0 = plan_reals(plan, "b0", slopes);
  const double* B0 = plan_reals(plan, "B0", slopes);
  const double gamma_shape = plan_real(plan, "gamma_shape");
  const int burnin = plan_int(plan, "burnin");
  const int iter = plan_int(plan, "iter");
  const int thin = plan_int(plan, "thin");
  if (burnin < 0 || iter < 1 || thin < 1 || static_cast<double>(iter) * thin + burnin > INT_MAX) {
    Rf_error("%s: the plan's burnin, iter and thin are out of range", kEntry);
  }
  const int iterations = burnin + iter * thin;
  const double* s_start = plan_reals(plan, "s_start", thresholds);
  const bool use_pilot = plan_flag(plan, "use_pilot");
  const double whole_df = plan_real(plan, "whole_df");
  const int whole_moves = plan_int(plan, "whole_moves");
  const int adapt_window = plan_int(plan, "adapt_window");
  if (adapt_window < 1) Rf_error("%s: plan element 'adapt_window' must be positive", kEntry);
  const double target = plan_real(plan, "target_acceptance");
  const double far = plan_real(plan, "far");
  const bool latent_uses_r_stream = plan_flag(plan, "latent_r");
  const int report_every = plan_int(plan, "report_every");
  const double* beta_start = plan_reals(plan, "beta", slopes);
  const double* zeta_start = plan_reals(plan, "zeta", thresholds);

  // ---- R vectors handed to the entries, and the result --------------------
  const int K = J + 1;
  // Slots 0 ... 9, then per move its means (10 + k) and its count (10 + J - 1 + k).
  SEXP keep = Rf_protect(Rf_allocVector(VECSXP, 10 + 2 * thresholds));
  auto kept_vector = [keep](int slot, SEXPTYPE type, R_xlen_t length) {
    SEXP x = Rf_allocVector(type, length);
    SET_VECTOR_ELT(keep, slot, x);
    return x;
  };
  SEXP five_count = kept_vector(0, INTSXP, 1);
  INTEGER(five_count)[0] = 5;
  SEXP five = kept_vector(1, REALSXP, 5);
  SEXP unit_t = kept_vector(2, REALSXP, 1);
  REAL(unit_t)[0] = 1.0;
  SEXP step_s = kept_vector(3, REALSXP, 1);
  SEXP n_sexp = kept_vector(4, INTSXP, 1);
  INTEGER(n_sexp)[0] = n;
  SEXP mean_sexp = kept_vector(5, REALSXP, n);
  SEXP t_sexp = kept_vector(6, REALSXP, n);
  SEXP lower_sexp = kept_vector(7, REALSXP, n);
  SEXP upper_sexp = kept_vector(8, REALSXP, n);
  SEXP draws = kept_vector(9, REALSXP, static_cast<R_xlen_t>(iter) * d);
  for (int k = 0; k < thresholds; ++k) {
    const R_xlen_t rows = XLENGTH(VECTOR_ELT(move_pattern, k));
    kept_vector(10 + k, REALSXP, rows);
    INTEGER(kept_vector(10 + thresholds + k, INTSXP, 1))[0] = static_cast<int>(rows);
  }
  double* five_c = REAL(five);
  five_c[0] = R_NegInf;
  five_c[4] = R_PosInf;

  // ---- state ----------------------------------------------------------------
  double* beta = scratch<double>(slopes);
  double* zeta = scratch<double>(thresholds);
  double* eta = scratch<double>(P);
  double* point = scratch<double>(d);  // (beta, zeta)
  double* w = scratch<double>(d);
  double* new_eta = scratch<double>(P);
  double* z_normals = scratch<double>(d);
  double* ratio_scratch = scratch<double>(d);
  double* s = scratch<double>(thresholds);
  double* accepted = scratch<double>(thresholds);
  double* window = scratch<double>(thresholds);
  double* tried = scratch<double>(thresholds);
  double* window_tried = scratch<double>(thresholds);
  double* cutpoints = scratch<double>(K);
  double* bounds_of = scratch<double>(K);
  double* sums = scratch<double>(P);
  double* Xz = scratch<double>(p);
  double* fitted = scratch<double>(p);
  double* normals = scratch<double>(p);
  double* u = scratch<double>(p);
  bool bounds_set = false;
  for (int k = 0; k < slopes; ++k) beta[k] = beta_start[k];
  for (int k = 0; k < thresholds; ++k) {
    zeta[k] = zeta_start[k];
    s[k] = s_start[k];
    accepted[k] = 0.0;
    window[k] = 0.0;
    tried[k] = 0.0;
    window_tried[k] = 0.0;
  }
  auto slopes_times = [X, P, slopes, offset](const double* b, double* out) {
    // offset + x' b by covariate row, the intercept column left out.
    multiply(X + P, P, slopes, b, out);
    for (int r = 0; r < P; ++r) out[r] += offset[r];
  };
  slopes_times(beta, eta);

  TProposal proposal{d, whole_df, scratch<double>(d), scratch<double>(static_cast<R_xlen_t>(d) * d),
                     scratch<double>(static_cast<R_xlen_t>(d) * d)};
  bool has_proposal = false;
  double whole_accepted = 0.0;
  double* tails = use_pilot ? scratch<double>(2 * static_cast<R_xlen_t>(P) * thresholds) : nullptr;
  double* pilot = use_pilot ? scratch<double>(static_cast<R_xlen_t>(burnin) * d) : nullptr;
  const int pilot_fits[2] = {burnin / 2, burnin};
  int kept = 0;
  double* draws_out = REAL(draws);

  GetRNGstate();
  for (int i = 1; i <= iterations; ++i) {
    if (i % 16 == 0) R_CheckUserInterrupt();

    // 1. Thresholds given beta, latent variables integrated out.
    double low = eta[0], high = eta[0];
    for (int r = 1; r < P; ++r) {
      if (eta[r] < low) low = eta[r];
      if (eta[r] > high) high = eta[r];
    }
    const double far_low = low - far;
    const double far_high = high + far;
    // Where the whole point moves too, that move carries the thresholds and one
    // call of the cutpoint step per iteration is enough: each in turn.
    const int first = has_proposal ? i % thresholds : 0;
    const int last = has_proposal ? first + 1 : thresholds;
    for (int k = first; k < last; ++k) {
      const double lower = k == 0 ? far_low : zeta[k - 1];
      const double upper = k == thresholds - 1 ? far_high : zeta[k + 1];
      // An outer threshold beyond the far neighbour stays where it is.
      if ((k == 0 && !(far_low < zeta[0])) || (k == thresholds - 1 && !(zeta[k] < far_high))) {
        continue;
      }
      const int* rows = INTEGER(VECTOR_ELT(move_pattern, k));
      SEXP means_sexp = VECTOR_ELT(keep, 10 + k);
      SEXP count_sexp = VECTOR_ELT(keep, 10 + thresholds + k);
      const int count = INTEGER(count_sexp)[0];
      double* means = REAL(means_sexp);
      const bool mirrored = move_mirrored[k] == TRUE;
      if (mirrored) {
        five_c[1] = -upper;
        five_c[2] = -zeta[k];
        five_c[3] = -lower;
        for (int j = 0; j < count; ++j) means[j] = -eta[rows[j]];
      } else {
        five_c[1] = lower;
        five_c[2] = zeta[k];
        five_c[3] = upper;
        for (int j = 0; j < count; ++j) means[j] = eta[rows[j]];
      }
      REAL(step_s)[0] = s[k];
      SEXP result = Rf_protect(step_entry(count_sexp, five_count, VECTOR_ELT(move_code, k), five,
                                          means_sexp, unit_t, step_s));
      const double proposed = mirrored ? -REAL(result)[2] : REAL(result)[2];
      const bool moved = REAL(result)[5] == 100.0;
      Rf_unprotect(1);
      window_tried[k] += 1.0;
      if (i > burnin) tried[k] += 1.0;
      if (moved) {
        zeta[k] = proposed;
        window[k] += 1.0;
        if (i > burnin) accepted[k] += 1.0;
      }
    }

    // 2. The whole point from the fitted proposal.
    bool known = false;  // whether log_likelihood is the current point's
    double log_likelihood = 0.0;
    for (int move = 0; has_proposal && move < whole_moves; ++move) {
      draw_proposal(proposal, w, z_normals);
      const double* new_zeta = w + slopes;
      bool ordered = true;
      for (int k = 1; k < thresholds; ++k) ordered = ordered && new_zeta[k - 1] < new_zeta[k];
      if (!ordered) continue;
      slopes_times(w, new_eta);
      for (int k = 0; k < slopes; ++k) point[k] = beta[k];
      for (int k = 0; k < thresholds; ++k) point[slopes + k] = zeta[k];
      if (!known) {
        log_likelihood = cell_log_likelihood(cells, J, P, eta, zeta, tails);
        known = true;
      }
      const double new_log_likelihood = cell_log_likelihood(cells, J, P, new_eta, new_zeta, tails);
      double log_ratio = new_log_likelihood - log_likelihood +
                         log_proposal_ratio(proposal, point, w, ratio_scratch);
      if (!flat) {
        double prior_new = 0.0, prior_now = 0.0;
        for (int k = 0; k < slopes; ++k) {
          prior_new += B0[k] * (w[k] - b0[k]) * (w[k] - b0[k]);
          prior_now += B0[k] * (beta[k] - b0[k]) * (beta[k] - b0[k]);
        }
        log_ratio += -0.5 * prior_new + 0.5 * prior_now;
      }
      if (!std::isnan(log_ratio) && std::log(unif_rand()) < log_ratio) {
        for (int k = 0; k < slopes; ++k) beta[k] = w[k];
        for (int k = 0; k < thresholds; ++k) zeta[k] = new_zeta[k];
        for (int r = 0; r < P; ++r) eta[r] = new_eta[r];
        log_likelihood = new_log_likelihood;
        if (i > burnin) whole_accepted += 1.0;
      }
    }

    // The working frame of the current point.
    double t = J > 2 ? (zeta[thresholds - 1] - zeta[0]) / U : 1.0;
    const double intercept = -zeta[0] / t;
    cutpoints[0] = R_NegInf;
    for (int k = 1; k < J; ++k) cutpoints[k] = intercept + zeta[k - 1] / t;
    cutpoints[J] = R_PosInf;
    cutpoints[1] = 0.0;
    if (J > 2) cutpoints[J - 1] = U;

    // 3. Latent variables.
    double* mean = REAL(mean_sexp);
    double* t_vector = REAL(t_sexp);
    for (int r = 0; r < P; ++r) {
      const double m = intercept + eta[r] / t;
      for (int j = pattern_start[r]; j < pattern_start[r + 1]; ++j) mean[j] = m;
    }
    for (int j = 0; j < n; ++j) t_vector[j] = t;
    if (!bounds_set || std::memcmp(cutpoints, bounds_of, sizeof(double) * K) != 0) {
      double* lo = REAL(lower_sexp);
      double* hi = REAL(upper_sexp);
      for (int j = 0; j < n; ++j) {
        lo[j] = cutpoints[y[j] - 1];
        hi[j] = cutpoints[y[j]];
      }
      std::memcpy(bounds_of, cutpoints, sizeof(double) * K);
      bounds_set = true;
    }
    if (latent_uses_r_stream) PutRNGstate();
    SEXP z_sexp = Rf_protect(latent_entry(n_sexp, mean_sexp, t_sexp, lower_sexp, upper_sexp));
    if (latent_uses_r_stream) GetRNGstate();
    if (TYPEOF(z_sexp) != REALSXP || XLENGTH(z_sexp) != n) {
      Rf_error("%s: the latent entry returned no vector of n draws", kEntry);
    }
    const double* z = REAL(z_sexp);

    // 4. (b, t) given z.
    double zz = 0.0;
    for (int r = 0; r < P; ++r) {
      double sum = 0.0;
      for (int j = pattern_start[r]; j < pattern_start[r + 1]; ++j) {
        sum += z[j];
        zz += z[j] * z[j];
      }
      sums[r] = sum;
    }
    Rf_unprotect(1);
    for (int a = 0; a < p; ++a) {
      double sum = 0.0;
      const double* column = X + static_cast<R_xlen_t>(P) * a;
      for (int r = 0; r < P; ++r) sum += column[r] * sums[r];
      Xz[a] = sum;
    }
    multiply(M_inv, p, p, Xz, fitted);
    if (J > 2) {
      double explained = 0.0;
      for (int a = 0; a < p; ++a) explained += Xz[a] * fitted[a];
      const double rss = zz - explained;
      if (has_prior_mean) {
        // With an offset o, Pm holds P m - X'o and z'o joins the linear term.
        double S = 0.0;
        for (int a = 0; a < p; ++a) S += fitted[a] * Pm[a];
        for (int r = 0; r < P; ++r) S += offset[r] * sums[r];
        t = slice_t(t, 2 * gamma_shape - 1, rss, S);
      } else {
        t = std::sqrt(Rf_rgamma(gamma_shape, 2.0 / rss));
      }
    }
    for (int a = 0; a < p; ++a) normals[a] = norm_rand();
    multiply(M_root_inv, p, p, normals, u);
    for (int a = 0; a < p; ++a) u[a] = fitted[a] * t + prior_shift[a] + u[a];
    // Back to the probit scale: the cutpoints stay, b = u / t and t are new.
    const double b_intercept = u[0] / t;
    for (int k = 0; k < slopes; ++k) beta[k] = t * (u[k + 1] / t);
    for (int k = 0; k < thresholds; ++k) zeta[k] = t * (cutpoints[k + 1] - b_intercept);
    slopes_times(beta, eta);

    if (pilot != nullptr && i <= burnin) {
      for (int k = 0; k < slopes; ++k) pilot[(i - 1) + static_cast<R_xlen_t>(burnin) * k] = beta[k];
      for (int k = 0; k < thresholds; ++k) {
        pilot[(i - 1) + static_cast<R_xlen_t>(burnin) * (slopes + k)] = zeta[k];
      }
      if (i == pilot_fits[0] || i == pilot_fits[1]) {
        const bool fitted_now = fit_proposal(pilot, burnin, d, i / 2, i, &proposal);
        if (fitted_now) {
          has_proposal = true;
        } else if (i == burnin) {
          has_proposal = false;
        }
      }
    }
    if (i <= burnin && i % adapt_window == 0) {
      // Stochastic-approximation steps on log s with a shrinking gain.
      const double gain = 2 / std::sqrt(static_cast<double>(i) / adapt_window);
      for (int k = 0; k < thresholds; ++k) {
        if (window_tried[k] == 0.0) continue;
        const double rate = window[k] / window_tried[k];
        s[k] = std::fmin(std::fmax(s[k] * std::exp(gain * (target - rate)), 1e-8), 1e8);
        window[k] = 0.0;
        window_tried[k] = 0.0;
      }
    }
    if (i > burnin && (i - burnin) % thin == 0) {
      for (int k = 0; k < slopes; ++k) draws_out[kept + static_cast<R_xlen_t>(iter) * k] = beta[k];
      for (int k = 0; k < thresholds; ++k) {
        draws_out[kept + static_cast<R_xlen_t>(iter) * (slopes + k)] = zeta[k];
      }
      ++kept;
    }
    if (report != R_NilValue && report_every > 0 && i % report_every == 0) {
      PutRNGstate();
      call_report(report, i);
      GetRNGstate();
    }
  }
  PutRNGstate();

  SEXP result = Rf_protect(Rf_allocVector(VECSXP, 5));
  SEXP names = Rf_protect(Rf_allocVector(STRSXP, 5));
  const char* fields[5] = {"draws", "accepted", "s", "whole_accepted", "tried"};
  for (int k = 0; k < 5; ++k) SET_STRING_ELT(names, k, Rf_mkChar(fields[k]));
  Rf_setAttrib(result, R_NamesSymbol, names);
  SEXP dims = Rf_protect(Rf_allocVector(INTSXP, 2));
  INTEGER(dims)[0] = iter;
  INTEGER(dims)[1] = d;
  Rf_setAttrib(draws, R_DimSymbol, dims);
  SET_VECTOR_ELT(result, 0, draws);
  SEXP accepted_sexp = Rf_allocVector(REALSXP, thresholds);
  SET_VECTOR_ELT(result, 1, accepted_sexp);
  SEXP s_sexp = Rf_allocVector(REALSXP, thresholds);
  SET_VECTOR_ELT(result, 2, s_sexp);
  SEXP tried_sexp = Rf_allocVector(REALSXP, thresholds);
  SET_VECTOR_ELT(result, 4, tried_sexp);
  for (int k = 0; k < thresholds; ++k) {
    REAL(accepted_sexp)[k] = accepted[k];
    REAL(s_sexp)[k] = s[k];
    REAL(tried_sexp)[k] = tried[k];
  }
  // NA when no whole-point proposal was in force at the end.
  SET_VECTOR_ELT(result, 3, Rf_ScalarReal(has_proposal ? whole_accepted : NA_REAL));
  Rf_unprotect(4);
  return result;
}
