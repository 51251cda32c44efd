// Reading the chain's plan, a named list that the R layer builds once per
// fit (R/oprobit_plan_list.R), with errors that name the element. The plan
// holds only what the chain cannot derive: the data by distinct covariate
// row, the regression step's linear algebra, the starting point and the
// settings; chain_setup.cpp derives the rest (cells, threshold moves, ...),
// group_setup.cpp reads the part `groups` with the same readers.
#pragma once

#define R_NO_REMAP
#include <Rinternals.h>

namespace oprobit {

// Every element's name.
namespace element {
constexpr const char kN[] = "n", kP[] = "p", kJ[] = "J", kU[] = "U", kX[] = "X";
constexpr const char kOffset[] = "offset", kRowStart[] = "row_start", kY[] = "y";
constexpr const char kMInv[] = "M_inv", kMRootInv[] = "M_root_inv", kPriorShift[] = "prior_shift";
constexpr const char kLinearTerm[] = "linear_term", kB0[] = "b0", kBigB0[] = "B0";
constexpr const char kBurnin[] = "burnin", kIter[] = "iter", kThin[] = "thin";
constexpr const char kWholeDf[] = "whole_df", kWholeMoves[] = "whole_moves";
constexpr const char kWholeCentre[] = "whole_centre", kWholeRoot[] = "whole_root";
constexpr const char kAdaptWindow[] = "adapt_window", kTargetAcceptance[] = "target_acceptance";
constexpr const char kFar[] = "far", kLatentR[] = "latent_r", kBeta[] = "beta", kZeta[] = "zeta";
constexpr const char kLink[] = "link", kGroups[] = "groups", kMethod[] = "method";
constexpr const char kWholeMix[] = "whole_mix", kWholeMixDf[] = "whole_mix_df";
constexpr const char kWholeMixScale[] = "whole_mix_scale";
// The independence method's cells.
constexpr const char kCellRow[] = "cell_row", kCellY[] = "cell_y", kCellSize[] = "cell_size";
// In `groups`: the terms, each a list of its own elements, and the sd prior.
constexpr const char kTerms[] = "terms", kSdPrior[] = "sd_prior", kDf[] = "df", kScale[] = "scale";
constexpr const char kKeepEffects[] = "keep_effects";
constexpr const char kQ[] = "q", kLevels[] = "levels", kLevel[] = "level", kD[] = "d", kShift[] = "shift";
constexpr const char kEffects[] = "u", kSd[] = "sd";
}  // namespace element

SEXP plan_element(SEXP plan, const char* name);
// The element, or R_NilValue when the plan has none.
SEXP plan_optional(SEXP plan, const char* name);
int plan_int(SEXP plan, const char* name);
double plan_real(SEXP plan, const char* name);
bool plan_flag(SEXP plan, const char* name);
// One string, not NA.
const char* plan_string(SEXP plan, const char* name);
// The length of a vector of this type, of any length.
R_xlen_t plan_length(SEXP plan, const char* name, SEXPTYPE type);
// Vectors of exactly `length` elements.
const int* plan_ints(SEXP plan, const char* name, R_xlen_t length);
const double* plan_reals(SEXP plan, const char* name, R_xlen_t length);

}  // namespace oprobit
