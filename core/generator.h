// Subtractive lagged generator with its normal and exponential deviates.
//
// One GeneratorState and one NormalPairCache per library, in static storage
// private to generator.cpp; every library that links this file carries its
// own copy. The seed belongs to the caller: a negative value restarts the
// generator at the next step, and every initialisation sets it to 1.
#pragma once

#include <cstdint>

namespace core {

struct GeneratorState {
  std::int32_t table[56];  // slots 1 ... 55; slot 0 unused
  std::int32_t current;
  std::int32_t partner;
  std::int32_t initialised;
};

struct NormalPairCache {
  std::int32_t has_spare;
  double spare;
};

// Uniform on [0, 1): k * 1e-9 for k in 0 ... 999,999,999 (supported seeds).
double ran3(std::int32_t* seed);
// Standard normal by the polar method; the pair's second deviate is kept.
double gasdev(std::int32_t* seed);
// Unit exponential by inversion; a uniform of exactly 0 is drawn again.
double expdev(std::int32_t* seed);

// Read-only views and a reset, for the native tests only (not exported).
const GeneratorState& generator_state();
const NormalPairCache& normal_pair_cache();
void reset_generator_for_testing();

}  // namespace core
