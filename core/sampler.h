// The truncated normal samplers of quorval and vaskor, on the C library
// stream and the library's own generator.
#pragma once

namespace core {

double onetn(double x);
double trunom(double as, double bl);

}  // namespace core
