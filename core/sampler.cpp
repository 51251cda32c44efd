#include "sampler.h"

#include "c_stream_source.h"
#include "truncated_normal.h"

namespace core {

double onetn(double x) {
  CStreamSource source;
  return onetn_with(source, x);
}

double trunom(double as, double bl) {
  CStreamSource source;
  return trunom_with(source, as, bl);
}

}  // namespace core
