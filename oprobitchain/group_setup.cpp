#include "group_setup.h"

#include <cstring>

#include "plan.h"

namespace oprobit {
namespace {

constexpr const char kEntry[] = "oprobit_chain";

double* copy_or_zero(const double* from, R_xlen_t count) {
  double* x = scratch<double>(count);
  for (R_xlen_t k = 0; k < count; ++k) x[k] = from == nullptr ? 0.0 : from[k];
  return x;
}

void read_term(SEXP term_plan, int n, int slopes, GroupTerm* term) {
  const int q = plan_int(term_plan, element::kQ);
  const int levels = plan_int(term_plan, element::kLevels);
  if (q < 1 || q > 50 || levels < 1) Rf_error("%s: a group term needs 1 to 50 coefficients and a level", kEntry);
  term->q = q;
  term->levels = levels;
  term->level = plan_ints(term_plan, element::kLevel, n);
  for (int i = 0; i < n; ++i) {
    if (term->level[i] < 0 || term->level[i] >= levels) Rf_error("%s: a group term's 'level' is out of range", kEntry);
  }
  term->d = plan_reals(term_plan, element::kD, static_cast<R_xlen_t>(n) * q);
  term->shift = plan_ints(term_plan, element::kShift, q);
  for (int j = 0; j < q; ++j) {
    if (term->shift[j] < -1 || term->shift[j] > slopes) Rf_error("%s: a group term's 'shift' is out of range", kEntry);
  }
  const R_xlen_t qq = static_cast<R_xlen_t>(q) * q;
  term->dd = copy_or_zero(nullptr, qq * levels);
  for (int i = 0; i < n; ++i) {
    double* dd = term->dd + qq * term->level[i];
    const double* d = term->d + i;
    for (int j = 0; j < q; ++j) {
      for (int k = 0; k < q; ++k) dd[j + q * k] += d[static_cast<R_xlen_t>(n) * j] * d[static_cast<R_xlen_t>(n) * k];
    }
  }
  const R_xlen_t effects = static_cast<R_xlen_t>(levels) * q;
  term->dr = copy_or_zero(nullptr, effects);
  term->u = copy_or_zero(plan_reals(term_plan, element::kEffects, effects), effects);
  term->sd = copy_or_zero(plan_reals(term_plan, element::kSd, q), q);
  for (int j = 0; j < q; ++j) {
    if (!(term->sd[j] > 0.0) || !R_FINITE(term->sd[j])) {
      Rf_error("%s: a group term's starting sd must be positive", kEntry);
    }
  }
  term->cor = copy_or_zero(nullptr, qq);
  for (int j = 0; j < q; ++j) term->cor[j + q * j] = 1.0;
  term->sigma = copy_or_zero(nullptr, qq);
  term->sigma_inv = copy_or_zero(nullptr, qq);
  term->mix = 1.0;
  term->scratch = copy_or_zero(nullptr, 4 * qq + 4 * q);
  set_group_covariance(*term);
}

}  // namespace

void set_up_group_effects(SEXP plan, ChainState* s) {
  GroupEffects& groups = s->groups;
  groups.terms = 0;
  SEXP groups_plan = plan_optional(plan, element::kGroups);
  if (groups_plan == R_NilValue) return;
  const ChainData& data = s->data;
  const int n = data.n;
  if (data.rows != n) Rf_error("%s: with group terms every unit must be its own covariate row", kEntry);
  SEXP terms = plan_element(groups_plan, element::kTerms);
  if (TYPEOF(terms) != VECSXP || XLENGTH(terms) < 1) Rf_error("%s: plan element 'terms' must be a list", kEntry);
  groups.terms = static_cast<int>(XLENGTH(terms));
  groups.term = scratch<GroupTerm>(groups.terms);
  groups.draw_columns = 0;
  groups.effect_columns = 0;
  for (int t = 0; t < groups.terms; ++t) {
    read_term(VECTOR_ELT(terms, t), n, data.slopes, &groups.term[t]);
    const int q = groups.term[t].q;
    groups.draw_columns += q + q * (q - 1) / 2;
    groups.effect_columns += q * groups.term[t].levels;
  }
  const char* sd_prior = plan_string(groups_plan, element::kSdPrior);
  if (std::strcmp(sd_prior, "student_t") == 0) {
    groups.sd_prior = kHalfStudentT;
  } else if (std::strcmp(sd_prior, "normal") == 0) {
    groups.sd_prior = kHalfNormal;
  } else {
    Rf_error("%s: plan element 'sd_prior' must be \"student_t\" or \"normal\"", kEntry);
  }
  groups.df = plan_real(groups_plan, element::kDf);
  groups.scale = plan_real(groups_plan, element::kScale);
  if (!(groups.df > 0.0) || !(groups.scale > 0.0) || !R_FINITE(groups.scale)) {
    Rf_error("%s: plan elements 'df' and 'scale' must be positive", kEntry);
  }
  groups.keep_effects = plan_flag(groups_plan, element::kKeepEffects);
  groups.w = copy_or_zero(nullptr, n);
  groups.base_offset = data.offset;
  groups.offset = copy_or_zero(nullptr, n);
  groups.linear_term = copy_or_zero(nullptr, data.p);
  groups.prior_shift = copy_or_zero(nullptr, data.p);
  // The plan's linear term is P m - X' o for the model's own offsets o.
  groups.base_linear = copy_or_zero(s->prior.linear_term, data.p);
  groups.effect_sum = copy_or_zero(nullptr, groups.effect_columns);
  groups.effect_square = copy_or_zero(nullptr, groups.effect_columns);
  // The chain reads its offsets and linear term from here from now on.
  s->data.offset = groups.offset;
  s->prior.linear_term = groups.linear_term;
  s->prior.prior_shift = groups.prior_shift;
  refresh_group_offsets(*s);

  const R_xlen_t iter = s->settings.iter;
  SET_VECTOR_ELT(s->keep, kGroupDraws, Rf_allocMatrix(REALSXP, s->settings.iter, groups.draw_columns));
  if (groups.keep_effects) {
    SET_VECTOR_ELT(s->keep, kEffectDraws, Rf_allocVector(REALSXP, iter * groups.effect_columns));
  }
}

void keep_group_draws(ChainState& s, int i) {
  const GroupEffects& groups = s.groups;
  const ChainSettings& settings = s.settings;
  if (groups.terms == 0 || i <= settings.burnin || (i - settings.burnin) % settings.thin != 0) return;
  const R_xlen_t iter = settings.iter;
  double* out = REAL(VECTOR_ELT(s.keep, kGroupDraws));
  double* effects = groups.keep_effects ? REAL(VECTOR_ELT(s.keep, kEffectDraws)) : nullptr;
  R_xlen_t column = 0, effect = 0;
  for (int t = 0; t < groups.terms; ++t) {
    const GroupTerm& term = groups.term[t];
    const int q = term.q;
    for (int j = 0; j < q; ++j) out[s.kept + iter * column++] = term.sd[j];
    for (int j = 0; j < q; ++j) {
      for (int k = j + 1; k < q; ++k) out[s.kept + iter * column++] = term.cor[j + q * k];
    }
    for (R_xlen_t a = 0; a < static_cast<R_xlen_t>(term.levels) * q; ++a, ++effect) {
      groups.effect_sum[effect] += term.u[a];
      groups.effect_square[effect] += term.u[a] * term.u[a];
      if (effects != nullptr) effects[s.kept + iter * effect] = term.u[a];
    }
  }
}

SEXP group_result(ChainState& s) {
  const GroupEffects& groups = s.groups;
  if (groups.terms == 0) return R_NilValue;
  const char* names[4] = {"draws", "effects", "effect_sum", "effect_square"};
  SEXP result = Rf_protect(Rf_allocVector(VECSXP, 4));
  SEXP result_names = Rf_allocVector(STRSXP, 4);
  Rf_setAttrib(result, R_NamesSymbol, result_names);
  for (int k = 0; k < 4; ++k) SET_STRING_ELT(result_names, k, Rf_mkChar(names[k]));
  SET_VECTOR_ELT(result, 0, VECTOR_ELT(s.keep, kGroupDraws));
  SET_VECTOR_ELT(result, 1, VECTOR_ELT(s.keep, kEffectDraws));
  SEXP sum = Rf_allocVector(REALSXP, groups.effect_columns);
  SET_VECTOR_ELT(result, 2, sum);
  for (int a = 0; a < groups.effect_columns; ++a) REAL(sum)[a] = groups.effect_sum[a];
  SEXP square = Rf_allocVector(REALSXP, groups.effect_columns);
  SET_VECTOR_ELT(result, 3, square);
  for (int a = 0; a < groups.effect_columns; ++a) REAL(square)[a] = groups.effect_square[a];
  Rf_unprotect(1);
  return result;
}

}  // namespace oprobit
