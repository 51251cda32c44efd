// .Call entry oprobit_chain(plan, entries, report): one chain of the ordinal
// sampler behind oprobit_mcmc(), the whole loop in native code. The plan's
// `method` picks the chain: "independence", the whole-point moves alone on
// the cells (any link; no library entry is called, `entries` is not read), or
// "augmented" (the default), the data-augmentation chain described here. The R
// layer builds the plan (data, prior, tuning; R/oprobit_plan_list.R, and
// R/oprobit_sampler.R for the model and the working frame) and hands over the two library entries each
// iteration calls: quorval's cutpoint step and a trunomcall. They are called
// exactly as R would call them, with R vectors, so the libraries stay what
// they are; only the bookkeeping between the calls lives here.
//
// R's random stream is held from the first draw to the end and handed back
// around every call that may use it. The moves draw from it through the
// source r_stream() makes.
#include <type_traits>

#include <R_ext/Random.h>

#include "chain_setup.h"
#include "export.h"
#include "group_sd_draw.h"
#include "group_setup.h"
#include "latent_draw.h"
#include "newton_move.h"
#include "r_math.h"
#include "random_effects_draw.h"
#include "regression_draw.h"
#include "threshold_step.h"
#include "tuning.h"
#include "whole_point_move.h"

namespace {

using oprobit::ChainState;
using oprobit::ChainSettings;

static_assert(std::is_trivially_destructible<ChainState>::value,
              "the chain's state must be plain data: an R error may jump over it");

double r_uniform(void*) { return unif_rand(); }
double r_normal(void*) { return norm_rand(); }
double r_exponential(void*) { return exp_rand(); }
double r_gamma(void*, double shape, double scale) { return Rf_rgamma(shape, scale); }
double r_chi_square(void*, double df) { return Rf_rchisq(df); }

// R's stream, while the chain holds it.
oprobit::RandomSource r_stream() {
  return oprobit::RandomSource{nullptr, r_uniform, r_normal, r_exponential, r_gamma, r_chi_square};
}

void keep_draw(ChainState& s, int i) {
  const ChainSettings& settings = s.settings;
  if (i <= settings.burnin || (i - settings.burnin) % settings.thin != 0) return;
  double* out = REAL(VECTOR_ELT(s.keep, oprobit::kDraws));
  const R_xlen_t column = settings.iter;
  for (int k = 0; k < s.data.slopes; ++k) out[s.kept + column * k] = s.beta[k];
  for (int k = 0; k < s.data.thresholds; ++k) out[s.kept + column * (s.data.slopes + k)] = s.zeta[k];
  ++s.kept;
}

void report_progress(SEXP report, int i) {
  PutRNGstate();
  SEXP iteration = Rf_protect(Rf_ScalarInteger(i));
  SEXP call = Rf_protect(Rf_lang2(report, iteration));
  Rf_eval(call, R_GlobalEnv);
  Rf_unprotect(2);
  GetRNGstate();
}

SEXP doubles(const double* x, int count) {
  SEXP out = Rf_allocVector(REALSXP, count);
  for (int k = 0; k < count; ++k) REAL(out)[k] = x[k];
  return out;
}

// list(draws, accepted, s, whole_accepted, whole_tried, tried, groups,
// whole_burnin_accepted, whole_burnin_tried); the threshold vectors are
// empty in the independence chain.
SEXP chain_result(ChainState& s) {
  const int fields = 9;
  const char* names[fields] = {"draws", "accepted", "s", "whole_accepted", "whole_tried", "tried", "groups",
                               "whole_burnin_accepted", "whole_burnin_tried"};
  SEXP result = Rf_protect(Rf_allocVector(VECSXP, fields));
  SEXP result_names = Rf_allocVector(STRSXP, fields);
  Rf_setAttrib(result, R_NamesSymbol, result_names);
  for (int k = 0; k < fields; ++k) SET_STRING_ELT(result_names, k, Rf_mkChar(names[k]));
  SEXP draws = VECTOR_ELT(s.keep, oprobit::kDraws);
  SEXP dims = Rf_protect(Rf_allocVector(INTSXP, 2));
  INTEGER(dims)[0] = s.settings.iter;
  INTEGER(dims)[1] = s.data.dim;
  Rf_setAttrib(draws, R_DimSymbol, dims);
  Rf_unprotect(1);
  SET_VECTOR_ELT(result, 0, draws);
  const int thresholds = s.settings.independence ? 0 : s.data.thresholds;
  SET_VECTOR_ELT(result, 1, doubles(s.threshold.accepted, thresholds));
  SET_VECTOR_ELT(result, 2, doubles(s.threshold.scale, thresholds));
  // NA when no whole-point proposal was in force at the end.
  SET_VECTOR_ELT(result, 3, Rf_ScalarReal(s.whole.ready ? s.whole.accepted : NA_REAL));
  SET_VECTOR_ELT(result, 4, Rf_ScalarReal(s.whole.tried));
  SET_VECTOR_ELT(result, 5, doubles(s.threshold.tried, thresholds));
  SET_VECTOR_ELT(result, 6, oprobit::group_result(s));
  SET_VECTOR_ELT(result, 7, Rf_ScalarReal(s.whole.ready ? s.whole.burnin_accepted : NA_REAL));
  SET_VECTOR_ELT(result, 8, Rf_ScalarReal(s.whole.burnin_tried));
  Rf_unprotect(1);
  return result;
}

// The data-augmentation chain: threshold steps, whole-point moves, latent
// draws, the regression, the group terms.
void run_augmented(ChainState& s, const oprobit::RandomSource& random, SEXP report, int report_every) {
  for (int i = 1; i <= s.settings.iterations; ++i) {
    if (i % 16 == 0) R_CheckUserInterrupt();
    oprobit::threshold_steps(s, i);
    if (s.whole.newton) {
      oprobit::newton_moves(s, random, i);
    } else {
      oprobit::whole_point_moves(s, random, i);
    }
    oprobit::draw_latent(s);
    oprobit::draw_regression(s, random);
    oprobit::draw_group_effects(s, random);
    oprobit::draw_group_covariances(s, random);
    oprobit::tune(s, i);
    oprobit::keep_group_draws(s, i);
    keep_draw(s, i);
    if (report_every > 0 && i % report_every == 0) report_progress(report, i);
  }
}

// The independence chain: the whole-point moves alone, on the cells. An
// interrupt is looked for about every 2^20 cells visited.
void run_independence(ChainState& s, const oprobit::RandomSource& random, SEXP report, int report_every) {
  const double visits = static_cast<double>(s.data.cells.count) * s.whole.per_iteration;
  const double between = static_cast<double>(1 << 20) / visits;
  const int check_every = between > 1.0 ? static_cast<int>(between) : 1;
  for (int i = 1; i <= s.settings.iterations; ++i) {
    if (i % check_every == 0) R_CheckUserInterrupt();
    oprobit::whole_point_moves(s, random, i);
    keep_draw(s, i);
    if (report_every > 0 && i % report_every == 0) report_progress(report, i);
  }
}

}  // namespace

QV_EXPORT SEXP oprobit_chain(SEXP plan, SEXP entries, SEXP report) {
  if (report != R_NilValue && !Rf_isFunction(report)) {
    Rf_error("oprobit_chain: 'report' must be a function or NULL");
  }
  ChainState s{};
  s.keep = Rf_protect(Rf_allocVector(VECSXP, oprobit::keep_slots(plan)));
  const bool independence = oprobit::independence_method(plan);
  if (independence) {
    oprobit::set_up_independence(plan, &s);
  } else {
    oprobit::set_up_chain(plan, entries, &s);
  }
  const int report_every = report == R_NilValue ? 0 : s.settings.report_every;

  const oprobit::RandomSource random = r_stream();
  GetRNGstate();
  if (independence) {
    run_independence(s, random, report, report_every);
  } else {
    run_augmented(s, random, report, report_every);
  }
  PutRNGstate();

  SEXP result = chain_result(s);
  Rf_unprotect(1);
  return result;
}
