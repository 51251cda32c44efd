// The random source of quorval2: R's own generator through Rf_rexp,
// Rf_rnorm and Rf_runif, one call per draw. The caller must have loaded R's
// generator state (GetRNGstate) and stores it back afterwards (PutRNGstate).
#pragma once

#include <cmath>  // before Rmath.h, whose name macros would rename std:: functions
#include <type_traits>

#include <Rmath.h>

#include "host_stream_source.h"

namespace quorval2 {

struct RDraws {
  double exponential() { return Rf_rexp(1.0); }
  double normal() { return Rf_rnorm(0.0, 1.0); }
  double uniform() { return Rf_runif(0.0, 1.0); }
};

using RStreamSource = HostStreamSource<RDraws>;

// An interrupt or an error may jump over the source: it must need no destructor.
static_assert(std::is_trivially_destructible<RStreamSource>::value,
              "a source must be plain data");

}  // namespace quorval2
