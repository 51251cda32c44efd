// The links of an ordinal model: the distribution F of the latent error, so
// that a unit with mean m falls in category y with mass
// F(zeta[y] - m) - F(zeta[y-1] - m). Each link is one header
// (link_probit.h, ...) with the same two functions; the cell code
// (whole_point.cpp) is written once over them.
#pragma once

namespace oprobit {

enum class Link { kProbit = 0 };

// The derivatives of a cell's log mass in its two bounds lo = zeta[y-1] - m
// and hi = zeta[y] - m (0 for a bound that is infinite).
struct BoundTerms {
  double g_lo;    // -d/dlo
  double g_hi;    // d/dhi
  double d_lolo;  // second derivatives
  double d_hihi;
  double d_lohi;
};

// The link named `name` ("probit"); false for a name it does not know.
bool link_from_name(const char* name, Link* link);

}  // namespace oprobit
