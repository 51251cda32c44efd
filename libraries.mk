# The libraries' sources and build settings: the one definition that both
# builds read, src/Makevars (R CMD INSTALL) and CMakeLists.txt (CMake).
# Plain `NAME = value` lines, comments and blank lines only (both readers stop
# at any other line); paths are relative to the repository root.

# The shared objects, each with its sources and export list below under its
# name in capitals; the first is the package's own shared object.
LIBRARIES = quorval vaskor quorval2 crandseed oprobitchain

# Results are fixed to the last bit: no fused multiply-add, no fast math, no
# host-specific instruction set. Every library is compiled with hidden
# visibility; its version script then picks exactly the names it exports.
QV_CXXFLAGS = -ffp-contract=off -fno-fast-math -fvisibility=hidden -fvisibility-inlines-hidden
QV_LDFLAGS = -Wl,-Bsymbolic -Wl,--no-undefined

# The shared pieces that each library takes as it needs (CORE_PIECES): the
# R-free core (core/: GENERATOR and SAMPLER, which the native tests link) and
# the R glue around it (rglue/: argument checks, the fatal reporter and the
# interrupt check as R has them, the trunomcall entry).
CORE_PIECES = GENERATOR SAMPLER R_GLUE C_STREAM_ENTRIES
CORE_GENERATOR = core/generator.cpp core/coarse_log_table.cpp
CORE_SAMPLER = core/sampler.cpp core/c_stream.cpp
CORE_R_GLUE = rglue/fatal_r.cpp rglue/interrupt_r.cpp rglue/arguments.cpp core/exports_generator.cpp
CORE_C_STREAM_ENTRIES = core/exports_sampler.cpp rglue/trunomcall.cpp

# Per library: NATIVE (R-free, also linked by the native tests), GLUE (the
# rest of its own folder), CORE (the pieces above), EXPORTS (version script).
QUORVAL_NATIVE = quorval/log_gamma.cpp quorval/incomplete_gamma_series.cpp quorval/incomplete_gamma_fraction.cpp quorval/incomplete_gamma.cpp quorval/normal_cdf.cpp quorval/cutpoint_step.cpp quorval/interval_mass_cache.cpp
QUORVAL_GLUE = quorval/quorval_entry.cpp quorval/exports_quorval.cpp quorval/trunomc.cpp quorval/stest.cpp
QUORVAL_CORE = GENERATOR SAMPLER R_GLUE C_STREAM_ENTRIES
QUORVAL_EXPORTS = quorval/exports.map

VASKOR_NATIVE = vaskor/ordered_gibbs.cpp
VASKOR_GLUE = vaskor/mvtrnorms_checks.cpp vaskor/mvtrnorms_entry.cpp
VASKOR_CORE = GENERATOR SAMPLER R_GLUE C_STREAM_ENTRIES
VASKOR_EXPORTS = vaskor/exports.map

QUORVAL2_NATIVE =
QUORVAL2_GLUE = quorval2/sampler.cpp quorval2/trunomcall.cpp quorval2/exports_sampler.cpp
QUORVAL2_CORE = GENERATOR R_GLUE
QUORVAL2_EXPORTS = quorval2/exports.map

# The seeding helper: srand() for the R layer; shares nothing with the others.
CRANDSEED_NATIVE =
CRANDSEED_GLUE = crandseed/crandseed.cpp
CRANDSEED_CORE =
CRANDSEED_EXPORTS = crandseed/exports.map

# The chain driver of oprobit_mcmc(): the loop between calls of quorval's
# cutpoint step and a trunomcall, whose addresses the R layer hands it.
# Its NATIVE moves draw from the source they are handed and call nothing of
# R, though they see R's headers through the chain's state.
OPROBITCHAIN_NATIVE = oprobitchain/whole_point.cpp oprobitchain/small_matrix.cpp oprobitchain/newton_proposal.cpp oprobitchain/slice_step.cpp oprobitchain/regression_draw.cpp oprobitchain/whole_point_move.cpp
OPROBITCHAIN_GLUE = oprobitchain/chain_entry.cpp oprobitchain/chain_setup.cpp oprobitchain/independence_setup.cpp oprobitchain/whole_point_setup.cpp oprobitchain/threshold_step.cpp oprobitchain/newton_move.cpp oprobitchain/latent_draw.cpp oprobitchain/random_effects_draw.cpp oprobitchain/group_sd_draw.cpp oprobitchain/group_setup.cpp oprobitchain/group_effects.cpp oprobitchain/tuning.cpp oprobitchain/plan.cpp
OPROBITCHAIN_CORE =
OPROBITCHAIN_EXPORTS = oprobitchain/exports.map
