#include "sampler.h"

#include "truncated_normal.h"
#include "r_stream_source.h"

namespace quorval2 {

double onetn(double x) {
  RStreamSource source;
  return core::onetn_with(source, x);
}

double trunom(double as, double bl) {
  RStreamSource source;
  return core::trunom_with(source, as, bl);
}

}  // namespace quorval2
