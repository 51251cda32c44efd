// The links of an ordinal model: the distribution F of the latent error, so
// that a unit with mean m falls in category y with mass
// F(zeta[y] - m) - F(zeta[y-1] - m). Each link is one header
// (link_probit.h, link_logit.h, link_cloglog.h, link_loglog.h,
// link_cauchit.h) with the same two functions; the cell code
// (whole_point.cpp) is written once over them.
#pragma once

namespace oprobit {

enum class Link { kProbit = 0, kLogit, kCloglog, kLoglog, kCauchit };

// The derivatives of a cell's log mass in its two bounds lo = zeta[y-1] - m
// and hi = zeta[y] - m (0 for a bound that is infinite).
struct BoundTerms {
  double g_lo;    // -d/dlo
  double g_hi;    // d/dhi
  double d_lolo;  // second derivatives
  double d_hihi;
  double d_lohi;
};

// The bound terms from the density f at the two bounds and its slope there
// relative to itself, s = f' / f: g = f / P, d_lolo = -s(lo) g_lo - g_lo^2,
// d_hihi = s(hi) g_hi - g_hi^2, d_lohi = g_lo g_hi (all 0 for a bound that
// is infinite).
inline BoundTerms bound_terms_of(double f_lo, double f_hi, double s_lo, double s_hi, bool has_lo,
                                 bool has_hi, double mass) {
  BoundTerms t;
  t.g_lo = has_lo ? f_lo / mass : 0.0;
  t.g_hi = has_hi ? f_hi / mass : 0.0;
  t.d_lolo = has_lo ? -s_lo * t.g_lo - t.g_lo * t.g_lo : 0.0;
  t.d_hihi = has_hi ? s_hi * t.g_hi - t.g_hi * t.g_hi : 0.0;
  t.d_lohi = t.g_lo * t.g_hi;
  return t;
}

// The link named `name` ("probit", "logit", "cloglog", "loglog",
// "cauchit"); false for a name it does not know.
bool link_from_name(const char* name, Link* link);

}  // namespace oprobit
